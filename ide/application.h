// The program's application object. An error that leaves a command (a
// settings file that cannot be written, a damaged setting) is shown in the
// standard error box and ends only that command, as the windows expect;
// without this, Qt would end the whole program and every unsaved edit.
#pragma once

#include <QApplication>

namespace marlo::ide {

class TApplication : public QApplication {
  Q_OBJECT

 public:
  TApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace marlo::ide
