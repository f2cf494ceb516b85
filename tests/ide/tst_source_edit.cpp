// The source editor with real key presses on a shown, active editor of each
// page: the key table, the commands the editor carries out itself, the
// read-only pages, the undo depth and the precedence over window shortcuts.
#include <Qsci/qscilexercustom.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>
#include <set>

#include "editor/source_edit.h"
#include "tests/support/rows.h"

using namespace marlo::editor;
using marlo::test::Row;

Q_DECLARE_METATYPE(marlo::editor::EditorPage)

namespace {

const EditorPage kPages[] = {EditorPage::Source, EditorPage::Preprocessed, EditorPage::Assembly};
const char* const kPageNames[] = {"Source", "Preprocessed", "Assembly"};

QString KeyName(int key, Qt::KeyboardModifiers modifiers) {
  return QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(key))).toString();
}

bool ShowActive(QWidget& widget, SourceEdit& edit) {
  widget.resize(480, 240);
  widget.show();
  widget.activateWindow();
  if (!QTest::qWaitForWindowActive(&widget)) return false;
  edit.setFocus();
  return edit.hasFocus();
}

// Two styles, the second bold: what a highlighter gives the editor.
class TwoStyles : public QsciLexerCustom {
 public:
  const char* language() const override { return "two"; }
  QString description(int style) const override {
    return style == 0 ? QStringLiteral("plain") : style == 1 ? QStringLiteral("keyword") : QString();
  }
  QFont defaultFont(int style) const override {
    QFont font(QStringLiteral("Courier New"), 10);
    font.setBold(style == 1);
    return font;
  }
  void styleText(int start, int end) override {
    startStyling(start);
    setStyling(end - start, 1);
  }
};

void Press(SourceEdit& edit, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QTest::keyClick(&edit, static_cast<Qt::Key>(key), modifiers);
}

}  // namespace

class TestSourceEdit : public QObject {
  Q_OBJECT
 private slots:
  void keyTable();
  void everyKeyRunsItsCommand_data() { PageRows(); }
  void everyKeyRunsItsCommand();
  void bookmarks_data() { PageRows(); }
  void bookmarks();
  void editingKeys_data();
  void editingKeys();
  void clipboardKeys();
  void blockIndentIsOneUndoStep();
  void insertKeyTogglesMode_data() { PageRows(); }
  void insertKeyTogglesMode();
  void undoDepth_data();
  void undoDepth();
  void readOnlyPages_data();
  void readOnlyPages();
  void unboundKeysTypeNothing();
  void pageTopAndBottom();
  void windowShortcutsDoNotStealEditorKeys();
  void textBytesCaretAndSelection();
  void startOptions_data() { PageRows(); }
  void startOptions();
  void notificationsAndPrinting();
  void fontWithHighlighter();

 private:
  static void PageRows() {
    QTest::addColumn<EditorPage>("page");
    for (int i = 0; i < 3; ++i) QTest::newRow(kPageNames[i]) << kPages[i];
  }
};

void TestSourceEdit::keyTable() {
  const auto table = SourceEdit::Keystrokes();
  QCOMPARE(table.size(), std::size_t{73});
  std::set<std::pair<int, int>> keys;
  std::set<int> commands;
  int alt = 0;
  for (const TKeystroke& k : table) {
    QVERIFY2(keys.insert({k.key, k.modifiers.toInt()}).second, qPrintable(KeyName(k.key, k.modifiers)));
    commands.insert(k.command);
    if (k.modifiers & Qt::AltModifier) {
      ++alt;
      QCOMPARE(k.key, Qt::Key_Backspace);
      QCOMPARE(k.command, (k.modifiers & Qt::ShiftModifier) ? ecRedo : ecUndo);
    }
    if (k.key >= Qt::Key_0 && k.key <= Qt::Key_9) {
      const int digit = k.key - Qt::Key_0;
      QCOMPARE(k.command, k.modifiers == Qt::ControlModifier ? ecGotoMarker0 + digit : ecSetMarker0 + digit);
    }
    QCOMPARE(SourceEdit::FindKeystroke(k.key, k.modifiers | Qt::KeypadModifier), &k);
  }
  QCOMPARE(alt, 2);
  QCOMPARE(commands.size(), std::size_t{ecLastCommand});  // every command has a key
  QCOMPARE(SourceEdit::FindKeystroke(Qt::Key_Enter, Qt::KeypadModifier)->command, ecLineBreak);
  QVERIFY(!SourceEdit::FindKeystroke(Qt::Key_K, Qt::ControlModifier));
}

