// The settings store, the settings table and the two settings dialogs, each
// test on an INI file of its own in a temporary folder.
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest>
#include <bit>
#include <climits>
#include <memory>
#include <optional>

#include "driver/source_file.h"
#include "ide/compiler_settings_dialog.h"
#include "ide/directory_edit.h"
#include "ide/include_dirs_dialog.h"
#include "ide/reg_ini_plus.h"
#include "ide/settings.h"
#include "tests/support/boxes.h"
#include "tests/support/qt_files.h"
#include "tests/support/qt_table.h"

using namespace marlo::ide;
using marlo::test::Cells;
using marlo::test::TableRows;

namespace {

const QString kMarlo = "Marlo";

struct TempStore {
  QTemporaryDir dir;
  QString path = dir.filePath("settings.ini");
  TRegIniPlus store{path};

  // A second store on a copy of the file, so that values come from the disk
  // and not from the copy QSettings keeps in memory for `path`.
  std::unique_ptr<TRegIniPlus> Reopened(const QString& name = "copy.ini") const {
    const QString copy = dir.filePath(name);
    QFile::remove(copy);
    if (!QFile::copy(path, copy)) return nullptr;
    return std::make_unique<TRegIniPlus>(copy);
  }
  // The raw value, as QSettings has it in memory.
  QVariant Raw(const QString& key) const { return QSettings(path, QSettings::IniFormat).value(key); }
};

QString ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ERegistryError& error) {
    return QString::fromStdString(error.what());
  }
  return {};
}

template <typename T>
T* Child(QWidget& parent, const char* name) {
  T* child = parent.findChild<T*>(QString::fromLatin1(name));
  if (!child) qFatal("no child %s", name);
  return child;
}

// Every field, as "name=value" words.
QString Described(const CompileSettings& c) {
  return QStringLiteral(
             "angular=%1 linear=%2 recurse=%3 outputDir=%4 includeDirs=%5 definesCaseSensitive=%6 "
             "viewAssembly=%7 autoSave=%8 extended=%9")
      .arg(c.angular, 0, 'g', QLocale::FloatingPointShortest)
      .arg(c.linear, 0, 'g', QLocale::FloatingPointShortest)
      .arg(c.recurse)
      .arg(c.outputDir, c.includeDirs)
      .arg(c.definesCaseSensitive)
      .arg(c.viewAssembly)
      .arg(c.autoSave)
      .arg(c.extended);
}

QStringList Entries(QListWidget& list) {
  QStringList entries;
  for (int i = 0; i < list.count(); ++i) entries.append(list.item(i)->text());
  return entries;
}

}  // namespace

class TestSettings : public QObject {
  Q_OBJECT

