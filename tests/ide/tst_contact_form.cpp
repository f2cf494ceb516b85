// The feedback mail end to end against servers on 127.0.0.1 started here: a
// real SMTP server (aiosmtpd, in tests/ide/test_servers.py) whose received
// message is checked header by header, and a scripted server that records
// the exact command sequence (the cases of tests/data/smtp/form.txt, servers that fail among them).
#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cerrno>

#include "net/contact_form.h"
#include "net/feedback_mail.h"
#include "tests/support/boxes.h"
#include "tests/support/qt_files.h"
#include "tests/support/qt_table.h"
#include "tests/support/test_server.h"

using marlo::net::TContactForm;
using marlo::net::TFeedbackMail;
using marlo::test::Items;
using marlo::test::ReadBytes;

namespace {

const QString kAsk = "Marlo will now attempt to obtain the author's email address from the remote \nsite.";
const QString kAuthor = "author@example.com";
const QString kBusy =
    "The last mail is still being sent, so no new form opens until it is done.\nStop sending it and open the form?";

// A server on 127.0.0.1 that answers from a script and records each command
// line it receives (the message text after DATA is not recorded).
class TRecordingServer : public QObject {
 public:
  QString Greeting = "220 test server ready";
  QHash<QString, QString> Replies;  // command word -> reply; "." for the message end
  bool Silent = false;              // never say anything
  bool Flood = false;               // one endless line instead of a greeting
  QStringList Commands;
  QByteArray Message;
  int Connections = 0;

  TRecordingServer() {
    server_.listen(QHostAddress::LocalHost);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
      QTcpSocket* socket = server_.nextPendingConnection();
      ++Connections;
      connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
      if (Flood)
        socket->write(QByteArray(200 * 1024, 'x'));
      else if (!Silent)
        socket->write(Greeting.toUtf8() + "\r\n");
    });
  }
  quint16 Port() const { return server_.serverPort(); }

 private:
  void Read(QTcpSocket* socket) {
    while (socket->canReadLine()) {
      const QString line = QString::fromUtf8(socket->readLine()).chopped(2);
      if (inData_) {
        if (line != ".") {
          Message += line.toUtf8() + "\r\n";
          continue;
        }
        inData_ = false;
        socket->write(Replies.value(".", "250 queued").toUtf8() + "\r\n");
        continue;
      }
      Commands << line;
      const QString word = line.section(' ', 0, 0).section(':', 0, 0);
      QString reply = Replies.value(word, word == "DATA" ? "354 go ahead" : word == "QUIT" ? "221 bye" : "250 ok");
      if (word == "DATA" && reply.startsWith('3')) inData_ = true;
      if (reply.isEmpty()) continue;  // mute: neither answer nor close
      socket->write(reply.toUtf8() + "\r\n");
      if (word == "QUIT") socket->disconnectFromHost();
    }
  }

  QTcpServer server_;
  bool inData_ = false;
};

// The form, the mail handler and the recorded boxes and status texts.
struct TFixture {
  TContactForm form;
  TFeedbackMail mail{&form, nullptr};
  marlo::test::BoxRecorder boxes{{}, QMessageBox::Yes};
  QStringList status;
  int pageFetches = 0;
  bool pageFound = true;

  explicit TFixture(int port) {
    mail.NMSMTP1.Port = port;
    mail.Version = "1.0.5.180";
    mail.DefaultAuthorEMail = "last-known@example.com";
    mail.GetAuthorEMail = [this](QString& address) {
      ++pageFetches;
      if (pageFound) address = kAuthor;
      return pageFound;
    };
    mail.ShowStatus = [this](const QString& text) { status << text; };
    form.Edit1->setText("joe@example.org");
    form.Edit2->setText("127.0.0.1");
    form.Edit3->setText("Joe Tester");
    form.Memo1->setPlainText("First line\n.\n.hidden\nlast");
  }

  // Sends from the form and waits for the outcome; false when nothing was sent.
  bool Send() {
    QSignalSpy done(&mail, &TFeedbackMail::Done);
    mail.SendFromForm();
    return mail.NMSMTP1.Busy() && done.wait(10000) && done.first().first().toBool();
  }
};
}  // namespace

class TestContactForm : public QObject {
  Q_OBJECT

