// The mail dialogue without sockets: command sequences for scripted server
// replies, HELO names, dot-stuffing, header lines and reply parsing.
#include <QTest>

#include "net/smtp_dialogue.h"

using marlo::net::TMailMessage;
using marlo::net::TSmtpDialogue;

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
  void ConnectionLost();
};

void TestSmtpDialogue::Dialogue_data() {
  QTest::addColumn<QString>("from");
  QTest::addColumn<QStringList>("to");
  QTest::addColumn<QStringList>("cc");
  QTest::addColumn<QStringList>("replies");
  QTest::addColumn<QStringList>("sent");
  QTest::addColumn<int>("outcome");
  QTest::addColumn<int>("failure");
  QTest::addColumn<QString>("error");

  const QString joe = QStringLiteral("joe@example.org");
  const QStringList author = {QStringLiteral("author@example.com")};
  const QStringList copy = {joe};
  const QStringList full = {"HELO joe@",
                            "RSET",
                            "MAIL FROM:<joe@example.org>",
                            "RCPT TO:<author@example.com>",
                            "RCPT TO:<joe@example.org>",
                            "DATA",
                            "<message>",
                            "QUIT"};
  const int sent = int(TSmtpDialogue::TOutcome::Sent);
  const int failed = int(TSmtpDialogue::TOutcome::Failed);
  const int none = int(TSmtpDialogue::TFailure::None);
  const int refused = int(TSmtpDialogue::TFailure::Refused);

  QTest::newRow("normal, with copy") << joe << author << copy
                                     << QStringList{"220 ready", "250 hi", "250 ok",     "250 ok", "250 ok",
                                                    "250 ok",    "354 go", "250 queued", "221 bye"}
                                     << full << sent << none << QString();
  QTest::newRow("no copy")
      << joe << author << QStringList()
      << QStringList{"220 ready", "250 hi", "250 ok", "250 ok", "250 ok", "354 go", "250 queued"}
      << QStringList{"HELO joe@", "RSET", "MAIL FROM:<joe@example.org>", "RCPT TO:<author@example.com>", "DATA",
                     "<message>", "QUIT"}
      << sent << none << QString();
  QTest::newRow("multi-line replies") << joe << author << copy
                                      << QStringList{"220-welcome",   "220-to the", "220 server", "250-hi",
                                                     "250-SIZE 1000", "250 HELP",   "250 ok",     "250 ok",
                                                     "250-ok",        "250 ok",     "250 ok",     "354 go",
                                                     "250-queued",    "250 as 12",  "221 bye"}
                                      << full << sent << none << QString();
  QTest::newRow("reply codes just under the limits")
      << joe << author << copy
      << QStringList{"399 odd", "299 hi", "399 odd", "399 odd", "399 odd", "399 odd", "399 odd", "399 odd"} << full
      << sent << none << QString();
  QTest::newRow("refused greeting") << joe << author << copy << QStringList{"554 no service here", "221 bye"}
                                    << QStringList{"QUIT"} << failed << int(TSmtpDialogue::TFailure::Greeting)
                                    << "554 no service here";
  QTest::newRow("HELO refused") << joe << author << copy << QStringList{"220 ready", "501 who are you", "221 bye"}
                                << QStringList{"HELO joe@", "QUIT"} << failed
                                << int(TSmtpDialogue::TFailure::GreetingRefused) << "501 who are you";
  QTest::newRow("HELO answered 300") << joe << author << copy << QStringList{"220 ready", "300 hmm"}
                                     << QStringList{"HELO joe@", "QUIT"} << failed
                                     << int(TSmtpDialogue::TFailure::GreetingRefused) << "300 hmm";
  QTest::newRow("RSET refused") << joe << author << copy << QStringList{"220 ready", "250 hi", "421 closing"}
                                << QStringList{"HELO joe@", "RSET", "QUIT"} << failed << refused << "421 closing";
  QTest::newRow("MAIL FROM refused") << joe << author << copy
                                     << QStringList{"220 ready", "250 hi", "250 ok", "553 bad sender"}
                                     << QStringList{"HELO joe@", "RSET", "MAIL FROM:<joe@example.org>", "QUIT"}
                                     << failed << refused << "553 bad sender";
  QTest::newRow("second RCPT refused") << joe << author << copy
                                       << QStringList{"220 ready", "250 hi", "250 ok",
                                                      "250 ok",    "250 ok", "550 no such user"}
                                       << QStringList{"HELO joe@",
                                                      "RSET",
                                                      "MAIL FROM:<joe@example.org>",
                                                      "RCPT TO:<author@example.com>",
                                                      "RCPT TO:<joe@example.org>",
                                                      "QUIT"}
                                       << failed << refused << "550 no such user";
  QTest::newRow("DATA answered 250")
      << joe << author << QStringList() << QStringList{"220 ready", "250 hi", "250 ok", "250 ok", "250 ok", "250 ok"}
      << QStringList{"HELO joe@", "RSET", "MAIL FROM:<joe@example.org>", "RCPT TO:<author@example.com>", "DATA", "QUIT"}
      << failed << refused << "250 ok";
  QTest::newRow("message refused")
      << joe << author << QStringList()
      << QStringList{"220 ready", "250 hi", "250 ok", "250 ok", "250 ok", "354 go", "552 too big", "221 bye"}
      << QStringList{"HELO joe@", "RSET", "MAIL FROM:<joe@example.org>", "RCPT TO:<author@example.com>", "DATA",
                     "<message>", "QUIT"}
      << failed << refused << "552 too big";
  QTest::newRow("no recipients") << joe << QStringList() << QStringList() << QStringList{"220 ready", "250 hi"}
                                 << QStringList{"HELO joe@", "QUIT"} << failed
                                 << int(TSmtpDialogue::TFailure::NoRecipients)
                                 << "The message has no sender or no recipient.";
  QTest::newRow("no sender") << QString() << author << QStringList() << QStringList{"220 ready", "250 hi"}
                             << QStringList{"HELO ", "QUIT"} << failed << int(TSmtpDialogue::TFailure::NoRecipients)
                             << "The message has no sender or no recipient.";
  QTest::newRow("junk instead of greeting")
      << joe << author << copy << QStringList{"\x01\x02garbage", "250 too late"} << QStringList{"QUIT"} << failed
      << int(TSmtpDialogue::TFailure::BadReply) << "Unexpected reply from the mail server:   garbage";
  QTest::newRow("1xx reply") << joe << author << copy << QStringList{"220 ready", "150 wait"}
                             << QStringList{"HELO joe@", "QUIT"} << failed << int(TSmtpDialogue::TFailure::BadReply)
                             << "Unexpected reply from the mail server: 150 wait";
  QTest::newRow("huge refusal is quoted short")
      << joe << author << copy << QStringList{"554 " + QString(2000, 'x')} << QStringList{"QUIT"} << failed
      << int(TSmtpDialogue::TFailure::Greeting) << "554 " + QString(508, 'x') + "...";
}