// Each key of the table runs its command once; those that Scintilla carries
// out reach it through its key binding (seen by recording them as a macro).
void TestSourceEdit::everyKeyRunsItsCommand() {
  QFETCH(EditorPage, page);
  SourceEdit edit(page);
  QVERIFY(ShowActive(edit, edit));
  QList<int> recorded;
  connect(&edit, &QsciScintillaBase::SCN_MACRORECORD, this,
          [&recorded](unsigned int message, unsigned long, void*) { recorded << int(message); });
  QList<int> processed;
  connect(&edit, &SourceEdit::CommandProcessed, this, [&processed](TEditorCommand c) { processed << c; });
  for (const TKeystroke& k : SourceEdit::Keystrokes()) {
    const QString name = KeyName(k.key, k.modifiers);
    edit.SetText(QStringLiteral("first line\r\nsecond line here\r\nthird"));
    edit.SetCaretPosition(2, 4);
    recorded.clear();
    processed.clear();
    edit.SendScintilla(QsciScintillaBase::SCI_STARTRECORD);
    Press(edit, k.key, k.modifiers);
    edit.SendScintilla(QsciScintillaBase::SCI_STOPRECORD);
    QVERIFY2(processed == QList<int>{k.command}, qPrintable(name));
    // Scintilla records a line break only as the text it inserts; the
    // editing tests cover Enter and Ctrl+M.
    const int scintilla = ScintillaCommandFor(k.command);
    if (scintilla != 0 && k.command != ecLineBreak) QVERIFY2(recorded == QList<int>{scintilla}, qPrintable(name));
  }
}

// Ctrl+Shift+n places bookmark n on the caret's line, Ctrl+n returns to it,
// on every page, read-only or not, and no digit is typed.
void TestSourceEdit::bookmarks() {
  QFETCH(EditorPage, page);
  SourceEdit edit(page);
  QVERIFY(ShowActive(edit, edit));
  QStringList lines;
  for (int i = 1; i <= 24; ++i) lines << QStringLiteral("line number %1").arg(i);
  edit.SetLines(lines);
  const QByteArray text = edit.Bytes();
  for (int n = 0; n < 10; ++n) {
    edit.SetCaretPosition(2 * n + 1, n + 1);
    Press(edit, Qt::Key_0 + n, Qt::ControlModifier | Qt::ShiftModifier);
  }
  Press(edit, Qt::Key_End, Qt::ControlModifier);
  for (int n : {7, 0, 9, 3, 1, 2, 4, 5, 6, 8}) {
    Press(edit, Qt::Key_0 + n, Qt::ControlModifier);
    QCOMPARE(edit.CaretLine(), 2 * n + 1);
    QCOMPARE(edit.CaretColumn(), n + 1);
    QCOMPARE(edit.BookmarkLine(n), 2 * n);
  }
  // Placing a bookmark again moves it.
  edit.SetCaretPosition(24, 2);
  Press(edit, Qt::Key_7, Qt::ControlModifier | Qt::ShiftModifier);
  Press(edit, Qt::Key_Home, Qt::ControlModifier);
  Press(edit, Qt::Key_7, Qt::ControlModifier);
  QCOMPARE(edit.CaretLine(), 24);
  QCOMPARE(edit.markerFindNext(0, 1u << 7), 23);
  QCOMPARE(edit.Bytes(), text);
}

