// The settings store, the settings table and the two settings dialogs, each
// test on an INI file of its own in a temporary folder.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
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
#include "tests/support/rows.h"

using namespace marlo::ide;
using marlo::test::Row;

namespace {

const QString kMarlo = QStringLiteral("Marlo");

struct TempStore {
  QTemporaryDir dir;
  QString path = dir.filePath(QStringLiteral("settings.ini"));
  TRegIniPlus store{path};

  // A second store on a copy of the file, so that values come from the disk
  // and not from the copy QSettings keeps in memory for `path`.
  std::unique_ptr<TRegIniPlus> Reopened(const QString& name = QStringLiteral("copy.ini")) const {
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
  void roundTrips_data();
  void roundTrips();
  void namesIgnoreCase();
  void integerKeepsAStringAsText();
  void integerAndBoolReadFromText_data();
  void integerAndBoolReadFromText();
  void floatIsEightLittleEndianBytes();
  void floatOfAnotherTypeIsAnError_data();
  void floatOfAnotherTypeIsAnError();
  void missingValuesGiveDefaults();
  void sectionsAndDeletion();
  void writeFailureIsReported();
  void editorFontAndColour();
  void dialogOnEmptyStoreStoresItsDefaults();
  void dialogShowsAndStoresValues();
  void dialogStopsAtBadNumber_data();
  void dialogStopsAtBadNumber();
  void dialogCancelStoresNothing();
  void dialogTabWidthAtMostMarlocs();
  void includeDirsSplitAndJoin_data();
  void includeDirsSplitAndJoin();
  void includeDirsListCommands();
  void ellipsisOpensIncludeDirs();
};

// Each row writes one value and reads it back from the live store and from a
// copy of the file on disk.
void TestSettings::roundTrips_data() {
  QTest::addColumn<QVariant>("value");
  Row("string", QVariant(QStringLiteral("a;;b")));
  Row("string with comma and backslashes", QVariant(QStringLiteral("C:\\My, dir\\")));
  Row("string like a byte array", QVariant(QStringLiteral("@ByteArray(x)")));
  Row("integer", QVariant(200));
  Row("smallest integer", QVariant(INT_MIN));
  Row("true", QVariant(true));
  Row("float", QVariant(182.04444444));
  Row("float negative zero", QVariant(-0.0));
  Row("float huge", QVariant(1.7976931348623157e308));
  Row("float denormal", QVariant(4.9e-324));
}

void TestSettings::roundTrips() {
  QFETCH(QVariant, value);
  TempStore t;
  const QString name = QStringLiteral("value");
  const auto readBack = [&](const TRegIniPlus& store) -> QVariant {
    switch (value.typeId()) {
      case QMetaType::QString:
        return store.ReadString(kMarlo, name, QStringLiteral("default"));
      case QMetaType::Int:
        return store.ReadInteger(kMarlo, name, 12345);
      case QMetaType::Bool:
        return store.ReadBool(kMarlo, name, !value.toBool());
      default:
        return store.ReadFloat(kMarlo, name, 99.0);
    }
  };
  switch (value.typeId()) {
    case QMetaType::QString:
      t.store.WriteString(kMarlo, name, value.toString());
      break;
    case QMetaType::Int:
      t.store.WriteInteger(kMarlo, name, value.toInt());
      break;
    case QMetaType::Bool:
      t.store.WriteBool(kMarlo, name, value.toBool());
      break;
    default:
      t.store.WriteFloat(kMarlo, name, value.toDouble());
  }
  const auto fromDisk = t.Reopened();
  QVERIFY(fromDisk);
  for (const TRegIniPlus* store : {&t.store, fromDisk.get()}) {
    const QVariant read = readBack(*store);
    if (value.typeId() == QMetaType::Double)  // bit for bit: -0.0 and denormals too
      QCOMPARE(std::bit_cast<quint64>(read.toDouble()), std::bit_cast<quint64>(value.toDouble()));
    else
      QCOMPARE(read, value);
  }
}

void TestSettings::namesIgnoreCase() {
  TempStore t;
  t.store.WriteBool(kMarlo, QStringLiteral("Optimal fill"), false);
  QCOMPARE(ReadOptimalFill(t.store), false);  // read as "optimal fill"
  t.store.WriteBool(kMarlo, QStringLiteral("OPTIMAL FILL"), true);
  QCOMPARE(ReadOptimalFill(t.store), true);
  QCOMPARE(t.store.ReadSection(kMarlo), QStringList{QStringLiteral("Optimal fill")});

  // Sections too, at every level.
  t.store.WriteString(QStringLiteral("Marlo\\MRU Items"), QStringLiteral("F0"), QStringLiteral("a.bos"));
  QCOMPARE(t.store.ReadString(QStringLiteral("marlo\\mru items"), QStringLiteral("f0"), {}), QStringLiteral("a.bos"));
  t.store.WriteString(QStringLiteral("MARLO"), QStringLiteral("font name"), QStringLiteral("Mono"));
  QCOMPARE(t.store.ReadString(kMarlo, QStringLiteral("Font Name"), {}), QStringLiteral("Mono"));
  const auto fromDisk = t.Reopened();
  QCOMPARE(fromDisk->ReadBool(kMarlo, QStringLiteral("optimal FILL"), false), true);
  QCOMPARE(fromDisk->ReadSection(kMarlo), (QStringList{QStringLiteral("Optimal fill"), QStringLiteral("font name")}));
}

void TestSettings::integerKeepsAStringAsText() {
  TempStore t;
  t.store.WriteString(kMarlo, QStringLiteral("tab width"), QStringLiteral("8"));
  t.store.WriteInteger(kMarlo, QStringLiteral("Tab Width"), 3);
  QCOMPARE(t.Raw(QStringLiteral("Marlo/tab width")), QVariant(QStringLiteral("3")));
  t.store.WriteInteger(kMarlo, QStringLiteral("recurse"), 7);
  QCOMPARE(t.Raw(QStringLiteral("Marlo/recurse")), QVariant(7));
  QCOMPARE(ReadEditorTabWidth(t.store), 3);
}

void TestSettings::integerAndBoolReadFromText_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("integer");  // read with default 42
  QTest::addColumn<bool>("boolWithDefaultFalse");
  Row("number", "12", 12, true);
  Row("zero", "0", 0, false);
  Row("negative", "-3", -3, true);
  Row("spaces", " 5 ", 5, true);
  Row("not a number", "x", 42, false);
  Row("fraction", "1.5", 42, false);
  Row("hex", "0x10", 42, false);
  Row("too big", "2147483648", 42, false);
  Row("empty", "", 42, false);
}

void TestSettings::integerAndBoolReadFromText() {
  QFETCH(QString, text);
  QFETCH(int, integer);
  QFETCH(bool, boolWithDefaultFalse);
  TempStore t;
  t.store.WriteString(kMarlo, QStringLiteral("v"), text);
  QCOMPARE(t.store.ReadInteger(kMarlo, QStringLiteral("v"), 42), integer);
  QCOMPARE(t.store.ReadBool(kMarlo, QStringLiteral("v"), false), boolWithDefaultFalse);
  // An unconvertible text falls back to the default, true included.
  QCOMPARE(t.store.ReadBool(kMarlo, QStringLiteral("v"), true), integer != 0);

  t.store.WriteBool(kMarlo, QStringLiteral("b"), true);
  QCOMPARE(t.Raw(QStringLiteral("Marlo/b")), QVariant(QStringLiteral("1")));
  t.store.WriteBool(kMarlo, QStringLiteral("b"), false);
  QCOMPARE(t.Raw(QStringLiteral("Marlo/b")), QVariant(QStringLiteral("0")));
}

void TestSettings::floatIsEightLittleEndianBytes() {
  TempStore t;
  t.store.WriteFloat(kMarlo, QStringLiteral("Linear"), 1.0);
  QCOMPARE(t.Raw(QStringLiteral("Marlo/Linear")), QVariant(QByteArray::fromHex("000000000000f03f")));
}

void TestSettings::floatOfAnotherTypeIsAnError_data() {
  QTest::addColumn<QByteArray>("line");  // the value's line in the file
  Row("string", QByteArray("Angular=\"182.5\""));
  Row("number", QByteArray("Angular=182"));
  Row("four bytes", QByteArray("Angular=@ByteArray(abcd)"));
  Row("nine bytes", QByteArray("Angular=@ByteArray(abcdefghi)"));
  Row("eight characters of text", QByteArray("Angular=abcdefgh"));
  Row("text of eight bytes", QByteArray("Angular=182.0444"));
  Row("empty", QByteArray("Angular="));
}

void TestSettings::floatOfAnotherTypeIsAnError() {
  QFETCH(QByteArray, line);
  QTemporaryDir dir;
  const TRegIniPlus store(
      marlo::test::WriteBytes(dir.filePath(QStringLiteral("settings.ini")), "[Marlo]\n" + line + "\n"));
  QCOMPARE(ErrorOf([&] { store.ReadFloat(kMarlo, QStringLiteral("angular"), 1.0); }),
           QStringLiteral("Invalid data type for 'angular'"));
  QCOMPARE(ErrorOf([&] { ReadCompileSettings(store); }), QStringLiteral("Invalid data type for 'Angular'"));

  // Written by this store as another type, too.
  TempStore t;
  t.store.WriteInteger(kMarlo, QStringLiteral("Linear"), 5);
  QCOMPARE(ErrorOf([&] { t.store.ReadFloat(kMarlo, QStringLiteral("Linear"), 1.0); }),
           QStringLiteral("Invalid data type for 'Linear'"));
}

void TestSettings::missingValuesGiveDefaults() {
  TempStore t;
  QCOMPARE(t.store.ReadString(QStringLiteral("Nowhere"), QStringLiteral("x"), QStringLiteral("d")),
           QStringLiteral("d"));
  QCOMPARE(t.store.ReadInteger(QStringLiteral("Nowhere\\Deeper"), QStringLiteral("x"), 9), 9);
  QCOMPARE(t.store.ReadFloat(kMarlo, QStringLiteral("x"), 2.5), 2.5);
  QVERIFY(!t.store.ValueExists(kMarlo, QStringLiteral("x")));
  QVERIFY(t.store.ReadSection(kMarlo).isEmpty());

  QCOMPARE(Described(ReadCompileSettings(t.store)),
           QStringLiteral("angular=182.04444444 linear=163840 recurse=200 outputDir=./ includeDirs= "
                          "definesCaseSensitive=1 viewAssembly=0 autoSave=1 extended=0"));
  QCOMPARE(ReadTabWidth(t.store), 4);
  QCOMPARE(ReadWorkingDir(t.store), QString());
  QVERIFY(!QFile::exists(t.path));  // reading creates nothing
}

void TestSettings::sectionsAndDeletion() {
  TempStore t;
  const QString mru = QStringLiteral("Marlo\\MRU Items");
  for (const char* name : {"F0", "F1", "F2"}) t.store.WriteString(mru, QString::fromLatin1(name), QStringLiteral("p"));
  t.store.WriteInteger(kMarlo, QStringLiteral("tab width"), 2);
  t.store.DeleteKey(mru, QStringLiteral("f1"));
  QCOMPARE(t.store.ReadSection(mru), (QStringList{QStringLiteral("F0"), QStringLiteral("F2")}));
  t.store.EraseSection(mru);
  QVERIFY(t.store.ReadSection(mru).isEmpty());
  QCOMPARE(t.Reopened()->ReadInteger(kMarlo, QStringLiteral("tab width"), 0), 2);  // the parent stays
}

void TestSettings::writeFailureIsReported() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("settings.ini"));
  QVERIFY(QDir().mkpath(path));  // a folder where the file should be
  TRegIniPlus store(path);
  const QString error = ErrorOf([&] { store.WriteString(kMarlo, QStringLiteral("x"), QStringLiteral("y")); });
  QCOMPARE(error, QStringLiteral("Cannot write the settings to '%1'").arg(path));
  QVERIFY(!ErrorOf([&] { store.WriteFloat(kMarlo, QStringLiteral("z"), 1.0); }).isEmpty());

  // Once the file can be written again, writes succeed and reach the disk.
  QVERIFY(QDir(path).removeRecursively());
  store.WriteInteger(kMarlo, QStringLiteral("tab width"), 6);
  QCOMPARE(TRegIniPlus(path).ReadInteger(kMarlo, QStringLiteral("tab width"), 0), 6);
  // No temporary or lock file is left beside it.
  QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("settings.ini")});
}

