// The mail dialogue without sockets: the dialogues of
// tests/data/smtp/dialogues.txt (scripted server replies and what is sent on
// each), and the rows of tests/data/smtp/lines.txt: HELO names, reply lines,
// dot-stuffing, quoted-printable, encoded words and whole messages.
#include <QRegularExpression>
#include <QTest>

#include "net/smtp_dialogue.h"
#include "tests/support/files.h"
#include "tests/support/qt_table.h"

using marlo::net::TMailMessage;
using marlo::net::TSmtpDialogue;
using marlo::test::Cells;
using marlo::test::Items;
using marlo::test::TableRows;

namespace {

constexpr const char* kLines = "smtp/lines.txt";

TMailMessage Message(const QString& from, const QStringList& to, const QStringList& cc) {
  TMailMessage message;
  message.FromName = QStringLiteral("Joe Tester");
  message.FromAddress = from;
  message.ToAddress = to;
  message.ToCarbonCopy = cc;
  message.Subject = QStringLiteral("Bug report");
  message.LocalProgram = QStringLiteral("The Marlo v. 1.0.5.180");
  message.Body = {QStringLiteral("hello"), message.LocalProgram};
  return message;
}

// Feeds `replies` in order and lists what the dialogue sent; the message
// text after DATA shows as "<message>".
QStringList Run(TSmtpDialogue& dialogue, const QStringList& replies) {
  QStringList sent;
  for (const QString& reply : replies) {
    const QByteArray out = dialogue.Feed(reply.toUtf8() + "\r\n");
    if (out.isEmpty()) continue;
    if (out.count("\r\n") > 1)
      sent << QStringLiteral("<message>");
    else
      sent << QString::fromUtf8(out.chopped(2));
  }
  return sent;
}

}  // namespace

class TestSmtpDialogue : public QObject {
  Q_OBJECT

 private slots:
  void HeloNames_data() { TableRows(kLines, "helo"); }
  void HeloNames() {
    const auto [address, userId] = Cells<2>();
    QCOMPARE(marlo::net::UserIdFromAddress(address), userId);
    TSmtpDialogue dialogue(marlo::net::UserIdFromAddress(address), TMailMessage());
    QCOMPARE(dialogue.Feed("220 ready\r\n"), ("HELO " + userId + "\r\n").toUtf8());
  }

  void ReplyLines_data() { TableRows(kLines, "reply"); }
  void ReplyLines() {
    const auto [line, code, last] = Cells<3, QByteArray>();
    const marlo::net::TSmtpReply reply = marlo::net::ParseReplyLine(line);
    QCOMPARE(reply.Code, code.toInt());
    if (reply.Code >= 0) QCOMPARE(reply.Last, last == "yes");
  }

  void DotStuffing_data() {
    TableRows(kLines, "stuff");
    // Mail lines hold at most 998 characters.
    const QByteArray x998(998, 'x');
    QTest::newRow("998 characters fit") << QByteArrayList{x998, x998};
    QTest::newRow("long line broken before a blank") << QByteArrayList{
        QByteArray(990, 'a') + ' ' + QByteArray(20, 'b'), QByteArray(990, 'a') + "| " + QByteArray(20, 'b')};
    QTest::newRow("long line without blanks") << QByteArrayList{QByteArray(2000, 'x'), x998 + '|' + x998 + "|xxxx"};
    QTest::newRow("a broken-off dot is stuffed within the limit")
        << QByteArrayList{x998 + '.' + QByteArray(1000, 'y'), x998 + "|.." + QByteArray(996, 'y') + "|yyyy"};
  }
  void DotStuffing() {
    const auto [body, stuffed] = Cells<2>();
    QCOMPARE(marlo::net::DotStuff(Items(body)), Items(stuffed));
  }

  // A body line gives at least one line, even when empty.
  void QuotedPrintable_data() { TableRows(kLines, "qp"); }
  void QuotedPrintable() {
    const auto [line, encoded] = Cells<2>();
    QCOMPARE(marlo::net::QuotedPrintable(line), encoded.split(u'|'));
  }

  void EncodedWords_data() { TableRows(kLines, "word"); }
  void EncodedWords() {
    const auto [text, encoded] = Cells<2>();
    QCOMPARE(marlo::net::EncodeWords(text), encoded);
  }