void TestSourceEdit::editingKeys_data() {
  QTest::addColumn<QByteArray>("text");
  QTest::addColumn<int>("caret");  // characters from the start
  QTest::addColumn<int>("key");
  QTest::addColumn<int>("modifiers");
  QTest::addColumn<QByteArray>("expected");
  QTest::addColumn<int>("line");
  QTest::addColumn<int>("column");
  const int ctrl = int(Qt::ControlModifier);
  Row("Ctrl+Y deletes the line", QByteArray("one\r\ntwo\r\nthree"), 6, int(Qt::Key_Y), ctrl, QByteArray("one\r\nthree"),
      2, 1);
  Row("Ctrl+Shift+Y deletes to the end of the line", QByteArray("alpha beta\r\nx"), 2, int(Qt::Key_Y),
      int(ctrl | Qt::ShiftModifier), QByteArray("al\r\nx"), 1, 3);
  Row("Enter splits the line", QByteArray("abcd"), 2, int(Qt::Key_Return), 0, QByteArray("ab\r\ncd"), 2, 1);
  Row("keypad Enter splits the line", QByteArray("abcd"), 2, int(Qt::Key_Enter), int(Qt::KeypadModifier),
      QByteArray("ab\r\ncd"), 2, 1);
  Row("Ctrl+M splits the line", QByteArray("abcd"), 2, int(Qt::Key_M), ctrl, QByteArray("ab\r\ncd"), 2, 1);
  Row("Ctrl+N breaks the line, caret stays", QByteArray("abcd"), 2, int(Qt::Key_N), ctrl, QByteArray("ab\r\ncd"), 1, 3);
  Row("Ctrl+T deletes the word at the caret", QByteArray("one two.x three"), 5, int(Qt::Key_T), ctrl,
      QByteArray("one  three"), 1, 5);
  Row("Ctrl+T right after a word", QByteArray("one two"), 3, int(Qt::Key_T), ctrl, QByteArray(" two"), 1, 1);
  Row("Ctrl+T on blanks deletes them", QByteArray("ab   cd"), 3, int(Qt::Key_T), ctrl, QByteArray("ab cd"), 1, 4);
  Row("Ctrl+T at the line end joins nothing", QByteArray("ab \r\ncd"), 3, int(Qt::Key_T), ctrl, QByteArray("ab \r\ncd"),
      1, 4);
  Row("Ctrl+Backspace deletes the word before", QByteArray("one two"), 7, int(Qt::Key_Backspace), ctrl,
      QByteArray("one "), 1, 5);
  Row("Tab types a tab", QByteArray("ab"), 1, int(Qt::Key_Tab), 0, QByteArray("a\tb"), 1, 3);
  Row("Ctrl+Right steps over a whole non-blank run", QByteArray("a.b(c) d"), 0, int(Qt::Key_Right), ctrl,
      QByteArray("a.b(c) d"), 1, 8);
  Row("Ctrl+Left too", QByteArray("x a.b(c) d"), 7, int(Qt::Key_Left), ctrl, QByteArray("x a.b(c) d"), 1, 3);
}

void TestSourceEdit::editingKeys() {
  QFETCH(QByteArray, text);
  QFETCH(int, caret);
  QFETCH(int, key);
  QFETCH(int, modifiers);
  QFETCH(QByteArray, expected);
  QFETCH(int, line);
  QFETCH(int, column);
  SourceEdit edit(EditorPage::Source);
  QVERIFY(ShowActive(edit, edit));
  edit.SetBytes(text);
  edit.SetSelStart(caret);
  Press(edit, key, Qt::KeyboardModifiers(modifiers));
  QCOMPARE(edit.Bytes(), expected);
  QCOMPARE(edit.CaretLine(), line);
  QCOMPARE(edit.CaretColumn(), column);
}