void TestSettings::editorFontAndColour() {
  TempStore t;
  QFont font;
  QColor color;
  LoadEditorFont(t.store, font, color);
  QCOMPARE(font.family(), QStringLiteral("Courier New"));
  QCOMPARE(font.pointSize(), 11);
  QCOMPARE(color, QColor(Qt::yellow));
  QCOMPARE(EditColor(t.store), QColor(0, 0, 128));

  font.setFamily(QStringLiteral("DejaVu Sans Mono"));
  font.setPointSize(14);
  SaveEditorFont(t.store, font, QColor(0x12, 0x34, 0x56));
  StoreEditColor(t.store, QColor(1, 2, 3));
  QCOMPARE(t.store.ReadInteger(kMarlo, QStringLiteral("font color"), 0), 0x563412);
  QCOMPARE(t.store.ReadInteger(kMarlo, QStringLiteral("edit color"), 0), 0x030201);

  const auto fromDisk = t.Reopened();
  QFont loaded;
  LoadEditorFont(*fromDisk, loaded, color);
  QCOMPARE(loaded.family(), QStringLiteral("DejaVu Sans Mono"));
  QCOMPARE(loaded.pointSize(), 14);
  QCOMPARE(color, QColor(0x12, 0x34, 0x56));
  QCOMPARE(EditColor(*fromDisk), QColor(1, 2, 3));
}

