#include "net/smtp_dialogue.h"

#include <cstring>
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

// Servers must take lines of 998 bytes before CR LF, and need not take more.
constexpr qsizetype kMaxLine = 998;
// Lines holding encoded words may have 76 characters; a word this long still
// fits after the longest field name here ("X-Mailer: ").
constexpr qsizetype kMaxEncodedWord = 66;
// A quoted-printable line has at most 76 characters, its soft break included.
constexpr qsizetype kMaxQuotedLine = 76;

constexpr char kHex[] = "0123456789ABCDEF";

bool IsAscii(QStringView text) {
  for (const QChar c : text)
    if (c.unicode() > 0x7f) return false;
  return true;
}

bool IsAscii(const QStringList& list) {
  for (const QString& entry : list)
    if (!IsAscii(entry)) return false;
  return true;
}

QString Escaped(uchar byte) {
  const char text[] = {'=', kHex[byte >> 4], kHex[byte & 15]};
  return QString::fromLatin1(text, 3);
}

bool IsBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

// Where to break `text` so that the first part has at most `room`
// characters: before the last blank that allows it, else (if `hard`) at
// `room`, else before the first blank further on; 0 when it cannot be broken.
qsizetype BreakAt(QStringView text, qsizetype room, bool hard) {
  for (qsizetype at = room; at > 0; --at)
    if (IsBlank(text[at])) return at;
  if (hard) return room;
  for (qsizetype at = room + 1; at < text.size(); ++at)
    if (IsBlank(text[at])) return at;
  return 0;
}

// "Name: value", folded before blanks where it is longer than a mail line.
QString Field(const char* name, const QString& value) {
  QString field = QLatin1String(name) + QStringLiteral(": ") + StripLineBreaks(value);
  QString folded;
  QStringView rest(field);
  while (rest.size() > kMaxLine) {
    const qsizetype at = BreakAt(rest, kMaxLine, false);
    if (at == 0) break;  // one word longer than a line goes as it is
    folded += rest.left(at);
    folded += QStringLiteral("\r\n");
    rest = rest.mid(at);
  }
  return folded += rest;
}

// A field of free text, as encoded words when it is not ASCII.
QString TextField(const char* name, const QString& value) {
  const QString text = StripLineBreaks(value);
  if (IsAscii(text)) return Field(name, text);
  return QLatin1String(name) + QStringLiteral(": ") + EncodeWords(text);
}

// The body's lines, split at every CR, LF or CR LF inside them: a bare one
// would let "\n.\n" end the message early.
QStringList SplitLines(const QStringList& body) {
  QStringList lines;
  for (const QString& line : body) {
    QString normal = line;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    lines += normal.split(QLatin1Char('\n'));
  }
  return lines;
}

QString Stuffed(QStringView line) {
  return line.startsWith(QLatin1Char('.')) ? QLatin1Char('.') + line.toString() : line.toString();
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

bool IsAsciiMessage(const TMailMessage& message) {
  return IsAscii(message.FromName) && IsAscii(message.FromAddress) && IsAscii(message.ToAddress) &&
         IsAscii(message.ToCarbonCopy) && IsAscii(message.Subject) && IsAscii(message.LocalProgram) &&
         IsAscii(message.Date) && IsAscii(message.ReplyTo) && IsAscii(message.Body);
}

QString EncodeWords(const QString& text) {
  if (IsAscii(text)) return text;
  static const QLatin1String kOpen("=?UTF-8?Q?"), kClose("?=");
  QStringList words;
  QString word;
  for (qsizetype i = 0; i < text.size();) {
    // A word holds whole characters only.
    const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
    QString piece;
    for (const char byte : QStringView(text).mid(i, length).toUtf8()) {
      const uchar c = static_cast<uchar>(byte);
      // Only these stand for themselves in every place a word may go.
      if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
          (c != 0 && std::strchr("!*+-/", c)))
        piece += QLatin1Char(static_cast<char>(c));
      else if (c == ' ')
        piece += QLatin1Char('_');
      else
        piece += Escaped(c);
    }
    i += length;
    if (!word.isEmpty() && kOpen.size() + word.size() + piece.size() + kClose.size() > kMaxEncodedWord) {
      words << kOpen + word + kClose;
      word.clear();
    }
    word += piece;
  }
  words << kOpen + word + kClose;
  return words.join(QStringLiteral("\r\n "));
}

QStringList QuotedPrintable(const QString& line) {
  const QByteArray bytes = line.toUtf8();
  QStringList lines;
  QString current;
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const uchar c = static_cast<uchar>(bytes[i]);
    // A blank at the end of a line may be lost on the way, so it is escaped.
    const bool plain = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && i + 1 < bytes.size());
    const QString piece = plain ? QString(QLatin1Char(static_cast<char>(c))) : Escaped(c);
    if (current.size() + piece.size() > kMaxQuotedLine - 1) {
      lines << current + QLatin1Char('=');
      current.clear();
    }
    current += piece;
  }
  lines << current;
  return lines;
}

QStringList BuildHeader(const TMailMessage& message) {
  const bool ascii = IsAsciiMessage(message);
  QStringList header;
  const QString name = StripLineBreaks(message.FromName);
  const QString address = QLatin1Char('<') + StripLineBreaks(message.FromAddress) + QLatin1Char('>');
  // An encoded name must stand apart from the "<" that follows it.
  header << (IsAscii(name) ? Field("From", name + address)
                           : QStringLiteral("From: ") + EncodeWords(name) + QStringLiteral("\r\n ") + address);
  header << Field("To", Cleaned(message.ToAddress).join(QLatin1Char(',')));
  if (!message.ToCarbonCopy.isEmpty()) header << Field("CC", Cleaned(message.ToCarbonCopy).join(QLatin1Char(',')));
  header << TextField("Subject", message.Subject);
  header << TextField("X-Mailer", message.LocalProgram);
  if (!message.ReplyTo.isEmpty()) header << Field("Reply-To", message.ReplyTo);
  if (!message.Date.isEmpty()) header << TextField("Date", message.Date);
  header << QStringLiteral("Mime-Version: 1.0");
  header << QStringLiteral("Content-Type: text/plain;") + QString(24, QLatin1Char(' ')) +
                (ascii ? QStringLiteral("charset=us-ascii") : QStringLiteral("charset=utf-8"));
  // Quoted-printable keeps every line 7-bit and short, whatever the text.
  if (!ascii) header << QStringLiteral("Content-Transfer-Encoding: quoted-printable");
  return header;
}

QStringList DotStuff(const QStringList& body) {
  QStringList result;
  for (const QString& line : SplitLines(body)) {
    QStringView rest(line);
    for (;;) {
      const qsizetype room = rest.startsWith(QLatin1Char('.')) ? kMaxLine - 1 : kMaxLine;
      if (rest.size() <= room) break;
      const qsizetype at = BreakAt(rest, room, true);
      result << Stuffed(rest.left(at));
      rest = rest.mid(at);
    }
    result << Stuffed(rest);
  }
  return result;
}

QByteArray BuildMessageData(const TMailMessage& message) {
  QByteArray data;
  for (const QString& field : BuildHeader(message)) data += field.toUtf8() + "\r\n";
  data += "\r\n";
  QStringList body;
  if (IsAsciiMessage(message)) {
    body = DotStuff(message.Body);
  } else {
    for (const QString& line : SplitLines(message.Body))
      for (const QString& encoded : QuotedPrintable(line)) body << Stuffed(encoded);
  }
  for (const QString& line : body) data += line.toUtf8() + "\r\n";
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