void TestSourceEdit::clipboardKeys() {
  SourceEdit edit(EditorPage::Source);
  QVERIFY(ShowActive(edit, edit));
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(QStringLiteral("CLIP"));
  edit.SetText(QStringLiteral("abc"));
  edit.SetSelStart(1);
  Press(edit, Qt::Key_Insert, Qt::ShiftModifier);
  QCOMPARE(edit.Text(), QStringLiteral("aCLIPbc"));

  clipboard->setText(QString());
  edit.SetSelStart(1);
  edit.SetSelLength(4);
  Press(edit, Qt::Key_Insert, Qt::ControlModifier);
  QCOMPARE(clipboard->text(), QStringLiteral("CLIP"));
  clipboard->setText(QString());
  Press(edit, Qt::Key_Delete, Qt::ShiftModifier);
  QCOMPARE(clipboard->text(), QStringLiteral("CLIP"));
  QCOMPARE(edit.Text(), QStringLiteral("abc"));
  Press(edit, Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(edit.Text(), QStringLiteral("aCLIPbc"));
  Press(edit, Qt::Key_A, Qt::ControlModifier);
  QCOMPARE(edit.SelStart(), 0);
  QCOMPARE(edit.SelLength(), 7);
  Press(edit, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(clipboard->text(), QStringLiteral("aCLIPbc"));
  Press(edit, Qt::Key_X, Qt::ControlModifier);
  QCOMPARE(edit.Text(), QString());
}

void TestSourceEdit::blockIndentIsOneUndoStep() {
  SourceEdit edit(EditorPage::Source);
  QVERIFY(ShowActive(edit, edit));
  const QByteArray original("a\r\nb\r\nc\r\nd");
  const QByteArray indented("    a\r\n    b\r\nc\r\nd");
  const auto ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
  edit.SetBytes(original);
  edit.SetSelStart(0);
  edit.SetSelLength(6);  // up to the start of line 3, which stays out
  Press(edit, Qt::Key_I, ctrlShift);
  QCOMPARE(edit.Bytes(), indented);
  Press(edit, Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(edit.Bytes(), original);
  Press(edit, Qt::Key_Z, ctrlShift);
  QCOMPARE(edit.Bytes(), indented);
  edit.SetSelStart(0);
  edit.SetSelLength(14);  // into line 3
  Press(edit, Qt::Key_U, ctrlShift);
  QCOMPARE(edit.Bytes(), original);
  Press(edit, Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(edit.Bytes(), indented);
  // Without a selection the caret's line moves.
  edit.SetCaretPosition(4, 1);
  Press(edit, Qt::Key_I, ctrlShift);
  QCOMPARE(edit.Bytes(), QByteArray("    a\r\n    b\r\nc\r\n    d"));
}

void TestSourceEdit::insertKeyTogglesMode() {
  QFETCH(EditorPage, page);
  SourceEdit edit(page);
  QVERIFY(ShowActive(edit, edit));
  QSignalSpy spy(&edit, &SourceEdit::InsertModeChanged);
  edit.SetText(QStringLiteral("abc"));
  QVERIFY(edit.InsertMode());
  Press(edit, Qt::Key_Insert);
  QCOMPARE(spy.size(), 1);
  QCOMPARE(spy.at(0).at(0).toBool(), false);
  QVERIFY(!edit.InsertMode());
  QVERIFY(edit.overwriteMode());
  QTest::keyClicks(&edit, QStringLiteral("X"));
  QCOMPARE(edit.Text(), page == EditorPage::Source ? QStringLiteral("Xbc") : QStringLiteral("abc"));
  Press(edit, Qt::Key_Insert);
  QCOMPARE(spy.size(), 2);
  QCOMPARE(spy.at(1).at(0).toBool(), true);
  QVERIFY(edit.InsertMode());
}

void TestSourceEdit::undoDepth_data() {
  QTest::addColumn<int>("maxUndo");
  QTest::addColumn<int>("undoKey");
  QTest::addColumn<int>("undoModifiers");
  QTest::addColumn<int>("redoModifiers");
  const int ctrl = int(Qt::ControlModifier), alt = int(Qt::AltModifier), shift = int(Qt::ShiftModifier);
  Row("Ctrl+Z, 10 steps", 10, int(Qt::Key_Z), ctrl, (ctrl | shift));
  Row("Alt+Backspace, 10 steps", 10, int(Qt::Key_Backspace), alt, (alt | shift));
  Row("Ctrl+Z, 3 steps", 3, int(Qt::Key_Z), ctrl, (ctrl | shift));
  Row("no undo", 0, int(Qt::Key_Z), ctrl, (ctrl | shift));
}

// Twelve separate edits; undo takes back at most MaxUndo of them, redo
// brings them all back.
void TestSourceEdit::undoDepth() {
  QFETCH(int, maxUndo);
  QFETCH(int, undoKey);
  QFETCH(int, undoModifiers);
  QFETCH(int, redoModifiers);
  SourceEdit edit(EditorPage::Source);
  QVERIFY(ShowActive(edit, edit));
  edit.SetMaxUndo(maxUndo);
  QCOMPARE(edit.MaxUndo(), maxUndo);
  for (int i = 0; i < 12; ++i) {
    QTest::keyClicks(&edit, QString(QChar('a' + i)));
    Press(edit, Qt::Key_Home);  // the next letter goes elsewhere: a new step
  }
  const QString full = QStringLiteral("lkjihgfedcba");
  QCOMPARE(edit.Text(), full);
  for (int i = 0; i < 15; ++i) Press(edit, undoKey, Qt::KeyboardModifiers(undoModifiers));
  QCOMPARE(edit.Text(), full.right(12 - maxUndo));
  QCOMPARE(edit.CanUndo(), false);
  for (int i = 0; i < 15; ++i) Press(edit, undoKey, Qt::KeyboardModifiers(redoModifiers));
  QCOMPARE(edit.Text(), full);
}

void TestSourceEdit::readOnlyPages_data() {
  QTest::addColumn<EditorPage>("page");
  Row("Preprocessed", EditorPage::Preprocessed);
  Row("Assembly", EditorPage::Assembly);
}

void TestSourceEdit::readOnlyPages() {
  QFETCH(EditorPage, page);
  SourceEdit edit(page);
  QVERIFY(ShowActive(edit, edit));
  QVERIFY(edit.ReadOnly());
  edit.SetText(QStringLiteral("alpha beta\r\ngamma"));
  const QByteArray text = edit.Bytes();
  QGuiApplication::clipboard()->setText(QStringLiteral("CLIP"));
  const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier, alt = Qt::AltModifier;
  const QList<QPair<int, Qt::KeyboardModifiers>> changing = {
      {Qt::Key_V, ctrl},         {Qt::Key_Insert, shift},
      {Qt::Key_X, ctrl},         {Qt::Key_Delete, shift},
      {Qt::Key_Delete, {}},      {Qt::Key_Backspace, {}},
      {Qt::Key_Return, {}},      {Qt::Key_M, ctrl},
      {Qt::Key_N, ctrl},         {Qt::Key_T, ctrl},
      {Qt::Key_Y, ctrl},         {Qt::Key_Y, ctrl | shift},
      {Qt::Key_I, ctrl | shift}, {Qt::Key_U, ctrl | shift},
      {Qt::Key_Backspace, ctrl}, {Qt::Key_Tab, {}},
      {Qt::Key_Z, {}},           {Qt::Key_Z, ctrl},
      {Qt::Key_Backspace, alt},  {Qt::Key_Backspace, alt | shift}};
  for (const auto& [key, modifiers] : changing) {
    edit.SetSelStart(2);
    edit.SetSelLength(3);
    Press(edit, key, modifiers);
    QVERIFY2(edit.Bytes() == text, qPrintable(KeyName(key, modifiers)));
  }
  QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("CLIP"));
  for (TEditorCommand command : {ecInsertLine, ecDeleteWord, ecBlockIndent, ecPaste, ecDeleteLine})
    edit.ExecuteCommand(command);
  edit.SelectAll();
  edit.ClearSelection();
  edit.PasteFromClipboard();
  edit.CutToClipboard();
  edit.undo();
  QCOMPARE(edit.Bytes(), text);

  // Moving, selecting and copying work.
  edit.SetCaretPosition(1, 1);
  Press(edit, Qt::Key_Right);
  Press(edit, Qt::Key_Down);
  QCOMPARE(edit.CaretLine(), 2);
  QCOMPARE(edit.CaretColumn(), 2);
  Press(edit, Qt::Key_Right, shift);
  Press(edit, Qt::Key_Right, shift);
  QCOMPARE(edit.SelLength(), 2);
  Press(edit, Qt::Key_C, ctrl);
  QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("am"));
}

// A Ctrl or Alt combination that the table does not name types nothing;
// plain letters are typed.
void TestSourceEdit::unboundKeysTypeNothing() {
  SourceEdit edit(EditorPage::Source);
  QVERIFY(ShowActive(edit, edit));
  edit.SetText(QStringLiteral("abc"));
  Press(edit, Qt::Key_End);
  const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier, alt = Qt::AltModifier;
  const QList<QPair<int, Qt::KeyboardModifiers>> unbound = {
      {Qt::Key_K, ctrl}, {Qt::Key_K, ctrl | shift}, {Qt::Key_K, alt},        {Qt::Key_L, ctrl},
      {Qt::Key_D, ctrl}, {Qt::Key_A, ctrl | shift}, {Qt::Key_Q, ctrl | alt}, {Qt::Key_Delete, ctrl},
      {Qt::Key_F9, {}},  {Qt::Key_Escape, {}}};
  for (const auto& [key, modifiers] : unbound) {
    Press(edit, key, modifiers);
    QVERIFY2(edit.Text() == QStringLiteral("abc"), qPrintable(KeyName(key, modifiers)));
  }
  QTest::keyClicks(&edit, QStringLiteral("k"));
  QCOMPARE(edit.Text(), QStringLiteral("abck"));
}

void TestSourceEdit::pageTopAndBottom() {
  SourceEdit edit(EditorPage::Source);
  QVERIFY(ShowActive(edit, edit));
  QStringList lines;
  for (int i = 1; i <= 100; ++i) lines << QStringLiteral("line %1").arg(i);
  edit.SetLines(lines);
  edit.SendScintilla(QsciScintillaBase::SCI_SETFIRSTVISIBLELINE, 20L);
  const long first = edit.SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE);
  const long onScreen = edit.SendScintilla(QsciScintillaBase::SCI_LINESONSCREEN);
  QCOMPARE(first, 20L);
  QVERIFY(onScreen > 3);
  edit.SetCaretPosition(23, 4);
  Press(edit, Qt::Key_PageDown, Qt::ControlModifier);
  QCOMPARE(edit.CaretLine(), int(first + onScreen));
  QCOMPARE(edit.CaretColumn(), 4);
  Press(edit, Qt::Key_PageUp, Qt::ControlModifier);
  QCOMPARE(edit.CaretLine(), int(first + 1));
  QCOMPARE(edit.CaretColumn(), 4);
  QCOMPARE(edit.SelLength(), 0);
  Press(edit, Qt::Key_PageDown, Qt::ControlModifier | Qt::ShiftModifier);
  QCOMPARE(edit.CaretLine(), int(first + onScreen));
  QVERIFY(edit.SelLength() > 0);
  QCOMPARE(edit.SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE), first);
}

