// The mail dialogue without sockets: the dialogues of
// tests/data/smtp/dialogues.txt (scripted server replies and what is sent on
// each), HELO names, dot-stuffing, header lines and reply parsing.
#include <QRegularExpression>
#include <QTest>

#include "net/smtp_dialogue.h"
#include "tests/support/files.h"
#include "tests/support/rows.h"

using marlo::net::TMailMessage;
using marlo::net::TSmtpDialogue;
using marlo::test::Items;
using marlo::test::Row;

namespace {

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
  void Dialogue_data();
  void Dialogue();
  void HeloNames_data();
  void HeloNames();
  void DotStuffing_data();
  void DotStuffing();
  void QuotedPrintable_data();
  void QuotedPrintable();
  void EncodedWords_data();
  void EncodedWords();
  void Header_data();
  void Header();
  void MessageData();
  void ReplyLines_data();
  void ReplyLines();
  void LongRefusalAndLostConnection();
};

void TestSmtpDialogue::Dialogue_data() {
  QTest::addColumn<QString>("mail");
  QTest::addColumn<QStringList>("steps");  // the "S: " and "C: " lines
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
    } else if (text.startsWith("S: ") || text.startsWith("C: ")) {
      steps << text;
    } else if (text.startsWith("end: ")) {
      QTest::addRow("dialogues.txt:%d", first) << mail << steps << text.mid(5);
    } else {
      qFatal("dialogues.txt:%d: cannot read the line", number);
    }
  }
}

void TestSmtpDialogue::Dialogue() {
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
    if (!step.startsWith("S: ")) continue;
    std::string quoted = step.mid(3).toStdString();
    std::string_view rest = quoted;
    const QString reply = quoted.starts_with('"') ? QString::fromStdString(marlo::test::TakeQuoted(rest)) : step.mid(3);
    transcript << step << Run(dialogue, {reply}).replaceInStrings(QRegularExpression("^"), "C: ");
  }
  QCOMPARE(transcript, steps);
  const QStringList outcomes = {"Pending", "Sent", "Failed"};
  const QStringList failures = {"None",    "Greeting", "GreetingRefused", "NoRecipients",
                                "Refused", "BadReply", "Connection"};
  QCOMPARE(QStringList({outcomes[int(dialogue.Outcome())], failures[int(dialogue.Failure())], dialogue.Error()})
               .join(u' ')
               .trimmed(),
           end);
  // Nothing more is ever sent after QUIT.
  QVERIFY(dialogue.Feed("250 ok\r\n").isEmpty());
}

void TestSmtpDialogue::HeloNames_data() {
  QTest::addColumn<QString>("address");
  QTest::addColumn<QString>("userId");
  Row("user@domain", "joe@example.org", "joe@");
  Row("no @", "joe", "");
  Row("empty", "", "");
  Row("two @", "a@b@c", "a@");
  Row("only @", "@example.org", "@");
  Row("line breaks removed", "jo\r\nRSET\r\ne@x", "joRSETe@");
}

void TestSmtpDialogue::HeloNames() {
  QFETCH(QString, address);
  QFETCH(QString, userId);
  QCOMPARE(marlo::net::UserIdFromAddress(address), userId);
  TSmtpDialogue dialogue(marlo::net::UserIdFromAddress(address), TMailMessage());
  QCOMPARE(dialogue.Feed("220 ready\r\n"), ("HELO " + userId + "\r\n").toUtf8());
}

void TestSmtpDialogue::DotStuffing_data() {
  QTest::addColumn<QStringList>("body");
  QTest::addColumn<QStringList>("stuffed");
  const QString x998(998, 'x');
  Row("plain", Items("a|b.c|"), Items("a|b.c|"));
  Row("lone dot", Items("."), Items(".."));
  Row("leading dots", Items(".hidden|..| .x"), Items("..hidden|...| .x"));
  Row("line breaks inside a line", Items("one\r\n.\r\nQUIT|two\n.x|three\r."), Items("one|..|QUIT|two|..x|three|.."));
  Row("empty body", QStringList(), QStringList());
  Row("998 characters fit", QStringList{x998}, QStringList{x998});
  Row("long line broken before a blank", QStringList{QString(990, 'a') + ' ' + QString(20, 'b')},
      QStringList{QString(990, 'a'), ' ' + QString(20, 'b')});
  Row("long line without blanks", QStringList{QString(2000, 'x')}, QStringList{x998, x998, QString(4, 'x')});
  Row("a broken-off dot is stuffed within the limit", QStringList{x998 + '.' + QString(1000, 'y')},
      QStringList{x998, ".." + QString(996, 'y'), QString(4, 'y')});
}

void TestSmtpDialogue::DotStuffing() {
  QFETCH(QStringList, body);
  QFETCH(QStringList, stuffed);
  QCOMPARE(marlo::net::DotStuff(body), stuffed);
}

