// Associating *.bos on an XDG desktop: the MIME type and the desktop entry
// with its Open and Compile commands, written into the user's data folder.
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "ide/file_association.h"
#include "tests/support/qt_files.h"

namespace {

// group -> key -> value of a desktop entry file.
QMap<QString, QMap<QString, QString>> ReadDesktopEntry(const QString& path) {
  QMap<QString, QMap<QString, QString>> groups;
  QString group;
  for (const QString& line : QString::fromUtf8(marlo::test::ReadBytes(path)).split(u'\n')) {
    if (line.startsWith(u'['))
      group = line.mid(1, line.size() - 2);
    else if (const qsizetype eq = line.indexOf(u'='); eq > 0)
      groups[group][line.left(eq)] = line.mid(eq + 1);
  }
  return groups;
}

}  // namespace

class TstFileAssociation : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    QVERIFY(data_.emplace().isValid());
    qputenv("XDG_DATA_HOME", data_->path().toLocal8Bit());
    QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), data_->path());
  }

  void writesTypeAndEntry_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("exec");
    QTest::newRow("plain path") << "/usr/bin/marlo"
                                << "/usr/bin/marlo";
    QTest::newRow("blank in path") << "/opt/my tools/marlo"
                                   << "\"/opt/my tools/marlo\"";
    QTest::newRow("reserved characters") << "/opt/a$b\"c\\d/100%/marlo"
                                         << "\"/opt/a\\\\$b\\\\\"c\\\\\\\\d/100%%/marlo\"";
  }
  void writesTypeAndEntry() {
    QFETCH(QString, program);
    QFETCH(QString, exec);
    QCOMPARE(marlo::ide::AssociateFiles(program), QString());

    const QByteArray xml = marlo::test::ReadBytes(data_->filePath("mime/packages/marlo-bos.xml"));
    QVERIFY(xml.contains("<mime-type type=\"text/x-bos\">"));
    QVERIFY(xml.contains("<glob pattern=\"*.bos\"/>"));
    QVERIFY(xml.contains("<comment>Bos source file</comment>"));
    if (!QStandardPaths::findExecutable("update-mime-database").isEmpty()) {
      QVERIFY(marlo::test::ReadBytes(data_->filePath("mime/globs2")).contains("text/x-bos:*.bos"));
    }

    const auto entry = ReadDesktopEntry(data_->filePath("applications/marlo.desktop"));
    const auto& main = entry["Desktop Entry"];
    QCOMPARE(main["Type"], "Application");
    QCOMPARE(main["MimeType"], "text/x-bos;");
    QCOMPARE(main["Exec"], exec + " %F");
    QCOMPARE(main["Actions"], "Compile;");
    const auto& compile = entry["Desktop Action Compile"];
    QCOMPARE(compile["Name"], "Compile");
    QCOMPARE(compile["Exec"], exec + " -c %F");
  }

  void replacesEarlierAssociation() {
    QVERIFY(marlo::ide::AssociateFiles("/old/marlo").isEmpty());
    QVERIFY(marlo::ide::AssociateFiles("/new/marlo").isEmpty());
    QCOMPARE(ReadDesktopEntry(data_->filePath("applications/marlo.desktop"))["Desktop Entry"]["Exec"], "/new/marlo %F");
  }

  void reportsFailure() {
    // The data folder is a file: nothing can be created below it.
    const QString blocker = marlo::test::WriteBytes(data_->filePath("blocked"), {});
    qputenv("XDG_DATA_HOME", blocker.toLocal8Bit());
    const QString error = marlo::ide::AssociateFiles("/usr/bin/marlo");
    QVERIFY2(error.contains(blocker), qPrintable(error));
  }

 private:
  std::optional<QTemporaryDir> data_;
};

QTEST_GUILESS_MAIN(TstFileAssociation)
#include "tst_file_association.moc"
