// Reading the command line: which files open, and which are compiled.
#include <QTest>

#include "ide/command_line.h"

using marlo::ide::CommandLineFile;

namespace {

// "name" opens a file, "+name" opens and compiles it.
QStringList Describe(const QList<CommandLineFile>& files) {
  QStringList out;
  for (const CommandLineFile& file : files) out << (file.compile ? u'+' + file.path : file.path);
  return out;
}

const QString kProgram = QStringLiteral("/opt/marlo/bin/marlo");

}  // namespace

class TstCommandLine : public QObject {
  Q_OBJECT
 private slots:
  void parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("files");
    const QString quoted = u'"' + kProgram + u'"';
    QTest::newRow("example") << quoted + " a.bos -c b.bos c.bos" << QStringList{"a.bos", "+b.bos", "+c.bos"};
    QTest::newRow("upper -C first") << quoted + " -C a.bos b.bos" << QStringList{"+a.bos", "+b.bos"};
    QTest::newRow("repeated and trailing -c") << quoted + " a.bos -c -c b.bos -c" << QStringList{"a.bos", "+b.bos"};
    QTest::newRow("blanks and commas in quotes") << quoted + " \"/home/u/my units/arm, left.bos\" \"x y.bos\""
                                                 << QStringList{"/home/u/my units/arm, left.bos", "x y.bos"};
    QTest::newRow("unquoted comma separates") << quoted + " a.bos,b.bos" << QStringList{"a.bos", "b.bos"};
    QTest::newRow("doubled quotes") << quoted + " \"say \"\"hi\"\".bos\"" << QStringList{"say \"hi\".bos"};
    QTest::newRow("empty quoted pair") << quoted + " \"\" a.bos" << QStringList{"", "a.bos"};
    QTest::newRow("two commas enclose an empty item")
        << quoted + " a.bos , , b.bos" << QStringList{"a.bos", "", "b.bos"};
    QTest::newRow("tabs and newlines separate") << quoted + "\ta.bos\r\nb.bos\n" << QStringList{"a.bos", "b.bos"};
    QTest::newRow("program unquoted") << kProgram + " a.bos -c b.bos" << QStringList{"a.bos", "+b.bos"};
    QTest::newRow("program unquoted after blanks") << "  " + kProgram + " a.bos" << QStringList{"a.bos"};
    QTest::newRow("program as typed elsewhere") << "./marlo a.bos" << QStringList{"a.bos"};
    QTest::newRow("program path only as a prefix") << kProgram + "x a.bos" << QStringList{"a.bos"};
    QTest::newRow("program path inside an argument") << quoted + " " + kProgram + ".bos" << QStringList{".bos"};
    QTest::newRow("program case differs") << kProgram.toUpper() + " a.bos" << QStringList{"a.bos"};
    QTest::newRow("only the program quoted") << quoted << QStringList{};
    QTest::newRow("only the program unquoted") << kProgram + "  " << QStringList{};
    QTest::newRow("empty") << QString() << QStringList{};
    QTest::newRow("blanks") << " \t " << QStringList{};
  }
  void parse() {
    QFETCH(QString, text);
    QFETCH(QStringList, files);
    QCOMPARE(Describe(marlo::ide::ParseCommandLine(text, kProgram)), files);
  }

  void split_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("unclosed quote runs to the end") << "a \"b c" << QStringList{"a", "b c"};
    QTest::newRow("text right after a quote") << "\"a\"b" << QStringList{"a", "b"};
    QTest::newRow("leading comma") << ",a" << QStringList{"", "a"};
    QTest::newRow("trailing comma") << "a," << QStringList{"a"};
  }
  void split() {
    QFETCH(QString, text);
    QFETCH(QStringList, items);
    QCOMPARE(marlo::ide::SplitCommaText(text), items);
  }

  // A later start's text must read back as the same arguments.
  void roundTrip_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("plain") << QStringList{"marlo", "a.bos", "-c", "b.bos"};
    QTest::newRow("separators") << QStringList{"/a b/marlo", "x,y.bos", "tab\there", "line\nbreak"};
    QTest::newRow("quotes") << QStringList{"marlo", "q\"uote.bos", "\"lead", "trail\""};
    QTest::newRow("empty items") << QStringList{"marlo", "", "a.bos", ""};
  }
  void roundTrip() {
    QFETCH(QStringList, arguments);
    QCOMPARE(marlo::ide::SplitCommaText(marlo::ide::CommandLineFromArguments(arguments)), arguments);
  }

  void programFromArguments() {
    // Built from this start's arguments, the program path is never a file.
    const QStringList arguments{kProgram, "my file.bos", "-c", "b.bos"};
    QCOMPARE(Describe(marlo::ide::ParseCommandLine(marlo::ide::CommandLineFromArguments(arguments), kProgram)),
             (QStringList{"my file.bos", "+b.bos"}));
  }

  // A later start works in its own folder; the running program in another.
  void absolutePaths_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("files") << QStringList{"marlo", "a.bos", "sub/../b.bos"}
                           << QStringList{"marlo", "/work/proj/a.bos", "/work/proj/b.bos"};
    QTest::newRow("switches stay") << QStringList{"marlo", "-c", "a.bos", "-C"}
                                   << QStringList{"marlo", "-c", "/work/proj/a.bos", "-C"};
    QTest::newRow("absolute and empty stay")
        << QStringList{"./marlo", "/tmp/x.bos", ""} << QStringList{"./marlo", "/tmp/x.bos", ""};
    QTest::newRow("parent folder") << QStringList{"marlo", "../up.bos"} << QStringList{"marlo", "/work/up.bos"};
  }
  void absolutePaths() {
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, expected);
    QCOMPARE(marlo::ide::WithAbsolutePaths(arguments, QDir(QStringLiteral("/work/proj"))), expected);
  }
};

QTEST_APPLESS_MAIN(TstCommandLine)
#include "tst_command_line.moc"
