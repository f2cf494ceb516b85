// Which files the program opens: the command line (which files open and
// which are compiled; tables in tests/data/ide/files.txt), the
// recent-files list with its "&Reopen" submenu and its round trip through
// the settings store, and associating *.bos on an XDG desktop.
#include <QAction>
#include <QFontMetrics>
#include <QMenu>
#include <QtTest>
#include <optional>

#include "ide/command_line.h"
#include "ide/file_association.h"
#include "ide/recent_files.h"
#include "ide/reg_ini_plus.h"
#include "tests/support/qt_files.h"
#include "tests/support/qt_table.h"
#include "tests/support/rows.h"

using namespace marlo::ide;
using marlo::test::Cells;
using marlo::test::Items;
using marlo::test::TableRows;

namespace {

const QString kProgram = "/opt/marlo/bin/marlo";

QStringList Captions(const QMenu* menu) {
  QStringList out;
  for (const QAction* action : menu->actions()) out << (action->isSeparator() ? "-" : action->text());
  return out;
}

QAction* Find(const QMenu* menu, const QString& caption) {
  for (QAction* action : menu->actions())
    if (action->text() == caption) return action;
  return nullptr;
}

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

class TstFiles : public QObject {
  Q_OBJECT
 private slots:
  // "name" opens a file, "+name" opens and compiles it.
  void parse_data() { TableRows("ide/files.txt", "parse"); }
  void parse() {
    const auto [text, files] = Cells<2>();
    QStringList opened;
    for (const CommandLineFile& file : ParseCommandLine(text, kProgram))
      opened << (file.compile ? u'+' + file.path : file.path);
    QCOMPARE(opened, Items(files));
  }

  void split_data() { TableRows("ide/files.txt", "split"); }
  void split() {
    const auto [text, items] = Cells<2>();
    QCOMPARE(SplitCommaText(text), Items(items));
  }

  void roundTrip_data() { TableRows("ide/files.txt", "roundTrip"); }
  void roundTrip() {
    const QStringList arguments = Items(Cells<1>()[0]);
    QCOMPARE(SplitCommaText(CommandLineFromArguments(arguments)), arguments);
    // Built from this start's arguments, the program path is never a file.
    QStringList paths, expected = arguments.mid(1);
    for (const CommandLineFile& file : ParseCommandLine(CommandLineFromArguments(arguments), arguments[0]))
      paths << file.path;
    expected.removeAll("-c");
    QCOMPARE(paths, expected);
  }

  // A later start works in its own folder; the running program in another.
  void absolutePaths_data() { TableRows("ide/files.txt", "absolutePaths"); }
  void absolutePaths() {
    const auto [arguments, expected] = Cells<2>();
    QCOMPARE(WithAbsolutePaths(Items(arguments), QDir("/work/proj")), Items(expected));
  }

  void recentFiles() {
    TMRUFileList list;
    for (const QString& path : Items("1|2|3|4|5|6|7")) list.Add(path);
    QCOMPARE(list.Items(), Items("7|6|5|4|3"));  // at most five, most recent first
    list.Add("5");
    QCOMPARE(list.Items(), Items("5|7|6|4|3"));
    list.Add("");
    list.Add("/x/A.bos");
    list.Add("/X/a.BOS");  // case is ignored, the newest spelling kept
    QCOMPARE(list.Items(), Items("/X/a.BOS|5|7|6|4"));

    QTemporaryDir dir;
    const QString kept = marlo::test::WriteBytes(dir.filePath("kept.bos"), {});
    list.Clear();
    QVERIFY(list.Items().isEmpty());
    for (const QString& path : {dir.filePath("gone.bos"), kept, dir.filePath("missing/x.bos")}) list.Add(path);
    list.RemoveObsolete();
    QCOMPARE(list.Items(), QStringList{kept});
  }

  void recentFilesStore() {
    QTemporaryDir dir;
    TRegIniPlus store(dir.filePath("settings.ini"));
    store.WriteString(TMRUFileList::kSection, "F7", "stale entry");
    TMRUFileList saved;
    for (const char* path : {"/p/e.bos", "/p/d.bos", "/p/c.bos", "/p/b b.bos", "/p/a,1.bos"}) saved.Add(path);
    saved.Save(store);
    QCOMPARE(store.ReadSection(TMRUFileList::kSection), (QStringList{"F0", "F1", "F2", "F3", "F4"}));
    QCOMPARE(store.ReadString(TMRUFileList::kSection, "F0", ""), "/p/a,1.bos");

    TMRUFileList loaded;
    loaded.Add("replaced");
    loaded.Load(store);
    QCOMPARE(loaded.Items(), saved.Items());

    // A list edited by hand may hold a path twice: it is shown once.
    store.WriteString(TMRUFileList::kSection, "F1", "/p/a,1.bos");
    loaded.Load(store);
    QCOMPARE(loaded.Items(), (QStringList{"/p/a,1.bos", "/p/c.bos", "/p/d.bos", "/p/e.bos"}));

    saved.Clear();
    saved.Save(store);
    loaded.Load(store);
    QVERIFY(loaded.Items().isEmpty());
  }

