#include "ui/message_box.h"

namespace marlo::ide {
namespace {

TBoxHandler& Handler() {
  static TBoxHandler handler;
  return handler;
}

}  // namespace

void SetBoxHandler(TBoxHandler handler) { Handler() = std::move(handler); }

QMessageBox::StandardButton ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons, const QString& caption) {
  QString shown = text;
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
  const QString title = caption.isEmpty() ? QStringLiteral("Marlo") : caption;
  if (Handler()) return Handler()({icon, shown, buttons, title});
  QMessageBox box(icon, title, shown, buttons, parent);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace marlo::ide
