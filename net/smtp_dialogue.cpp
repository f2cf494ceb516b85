#include "net/smtp_dialogue.h"

#include <utility>

namespace marlo::net {
namespace {

// Error texts quote the server; a hostile one can send megabytes per line.
constexpr int kMaxQuotedReply = 512;

QString Quoted(const QByteArray& line) {
  QByteArray trimmed = line;
  while (trimmed.endsWith('\n') || trimmed.endsWith('\r')) trimmed.chop(1);
  QString text = QString::fromUtf8(trimmed.left(kMaxQuotedReply));
  for (QChar& c : text)
    if (c.unicode() < 0x20 && c != QLatin1Char('\t')) c = QLatin1Char(' ');
  if (trimmed.size() > kMaxQuotedReply) text += QStringLiteral("...");
  return text;
}

QStringList Cleaned(const QStringList& list) {
  QStringList result;
  for (const QString& entry : list) result << StripLineBreaks(entry);
  return result;
}

}  // namespace

QString StripLineBreaks(const QString& text) {
  QString result = text;
  result.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
  return result;
}

QString UserIdFromAddress(const QString& address) {
  const qsizetype at = address.indexOf(QLatin1Char('@'));
  return at < 0 ? QString() : StripLineBreaks(address.left(at + 1));
}

QStringList BuildHeader(const TMailMessage& message) {
  QStringList header;
  header << QStringLiteral("From: ") + StripLineBreaks(message.FromName) + QLatin1Char('<') +
                StripLineBreaks(message.FromAddress) + QLatin1Char('>');
  header << QStringLiteral("To: ") + Cleaned(message.ToAddress).join(QLatin1Char(','));
  if (!message.ToCarbonCopy.isEmpty())
    header << QStringLiteral("CC: ") + Cleaned(message.ToCarbonCopy).join(QLatin1Char(','));
  header << QStringLiteral("Subject: ") + StripLineBreaks(message.Subject);
  header << QStringLiteral("X-Mailer: ") + StripLineBreaks(message.LocalProgram);
  if (!message.ReplyTo.isEmpty()) header << QStringLiteral("Reply-To: ") + StripLineBreaks(message.ReplyTo);
  if (!message.Date.isEmpty()) header << QStringLiteral("Date: ") + StripLineBreaks(message.Date);
  header << QStringLiteral("Mime-Version: 1.0");
  header << QStringLiteral("Content-Type: text/plain;") + QString(24, QLatin1Char(' ')) +
                QStringLiteral("charset=us-ascii");
  return header;
}

QStringList DotStuff(const QStringList& body) {
  QStringList result;
  for (const QString& line : body) {
    // A bare CR or LF inside a line would let "\n.\n" end the message early.
    QString normal = line;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    for (const QString& part : normal.split(QLatin1Char('\n')))
      result << (part.startsWith(QLatin1Char('.')) ? QLatin1Char('.') + part : part);
  }
  return result;
}

QByteArray BuildMessageData(const TMailMessage& message) {
  QByteArray data;
  for (const QString& line : BuildHeader(message)) data += line.toUtf8() + "\r\n";
  data += "\r\n";
  for (const QString& line : DotStuff(message.Body)) data += line.toUtf8() + "\r\n";
  data += ".\r\n";
  return data;
}

TSmtpReply ParseReplyLine(const QByteArray& line) {
  TSmtpReply reply;
  if (line.size() < 3) return reply;
  for (int i = 0; i < 3; ++i)
    if (line[i] < '0' || line[i] > '9') return reply;
  if (line.size() > 3 && line[3] != ' ' && line[3] != '-' && line[3] != '\r' && line[3] != '\n') return reply;
  reply.Code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
  reply.Last = line.size() <= 3 || line[3] != '-';
  return reply;
}

TSmtpDialogue::TSmtpDialogue(QString userId, TMailMessage message)
    : userId_(StripLineBreaks(userId)), message_(std::move(message)) {
  recipients_ = Cleaned(message_.ToAddress + message_.ToCarbonCopy + message_.ToBlindCarbonCopy);
  status_ = QStringLiteral("Waiting for the server's greeting");
}

QByteArray TSmtpDialogue::Command(const QString& line) { return line.toUtf8() + "\r\n"; }

QByteArray TSmtpDialogue::Fail(TFailure failure, const QString& error) {
  outcome_ = TOutcome::Failed;
  failure_ = failure;
  error_ = error;
  step_ = TStep::Quit;
  status_ = QStringLiteral("Disconnecting");
  return Command(QStringLiteral("QUIT"));
}

QByteArray TSmtpDialogue::NextRecipient() {
  if (nextRecipient_ < recipients_.size()) {
    step_ = TStep::RcptTo;
    return Command(QStringLiteral("RCPT TO:<") + recipients_[nextRecipient_++] + QLatin1Char('>'));
  }
  step_ = TStep::Data;
  return Command(QStringLiteral("DATA"));
}

QByteArray TSmtpDialogue::Feed(const QByteArray& line) {
  if (step_ == TStep::Done) return {};
  const TSmtpReply reply = ParseReplyLine(line);
  if (step_ == TStep::Quit) {
    // Whatever the server says to QUIT, the conversation is over.
    if (reply.Last) step_ = TStep::Done;
    return {};
  }
  if (reply.Code < 200)  // junk, or a 1xx reply the dialogue never asks for
    return Fail(TFailure::BadReply, QStringLiteral("Unexpected reply from the mail server: ") + Quoted(line));
  if (!reply.Last) return {};
  const int code = reply.Code;
  switch (step_) {
    case TStep::Greeting:
      if (code >= 400) return Fail(TFailure::Greeting, Quoted(line));
      step_ = TStep::Helo;
      status_ = QStringLiteral("Connected");
      return Command(QStringLiteral("HELO ") + userId_);
    case TStep::Helo:
      if (code > 299) return Fail(TFailure::GreetingRefused, Quoted(line));
      if (message_.FromAddress.isEmpty() || recipients_.isEmpty())
        return Fail(TFailure::NoRecipients, QStringLiteral("The message has no sender or no recipient."));
      step_ = TStep::Rset;
      status_ = QStringLiteral("Sending mail");
      return Command(QStringLiteral("RSET"));
    case TStep::Rset:
      if (code >= 400) return Fail(TFailure::Refused, Quoted(line));
      step_ = TStep::MailFrom;
      return Command(QStringLiteral("MAIL FROM:<") + StripLineBreaks(message_.FromAddress) + QLatin1Char('>'));
    case TStep::MailFrom:
    case TStep::RcptTo:
      if (code >= 400) return Fail(TFailure::Refused, Quoted(line));
      return NextRecipient();
    case TStep::Data:
      // Only "go ahead" (3xx) lets the message text follow.
      if (code < 300 || code >= 400) return Fail(TFailure::Refused, Quoted(line));
      step_ = TStep::Message;
      return BuildMessageData(message_);
    case TStep::Message:
      if (code >= 400) return Fail(TFailure::Refused, Quoted(line));
      outcome_ = TOutcome::Sent;
      step_ = TStep::Quit;
      status_ = QStringLiteral("Disconnecting");
      return Command(QStringLiteral("QUIT"));
    case TStep::Quit:
    case TStep::Done:
      break;
  }
  return {};
}

void TSmtpDialogue::ConnectionLost(const QString& error) {
  if (step_ == TStep::Done) return;
  if (outcome_ == TOutcome::Pending) {
    outcome_ = TOutcome::Failed;
    failure_ = TFailure::Connection;
    error_ = error;
  }
  step_ = TStep::Done;
}

}  // namespace marlo::net