  void recentFilesMenu() {
    QMenu fileMenu;
    fileMenu.addAction("&Open");
    QAction* placeholder = fileMenu.addAction("&Reopen");
    fileMenu.addAction("E&xit");
    TMRUFileList list;
    list.AttachTo(&fileMenu, placeholder);
    QVERIFY(!placeholder->isEnabled());
    QVERIFY(placeholder->isVisible());
    QVERIFY(!list.ReopenMenu()->menuAction()->isVisible());

    const QString longPath = "/very/long/folder/name" + QString(40, u'x') + "/unit.bos";
    list.Add("/u/a&b.bos");
    list.Add(longPath);
    // Separator and submenu stand where the hidden placeholder is.
    const QList<QAction*> top = fileMenu.actions();
    const qsizetype at = top.indexOf(placeholder);
    QVERIFY(top[at - 2]->isSeparator() && top[at - 2]->isVisible());
    QCOMPARE(top[at - 1], list.ReopenMenu()->menuAction());
    QVERIFY(list.ReopenMenu()->menuAction()->isVisible() && list.ReopenMenu()->menuAction()->isEnabled());
    QCOMPARE(list.ReopenMenu()->title(), "&Reopen");
    QVERIFY(!placeholder->isVisible());

    const QString shortened =
        QFontMetrics(list.ReopenMenu()->font()).elidedText(longPath, Qt::ElideMiddle, TMRUFileList::kCaptionWidth);
    QVERIFY(shortened != longPath);
    QCOMPARE(Captions(list.ReopenMenu()),
             (QStringList{"&1 " + shortened, "&2 /u/a&&b.bos", "-", "&Clear MRU List", "&Remove Obsolete"}));

    // Choosing an entry takes it off and asks for it; opening puts it on top.
    QSignalSpy chosen(&list, &TMRUFileList::fileChosen);
    connect(&list, &TMRUFileList::fileChosen, &list, &TMRUFileList::Add);
    Find(list.ReopenMenu(), "&2 /u/a&&b.bos")->trigger();
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.first().first().toString(), "/u/a&b.bos");
    QCOMPARE(list.Items(), (QStringList{"/u/a&b.bos", longPath}));
    QCOMPARE(Captions(list.ReopenMenu()).first(), "&1 /u/a&&b.bos");

    Find(list.ReopenMenu(), "&Clear MRU List")->trigger();
    QVERIFY(list.Items().isEmpty());
    QCOMPARE(Captions(list.ReopenMenu()), (QStringList{"-", "&Clear MRU List", "&Remove Obsolete"}));
    QVERIFY(!list.ReopenMenu()->menuAction()->isVisible());
    QVERIFY(placeholder->isVisible() && !placeholder->isEnabled());
  }

  // The MIME type and the desktop entry with its Open and Compile commands,
  // in the user's data folder; a second association replaces the first.
  void association_data() { TableRows("ide/files.txt", "association"); }
  void association() {
    const auto [program, exec] = Cells<2>();
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), data.path());
    QCOMPARE(AssociateFiles("/old/marlo"), QString());
    QCOMPARE(AssociateFiles(program), QString());

    const QByteArray xml = marlo::test::ReadBytes(data.filePath("mime/packages/marlo-bos.xml"));
    QVERIFY(xml.contains("<mime-type type=\"text/x-bos\">"));
    QVERIFY(xml.contains("<glob pattern=\"*.bos\"/>"));
    QVERIFY(xml.contains("<comment>Bos source file</comment>"));
    if (!QStandardPaths::findExecutable("update-mime-database").isEmpty())
      QVERIFY(marlo::test::ReadBytes(data.filePath("mime/globs2")).contains("text/x-bos:*.bos"));

    const auto entry = ReadDesktopEntry(data.filePath("applications/marlo.desktop"));
    const auto& main = entry["Desktop Entry"];
    QCOMPARE(main["Type"], "Application");
    QCOMPARE(main["MimeType"], "text/x-bos;");
    QCOMPARE(main["Exec"], exec + " %F");
    QCOMPARE(main["Actions"], "Compile;");
    const auto& compile = entry["Desktop Action Compile"];
    QCOMPARE(compile["Name"], "Compile");
    QCOMPARE(compile["Exec"], exec + " -c %F");

    // A data folder that is a file: nothing can be created below it.
    const QString blocker = marlo::test::WriteBytes(data.filePath("blocked"), {});
    qputenv("XDG_DATA_HOME", blocker.toLocal8Bit());
    const QString error = AssociateFiles("/usr/bin/marlo");
    QVERIFY2(error.contains(blocker), qPrintable(error));
  }
};

QTEST_MAIN(TstFiles)
#include "tst_files.moc"
