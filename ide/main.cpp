// marlo: the desktop program. One runs per user: a later start hands its
// command line to the running one, waits until that has opened (and
// compiled) the files, and ends without a window of its own.
#include <exception>
#include <memory>

#include "ide/application.h"
#include "ide/command_line.h"
#include "ide/main_window.h"
#include "ide/message_box.h"
#include "ide/reg_ini_plus.h"
#include "ide/single_instance.h"

int main(int argc, char** argv) {
  using namespace marlo::ide;
  TApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Orvane"));
  QApplication::setApplicationName(QStringLiteral("Marlo"));
  QApplication::setApplicationDisplayName(QStringLiteral("The Marlo"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/marlo.svg")));

  const QString commandLine = CurrentCommandLine();
  // MARLO_INSTANCE lets tests keep their instances apart from the user's.
  const QString name = qEnvironmentVariableIsSet("MARLO_INSTANCE") ? qEnvironmentVariable("MARLO_INSTANCE")
                                                                   : TSingleInstance::DefaultName();
  TSingleInstance instance(name);
  if (instance.HandOver(HandOverCommandLine())) return 0;
  instance.Listen();

  std::unique_ptr<TForm1> form;
  try {
    form = std::make_unique<TForm1>(std::make_unique<TRegIniPlus>());
  } catch (const std::exception& error) {
    // A damaged settings file: say so instead of vanishing.
    ShowError(nullptr, QString::fromUtf8(error.what()));
    return 1;
  }
  form->show();
  form->ServeLaterStarts(instance);
  form->ProcessCommandLine(commandLine);
  return app.exec();
}