 private slots:
  void Form() {
    TContactForm form;
    QVERIFY(form.Purpose[0]->isChecked());
    QStringList texts = {form.windowTitle(), form.CheckBox1->text(), form.OkButton->text(), form.CancelButton->text()};
    for (int i = 0; i < 3; ++i) {
      form.Purpose[i]->setChecked(true);
      texts << form.Purpose[i]->text() + ": " + marlo::net::SubjectForPurpose(form.ItemIndex());
    }
    QCOMPARE(texts, QStringList({"ContactForm", "Send me a copy", "OK", "Cancel", "Feedback: Product feedback",
                                 "Feature request: Feature request", "Bug report: Bug report"}));
  }

  void RealServer() {
    QTemporaryDir outdir;
    marlo::test::TestServer server;
    const QString why = server.Start({"smtp", outdir.path()});
    if (why.startsWith("SKIP ")) QSKIP(qPrintable(why.mid(5)));
    QVERIFY2(why.isEmpty(), qPrintable(why));

    TFixture fixture(server.port);
    fixture.form.CheckBox1->setChecked(true);
    fixture.form.Purpose[2]->setChecked(true);
    QVERIFY(fixture.Send());
    // A name and text beyond ASCII, with a line longer than a mail line.
    TFixture other(server.port);
    const QString name = QString::fromUtf8("Jürgen Müller"),
                  memo = QString::fromUtf8("Grüße\n.\n") + QString::fromUtf8("Wörter = 1 ").repeated(200);
    other.form.Edit3->setText(name);
    other.form.Memo1->setPlainText(memo);
    QVERIFY(other.Send());
    QVERIFY(server.Stop());

    const QJsonObject received = QJsonDocument::fromJson(ReadBytes(outdir.filePath("message-1.json"))).object();
    QCOMPARE(received["helo"].toString(), QStringLiteral("joe@"));
    QCOMPARE(received["mail_from"].toString(), QStringLiteral("joe@example.org"));
    QCOMPARE(received["rcpt_tos"].toArray().toVariantList(), (QVariantList{kAuthor, "joe@example.org"}));
    // The header with today's date, and the text with the stuffing dots taken
    // off again by the server.
    QString content = received["content"].toString();
    content.replace(QRegularExpression("\r\nDate: [^\r]{5,}\r\n"), "\r\nDate: <today>\r\n");
    QCOMPARE(content.split("\r\n"), Items("From: Joe Tester<joe@example.org>|To: " + kAuthor +
                                          "|CC: joe@example.org|Subject: Bug report|X-Mailer: The Marlo v. 1.0.5.180|"
                                          "Date: <today>|Mime-Version: 1.0|Content-Type: text/plain;                  "
                                          "      charset=us-ascii||First line|.|.hidden|last|The Marlo v. 1.0.5.180|"));

    QCOMPARE(fixture.boxes.Texts(), (QStringList{kAsk, "mail sent"}));
    QVERIFY(fixture.status.contains("Sending mail"));
    QCOMPARE(fixture.status.last(), QStringLiteral("Disconnected"));
    // The message is cleared after sending; the form keeps its entries.
    QVERIFY(fixture.mail.NMSMTP1.PostMessage.ToAddress.isEmpty());
    QCOMPARE(fixture.form.Edit3->text(), QStringLiteral("Joe Tester"));

    // Python's mail parser reads the UTF-8 one back as it was typed.
    const QJsonObject utf8 = QJsonDocument::fromJson(ReadBytes(outdir.filePath("message-2.json"))).object();
    QCOMPARE(utf8["from_name"].toString(), name);
    QCOMPARE(utf8["body"].toString(), memo + "\nThe Marlo v. 1.0.5.180\n");
    for (const QString& line : utf8["content"].toString().split("\r\n"))
      QVERIFY2(line.size() <= 998 && std::all_of(line.begin(), line.end(), [](QChar c) { return c.unicode() < 0x80; }),
               qPrintable(line.left(80)));
  }

  void CommandSequence_data() { marlo::test::TableRows("smtp/form.txt", "sequence"); }

