// Stands in for the desktop program's message boxes while it lives: keeps
// every box asked and answers it without showing anything. A box that
// offers only OK gets OK; any other takes the next of `answers`, then
// `otherwise`.
#pragma once

#include <QList>
#include <QStringList>

#include "ui/message_box.h"

namespace marlo::test {

class BoxRecorder {
 public:
  explicit BoxRecorder(QList<QMessageBox::StandardButton> answers = {},
                       QMessageBox::StandardButton otherwise = QMessageBox::Ok);
  ~BoxRecorder();
  BoxRecorder(const BoxRecorder&) = delete;
  BoxRecorder& operator=(const BoxRecorder&) = delete;

  QStringList Texts() const;

  QList<ide::TBoxRequest> asked;
  QList<QMessageBox::StandardButton> answers;
  QMessageBox::StandardButton otherwise;
};

}  // namespace marlo::test