// How the source window sets its menu: window-wide shortcuts for Ctrl+Z,
// Ctrl+C and F9. In an editor the table's keys stay the editor's (no
// ambiguity), and keys the table does not name reach the window.
void TestSourceEdit::windowShortcutsDoNotStealEditorKeys() {
  QTest::failOnWarning(QRegularExpression(QStringLiteral("Ambiguous")));
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto* source = new SourceEdit(EditorPage::Source);
  auto* assembly = new SourceEdit(EditorPage::Assembly);
  layout->addWidget(source);
  layout->addWidget(assembly);
  int undos = 0, copies = 0, compiles = 0;
  const auto addAction = [&window](QKeySequence key, int& count) {
    auto* action = new QAction(&window);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(action, &QAction::triggered, &window, [&count] { ++count; });
    window.addAction(action);
  };
  addAction(QKeySequence(Qt::CTRL | Qt::Key_Z), undos);
  addAction(QKeySequence(Qt::CTRL | Qt::Key_C), copies);
  addAction(QKeySequence(Qt::Key_F9), compiles);
  QVERIFY(ShowActive(window, *source));

  QTest::keyClicks(source, QStringLiteral("ab"));
  Press(*source, Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(source->Text(), QString());
  Press(*source, Qt::Key_F9);
  QCOMPARE(undos, 0);
  QCOMPARE(compiles, 1);

  assembly->SetText(QStringLiteral("PUSH 1"));
  assembly->setFocus();
  QVERIFY(assembly->hasFocus());
  Press(*assembly, Qt::Key_A, Qt::ControlModifier);
  Press(*assembly, Qt::Key_C, Qt::ControlModifier);
  Press(*assembly, Qt::Key_5, Qt::ControlModifier | Qt::ShiftModifier);
  QCOMPARE(copies, 0);
  QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("PUSH 1"));
  QCOMPARE(assembly->BookmarkLine(5), 0);
}

