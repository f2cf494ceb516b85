// The outgoing-mail dialogue as plain code: the message, its header and
// dot-stuffed body, and the SMTP conversation as a state machine that takes
// the server's reply lines and answers with the command lines to send. No
// sockets here; TSmtpClient carries the bytes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace marlo::net {

// One message, as the mail component holds it.
struct TMailMessage {
  QString FromName;
  QString FromAddress;
  QStringList ToAddress;
  QStringList ToCarbonCopy;
  QStringList ToBlindCarbonCopy;
  QString Subject;
  QString LocalProgram;  // the mailer name, also the X-Mailer value
  QString Date;
  QString ReplyTo;
  QStringList Body;

  void Clear() { *this = TMailMessage(); }
};

// `text` without any CR or LF, so a form field cannot start a new header
// line or SMTP command.
QString StripLineBreaks(const QString& text);

// The greeting name for a sender address: everything up to and including
// the first "@"; empty when there is none.
QString UserIdFromAddress(const QString& address);

// True when every text of the message that goes into DATA is ASCII. Such a
// mail is sent as plain us-ascii text; any other as UTF-8, quoted-printable.
bool IsAsciiMessage(const TMailMessage& message);

// A header text as RFC 2047 encoded words ("=?UTF-8?Q?...?="), each on a
// line of its own (joined by CR LF and a blank); ASCII text comes back as it
// is.
QString EncodeWords(const QString& text);

// One body line as quoted-printable lines, the soft break "=" ending all but
// the last.
QStringList QuotedPrintable(const QString& line);

// The header fields, in sending order, without their final line ends; a
// field longer than a mail line is folded (CR LF before a blank).
QStringList BuildHeader(const TMailMessage& message);

// Body lines of an ASCII mail ready for DATA: lines holding CR or LF are
// split at them, lines longer than a mail line are broken (before a blank
// where there is one), and a line that begins with "." gets a second one in
// front.
QStringList DotStuff(const QStringList& body);

// Everything sent after the DATA reply: header, blank line, stuffed body and
// the lone "." line, each ended by CR LF.
QByteArray BuildMessageData(const TMailMessage& message);

// A reply line taken apart. `Code` is -1 for a line that is no reply.
struct TSmtpReply {
  int Code = -1;
  bool Last = true;  // false for "250-..." continuation lines
};
TSmtpReply ParseReplyLine(const QByteArray& line);

// The conversation for one connection: greeting, HELO, then the message
// (RSET, MAIL FROM, RCPT TO per recipient, DATA, message, "."), then QUIT.
// Feed() takes one reply line (with or without its line end) and returns
// what to send next; events and the outcome are read from the members.
class TSmtpDialogue {
 public:
  enum class TStep { Greeting, Helo, Rset, MailFrom, RcptTo, Data, Message, Quit, Done };
  enum class TOutcome { Pending, Sent, Failed };
  enum class TFailure { None, Greeting, GreetingRefused, NoRecipients, Refused, BadReply, Connection };

  TSmtpDialogue(QString userId, TMailMessage message);

  // Bytes to write for this reply line (empty when the reply is not complete
  // yet or the dialogue is over).
  QByteArray Feed(const QByteArray& line);

  // The connection ended or broke before the dialogue was done.
  void ConnectionLost(const QString& error);

  TStep Step() const { return step_; }
  TOutcome Outcome() const { return outcome_; }
  TFailure Failure() const { return failure_; }
  // The error text when Failed (for a refusal, the server's reply line).
  QString Error() const { return error_; }
  // True once the dialogue wants the connection closed.
  bool Finished() const { return step_ == TStep::Done; }
  // Status text for the last step taken.
  QString Status() const { return status_; }

 private:
  QByteArray Command(const QString& line);
  QByteArray Fail(TFailure failure, const QString& error);
  QByteArray NextRecipient();

  QString userId_;
  TMailMessage message_;
  QStringList recipients_;
  int nextRecipient_ = 0;
  TStep step_ = TStep::Greeting;
  TOutcome outcome_ = TOutcome::Pending;
  TFailure failure_ = TFailure::None;
  QString error_;
  QString status_;
};

}  // namespace marlo::net
