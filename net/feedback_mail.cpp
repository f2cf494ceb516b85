#include "net/feedback_mail.h"

#include <QCheckBox>
#include <QDateTime>
#include <QLineEdit>
#include <QLocale>

#include "net/contact_form.h"
#include "ui/message_box.h"

namespace marlo::net {

using ide::ShowBox;
using ide::ShowError;
using ide::ShowInformation;

TFeedbackMail::TFeedbackMail(TContactForm* form, QWidget* parent)
    : QObject(parent), ContactForm(form), Version(QStringLiteral(MARLO_VERSION)), parent_(parent) {
  connect(&NMSMTP1, &TSmtpClient::OnStatus, this, &TFeedbackMail::Status);
  connect(&NMSMTP1, &TSmtpClient::OnFailure, this, [this](int errorNumber) {
    Status(QStringLiteral("Transmission failed, ws err no:") + QString::number(errorNumber));
  });
  connect(&NMSMTP1, &TSmtpClient::OnSuccess, this, [this] { ShowInformation(parent_, QStringLiteral("mail sent")); });
  connect(&NMSMTP1, &TSmtpClient::OnAuthenticationFailed, this,
          [this] { ShowInformation(parent_, QStringLiteral("Authentication failed")); });
  connect(&NMSMTP1, &TSmtpClient::Finished, this, [this](bool ok, const QString& error) {
    if (!ok && error != QStringLiteral("Cancelled")) ShowError(parent_, error);
    emit Done(ok);
  });
}

void TFeedbackMail::Status(const QString& text) {
  if (ShowStatus) ShowStatus(text);
}

void TFeedbackMail::ContactAuthor() {
  // One mail at a time: the form would otherwise seem to do nothing.
  if (NMSMTP1.Busy()) {
    if (ShowBox(parent_, QMessageBox::Question,
                QStringLiteral("The last mail is still being sent, so no new form opens until it is done.\r\n"
                               "Stop sending it and open the form?"),
                QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
      return;
    Cancel();
  }
  if (ContactForm->exec() != QDialog::Accepted) return;
  SendFromForm();
}

void TFeedbackMail::SendFromForm() {
  if (NMSMTP1.Busy()) return;
  // Before anything is asked or fetched.
  if (const QString error = SmtpSettingsError(NMSMTP1.Port, NMSMTP1.TimeOut); !error.isEmpty()) {
    ShowError(parent_, error);
    emit Done(false);
    return;
  }
  const TContactForm& form = *ContactForm;
  // A fresh message each time, so a retry after a failure does not name a
  // recipient twice.
  TMailMessage& message = NMSMTP1.PostMessage;
  message.Clear();
  NMSMTP1.Host = StripLineBreaks(form.Edit2->text()).trimmed();
  message.FromAddress = form.Edit1->text();
  const QLocale locale = QLocale::system();
  const QDateTime now = QDateTime::currentDateTime();
  message.Date = locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                 locale.toString(now.time(), QLocale::LongFormat);
  message.Body = form.Lines();
  message.LocalProgram = QStringLiteral("The Marlo v. ") + Version;
  message.Body << message.LocalProgram;
  message.FromName = form.Edit3->text();
  message.Subject = SubjectForPurpose(form.ItemIndex());
  if (form.CheckBox1->isChecked()) message.ToCarbonCopy << form.Edit1->text();
  NMSMTP1.UserID = UserIdOverride.isEmpty() ? UserIdFromAddress(form.Edit1->text()) : UserIdOverride;

  ShowInformation(
      parent_, QStringLiteral("Marlo will now attempt to obtain the author's email address from the remote \r\nsite."));
  QString author;
  if (GetAuthorEMail && GetAuthorEMail(author) && !author.trimmed().isEmpty()) {
    message.ToAddress << author.trimmed();
  } else {
    if (ShowBox(parent_, QMessageBox::Question,
                QStringLiteral("Couldn't locate the author's email address, use last known good?"),
                QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
      return;
    message.ToAddress << DefaultAuthorEMail;
  }
  NMSMTP1.SendMail();
}

}  // namespace marlo::net