void TestSourceEdit::textBytesCaretAndSelection() {
  SourceEdit edit(EditorPage::Assembly);
  // Bytes that are not UTF-8, and a NUL, survive in a read-only editor.
  const QByteArray raw("\xE4\xF6 x\0y\r\nz", 9);
  edit.SetBytes(raw);
  QCOMPARE(edit.Bytes(), raw);
  QVERIFY(edit.ReadOnly());
  QVERIFY(!edit.isUndoAvailable());

  edit.SetLines({QStringLiteral("ab"), QStringLiteral("cd"), QString()});
  QCOMPARE(edit.Bytes(), QByteArray("ab\r\ncd\r\n"));
  QCOMPARE(edit.Lines(), (QStringList{QStringLiteral("ab"), QStringLiteral("cd"), QString()}));
  edit.SetSelStart(4);  // a CR LF counts two
  QCOMPARE(edit.CaretLine(), 2);
  QCOMPARE(edit.CaretColumn(), 1);
  edit.SetSelLength(-3);
  QCOMPARE(edit.SelStart(), 1);
  QCOMPARE(edit.SelLength(), 3);
  edit.SetCaretPosition(99, 99);
  QCOMPARE(edit.CaretLine(), 3);
  QCOMPARE(edit.CaretColumn(), 1);
  edit.SetCaretPosition(1, 99);
  QCOMPARE(edit.CaretColumn(), 3);

  // Columns and selections count characters, not bytes.
  edit.SetText(QStringLiteral("\u00e4\u00f6\u00fc\r\nx"));
  edit.SetCaretPosition(1, 3);
  QCOMPARE(edit.CaretColumn(), 3);
  edit.SetSelStart(1);
  edit.SetSelLength(4);
  QCOMPARE(edit.SelLength(), 4);
  QCOMPARE(edit.selectedText(), QStringLiteral("\u00f6\u00fc\r\n"));
  // New text ends the selection for good, as the selection's signals say.
  QSignalSpy changes(&edit, &QsciScintilla::copyAvailable);
  edit.SetBytes("new\r\n");
  QVERIFY(!edit.hasSelectedText());
  QCOMPARE(changes.value(0).value(0), QVariant(false));
}

