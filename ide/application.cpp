#include "ide/application.h"

#include <exception>

#include "ui/message_box.h"

namespace marlo::ide {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowError(activeWindow(), QString::fromUtf8(error.what()));
  }
  return false;
}

}  // namespace marlo::ide