void TestSettings::dialogOnEmptyStoreStoresItsDefaults() {
  TempStore t;
  TCompilerSettings dialog(t.store);
  QCOMPARE(dialog.windowTitle(), QStringLiteral("Compiler Settings"));
  QCOMPARE(Child<QLineEdit>(dialog, "Edit1")->text(), QStringLiteral("182"));
  QCOMPARE(Child<QLineEdit>(dialog, "Edit2")->text(), QStringLiteral("163840"));
  QCOMPARE(Child<QLineEdit>(dialog, "Edit3")->text(), QStringLiteral("200"));
  QCOMPARE(Child<QLineEdit>(dialog, "ComboEdit1")->text(), QStringLiteral("./"));
  QCOMPARE(Child<TDirectoryEdit>(dialog, "DirectoryEdit1")->text(), QStringLiteral("./"));
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

void TestSettings::dialogShowsAndStoresValues() {
  TempStore t;
  t.store.WriteFloat(kMarlo, QStringLiteral("Angular"), 182.04444444);
  t.store.WriteInteger(kMarlo, QStringLiteral("Recurse"), 50);
  t.store.WriteBool(kMarlo, QStringLiteral("autoindent"), false);
  t.store.WriteInteger(kMarlo, QStringLiteral("Tab width"), -3);
  TCompilerSettings dialog(t.store);
  QCOMPARE(Child<QLineEdit>(dialog, "Edit1")->text(), QStringLiteral("182.04444444"));
  QCOMPARE(Child<QLineEdit>(dialog, "Edit3")->text(), QStringLiteral("50"));
  QCOMPARE(Child<QSpinBox>(dialog, "SpinEdit1")->value(), -3);
  auto* checks = Child<QListWidget>(dialog, "CheckListBox1");
  QCOMPARE(checks->count(), 8);
  QCOMPARE(checks->item(2)->text(), QStringLiteral("Autoindent"));
  QCOMPARE(checks->item(2)->checkState(), Qt::Unchecked);
  QCOMPARE(checks->item(7)->text(), QStringLiteral("Extended syntax"));
  QCOMPARE(checks->item(7)->checkState(), Qt::Unchecked);

  Child<QLineEdit>(dialog, "Edit2")->setText(QStringLiteral(" 1.5e3 "));
  Child<QLineEdit>(dialog, "ComboEdit1")->setText(QStringLiteral("a;;b"));
  Child<TDirectoryEdit>(dialog, "DirectoryEdit1")->setText(QStringLiteral("/tmp/out"));
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
  QVERIFY(t.store.ReadSection(kMarlo).contains(QStringLiteral("Recurse")));
  QVERIFY(t.store.ReadSection(kMarlo).contains(QStringLiteral("Tab width")));
}

void TestSettings::dialogStopsAtBadNumber_data() {
  QTest::addColumn<QString>("field");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("error");
  QTest::addColumn<int>("stored");  // how many of Angular, Linear, recurse, output dir are stored
  Row("angular", "Edit1", "abc", "'abc' is not a valid floating point value", 0);
  Row("linear", "Edit2", "1,5", "'1,5' is not a valid floating point value", 1);
  Row("linear overflow", "Edit2", "1e999", "'1e999' is not a valid floating point value", 1);
  Row("linear inf", "Edit2", "inf", "'inf' is not a valid floating point value", 1);
  Row("angular zero", "Edit1", "0", "Angular constant <X> needs a scale above 0 and at most 1e9, got '0'", 0);
  Row("linear negative", "Edit2", "-5", "Linear constant [X] needs a scale above 0 and at most 1e9, got '-5'", 1);
  Row("linear huge", "Edit2", "1e300", "Linear constant [X] needs a scale above 0 and at most 1e9, got '1e300'", 1);
  Row("recurse fraction", "Edit3", "12.5", "'12.5' is not a valid integer value", 2);
  Row("recurse empty", "Edit3", "", "'' is not a valid integer value", 2);
}

void TestSettings::dialogStopsAtBadNumber() {
  QFETCH(QString, field);
  QFETCH(QString, text);
  QFETCH(QString, error);
  QFETCH(int, stored);
  TempStore t;
  marlo::test::BoxRecorder boxes;
  TCompilerSettings dialog(t.store);
  Child<QLineEdit>(dialog, field.toLatin1().constData())->setText(text);
  QTest::mouseClick(Child<QPushButton>(dialog, "OkButton"), Qt::LeftButton);
  QCOMPARE(boxes.Texts(), QStringList{error});
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  const QStringList order{QStringLiteral("Angular"), QStringLiteral("Linear"), QStringLiteral("recurse"),
                          QStringLiteral("output dir")};
  for (int i = 0; i < order.size(); ++i) QCOMPARE(t.store.ValueExists(kMarlo, order[i]), i < stored);
  QCOMPARE(t.store.ReadSection(kMarlo).size(), stored);
}

void TestSettings::dialogCancelStoresNothing() {
  TempStore t;
  TCompilerSettings dialog(t.store);
  Child<QLineEdit>(dialog, "Edit1")->setText(QStringLiteral("1"));
  QTest::mouseClick(Child<QPushButton>(dialog, "CancelButton"), Qt::LeftButton);
  QCOMPARE(dialog.result(), int(QDialog::Rejected));
  QVERIFY(t.store.ReadSection(kMarlo).isEmpty());
}

// A stored tab width beyond marloc's limit is shown and stored as the limit.
void TestSettings::dialogTabWidthAtMostMarlocs() {
  TempStore t;
  t.store.WriteInteger(kMarlo, QStringLiteral("Tab width"), 1000);
  TCompilerSettings dialog(t.store);
  QCOMPARE(Child<QSpinBox>(dialog, "SpinEdit1")->value(), marlo::core::kMaxTabWidth);
  QTest::mouseClick(Child<QPushButton>(dialog, "OkButton"), Qt::LeftButton);
  QCOMPARE(ReadTabWidth(t.store), marlo::core::kMaxTabWidth);
}

void TestSettings::includeDirsSplitAndJoin_data() {
  QTest::addColumn<QString>("dirs");
  QTest::addColumn<QStringList>("entries");
  QTest::addColumn<QString>("joined");
  Row("empty middle", "a;;b", QStringList{"a", "", "b"}, "a;;b");
  Row("empty", "", QStringList{}, "");
  Row("one", "./", QStringList{"./"}, "./");
  Row("final separator", "a;b;", QStringList{"a", "b"}, "a;b");
  Row("only separator", ";", QStringList{""}, "");
  Row("leading separator", ";a", QStringList{"", "a"}, ";a");
}

void TestSettings::includeDirsSplitAndJoin() {
  QFETCH(QString, dirs);
  QFETCH(QStringList, entries);
  QFETCH(QString, joined);
  TForm10 dialog;
  dialog.SetDirs(dirs);
  auto* list = Child<QListWidget>(dialog, "ListBox1");
  QCOMPARE(Entries(*list), entries);
  QCOMPARE(list->currentRow(), entries.isEmpty() ? -1 : 0);
  QCOMPARE(Child<TDirectoryEdit>(dialog, "DirectoryEdit1")->text(), entries.value(0));
  QCOMPARE(dialog.GetDirs(), joined);
}

void TestSettings::includeDirsListCommands() {
  TForm10 dialog;
  QCOMPARE(dialog.windowTitle(), QStringLiteral("Include directories"));
  dialog.show();
  auto* list = Child<QListWidget>(dialog, "ListBox1");
  auto* edit = Child<TDirectoryEdit>(dialog, "DirectoryEdit1");
  const auto click = [&](const char* name) { QTest::mouseClick(Child<QAbstractButton>(dialog, name), Qt::LeftButton); };
  const auto state = [&] { return Entries(*list).join(u'|') + QStringLiteral(" @%1").arg(list->currentRow()); };
  dialog.SetDirs(QStringLiteral("a;b;c"));

  const QRect second = list->visualItemRect(list->item(1));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
  QCOMPARE(edit->text(), QStringLiteral("b"));
  edit->setText(QStringLiteral("typed"));
  click("UpButton");
  QCOMPARE(state(), QStringLiteral("b|a|c @0"));
  QCOMPARE(edit->text(), QStringLiteral("typed"));  // moving does not touch the edit
  click("UpButton");
  QCOMPARE(state(), QStringLiteral("b|a|c @0"));
  click("DownButton");
  click("DownButton");
  QCOMPARE(state(), QStringLiteral("a|c|b @2"));
  click("DownButton");
  QCOMPARE(state(), QStringLiteral("a|c|b @2"));
  click("ReplaceButton");
  QCOMPARE(state(), QStringLiteral("a|c|typed @2"));
  edit->setText(QStringLiteral("d"));
  click("AddButton");
  QCOMPARE(state(), QStringLiteral("a|c|typed|d @2"));
  click("RemoveButton");
  QCOMPARE(state(), QStringLiteral("a|c|d @-1"));
  click("ReplaceButton");
  click("RemoveButton");
  click("UpButton");
  QCOMPARE(state(), QStringLiteral("a|c|d @-1"));
  QCOMPARE(dialog.GetDirs(), QStringLiteral("a;c;d"));

  dialog.SetDirs(QString());
  edit->setText(QStringLiteral("e"));
  click("AddButton");
  QCOMPARE(state(), QStringLiteral("e @-1"));
}

// The ellipsis button edits the include text through the Include directories
// dialog; only the Compiler Settings' "&Ok" stores it.
void TestSettings::ellipsisOpensIncludeDirs() {
  TempStore t;
  t.store.WriteString(kMarlo, QStringLiteral("Include dirs"), QStringLiteral("a;b"));
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
  answer("CancelButton", QStringLiteral("x"));
  QCOMPARE(seen, std::optional(QStringList{"a", "b"}));
  QCOMPARE(Child<QLineEdit>(dialog, "ComboEdit1")->text(), QStringLiteral("a;b"));
  answer("OkButton", QStringLiteral("c"));
  QCOMPARE(Child<QLineEdit>(dialog, "ComboEdit1")->text(), QStringLiteral("a;b;c"));
  QCOMPARE(t.store.ReadString(kMarlo, QStringLiteral("Include dirs"), {}), QStringLiteral("a;b"));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