void TestSmtpDialogue::QuotedPrintable_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<QStringList>("encoded");
  Row("ASCII", "plain text.", QStringList{"plain text."});
  Row("empty", "", QStringList{""});
  Row("umlauts", QString::fromUtf8("Gr\u00fc\u00dfe"), QStringList{"Gr=C3=BC=C3=9Fe"});
  Row("equals sign, blank at the end", "a=b ", QStringList{"a=3Db=20"});
  Row("tab at the end, blank inside", "x y\t", QStringList{"x y=09"});
  Row("soft break at 76", QString(100, 'a'), QStringList{QString(75, 'a') + '=', QString(25, 'a')});
  Row("an escape is never split", QString(74, 'a') + QString::fromUtf8("\u00e9"),
      QStringList{QString(74, 'a') + '=', "=C3=A9"});
}

void TestSmtpDialogue::QuotedPrintable() {
  QFETCH(QString, line);
  QTEST(marlo::net::QuotedPrintable(line), "encoded");
}

void TestSmtpDialogue::EncodedWords_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("encoded");
  const QString ue = QString::fromUtf8("ü"), smile = QString::fromUtf8("😀");
  const QString open = "=?UTF-8?Q?", nine = open + QString("=C3=BC").repeated(9) + "?=";
  Row("ASCII as it is", "Joe Tester", "Joe Tester");
  Row("name", QString::fromUtf8("Jürgen Müller"), open + "J=C3=BCrgen_M=C3=BCller?=");
  Row("specials escaped", QString::fromUtf8("Ünï? a_b=c\"d(e)"), open + "=C3=9Cn=C3=AF=3F_a=5Fb=3Dc=22d=28e=29?=");
  Row("words of at most 66 characters", ue.repeated(30),
      nine + "\r\n " + nine + "\r\n " + nine + "\r\n " + open + "=C3=BC=C3=BC=C3=BC?=");
  Row("a character is never split", 'a' + smile.repeated(5),
      open + 'a' + QString("=F0=9F=98=80").repeated(4) + "?=\r\n " + open + "=F0=9F=98=80?=");
}

void TestSmtpDialogue::EncodedWords() {
  QFETCH(QString, text);
  QTEST(marlo::net::EncodeWords(text), "encoded");
}

void TestSmtpDialogue::Header_data() {
  QTest::addColumn<QStringList>("cc");
  QTest::addColumn<QString>("replyTo");
  QTest::addColumn<QString>("date");
  QTest::addColumn<QString>("name");
  QTest::addColumn<QStringList>("header");
  const QString to = "To: author@example.com,second@example.com|";
  const QString about = "Subject: Bug report|X-Mailer: The Marlo v. 1.0.5.180|";
  const QString ascii = "Mime-Version: 1.0|Content-Type: text/plain;                        charset=us-ascii";
  Row("with copy and date", Items("joe@example.org|ann@example.org"), "", "06/12/2026 17:00:00", "Joe Tester",
      Items("From: Joe Tester<joe@example.org>|" + to + "CC: joe@example.org,ann@example.org|" + about +
            "Date: 06/12/2026 17:00:00|" + ascii));
  Row("no copy, no date, reply-to", QStringList(), "back@example.org", "", "Joe",
      Items("From: Joe<joe@example.org>|" + to + about + "Reply-To: back@example.org|" + ascii));
  Row("line breaks cannot inject", Items("x@y\r\nBcc: all@z"), "", "now\n", "Eve\r\nRCPT TO:<evil@x>",
      Items("From: EveRCPT TO:<evil@x><joe@example.org>|" + to + "CC: x@yBcc: all@z|" + about + "Date: now|" + ascii));
  Row("name not ASCII", QStringList(), "", "06/12/2026 17:00:00", QString::fromUtf8("J\u00fcrgen"),
      Items("From: =?UTF-8?Q?J=C3=BCrgen?=\r\n <joe@example.org>|" + to + about +
            "Date: 06/12/2026 17:00:00|Mime-Version: 1.0|Content-Type: text/plain;                        "
            "charset=utf-8|Content-Transfer-Encoding: quoted-printable"));
  Row("long field folded before a blank", QStringList(), "", "", QString("Joe ").repeated(300),
      Items("From: " + QString("Joe ").repeated(247) + "Joe\r\n " + QString("Joe ").repeated(52) +
            "<joe@example.org>|" + to + about + ascii));
}

void TestSmtpDialogue::Header() {
  QFETCH(QStringList, cc);
  QFETCH(QString, replyTo);
  QFETCH(QString, date);
  QFETCH(QString, name);
  QFETCH(QStringList, header);
  TMailMessage message = Message("joe@example.org", {"author@example.com", "second@example.com"}, cc);
  message.ReplyTo = replyTo;
  message.Date = date;
  message.FromName = name;
  QCOMPARE(marlo::net::BuildHeader(message), header);
}

