// The program's message boxes, in one place so that tests can answer them:
// a test installs a handler and no modal box ever opens.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace marlo::ide {

struct TBoxRequest {
  QMessageBox::Icon icon;
  QString text;
  QMessageBox::StandardButtons buttons;
  QString caption;
};

using TBoxHandler = std::function<QMessageBox::StandardButton(const TBoxRequest&)>;

// Replaces the real boxes (tests); an empty handler restores them.
void SetBoxHandler(TBoxHandler handler);

// Shows `text` (CR and CR LF as line breaks) under `caption` (the
// program's title when empty) and returns the button pressed.
QMessageBox::StandardButton ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                    const QString& caption = QString());

inline void ShowInformation(QWidget* parent, const QString& text) { ShowBox(parent, QMessageBox::Information, text); }
// The application's standard error box.
inline void ShowError(QWidget* parent, const QString& text) { ShowBox(parent, QMessageBox::Critical, text); }

}  // namespace marlo::ide