void TestSmtpDialogue::Dialogue() {
  QFETCH(QString, from);
  QFETCH(QStringList, to);
  QFETCH(QStringList, cc);
  QFETCH(QStringList, replies);
  QFETCH(QStringList, sent);
  QFETCH(int, outcome);
  QFETCH(int, failure);
  QFETCH(QString, error);

  TSmtpDialogue dialogue(marlo::net::UserIdFromAddress(from), Message(from, to, cc));
  QCOMPARE(Run(dialogue, replies), sent);
  QCOMPARE(int(dialogue.Outcome()), outcome);
  QCOMPARE(int(dialogue.Failure()), failure);
  QCOMPARE(dialogue.Error(), error);
  // Nothing more is ever sent after QUIT.
  QVERIFY(dialogue.Feed("250 ok\r\n").isEmpty());
}

void TestSmtpDialogue::HeloNames_data() {
  QTest::addColumn<QString>("address");
  QTest::addColumn<QString>("userId");
  QTest::newRow("user@domain") << "joe@example.org"
                               << "joe@";
  QTest::newRow("no @") << "joe" << QString();
  QTest::newRow("empty") << QString() << QString();
  QTest::newRow("two @") << "a@b@c"
                         << "a@";
  QTest::newRow("only @") << "@example.org"
                          << "@";
  QTest::newRow("line breaks removed") << "jo\r\nRSET\r\ne@x"
                                       << "joRSETe@";
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
  QTest::newRow("plain") << QStringList{"a", "b.c", ""} << QStringList{"a", "b.c", ""};
  QTest::newRow("lone dot") << QStringList{"."} << QStringList{".."};
  QTest::newRow("leading dots") << QStringList{".hidden", "..", " .x"} << QStringList{"..hidden", "...", " .x"};
  QTest::newRow("line breaks inside a line") << QStringList{"one\r\n.\r\nQUIT", "two\n.x", "three\r."}
                                             << QStringList{"one", "..", "QUIT", "two", "..x", "three", ".."};
  QTest::newRow("empty body") << QStringList() << QStringList();
  QTest::newRow("998 characters fit") << QStringList{QString(998, 'z')} << QStringList{QString(998, 'z')};
  QTest::newRow("long line broken before a blank") << QStringList{QString(990, 'a') + ' ' + QString(20, 'b')}
                                                   << QStringList{QString(990, 'a'), ' ' + QString(20, 'b')};
  QTest::newRow("long line without blanks")
      << QStringList{QString(2000, 'x')} << QStringList{QString(998, 'x'), QString(998, 'x'), QString(4, 'x')};
  QTest::newRow("a broken-off dot is stuffed within the limit")
      << QStringList{QString(998, 'x') + '.' + QString(1000, 'y')}
      << QStringList{QString(998, 'x'), ".." + QString(996, 'y'), QString(4, 'y')};
}