void TestSourceEdit::startOptions() {
  QFETCH(EditorPage, page);
  SourceEdit edit(page);
  const bool source = page == EditorPage::Source;
  const QPalette palette = QGuiApplication::palette();
  const QColor navy(0, 0, 128);
  QCOMPARE(edit.Color(), navy);
  // Scintilla keeps colours as 0xBBGGRR.
  QCOMPARE(edit.SendScintilla(QsciScintillaBase::SCI_STYLEGETBACK, QsciScintillaBase::STYLE_DEFAULT), 0x800000L);
  QCOMPARE(edit.Font().family(), QStringLiteral("Courier New"));
  QCOMPARE(edit.Font().pointSize(), 10);
  QVERIFY(!edit.Font().bold() && !edit.Font().italic());
  QCOMPARE(edit.FontColor(), palette.color(QPalette::WindowText));
  QCOMPARE(edit.GutterWidth(), 30);
  QCOMPARE(edit.marginWidth(0) + edit.marginWidth(1), 30);
  QVERIFY(edit.marginWidth(0) > 0);
  QCOMPARE(edit.GutterColor(), palette.color(QPalette::Button));
  QCOMPARE(edit.MaxUndo(), 10);
  QCOMPARE(edit.ReadOnly(), !source);
  QCOMPARE(edit.WantTabs(), source);
  QCOMPARE(edit.AutoIndent(), !source);
  QCOMPARE(edit.TabWidth(), source ? 4 : 0);
  QCOMPARE(edit.tabWidth(), source ? 4 : 1);
  QCOMPARE(edit.SelectedColor().background, source ? QColor(192, 192, 192) : palette.color(QPalette::Highlight));
  QCOMPARE(edit.SelectedColor().foreground, source ? navy : palette.color(QPalette::HighlightedText));
  QCOMPARE(edit.Bytes(), QByteArray());
  QCOMPARE(edit.Lines(), QStringList{QString()});
  QCOMPARE(edit.CaretLine(), 1);
  QCOMPARE(edit.CaretColumn(), 1);
  QVERIFY(edit.InsertMode());
}

