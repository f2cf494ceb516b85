// Help > Contact Author: the contact form, the author's address from the
// product page (or the built-in one) and the mail component, wired to the
// main window's status bar and the program's boxes.
#pragma once

#include <QObject>
#include <functional>

#include "net/smtp_client.h"

class QWidget;

namespace marlo::net {

class TContactForm;

// The maker's last known address, used when the product page cannot be read.
inline constexpr char kDefaultAuthorEMail[] = "marlo-feedback@orvane.example";

class TFeedbackMail : public QObject {
  Q_OBJECT

 public:
  // `form` and `parent` (for the boxes) outlive this object.
  TFeedbackMail(TContactForm* form, QWidget* parent);

  TContactForm* ContactForm;
  TSmtpClient NMSMTP1;
  QString DefaultAuthorEMail = QString::fromLatin1(kDefaultAuthorEMail);
  // The version text after "The Marlo v. ".
  QString Version;
  // When not empty, used as the HELO name instead of the one taken from the
  // user's address.
  QString UserIdOverride;
  // Fetches the product page (once per run) and gives its author address;
  // false when the page could not be read. Unset counts as false.
  std::function<bool(QString& authorEMail)> GetAuthorEMail;
  // Puts a text into the status bar's fourth panel.
  std::function<void(const QString&)> ShowStatus;

  // The menu command: shows the form and, on OK, sends the mail.
  void ContactAuthor();
  // Everything after the form closed with OK.
  void SendFromForm();
  // Stops a send that is still running.
  void Cancel() { NMSMTP1.Cancel(); }

 signals:
  // A send started by SendFromForm ended (after its boxes).
  void Done(bool ok);

 private:
  void Status(const QString& text);

  QWidget* parent_;
};

}  // namespace marlo::net
