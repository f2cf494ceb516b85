// The plain parts of the update check: META lines of the product page,
// version comparison in both formats, and the progress window's texts.
#include <QTest>

#include "net/product_page.h"
#include "tests/support/rows.h"

using namespace marlo::net;
using marlo::test::Row;

class TstProductPage : public QObject {
  Q_OBJECT
 private slots:
  void tagLine_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("tagged");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    Row("typical", "<META HTTP-EQUIV=\"MarloVersion\" CONTENT=\"1.0.6.0\">", true, "MarloVersion", "1.0.6.0");
    Row("lower-case marker", "<meta http-equiv=\"MarloVersion\" CONTENT=\"2\">", true, "MarloVersion", "2");
    Row("mixed-case marker", "<Meta Http-Equiv=\"MarloDl\" CONTENT=\"http://x/a.zip\">", true, "MarloDl",
        "http://x/a.zip");
    Row("lower-case content is not read", "<META HTTP-EQUIV=\"MarloVersion\" content=\"1.0\">", true, "MarloVersion",
        "");
    Row("first CONTENT= counts", "<META HTTP-EQUIV=\"A\" CONTENT=\"one\" CONTENT=\"two\">", true, "A", "one");
    Row("empty value", "<META HTTP-EQUIV=\"MarloParms\" CONTENT=\"\">", true, "MarloParms", "");
    Row("no closing quote on name", "<META HTTP-EQUIV=\"MarloVersion", true, "", "");
    Row("no closing quote on value", "<META HTTP-EQUIV=\"V\" CONTENT=\"1.0", true, "V", "");
    Row("marker at the very end", "META HTTP-EQUIV", true, "", "");
    Row("single quotes are not quotes", "<META HTTP-EQUIV='V' CONTENT='1'>", true, "", "");
    Row("no marker", "<META NAME=\"MarloVersion\" CONTENT=\"1\">", false, "", "");
    Row("empty line", "", false, "", "");
  }
  void tagLine() {
    QFETCH(QString, line);
    QString name = "stale", value = "stale";
    const bool tagged = ParseTagLine(line, &name, &value);
    QTEST(tagged, "tagged");
    if (tagged) {
      QTEST(name, "name");
      QTEST(value, "value");
    }
  }

  void page_data() {
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QStringList>("expected");  // name=value, sorted
    const QByteArray tag = "<META HTTP-EQUIV=\"MarloVersion\" CONTENT=\"1.2\">";
    Row("no tags", QByteArray("<html><body>nothing</body></html>"), QStringList{});
    Row("empty page", QByteArray(), QStringList{});
    Row("CR LF lines", QByteArray("<html>\r\n" + tag + "\r\n" + "<META HTTP-EQUIV=\"MarloDl\" CONTENT=\"u\">"),
        QStringList{"MarloDl=u", "MarloVersion=1.2"});
    Row("CR only lines", QByteArray(tag + "\r" + "<META HTTP-EQUIV=\"MarloDate\" CONTENT=\"d\">"),
        QStringList{"MarloDate=d", "MarloVersion=1.2"});
    Row("two tags on one line: first one only", QByteArray(tag + "<META HTTP-EQUIV=\"MarloDl\" CONTENT=\"u\">"),
        QStringList{"MarloVersion=1.2"});
    Row("last line wins", QByteArray(tag + "\n" + "<META HTTP-EQUIV=\"MarloVersion\" CONTENT=\"3.0\">"),
        QStringList{"MarloVersion=3.0"});
    Row("name case is kept", QByteArray("<META HTTP-EQUIV=\"marloversion\" CONTENT=\"4\">"),
        QStringList{"marloversion=4"});
    QByteArray huge(3 * 1024 * 1024, 'x');
    Row("huge line before a tag", QByteArray(huge + "\n" + tag), QStringList{"MarloVersion=1.2"});
    Row("huge line holding the tag", QByteArray(huge + tag + huge), QStringList{"MarloVersion=1.2"});
    QByteArray junk;
    for (int i = 0; i < 200000; ++i) junk.append(static_cast<char>((i * 131) % 256));
    Row("binary junk around a tag", QByteArray(junk + "\n" + tag + "\n" + junk), QStringList{"MarloVersion=1.2"});
    Row("junk of broken markers", QByteArray(QByteArray("META HTTP-EQUIV=\"").repeated(50000)),
        QStringList{"META HTTP-EQUIV=="});
  }
  void page() {
    QFETCH(QByteArray, page);
    const QHash<QString, QString> tags = ParseProductPage(page);
    QStringList found;
    for (auto it = tags.cbegin(); it != tags.cend(); ++it) found << it.key() + '=' + it.value();
    found.sort();
    QTEST(found, "expected");
  }

  // The tags in the charset the page declares.
  void charset_data() {
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("value");
    const QString name = QString::fromUtf8("jürgen@x");
    const QByteArray utf8 = "<META HTTP-EQUIV=\"MarloEmail\" CONTENT=\"" + name.toUtf8() + "\">";
    const QByteArray latin1 = "<META HTTP-EQUIV=\"MarloEmail\" CONTENT=\"" + name.toLatin1() + "\">";
    Row("UTF-8 by default", utf8, QByteArray("text/html"), name);
    Row("no header at all", utf8, QByteArray(), name);
    Row("Latin-1 in the header", latin1, QByteArray("text/html; charset=ISO-8859-1"), name);
    Row("quoted in the header", latin1, QByteArray("text/html;charset=\"iso-8859-1\""), name);
    Row("META charset", "<html><head><meta charset=\"iso-8859-1\">\n" + latin1, QByteArray("text/html"), name);
    Row("META content type",
        "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=ISO-8859-1\">\r\n" + latin1, QByteArray(),
        name);
    Row("header before META", "<meta charset=\"iso-8859-1\">\n" + utf8, QByteArray("text/html; charset=utf-8"), name);
    Row("META after 1024 bytes is not read", QByteArray(1100, ' ') + "<meta charset=\"iso-8859-1\">\n" + utf8,
        QByteArray(), name);
    QByteArray utf16("\xff\xfe", 2);
    for (const QChar c : QString::fromUtf8(utf8)) utf16 += QByteArray(reinterpret_cast<const char*>(&c), 2);
    Row("byte-order mark first", utf16, QByteArray("text/html; charset=iso-8859-1"), name);
    Row("unknown charset as UTF-8", utf8, QByteArray("text/html; charset=no-such-set"), name);
    Row("broken UTF-8 is kept apart", QByteArray("<META HTTP-EQUIV=\"MarloEmail\" CONTENT=\"j\xffrgen\">"),
        QByteArray(), QString::fromUtf8("j\uFFFDrgen"));
  }
  void charset() {
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, contentType);
    QTEST(ParseProductPage(page, contentType).value("MarloEmail"), "value");
  }

  void newer_data() {
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("product");
    QTest::addColumn<bool>("buildNumber");
    QTest::addColumn<bool>("simpleString");
    Row("later third part", "1.0.5.180", "1.0.6", true, true);
    Row("more parts published", "1.0.5.180", "1.0.5.180.1", false, true);
    Row("empty published", "1.0.5.180", "", false, false);
    Row("numbers, not text", "1.0.5.180", "1.0.10", true, false);
    Row("same", "1.0.5.180", "1.0.5.180", false, false);
    Row("older published", "1.0.5.180", "1.0.4.999", false, false);
    Row("later build", "1.0.5.180", "1.0.5.181", true, true);
    Row("major wins", "1.9.9.9", "2", true, true);
    Row("short published keeps its last part", "1.0.5", "1", true, false);
    Row("non-number part counts as 0", "1.x.5", "1.0.6", true, false);
    Row("non-number published", "0.0.0.1", "beta", false, true);
    Row("empty current", "", "1", true, true);
    Row("empty current, zero first part", "", "0.1", false, true);
    Row("both empty", "", "", false, false);
    Row("huge part", "1.0", "1.99999999999999999999999", false, true);
    Row("byte order of letters", "1.0a", "1.0B", false, false);
  }
  void newer() {
    QFETCH(QString, current);
    QFETCH(QString, product);
    QTEST(IsNewerVersion(current, product, TVersionFormat::BuildNumber), "buildNumber");
    QTEST(IsNewerVersion(current, product, TVersionFormat::SimpleString), "simpleString");
  }

  void helpers_data() {
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<QString>("text");
    Row("small", qint64(999), qint64(1000), "999 of 1,000 bytes received.");
    Row("millions", qint64(1234567), qint64(12345678), "1,234,567 of 12,345,678 bytes received.");
    Row("nothing yet", qint64(0), qint64(100), "0 of 100 bytes received.");
    Row("unknown size", qint64(1000000), qint64(-1), "1,000,000 bytes received.");
    Row("size 0", qint64(4096), qint64(0), "4,096 bytes received.");
  }
  void helpers() {
    QFETCH(qint64, received);
    QFETCH(qint64, total);
    QTEST(ProgressText(received, total), "text");
  }

  void addresses() {
    QCOMPARE(FileNameOfUrl("http://host/dir/update.zip"), QString("update.zip"));
    QCOMPARE(FileNameOfUrl("http://host/dir/"), QString());
    QCOMPARE(FileNameOfUrl("noslash"), QString("noslash"));
    QCOMPARE(GroupThousands(-1234), QString("-1,234"));
    for (const char* good : {"http://a", "HTTP://HOST/x", "https://host/p.html", "HtTpS://h"})
      QVERIFY2(IsWebAddress(good), good);
    for (const char* bad : {"", "http:/", "ftp://host/", "file:///etc/passwd", "host/page.html", " http://x"})
      QVERIFY2(!IsWebAddress(bad), bad);
  }
};

QTEST_GUILESS_MAIN(TstProductPage)
#include "tst_product_page.moc"