void TestSourceEdit::notificationsAndPrinting() {
  SourceEdit edit(EditorPage::Source);
  QVERIFY(ShowActive(edit, edit));
  QSignalSpy painted(&edit, &SourceEdit::Painted);
  QSignalSpy changed(&edit, &QsciScintilla::textChanged);
  QTest::keyClicks(&edit, QStringLiteral("x"));
  QVERIFY(changed.size() >= 1);
  edit.viewport()->repaint();
  QVERIFY(painted.size() >= 1);

  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  QStringList lines;
  for (int i = 1; i <= 150; ++i) lines << QStringLiteral("piece base move %1").arg(i);
  edit.SetLines(lines);
  const auto pages = [&](int copies) {
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("out%1.pdf").arg(copies)));
    printer.setCopyCount(copies);
    if (!edit.Print(printer)) return -1;
    QFile pdf(printer.outputFileName());
    if (!pdf.open(QIODevice::ReadOnly)) return -1;
    const QByteArray bytes = pdf.readAll();
    if (!bytes.startsWith("%PDF")) return -1;
    return int(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "));
  };
  const int one = pages(1);
  QVERIFY(one >= 2);
  QCOMPARE(pages(2), 2 * one);
}

// The editor's font reaches every style of an attached highlighter, which
// keeps its font styles; the background stays the editor's.
void TestSourceEdit::fontWithHighlighter() {
  SourceEdit edit(EditorPage::Source);
  TwoStyles highlighter;
  edit.SetHighLighter(&highlighter);
  QCOMPARE(edit.HighLighter(), &highlighter);
  edit.SetFont(QFont(QStringLiteral("Monospace"), 14));
  const auto style = [&edit](unsigned message, unsigned long number) { return edit.SendScintilla(message, number); };
  QCOMPARE(style(QsciScintillaBase::SCI_STYLEGETSIZE, 0), 14L);
  QCOMPARE(style(QsciScintillaBase::SCI_STYLEGETSIZE, 1), 14L);
  // QScintilla hands Scintilla Qt's weights, negated.
  QCOMPARE(std::abs(style(QsciScintillaBase::SCI_STYLEGETWEIGHT, 0)), long(QFont::Normal));
  QCOMPARE(std::abs(style(QsciScintillaBase::SCI_STYLEGETWEIGHT, 1)), long(QFont::Bold));
  QCOMPARE(highlighter.font(1).family(), QStringLiteral("Monospace"));
  QCOMPARE(style(QsciScintillaBase::SCI_STYLEGETBACK, QsciScintillaBase::STYLE_DEFAULT), 0x800000L);
  edit.SetColor(QColor(0, 128, 0));
  QCOMPARE(style(QsciScintillaBase::SCI_STYLEGETBACK, QsciScintillaBase::STYLE_DEFAULT), 0x008000L);
  // A highlighter that names no word characters keeps the editor's.
  edit.SetText(QStringLiteral("a.b(c) d"));
  edit.SetSelStart(0);
  edit.ExecuteCommand(ecWordRight);
  QCOMPARE(edit.CaretColumn(), 8);
  edit.SetHighLighter(nullptr);
  QCOMPARE(style(QsciScintillaBase::SCI_STYLEGETSIZE, QsciScintillaBase::STYLE_DEFAULT), 14L);
  QCOMPARE(style(QsciScintillaBase::SCI_STYLEGETBACK, 0), 0x008000L);
  edit.SetSelStart(0);
  edit.ExecuteCommand(ecWordRight);
  QCOMPARE(edit.CaretColumn(), 8);
}

QTEST_MAIN(TestSourceEdit)
#include "tst_source_edit.moc"