 private slots:
  // Values written and read back from the live store and from a copy of the
  // file on disk; floats bit for bit, -0.0 and denormals too.
  void roundTrips() {
    TempStore t;
    const QStringList strings{"a;;b", "C:\\My, dir\\", "@ByteArray(x)"};
    const QList<int> integers{200, INT_MIN};
    const QList<double> floats{182.04444444, -0.0, 1.7976931348623157e308, 4.9e-324};
    const auto name = [](char type, qsizetype i) { return type + QString::number(i); };
    for (qsizetype i = 0; i < strings.size(); ++i) t.store.WriteString(kMarlo, name('s', i), strings[i]);
    for (qsizetype i = 0; i < integers.size(); ++i) t.store.WriteInteger(kMarlo, name('i', i), integers[i]);
    for (qsizetype i = 0; i < floats.size(); ++i) t.store.WriteFloat(kMarlo, name('f', i), floats[i]);
    t.store.WriteBool(kMarlo, "b", true);
    const auto fromDisk = t.Reopened();
    QVERIFY(fromDisk);
    for (const TRegIniPlus* store : {&t.store, fromDisk.get()}) {
      for (qsizetype i = 0; i < strings.size(); ++i) QCOMPARE(store->ReadString(kMarlo, name('s', i), {}), strings[i]);
      for (qsizetype i = 0; i < integers.size(); ++i)
        QCOMPARE(store->ReadInteger(kMarlo, name('i', i), 1), integers[i]);
      for (qsizetype i = 0; i < floats.size(); ++i)
        QCOMPARE(std::bit_cast<quint64>(store->ReadFloat(kMarlo, name('f', i), 99.0)),
                 std::bit_cast<quint64>(floats[i]));
      QCOMPARE(store->ReadBool(kMarlo, "b", false), true);
    }
  }
  void namesIgnoreCase() {
    TempStore t;
    t.store.WriteBool(kMarlo, "Optimal fill", false);
    QCOMPARE(ReadOptimalFill(t.store), false);  // read as "optimal fill"
    t.store.WriteBool(kMarlo, "OPTIMAL FILL", true);
    QCOMPARE(ReadOptimalFill(t.store), true);
    QCOMPARE(t.store.ReadSection(kMarlo), QStringList{"Optimal fill"});

    // Sections too, at every level.
    t.store.WriteString("Marlo\\MRU Items", "F0", "a.bos");
    QCOMPARE(t.store.ReadString("marlo\\mru items", "f0", {}), "a.bos");
    t.store.WriteString("MARLO", "font name", "Mono");
    QCOMPARE(t.store.ReadString(kMarlo, "Font Name", {}), "Mono");
    const auto fromDisk = t.Reopened();
    QCOMPARE(fromDisk->ReadBool(kMarlo, "optimal FILL", false), true);
    QCOMPARE(fromDisk->ReadSection(kMarlo), (QStringList{"Optimal fill", "font name"}));
  }
  // How values lie in the file: an integer written over a text stays text, a
  // bool is "1" or "0", a float eight little-endian bytes.
  void storedForms() {
    TempStore t;
    t.store.WriteString(kMarlo, "tab width", "8");
    t.store.WriteInteger(kMarlo, "Tab Width", 3);
    QCOMPARE(t.Raw("Marlo/tab width"), QVariant("3"));
    QCOMPARE(ReadEditorTabWidth(t.store), 3);
    t.store.WriteInteger(kMarlo, "recurse", 7);
    QCOMPARE(t.Raw("Marlo/recurse"), QVariant(7));
    t.store.WriteBool(kMarlo, "b", true);
    QCOMPARE(t.Raw("Marlo/b"), QVariant("1"));
    t.store.WriteBool(kMarlo, "b", false);
    QCOMPARE(t.Raw("Marlo/b"), QVariant("0"));
    t.store.WriteFloat(kMarlo, "Linear", 1.0);
    QCOMPARE(t.Raw("Marlo/Linear"), QVariant(QByteArray::fromHex("000000000000f03f")));
  }
  void integerAndBoolReadFromText_data() { TableRows("ide/settings.txt", "readFromText"); }
  void integerAndBoolReadFromText() {
    const auto [text, integer, boolWithDefaultFalse] = Cells<3>();
    TempStore t;
    t.store.WriteString(kMarlo, "v", text);
    QCOMPARE(t.store.ReadInteger(kMarlo, "v", 42), integer.toInt());
    QCOMPARE(t.store.ReadBool(kMarlo, "v", false), boolWithDefaultFalse == "1");
    // An unconvertible text falls back to the default, true included.
    QCOMPARE(t.store.ReadBool(kMarlo, "v", true), integer != "0");
  }
  void floatOfAnotherTypeIsAnError_data() { TableRows("ide/settings.txt", "floatOfAnotherType"); }
  void floatOfAnotherTypeIsAnError() {
    const auto [line] = Cells<1>();
    QTemporaryDir dir;
    const TRegIniPlus store(marlo::test::WriteBytes(dir.filePath("settings.ini"), "[Marlo]\n" + line.toUtf8() + "\n"));
    QCOMPARE(ErrorOf([&] { store.ReadFloat(kMarlo, "angular", 1.0); }), "Invalid data type for 'angular'");
    QCOMPARE(ErrorOf([&] { ReadCompileSettings(store); }), "Invalid data type for 'Angular'");

    // Written by this store as another type, too.
    TempStore t;
    t.store.WriteInteger(kMarlo, "Linear", 5);
    QCOMPARE(ErrorOf([&] { t.store.ReadFloat(kMarlo, "Linear", 1.0); }), "Invalid data type for 'Linear'");
  }
  void missingValuesGiveDefaults() {
    TempStore t;
    QCOMPARE(t.store.ReadString("Nowhere", "x", "d"), "d");
    QCOMPARE(t.store.ReadInteger("Nowhere\\Deeper", "x", 9), 9);
    QCOMPARE(t.store.ReadFloat(kMarlo, "x", 2.5), 2.5);
    QVERIFY(!t.store.ValueExists(kMarlo, "x"));
    QVERIFY(t.store.ReadSection(kMarlo).isEmpty());

    QCOMPARE(Described(ReadCompileSettings(t.store)),
             QStringLiteral("angular=182.04444444 linear=163840 recurse=200 outputDir=./ includeDirs= "
                            "definesCaseSensitive=1 viewAssembly=0 autoSave=1 extended=0"));
    QCOMPARE(ReadTabWidth(t.store), 4);
    QCOMPARE(ReadWorkingDir(t.store), QString());
    QVERIFY(!QFile::exists(t.path));  // reading creates nothing
  }
  void sectionsAndDeletion() {
    TempStore t;
    const QString mru = "Marlo\\MRU Items";
    for (const char* name : {"F0", "F1", "F2"}) t.store.WriteString(mru, QString::fromLatin1(name), "p");
    t.store.WriteInteger(kMarlo, "tab width", 2);
    t.store.DeleteKey(mru, "f1");
    QCOMPARE(t.store.ReadSection(mru), (QStringList{"F0", "F2"}));
    t.store.EraseSection(mru);
    QVERIFY(t.store.ReadSection(mru).isEmpty());
    QCOMPARE(t.Reopened()->ReadInteger(kMarlo, "tab width", 0), 2);  // the parent stays
  }
  void writeFailureIsReported() {
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.ini");
    QVERIFY(QDir().mkpath(path));  // a folder where the file should be
    TRegIniPlus store(path);
    const QString error = ErrorOf([&] { store.WriteString(kMarlo, "x", "y"); });
    QCOMPARE(error, QStringLiteral("Cannot write the settings to '%1'").arg(path));
    QVERIFY(!ErrorOf([&] { store.WriteFloat(kMarlo, "z", 1.0); }).isEmpty());

    // Once the file can be written again, writes succeed and reach the disk.
    QVERIFY(QDir(path).removeRecursively());
    store.WriteInteger(kMarlo, "tab width", 6);
    QCOMPARE(TRegIniPlus(path).ReadInteger(kMarlo, "tab width", 0), 6);
    // No temporary or lock file is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"settings.ini"});
  }
  void editorFontAndColour() {
    TempStore t;
    QFont font;
    QColor color;
    LoadEditorFont(t.store, font, color);
    QCOMPARE(font.family(), "Courier New");
    QCOMPARE(font.pointSize(), 11);
    QCOMPARE(color, QColor(Qt::yellow));
    QCOMPARE(EditColor(t.store), QColor(0, 0, 128));

    font.setFamily("DejaVu Sans Mono");
    font.setPointSize(14);
    SaveEditorFont(t.store, font, QColor(0x12, 0x34, 0x56));
    StoreEditColor(t.store, QColor(1, 2, 3));
    QCOMPARE(t.store.ReadInteger(kMarlo, "font color", 0), 0x563412);
    QCOMPARE(t.store.ReadInteger(kMarlo, "edit color", 0), 0x030201);

    const auto fromDisk = t.Reopened();
    QFont loaded;
    LoadEditorFont(*fromDisk, loaded, color);
    QCOMPARE(loaded.family(), "DejaVu Sans Mono");
    QCOMPARE(loaded.pointSize(), 14);
    QCOMPARE(color, QColor(0x12, 0x34, 0x56));
    QCOMPARE(EditColor(*fromDisk), QColor(1, 2, 3));
  }
  void dialogOnEmptyStoreStoresItsDefaults() {
    TempStore t;
    TCompilerSettings dialog(t.store);
    QCOMPARE(dialog.windowTitle(), "Compiler Settings");
    QCOMPARE(Child<QLineEdit>(dialog, "Edit1")->text(), "182");
    QCOMPARE(Child<QLineEdit>(dialog, "Edit2")->text(), "163840");
    QCOMPARE(Child<QLineEdit>(dialog, "Edit3")->text(), "200");
    QCOMPARE(Child<QLineEdit>(dialog, "ComboEdit1")->text(), "./");
    QCOMPARE(Child<TDirectoryEdit>(dialog, "DirectoryEdit1")->text(), "./");
    QCOMPARE(Child<QSpinBox>(dialog, "SpinEdit1")->value(), 4);
    QVERIFY(t.store.ReadSection(kMarlo).isEmpty());  // opening stores nothing

    QTest::mouseClick(Child<QPushButton>(dialog, "OkButton"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(Described(ReadCompileSettings(*t.Reopened())),
             QStringLiteral("angular=182 linear=163840 recurse=200 outputDir=./ includeDirs=./ definesCaseSensitive=1 "
                            "viewAssembly=1 autoSave=1 extended=0"));
    QCOMPARE(ReadTabWidth(t.store), 4);
    for (const Setting<bool>& check : settings::kDialogChecks)
      QCOMPARE(t.store.ReadBool(kMarlo, QString::fromUtf8(check.name), !check.def), check.def);
    QCOMPARE(t.store.ReadSection(kMarlo).size(), 14);
  }
  void dialogShowsAndStoresValues() {
    TempStore t;
    t.store.WriteFloat(kMarlo, "Angular", 182.04444444);
    t.store.WriteInteger(kMarlo, "Recurse", 50);
    t.store.WriteBool(kMarlo, "autoindent", false);
    t.store.WriteInteger(kMarlo, "Tab width", -3);
    TCompilerSettings dialog(t.store);
    QCOMPARE(Child<QLineEdit>(dialog, "Edit1")->text(), "182.04444444");
    QCOMPARE(Child<QLineEdit>(dialog, "Edit3")->text(), "50");
    QCOMPARE(Child<QSpinBox>(dialog, "SpinEdit1")->value(), -3);
    auto* checks = Child<QListWidget>(dialog, "CheckListBox1");
    QCOMPARE(checks->count(), 8);
    QCOMPARE(checks->item(2)->text(), "Autoindent");
    QCOMPARE(checks->item(2)->checkState(), Qt::Unchecked);
    QCOMPARE(checks->item(7)->text(), "Extended syntax");
    QCOMPARE(checks->item(7)->checkState(), Qt::Unchecked);

    Child<QLineEdit>(dialog, "Edit2")->setText(" 1.5e3 ");
    Child<QLineEdit>(dialog, "ComboEdit1")->setText("a;;b");
    Child<TDirectoryEdit>(dialog, "DirectoryEdit1")->setText("/tmp/out");
    Child<QSpinBox>(dialog, "SpinEdit1")->setValue(0);
    checks->item(5)->setCheckState(Qt::Unchecked);  // "Optimal fill"
    checks->item(7)->setCheckState(Qt::Checked);    // "Extended syntax"
    QTest::mouseClick(Child<QPushButton>(dialog, "OkButton"), Qt::LeftButton);

    QCOMPARE(Described(ReadCompileSettings(t.store)),
             QStringLiteral("angular=182.04444444 linear=1500 recurse=50 outputDir=/tmp/out includeDirs=a;;b "
                            "definesCaseSensitive=1 viewAssembly=1 autoSave=1 extended=1"));
    QCOMPARE(ReadTabWidth(t.store), 0);
    QCOMPARE(ReadAutoindent(t.store), false);
    QCOMPARE(ReadOptimalFill(t.store), false);
    // The names kept their first spelling.
    QVERIFY(t.store.ReadSection(kMarlo).contains("Recurse"));
    QVERIFY(t.store.ReadSection(kMarlo).contains("Tab width"));
  }
  void dialogStopsAtBadNumber_data() { TableRows("ide/settings.txt", "badNumber"); }
  void dialogStopsAtBadNumber() {
    const auto [field, text, error, storedText] = Cells<4>();
    TempStore t;
    marlo::test::BoxRecorder boxes;
    TCompilerSettings dialog(t.store);
    Child<QLineEdit>(dialog, field.toLatin1().constData())->setText(text);
    QTest::mouseClick(Child<QPushButton>(dialog, "OkButton"), Qt::LeftButton);
    QCOMPARE(boxes.Texts(), QStringList{error});
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const QStringList order{"Angular", "Linear", "recurse", "output dir"};
    const int stored = storedText.toInt();
    for (int i = 0; i < order.size(); ++i) QCOMPARE(t.store.ValueExists(kMarlo, order[i]), i < stored);
    QCOMPARE(t.store.ReadSection(kMarlo).size(), stored);
  }
  void dialogCancelStoresNothing() {
    TempStore t;
    TCompilerSettings dialog(t.store);
    Child<QLineEdit>(dialog, "Edit1")->setText("1");
    QTest::mouseClick(Child<QPushButton>(dialog, "CancelButton"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(t.store.ReadSection(kMarlo).isEmpty());
  }
  // A stored tab width beyond marloc's limit is shown and stored as the limit.
  void dialogTabWidthAtMostMarlocs() {
    TempStore t;
    t.store.WriteInteger(kMarlo, "Tab width", 1000);
    TCompilerSettings dialog(t.store);
    QCOMPARE(Child<QSpinBox>(dialog, "SpinEdit1")->value(), marlo::core::kMaxTabWidth);
    QTest::mouseClick(Child<QPushButton>(dialog, "OkButton"), Qt::LeftButton);
    QCOMPARE(ReadTabWidth(t.store), marlo::core::kMaxTabWidth);
  }
  void includeDirsSplitAndJoin_data() { TableRows("ide/settings.txt", "includeDirs"); }
  void includeDirsSplitAndJoin() {
    const auto [dirs, entries, joined] = Cells<3>();
    TForm10 dialog;
    dialog.SetDirs(dirs);
    auto* list = Child<QListWidget>(dialog, "ListBox1");
    const QStringList shown = Entries(*list);
    QCOMPARE(shown.isEmpty() ? QString() : '[' + shown.join("][") + ']', entries);
    QCOMPARE(list->currentRow(), shown.isEmpty() ? -1 : 0);
    QCOMPARE(Child<TDirectoryEdit>(dialog, "DirectoryEdit1")->text(), shown.value(0));
    QCOMPARE(dialog.GetDirs(), joined);
  }
  // Each button in turn, then the entries and the current row; "=x" types x.
  void includeDirsListCommands() {
    TForm10 dialog;
    QCOMPARE(dialog.windowTitle(), "Include directories");
    dialog.show();
    auto* list = Child<QListWidget>(dialog, "ListBox1");
    auto* edit = Child<TDirectoryEdit>(dialog, "DirectoryEdit1");
    dialog.SetDirs("a;b;c");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    QCOMPARE(edit->text(), "b");
    QString typed;
    const QStringList steps{"=typed",
                            "Up b|a|c @0",
                            "Up b|a|c @0",
                            "Down a|b|c @1",
                            "Down a|c|b @2",
                            "Down a|c|b @2",
                            "Replace a|c|typed @2",
                            "=d",
                            "Add a|c|typed|d @2",
                            "Remove a|c|d @-1",
                            "Replace a|c|d @-1",
                            "Remove a|c|d @-1",
                            "Up a|c|d @-1"};
    for (const QString& step : steps) {
      if (step.startsWith(u'=')) {
        edit->setText(typed = step.mid(1));
        continue;
      }
      QTest::mouseClick(Child<QAbstractButton>(dialog, qPrintable(step.section(u' ', 0, 0) + "Button")),
                        Qt::LeftButton);
      QCOMPARE(Entries(*list).join(u'|') + QStringLiteral(" @%1").arg(list->currentRow()), step.section(u' ', 1));
      if (step.startsWith(u'U') || step.startsWith(u'D')) QCOMPARE(edit->text(), typed);  // moving leaves it
    }
    QCOMPARE(dialog.GetDirs(), "a;c;d");
    dialog.SetDirs(QString());
    edit->setText("e");
    QTest::mouseClick(Child<QAbstractButton>(dialog, "AddButton"), Qt::LeftButton);
    QCOMPARE(Entries(*list), QStringList{"e"});
    QCOMPARE(list->currentRow(), -1);
  }
  // The ellipsis button edits the include text through the Include directories
  // dialog; only the Compiler Settings' "&Ok" stores it.
  void ellipsisOpensIncludeDirs() {
    TempStore t;
    t.store.WriteString(kMarlo, "Include dirs", "a;b");
    TCompilerSettings dialog(t.store);
    dialog.show();
    std::optional<QStringList> seen;
    const auto answer = [&](const char* button, const QString& added) {
      QTimer::singleShot(0, [&, button, added] {
        auto* form = qobject_cast<TForm10*>(QApplication::activeModalWidget());
        if (!form) return;
        seen = Entries(*Child<QListWidget>(*form, "ListBox1"));
        Child<TDirectoryEdit>(*form, "DirectoryEdit1")->setText(added);
        QTest::mouseClick(Child<QPushButton>(*form, "AddButton"), Qt::LeftButton);
        QTest::mouseClick(Child<QPushButton>(*form, button), Qt::LeftButton);
      });
      QTest::mouseClick(Child<QToolButton>(dialog, "ComboEdit1Button"), Qt::LeftButton);
    };
    answer("CancelButton", "x");
    QCOMPARE(seen, std::optional(QStringList{"a", "b"}));
    QCOMPARE(Child<QLineEdit>(dialog, "ComboEdit1")->text(), "a;b");
    answer("OkButton", "c");
    QCOMPARE(Child<QLineEdit>(dialog, "ComboEdit1")->text(), "a;b;c");
    QCOMPARE(t.store.ReadString(kMarlo, "Include dirs", {}), "a;b");
  }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