  void MessageData_data() { TableRows(kLines, "message"); }
  void MessageData() {
    const auto [cc, replyTo, date, name, subject, body, data] = Cells<7>();
    TMailMessage message = Message("joe@example.org", {"author@example.com", "second@example.com"}, Items(cc));
    message.ReplyTo = replyTo;
    message.Date = date;
    message.FromName = name;
    message.Subject = subject;
    message.Body = Items(body) << message.LocalProgram;
    QCOMPARE(QString::fromUtf8(marlo::net::BuildMessageData(message)), data);
    // The header alone, as its lines.
    QCOMPARE(marlo::net::BuildHeader(message).join("\r\n"), data.left(data.indexOf("\r\n\r\n")));
  }

  void Dialogue_data() {
    QTest::addColumn<QString>("mail");
    QTest::addColumn<QStringList>("steps");  // the "S: ", "C: " and "X: " lines
    QTest::addColumn<QString>("end");
    QString mail;
    QStringList steps;
    int first = 0;
    for (const auto& [number, line] : marlo::test::TableLines(MARLO_SOURCE_DIR "/tests/data/smtp/dialogues.txt")) {
      const QString text = QString::fromStdString(line);
      if (text.startsWith("mail: ")) {
        mail = text.mid(6);
        steps.clear();
        first = number;
      } else if (text.startsWith("S: ") || text.startsWith("C: ") || text.startsWith("X: ")) {
        steps << text;
      } else if (text.startsWith("end: ")) {
        QTest::addRow("dialogues.txt:%d", first) << mail << steps << text.mid(5);
      } else {
        qFatal("dialogues.txt:%d: cannot read the line", number);
      }
    }
  }

  void Dialogue() {
    QFETCH(QString, mail);
    QFETCH(QStringList, steps);
    QFETCH(QString, end);
    const QRegularExpressionMatch parts = QRegularExpression("^from=(.*) to=(.*) cc=(.*)$").match(mail);
    QVERIFY(parts.hasMatch());
    TSmtpDialogue dialogue(marlo::net::UserIdFromAddress(parts.captured(1)),
                           Message(parts.captured(1), Items(parts.captured(2).replace(u',', u'|')),
                                   Items(parts.captured(3).replace(u',', u'|'))));
    QStringList transcript;
    for (const QString& step : steps) {
      if (step.startsWith("X: ")) dialogue.ConnectionLost(step.mid(3));
      if (!step.startsWith("C: ")) transcript << step;
      if (!step.startsWith("S: ")) continue;
      std::string quoted = step.mid(3).toStdString();
      std::string_view rest = quoted;
      const QString reply =
          quoted.starts_with('"') ? QString::fromStdString(marlo::test::TakeQuoted(rest)) : step.mid(3);
      transcript << Run(dialogue, {reply}).replaceInStrings(QRegularExpression("^"), "C: ");
    }
    QCOMPARE(transcript, steps);
    const QStringList outcomes = {"Pending", "Sent", "Failed"};
    const QStringList failures = {"None",    "Greeting", "GreetingRefused", "NoRecipients",
                                  "Refused", "BadReply", "Connection"};
    QCOMPARE(QStringList({outcomes[int(dialogue.Outcome())], failures[int(dialogue.Failure())], dialogue.Error()})
                 .join(u' ')
                 .trimmed(),
             end);
    // A lost connection ends the dialogue, and nothing more is ever sent after QUIT.
    QVERIFY(dialogue.Finished() || !steps.last().startsWith("X: "));
    QVERIFY(dialogue.Feed("250 ok\r\n").isEmpty());
  }

  // A refusal too long to show whole; the RCPT and MAIL FROM lines are
  // cleaned of line breaks as the header is.
  void LongRefusalAndCleanEnvelope() {
    TSmtpDialogue refused("joe@", Message("joe@example.org", {"author@example.com"}, {}));
    QCOMPARE(Run(refused, {"554 " + QString(2000, 'x')}), QStringList{"QUIT"});
    QCOMPARE(refused.Failure(), TSmtpDialogue::TFailure::Greeting);
    QCOMPARE(refused.Error(), "554 " + QString(508, 'x') + "...");

    TSmtpDialogue dialogue("joe@", Message("joe@x\r\nQUIT", {"a@b\r\nRSET"}, {}));
    QCOMPARE(Run(dialogue, {"220 ready", "250 hi", "250 ok", "250 ok"}),
             (QStringList{"HELO joe@", "RSET", "MAIL FROM:<joe@xQUIT>", "RCPT TO:<a@bRSET>"}));
  }
};

QTEST_APPLESS_MAIN(TestSmtpDialogue)
#include "tst_smtp_dialogue.moc"