void TestSmtpDialogue::MessageData() {
  TMailMessage message = Message("joe@example.org", {"author@example.com"}, {});
  message.Body = QStringList{".", "text", message.LocalProgram};
  message.Subject = "Product\r\nfeedback";
  const QByteArray expected =
      "From: Joe Tester<joe@example.org>\r\n"
      "To: author@example.com\r\n"
      "Subject: Productfeedback\r\n"
      "X-Mailer: The Marlo v. 1.0.5.180\r\n"
      "Mime-Version: 1.0\r\n"
      "Content-Type: text/plain;                        charset=us-ascii\r\n"
      "\r\n"
      "..\r\n"
      "text\r\n"
      "The Marlo v. 1.0.5.180\r\n"
      ".\r\n";
  QCOMPARE(marlo::net::BuildMessageData(message), expected);

  // Any other character makes it UTF-8, quoted-printable.
  message.FromName = QString::fromUtf8("Jürgen");
  message.Subject = "Bug report";
  message.Body = QStringList{QString::fromUtf8("Grüße"), ".", "x = 1 ", message.LocalProgram};
  const QByteArray utf8 =
      "From: =?UTF-8?Q?J=C3=BCrgen?=\r\n <joe@example.org>\r\n"
      "To: author@example.com\r\n"
      "Subject: Bug report\r\n"
      "X-Mailer: The Marlo v. 1.0.5.180\r\n"
      "Mime-Version: 1.0\r\n"
      "Content-Type: text/plain;                        charset=utf-8\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n"
      "\r\n"
      "Gr=C3=BC=C3=9Fe\r\n"
      "..\r\n"
      "x =3D 1=20\r\n"
      "The Marlo v. 1.0.5.180\r\n"
      ".\r\n";
  QCOMPARE(marlo::net::BuildMessageData(message), utf8);

  // The RCPT and MAIL FROM lines are cleaned the same way.
  TSmtpDialogue dialogue("joe@", Message("joe@x\r\nQUIT", {"a@b\r\nRSET"}, {}));
  QCOMPARE(Run(dialogue, {"220 ready", "250 hi", "250 ok", "250 ok"}),
           (QStringList{"HELO joe@", "RSET", "MAIL FROM:<joe@xQUIT>", "RCPT TO:<a@bRSET>"}));
}

void TestSmtpDialogue::ReplyLines_data() {
  QTest::addColumn<QByteArray>("line");
  QTest::addColumn<int>("code");
  QTest::addColumn<bool>("last");
  Row("final", QByteArray("250 ok\r\n"), 250, true);
  Row("continuation", QByteArray("250-ok\r\n"), 250, false);
  Row("code only", QByteArray("354"), 354, true);
  Row("code and CR LF", QByteArray("221\r\n"), 221, true);
  Row("too short", QByteArray("25\r\n"), -1, true);
  Row("four digits", QByteArray("2500 x"), -1, true);
  Row("letters", QByteArray("abc def"), -1, true);
  Row("empty", QByteArray(), -1, true);
  Row("binary", QByteArray("\0\xff\x80", 3), -1, true);
}

void TestSmtpDialogue::ReplyLines() {
  QFETCH(QByteArray, line);
  QFETCH(int, code);
  QFETCH(bool, last);
  const marlo::net::TSmtpReply reply = marlo::net::ParseReplyLine(line);
  QCOMPARE(reply.Code, code);
  if (code >= 0) QCOMPARE(reply.Last, last);
}

// A refusal too long to show whole, and a connection that ends.
void TestSmtpDialogue::LongRefusalAndLostConnection() {
  TSmtpDialogue refused("joe@", Message("joe@example.org", {"author@example.com"}, {}));
  QCOMPARE(Run(refused, {"554 " + QString(2000, 'x')}), QStringList{"QUIT"});
  QCOMPARE(refused.Failure(), TSmtpDialogue::TFailure::Greeting);
  QCOMPARE(refused.Error(), "554 " + QString(508, 'x') + "...");

  TSmtpDialogue broken("joe@", Message("joe@x", {"a@b"}, {}));
  Run(broken, {"220 ready", "250 hi"});
  broken.ConnectionLost("Connection reset");
  QVERIFY(broken.Finished());
  QCOMPARE(broken.Outcome(), TSmtpDialogue::TOutcome::Failed);
  QCOMPARE(broken.Failure(), TSmtpDialogue::TFailure::Connection);
  QCOMPARE(broken.Error(), QStringLiteral("Connection reset"));

  // A close after the message went through keeps it sent.
  TSmtpDialogue done("joe@", Message("joe@x", {"a@b"}, {}));
  Run(done, {"220 ready", "250 hi", "250 ok", "250 ok", "250 ok", "354 go", "250 queued"});
  done.ConnectionLost("closed");
  QCOMPARE(done.Outcome(), TSmtpDialogue::TOutcome::Sent);
}

QTEST_APPLESS_MAIN(TestSmtpDialogue)
#include "tst_smtp_dialogue.moc"
