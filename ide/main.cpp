// marlo: the desktop program. One runs per user and display: a later start
// hands its command line to the running one, waits until that has opened
// (and compiled) the files, and ends without a window of its own.
#include <QTimer>
#include <cstdio>
#include <exception>
#include <memory>

#include "ide/application.h"
#include "ide/command_line.h"
#include "ide/main_window.h"
#include "ide/reg_ini_plus.h"
#include "ide/single_instance.h"
#include "ui/message_box.h"

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
  const TSingleInstance::TRole role = instance.Start(HandOverCommandLine());
  if (role == TSingleInstance::TRole::HandedOver) return 0;
  if (role == TSingleInstance::TRole::Unconfirmed) {
    std::fputs("marlo: the running Marlo took the command line but has not finished it in time; it goes on there.\n",
               stderr);
    return 1;
  }

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
  // Without the socket this window still works; later starts then cannot
  // reach it and open windows of their own, which the user should know.
  if (role == TSingleInstance::TRole::Alone) {
    const QString text = QStringLiteral(
                             "Later starts of Marlo cannot reach this one: %1\r"
                             "Files opened from a shell or the desktop meanwhile open in a new Marlo.")
                             .arg(instance.ErrorString());
    std::fprintf(stderr, "marlo: %s\n", qPrintable(QString(text).replace(u'\r', u' ')));
    QTimer::singleShot(0, form.get(), [&form, text] { ShowBox(form.get(), QMessageBox::Warning, text); });
  }
  form->ProcessCommandLine(commandLine);
  return app.exec();
}
