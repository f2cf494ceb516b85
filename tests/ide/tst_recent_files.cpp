// The recent-files list: its order and limits, the File menu's "&Reopen"
// submenu, and the round trip through the settings store.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "ide/recent_files.h"
#include "ide/reg_ini_plus.h"
#include "tests/support/qt_files.h"

using marlo::ide::TMRUFileList;

namespace {

QStringList Captions(const QMenu* menu) {
  QStringList out;
  for (const QAction* action : menu->actions()) out << (action->isSeparator() ? QStringLiteral("-") : action->text());
  return out;
}

QAction* Find(const QMenu* menu, const QString& caption) {
  for (QAction* action : menu->actions())
    if (action->text() == caption) return action;
  return nullptr;
}

}  // namespace

class TstRecentFiles : public QObject {
  Q_OBJECT
 private slots:
  void add_data() {
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("most recent first") << QStringList{"a", "b", "c"} << QStringList{"c", "b", "a"};
    QTest::newRow("at most five") << QStringList{"1", "2", "3", "4", "5", "6", "7"}
                                  << QStringList{"7", "6", "5", "4", "3"};
    QTest::newRow("again moves to the top") << QStringList{"a", "b", "c", "a"} << QStringList{"a", "c", "b"};
    QTest::newRow("case is ignored, newest spelling kept")
        << QStringList{"/x/A.bos", "b", "/X/a.BOS"} << QStringList{"/X/a.BOS", "b"};
    QTest::newRow("empty path ignored") << QStringList{"a", ""} << QStringList{"a"};
  }
  void add() {
    QFETCH(QStringList, added);
    TMRUFileList list;
    for (const QString& path : added) list.Add(path);
    QFETCH(QStringList, items);
    QCOMPARE(list.Items(), items);
  }

  void removeObsoleteAndClear() {
    QTemporaryDir dir;
    const QString kept = marlo::test::WriteBytes(dir.filePath("kept.bos"), {});
    TMRUFileList list;
    for (const QString& path : {dir.filePath("gone.bos"), kept, dir.filePath("missing/x.bos")}) list.Add(path);
    list.RemoveObsolete();
    QCOMPARE(list.Items(), QStringList{kept});
    list.Clear();
    QVERIFY(list.Items().isEmpty());
  }

  void storeRoundTrip() {
    QTemporaryDir dir;
    marlo::ide::TRegIniPlus store(dir.filePath("settings.ini"));
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

  void menu() {
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
};

QTEST_MAIN(TstRecentFiles)
#include "tst_recent_files.moc"
