// The plain parts of the update check, from the rows of
// tests/data/net/product_page.txt: META lines of the product page, charsets,
// version comparison in both formats, addresses and the progress texts.
#include <QTest>

#include "net/product_page.h"
#include "tests/support/qt_table.h"

using namespace marlo::net;
using marlo::test::Cells;
using marlo::test::TableRows;
using marlo::test::YesNo;

namespace {

constexpr const char* kTable = "net/product_page.txt";

void ByteRow(const char* name, const QByteArrayList& cells) { QTest::newRow(name) << cells; }

}  // namespace

class TstProductPage : public QObject {
  Q_OBJECT
 private slots:
  void tagLine_data() { TableRows(kTable, "tag"); }
  void tagLine() {
    const auto [line, tagged, name, value] = Cells<4>();
    QString found = "stale", content = "stale";
    QCOMPARE(YesNo(ParseTagLine(line, &found, &content)), tagged);
    if (tagged == "yes") QCOMPARE(QStringList({found, content}), QStringList({name, value}));
  }

  // The tags found as name=value, sorted, separated by "|".
  void page_data() {
    TableRows(kTable, "page");
    const QByteArray tag = "<META HTTP-EQUIV=\"MarloVersion\" CONTENT=\"1.2\">";
    const QByteArray huge(3 * 1024 * 1024, 'x');
    ByteRow("huge line before a tag", {huge + "\n" + tag, "MarloVersion=1.2"});
    ByteRow("huge line holding the tag", {huge + tag + huge, "MarloVersion=1.2"});
    QByteArray junk;
    for (int i = 0; i < 200000; ++i) junk.append(static_cast<char>((i * 131) % 256));
    ByteRow("binary junk around a tag", {junk + "\n" + tag + "\n" + junk, "MarloVersion=1.2"});
    ByteRow("junk of broken markers", {QByteArray("META HTTP-EQUIV=\"").repeated(50000), "META HTTP-EQUIV=="});
  }
  void page() {
    const auto [page, expected] = Cells<2, QByteArray>();
    const QHash<QString, QString> tags = ParseProductPage(page);
    QStringList found;
    for (auto it = tags.cbegin(); it != tags.cend(); ++it) found << it.key() + '=' + it.value();
    found.sort();
    QCOMPARE(found.join(u'|').toUtf8(), expected);
  }

  // The tags in the charset the page declares.
  void charset_data() {
    TableRows(kTable, "charset");
    const QByteArray utf8 = "<META HTTP-EQUIV=\"MarloEmail\" CONTENT=\"j\xc3\xbcrgen@x\">";
    ByteRow("META after 1024 bytes is not read",
            {QByteArray(1100, ' ') + "<meta charset=\"iso-8859-1\">\n" + utf8, "", "j\xc3\xbcrgen@x"});
    QByteArray utf16("\xff\xfe", 2);
    for (const QChar c : QString::fromUtf8(utf8)) utf16 += QByteArray(reinterpret_cast<const char*>(&c), 2);
    ByteRow("byte-order mark first", {utf16, "text/html; charset=iso-8859-1", "j\xc3\xbcrgen@x"});
  }
  void charset() {
    const auto [page, contentType, value] = Cells<3, QByteArray>();
    QCOMPARE(ParseProductPage(page, contentType).value("MarloEmail").toUtf8(), value);
  }

  void newer_data() { TableRows(kTable, "newer"); }
  void newer() {
    const auto [current, product, buildNumber, simpleString] = Cells<4>();
    QCOMPARE(YesNo(IsNewerVersion(current, product, TVersionFormat::BuildNumber)), buildNumber);
    QCOMPARE(YesNo(IsNewerVersion(current, product, TVersionFormat::SimpleString)), simpleString);
  }

  void progress_data() { TableRows(kTable, "progress"); }
  void progress() {
    const auto [received, total, text] = Cells<3>();
    QCOMPARE(ProgressText(received.toLongLong(), total.toLongLong()), text);
  }

  void address_data() { TableRows(kTable, "address"); }
  void address() {
    const auto [address, web, fileName] = Cells<3>();
    QCOMPARE(YesNo(IsWebAddress(address)), web);
    QCOMPARE(FileNameOfUrl(address), fileName);
  }
};

QTEST_GUILESS_MAIN(TstProductPage)
#include "tst_product_page.moc"