  // The greeting may also be <silent>, <flood> (one endless line), <closed>
  // (a port nobody listens on), <wrapping port> (65536 above the server's)
  // or <time-out 0>.
  void CommandSequence() {
    auto [address, copy, pageFound, greeting, command, commands, boxes, status] = marlo::test::Cells<8>();
    TRecordingServer server;
    server.Greeting = greeting;
    server.Silent = greeting == "<silent>";
    server.Flood = greeting == "<flood>";
    if (!command.isEmpty()) server.Replies[command] = command == "QUIT" ? QString() : "501 refused";
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const int port = greeting == "<closed>"          ? closed.serverPort()
                     : greeting == "<wrapping port>" ? server.Port() + 65536
                                                     : server.Port();
    closed.close();
    TFixture fixture(port);
    fixture.mail.NMSMTP1.TimeOut = greeting == "<time-out 0>" ? 0 : 300;
    fixture.pageFound = pageFound == "yes";
    fixture.form.Edit1->setText(address);
    fixture.form.CheckBox1->setChecked(copy == "yes");
    const bool sent = fixture.Send();
    QCOMPARE(sent, boxes.endsWith("|mail sent"));
    QTRY_COMPARE(server.Commands, Items(commands));
    QCOMPARE(fixture.boxes.Texts(), Items(boxes.replace("<port>", QString::number(port))));
    if (!sent) QCOMPARE(fixture.boxes.asked.last().icon, QMessageBox::Critical);
    status.replace("ETIMEDOUT", QString::number(ETIMEDOUT)).replace("EPROTO", QString::number(EPROTO));
    status.replace("ECONNREFUSED", QString::number(ECONNREFUSED));
    if (!status.isEmpty()) QVERIFY2(fixture.status.contains(status), qPrintable(fixture.status.join('|')));
    const bool reached = !QStringList({"<closed>", "<wrapping port>", "<time-out 0>"}).contains(greeting);
    QCOMPARE(server.Connections, reached ? 1 : 0);
    if (sent) {
      QVERIFY(server.Message.contains("\r\n..\r\n..hidden\r\n"));  // "." and ".hidden" stuffed
      QVERIFY(server.Message.endsWith("\r\nThe Marlo v. 1.0.5.180\r\n"));
    }
  }

  void Cancel() {
    TRecordingServer server;
    server.Silent = true;
    TFixture fixture(server.Port());

    // Cancel in the form: nothing fetched, nothing sent, no box.
    QTimer::singleShot(0, &fixture.form, [&] { fixture.form.CancelButton->click(); });
    fixture.mail.ContactAuthor();
    QCOMPARE(fixture.pageFetches, 0);
    QVERIFY(fixture.boxes.asked.isEmpty());
    QTest::qWait(50);
    QCOMPARE(server.Connections, 0);

    // "No" to the built-in address: nothing sent.
    fixture.pageFound = false;
    fixture.boxes.otherwise = QMessageBox::No;
    fixture.mail.SendFromForm();
    QVERIFY(!fixture.mail.NMSMTP1.Busy());
    QCOMPARE(fixture.pageFetches, 1);

    // Cancel while waiting for the greeting: the send ends quietly.
    fixture.pageFound = true;
    fixture.boxes.asked.clear();
    fixture.mail.NMSMTP1.TimeOut = 60000;
    QSignalSpy done(&fixture.mail, &TFeedbackMail::Done);
    fixture.mail.SendFromForm();
    QTRY_COMPARE(server.Connections, 1);
    fixture.mail.Cancel();
    QCOMPARE(done.size(), 1);
    QCOMPARE(done.first().first().toBool(), false);
    QVERIFY(!fixture.mail.NMSMTP1.Busy());
    QCOMPARE(fixture.boxes.Texts(), QStringList{kAsk});
    // The form kept its contents for another try.
    QCOMPARE(fixture.form.Edit1->text(), QStringLiteral("joe@example.org"));

    // Contact Author while a mail is pending says why no form opens and offers
    // to stop the mail; Yes stops it and opens the form.
    fixture.mail.SendFromForm();
    QVERIFY(fixture.mail.NMSMTP1.Busy());
    int forms = 0;
    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
      fixture.boxes.otherwise = answer;
      fixture.boxes.asked.clear();
      QTimer::singleShot(0, &fixture.form, [&] {
        if (fixture.form.isVisible()) ++forms, fixture.form.CancelButton->click();
      });
      fixture.mail.ContactAuthor();
      QCOMPARE(fixture.boxes.Texts(), QStringList{kBusy});
      QCOMPARE(fixture.mail.NMSMTP1.Busy(), answer == QMessageBox::No);
      QCOMPARE(forms, answer == QMessageBox::Yes ? 1 : 0);
    }
  }
};

QTEST_MAIN(TestContactForm)
#include "tst_contact_form.moc"