void TestSmtpDialogue::DotStuffing() {
  QFETCH(QStringList, body);
  QFETCH(QStringList, stuffed);
  QCOMPARE(marlo::net::DotStuff(body), stuffed);
}

void TestSmtpDialogue::QuotedPrintable_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<QStringList>("encoded");
  QTest::newRow("ASCII") << "plain text." << QStringList{"plain text."};
  QTest::newRow("empty") << "" << QStringList{""};
  QTest::newRow("umlauts") << QString::fromUtf8("Grüße") << QStringList{"Gr=C3=BC=C3=9Fe"};
  QTest::newRow("equals sign, blank at the end") << "a=b " << QStringList{"a=3Db=20"};
  QTest::newRow("tab at the end, blank inside") << "x y\t" << QStringList{"x y=09"};
  QTest::newRow("soft break at 76") << QString(100, 'a') << QStringList{QString(75, 'a') + '=', QString(25, 'a')};
  QTest::newRow("an escape is never split")
      << QString(74, 'a') + QString::fromUtf8("é") << QStringList{QString(74, 'a') + '=', "=C3=A9"};
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
  QTest::newRow("ASCII as it is") << "Joe Tester"
                                  << "Joe Tester";
  QTest::newRow("name") << QString::fromUtf8("Jürgen Müller") << open + "J=C3=BCrgen_M=C3=BCller?=";
  QTest::newRow("specials escaped") << QString::fromUtf8("Ünï? a_b=c\"d(e)")
                                    << open + "=C3=9Cn=C3=AF=3F_a=5Fb=3Dc=22d=28e=29?=";
  QTest::newRow("words of at most 66 characters")
      << ue.repeated(30) << nine + "\r\n " + nine + "\r\n " + nine + "\r\n " + open + "=C3=BC=C3=BC=C3=BC?=";
  QTest::newRow("a character is never split")
      << 'a' + smile.repeated(5)
      << open + 'a' + QString("=F0=9F=98=80").repeated(4) + "?=\r\n " + open + "=F0=9F=98=80?=";
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
  const QString type = "Content-Type: text/plain;                        charset=us-ascii";
  QTest::newRow("with copy and date") << QStringList{"joe@example.org", "ann@example.org"} << QString()
                                      << "06/12/2026 17:00:00"
                                      << "Joe Tester"
                                      << QStringList{"From: Joe Tester<joe@example.org>",
                                                     "To: author@example.com,second@example.com",
                                                     "CC: joe@example.org,ann@example.org",
                                                     "Subject: Bug report",
                                                     "X-Mailer: The Marlo v. 1.0.5.180",
                                                     "Date: 06/12/2026 17:00:00",
                                                     "Mime-Version: 1.0",
                                                     type};
  QTest::newRow("no copy, no date, reply-to") << QStringList() << "back@example.org" << QString() << "Joe"
                                              << QStringList{"From: Joe<joe@example.org>",
                                                             "To: author@example.com,second@example.com",
                                                             "Subject: Bug report",
                                                             "X-Mailer: The Marlo v. 1.0.5.180",
                                                             "Reply-To: back@example.org",
                                                             "Mime-Version: 1.0",
                                                             type};
  QTest::newRow("line breaks cannot inject") << QStringList{"x@y\r\nBcc: all@z"} << QString() << "now\n"
                                             << "Eve\r\nRCPT TO:<evil@x>"
                                             << QStringList{"From: EveRCPT TO:<evil@x><joe@example.org>",
                                                            "To: author@example.com,second@example.com",
                                                            "CC: x@yBcc: all@z",
                                                            "Subject: Bug report",
                                                            "X-Mailer: The Marlo v. 1.0.5.180",
                                                            "Date: now",
                                                            "Mime-Version: 1.0",
                                                            type};
  QTest::newRow("name not ASCII") << QStringList() << QString() << "06/12/2026 17:00:00" << QString::fromUtf8("Jürgen")
                                  << QStringList{"From: =?UTF-8?Q?J=C3=BCrgen?=\r\n <joe@example.org>",
                                                 "To: author@example.com,second@example.com",
                                                 "Subject: Bug report",
                                                 "X-Mailer: The Marlo v. 1.0.5.180",
                                                 "Date: 06/12/2026 17:00:00",
                                                 "Mime-Version: 1.0",
                                                 "Content-Type: text/plain;                        charset=utf-8",
                                                 "Content-Transfer-Encoding: quoted-printable"};
  QTest::newRow("long field folded before a blank")
      << QStringList() << QString() << QString() << QString("Joe ").repeated(300)
      << QStringList{
             "From: " + QString("Joe ").repeated(247) + "Joe\r\n " + QString("Joe ").repeated(52) + "<joe@example.org>",
             "To: author@example.com,second@example.com",
             "Subject: Bug report",
             "X-Mailer: The Marlo v. 1.0.5.180",
             "Mime-Version: 1.0",
             type};
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
  QTest::newRow("final") << QByteArray("250 ok\r\n") << 250 << true;
  QTest::newRow("continuation") << QByteArray("250-ok\r\n") << 250 << false;
  QTest::newRow("code only") << QByteArray("354") << 354 << true;
  QTest::newRow("code and CR LF") << QByteArray("221\r\n") << 221 << true;
  QTest::newRow("too short") << QByteArray("25\r\n") << -1 << true;
  QTest::newRow("four digits") << QByteArray("2500 x") << -1 << true;
  QTest::newRow("letters") << QByteArray("abc def") << -1 << true;
  QTest::newRow("empty") << QByteArray() << -1 << true;
  QTest::newRow("binary") << QByteArray("\0\xff\x80", 3) << -1 << true;
}

void TestSmtpDialogue::ReplyLines() {
  QFETCH(QByteArray, line);
  QFETCH(int, code);
  QFETCH(bool, last);
  const marlo::net::TSmtpReply reply = marlo::net::ParseReplyLine(line);
  QCOMPARE(reply.Code, code);
  if (code >= 0) QCOMPARE(reply.Last, last);
}

void TestSmtpDialogue::ConnectionLost() {
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
