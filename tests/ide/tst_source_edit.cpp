// The source editor with real key presses on a shown, active editor of each
// page: the key table, the commands the editor carries out itself, the
// read-only pages, the undo depth and the precedence over window shortcuts.
#include <Qsci/qscilexercustom.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QPrinter>
#include <QVBoxLayout>
#include <QtTest>
#include <set>

#include "editor/source_edit.h"
#include "tests/support/qt_table.h"

using namespace marlo::editor;
using marlo::test::Cells;
using marlo::test::TableRows;

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
  QString description(int style) const override { return style == 0 ? "plain" : style == 1 ? "keyword" : QString(); }
  QFont defaultFont(int style) const override {
    QFont font("Courier New", 10);
    font.setBold(style == 1);
    return font;
  }
  void styleText(int start, int end) override {
    startStyling(start);
    setStyling(end - start, 1);
  }
};

void Press(SourceEdit& edit, int key, Qt::KeyboardModifiers modifiers) {
  QTest::keyClick(&edit, static_cast<Qt::Key>(key), modifiers);
}

// A key as Qt writes it: "Ctrl+Shift+Y", "Num+Enter" on the keypad.
void Press(SourceEdit& edit, const QString& key) {
  const QKeyCombination combination = QKeySequence::fromString(key, QKeySequence::PortableText)[0];
  Press(edit, combination.key(), combination.keyboardModifiers());
}

}  // namespace

class TestSourceEdit : public QObject {
  Q_OBJECT
 private slots:
  // Each key once, found with or without the keypad; every command has a
  // key. What the digits and Alt+Backspace do is pressed in bookmarks() and
  // undoDepth().
  void keyTable() {
    std::set<std::pair<int, int>> keys;
    std::set<int> commands;
    for (const TKeystroke& k : SourceEdit::Keystrokes()) {
      QVERIFY2(keys.insert({k.key, k.modifiers.toInt()}).second, qPrintable(KeyName(k.key, k.modifiers)));
      commands.insert(k.command);
      QCOMPARE(SourceEdit::FindKeystroke(k.key, k.modifiers | Qt::KeypadModifier), &k);
    }
    QCOMPARE(commands.size(), std::size_t{ecLastCommand});
    QCOMPARE(SourceEdit::FindKeystroke(Qt::Key_Enter, Qt::KeypadModifier)->command, ecLineBreak);
    QVERIFY(!SourceEdit::FindKeystroke(Qt::Key_K, Qt::ControlModifier));
  }
  void everyKeyRunsItsCommand_data() { PageRows(); }
  // Each key of the table runs its command once; those that Scintilla carries
  // out reach it through its key binding (seen by recording them as a macro).
  void everyKeyRunsItsCommand() {
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
      edit.SetText("first line\r\nsecond line here\r\nthird");
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
  void bookmarks_data() { PageRows(); }
  // Ctrl+Shift+n places bookmark n on the caret's line, Ctrl+n returns to it,
  // on every page, read-only or not, and no digit is typed.
  void bookmarks() {
    QFETCH(EditorPage, page);
    SourceEdit edit(page);
    QVERIFY(ShowActive(edit, edit));
    QStringList lines;
    for (int i = 1; i <= 24; ++i) lines << QStringLiteral("line number %1").arg(i);
    edit.SetLines(lines);
    const QByteArray text = edit.Bytes();
    for (int n = 0; n < 10; ++n) {
      edit.SetCaretPosition(2 * n + 1, n + 1);
      Press(edit, QStringLiteral("Ctrl+Shift+%1").arg(n));
    }
    Press(edit, "Ctrl+End");
    for (int n : {7, 0, 9, 3, 1, 2, 4, 5, 6, 8}) {
      Press(edit, QStringLiteral("Ctrl+%1").arg(n));
      QCOMPARE(edit.CaretLine(), 2 * n + 1);
      QCOMPARE(edit.CaretColumn(), n + 1);
      QCOMPARE(edit.BookmarkLine(n), 2 * n);
    }
    // Placing a bookmark again moves it.
    edit.SetCaretPosition(24, 2);
    Press(edit, "Ctrl+Shift+7");
    Press(edit, "Ctrl+Home");
    Press(edit, "Ctrl+7");
    QCOMPARE(edit.CaretLine(), 24);
    QCOMPARE(edit.markerFindNext(0, 1u << 7), 23);
    QCOMPARE(edit.Bytes(), text);
  }
  void editingKeys_data() { TableRows("ide/keys.txt", "editingKeys"); }
  void editingKeys() {
    const auto [text, selStart, selLength, clipboard, keys, expected, clipboardAfter, line, column] = Cells<9>();
    SourceEdit edit(EditorPage::Source);
    QVERIFY(ShowActive(edit, edit));
    edit.SetBytes(text.toUtf8());
    edit.SetSelStart(selStart.toInt());
    edit.SetSelLength(selLength.toInt());
    QGuiApplication::clipboard()->setText(clipboard);
    for (const QString& key : keys.split(u' ')) Press(edit, key);
    QCOMPARE(edit.Bytes(), expected.toUtf8());
    QCOMPARE(QGuiApplication::clipboard()->text(), clipboardAfter);
    if (line == "0") return;
    QCOMPARE(edit.CaretLine(), line.toInt());
    QCOMPARE(edit.CaretColumn(), column.toInt());
  }
  void insertKeyTogglesMode_data() { PageRows(); }
  void insertKeyTogglesMode() {
    QFETCH(EditorPage, page);
    SourceEdit edit(page);
    QVERIFY(ShowActive(edit, edit));
    QSignalSpy spy(&edit, &SourceEdit::InsertModeChanged);
    edit.SetText("abc");
    QVERIFY(edit.InsertMode());
    Press(edit, "Ins");
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), false);
    QVERIFY(!edit.InsertMode());
    QVERIFY(edit.overwriteMode());
    QTest::keyClicks(&edit, "X");
    QCOMPARE(edit.Text(), page == EditorPage::Source ? "Xbc" : "abc");
    Press(edit, "Ins");
    QCOMPARE(spy.size(), 2);
    QCOMPARE(spy.at(1).at(0).toBool(), true);
    QVERIFY(edit.InsertMode());
  }
  void undoDepth_data() { TableRows("ide/keys.txt", "undoDepth"); }
  // Twelve separate edits; undo takes back at most MaxUndo of them, redo
  // brings them all back.
  void undoDepth() {
    const auto [depth, undo, redo] = Cells<3>();
    const int maxUndo = depth.toInt();
    SourceEdit edit(EditorPage::Source);
    QVERIFY(ShowActive(edit, edit));
    edit.SetMaxUndo(maxUndo);
    QCOMPARE(edit.MaxUndo(), maxUndo);
    for (int i = 0; i < 12; ++i) {
      QTest::keyClicks(&edit, QString(QChar('a' + i)));
      Press(edit, "Home");  // the next letter goes elsewhere: a new step
    }
    const QString full = "lkjihgfedcba";
    QCOMPARE(edit.Text(), full);
    for (int i = 0; i < 15; ++i) Press(edit, undo);
    QCOMPARE(edit.Text(), full.right(12 - maxUndo));
    QCOMPARE(edit.CanUndo(), false);
    for (int i = 0; i < 15; ++i) Press(edit, redo);
    QCOMPARE(edit.Text(), full);
  }
  void readOnlyPages_data() { PageRows(1); }
  void readOnlyPages() {
    QFETCH(EditorPage, page);
    SourceEdit edit(page);
    QVERIFY(ShowActive(edit, edit));
    QVERIFY(edit.ReadOnly());
    edit.SetText("alpha beta\r\ngamma");
    const QByteArray text = edit.Bytes();
    QGuiApplication::clipboard()->setText("CLIP");
    for (const char* key :
         {"Ctrl+V",         "Shift+Ins", "Ctrl+X", "Shift+Del", "Del",           "Backspace",          "Return",
          "Ctrl+M",         "Ctrl+N",    "Ctrl+T", "Ctrl+Y",    "Ctrl+Shift+Y",  "Ctrl+Shift+I",       "Ctrl+Shift+U",
          "Ctrl+Backspace", "Tab",       "Z",      "Ctrl+Z",    "Alt+Backspace", "Alt+Shift+Backspace"}) {
      edit.SetSelStart(2);
      edit.SetSelLength(3);
      Press(edit, key);
      QVERIFY2(edit.Bytes() == text, key);
    }
    QCOMPARE(QGuiApplication::clipboard()->text(), "CLIP");
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
    Press(edit, "Right");
    Press(edit, "Down");
    QCOMPARE(edit.CaretLine(), 2);
    QCOMPARE(edit.CaretColumn(), 2);
    Press(edit, "Shift+Right");
    Press(edit, "Shift+Right");
    QCOMPARE(edit.SelLength(), 2);
    Press(edit, "Ctrl+C");
    QCOMPARE(QGuiApplication::clipboard()->text(), "am");
  }
  // A Ctrl or Alt combination that the table does not name types nothing;
  // plain letters are typed.
  void unboundKeysTypeNothing() {
    SourceEdit edit(EditorPage::Source);
    QVERIFY(ShowActive(edit, edit));
    edit.SetText("abc");
    Press(edit, "End");
    for (const char* key : {"Ctrl+K", "Ctrl+Shift+K", "Alt+K", "Ctrl+L", "Ctrl+D", "Ctrl+Shift+A", "Ctrl+Alt+Q",
                            "Ctrl+Del", "F9", "Esc"}) {
      Press(edit, key);
      QVERIFY2(edit.Text() == "abc", key);
    }
    QTest::keyClicks(&edit, "k");
    QCOMPARE(edit.Text(), "abck");
  }
  void pageTopAndBottom() {
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
    Press(edit, "Ctrl+PgDown");
    QCOMPARE(edit.CaretLine(), int(first + onScreen));
    QCOMPARE(edit.CaretColumn(), 4);
    Press(edit, "Ctrl+PgUp");
    QCOMPARE(edit.CaretLine(), int(first + 1));
    QCOMPARE(edit.CaretColumn(), 4);
    QCOMPARE(edit.SelLength(), 0);
    Press(edit, "Ctrl+Shift+PgDown");
    QCOMPARE(edit.CaretLine(), int(first + onScreen));
    QVERIFY(edit.SelLength() > 0);
    QCOMPARE(edit.SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE), first);
  }
  // How the source window sets its menu: window-wide shortcuts for Ctrl+Z,
  // Ctrl+C and F9. In an editor the table's keys stay the editor's (no
  // ambiguity), and keys the table does not name reach the window.
  void windowShortcutsDoNotStealEditorKeys() {
    QTest::failOnWarning(QRegularExpression("Ambiguous"));
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

    QTest::keyClicks(source, "ab");
    Press(*source, "Ctrl+Z");
    QCOMPARE(source->Text(), QString());
    Press(*source, "F9");
    QCOMPARE(undos, 0);
    QCOMPARE(compiles, 1);

    assembly->SetText("PUSH 1");
    assembly->setFocus();
    QVERIFY(assembly->hasFocus());
    Press(*assembly, "Ctrl+A");
    Press(*assembly, "Ctrl+C");
    Press(*assembly, "Ctrl+Shift+5");
    QCOMPARE(copies, 0);
    QCOMPARE(QGuiApplication::clipboard()->text(), "PUSH 1");
    QCOMPARE(assembly->BookmarkLine(5), 0);
  }
  void textBytesCaretAndSelection() {
    SourceEdit edit(EditorPage::Assembly);
    // Bytes that are not UTF-8, and a NUL, survive in a read-only editor.
    const QByteArray raw("\xE4\xF6 x\0y\r\nz", 9);
    edit.SetBytes(raw);
    QCOMPARE(edit.Bytes(), raw);
    QVERIFY(edit.ReadOnly());
    QVERIFY(!edit.isUndoAvailable());

    edit.SetLines({"ab", "cd", QString()});
    QCOMPARE(edit.Bytes(), QByteArray("ab\r\ncd\r\n"));
    QCOMPARE(edit.Lines(), (QStringList{"ab", "cd", QString()}));
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
    edit.SetText("\u00e4\u00f6\u00fc\r\nx");
    edit.SetCaretPosition(1, 3);
    QCOMPARE(edit.CaretColumn(), 3);
    edit.SetSelStart(1);
    edit.SetSelLength(4);
    QCOMPARE(edit.SelLength(), 4);
    QCOMPARE(edit.selectedText(), "\u00f6\u00fc\r\n");
    // New text ends the selection for good, as the selection's signals say.
    QSignalSpy changes(&edit, &QsciScintilla::copyAvailable);
    edit.SetBytes("new\r\n");
    QVERIFY(!edit.hasSelectedText());
    QCOMPARE(changes.value(0).value(0), QVariant(false));
  }
  void startOptions_data() { PageRows(); }
  void startOptions() {
    QFETCH(EditorPage, page);
    SourceEdit edit(page);
    const bool source = page == EditorPage::Source;
    const QPalette palette = QGuiApplication::palette();
    const QColor navy(0, 0, 128);
    QCOMPARE(edit.Color(), navy);
    // Scintilla keeps colours as 0xBBGGRR.
    QCOMPARE(edit.SendScintilla(QsciScintillaBase::SCI_STYLEGETBACK, QsciScintillaBase::STYLE_DEFAULT), 0x800000L);
    QCOMPARE(edit.Font().family(), "Courier New");
    QCOMPARE(edit.Font().pointSize(), 10);
    QVERIFY(!edit.Font().bold() && !edit.Font().italic());
    QCOMPARE(edit.FontColor(), palette.color(QPalette::WindowText));
    QCOMPARE(edit.GutterWidth(), 30);
    QCOMPARE(edit.marginWidth(0) + edit.marginWidth(1), 30);
    QCOMPARE(edit.GutterColor(), palette.color(QPalette::Button));
    QCOMPARE(edit.MaxUndo(), 10);
    QCOMPARE(edit.ReadOnly(), !source);
    QCOMPARE(edit.WantTabs(), source);
    QCOMPARE(edit.AutoIndent(), !source);
    QCOMPARE(edit.TabWidth(), source ? 4 : 0);
    QCOMPARE(edit.tabWidth(), source ? 4 : 1);
    QCOMPARE(edit.SelectedColor().background, source ? QColor(192, 192, 192) : palette.color(QPalette::Highlight));
    QCOMPARE(edit.SelectedColor().foreground, source ? navy : palette.color(QPalette::HighlightedText));
    QCOMPARE(edit.Lines(), QStringList{QString()});
    QVERIFY(edit.InsertMode());
  }
  void notificationsAndPrinting() {
    SourceEdit edit(EditorPage::Source);
    QVERIFY(ShowActive(edit, edit));
    QSignalSpy painted(&edit, &SourceEdit::Painted);
    QSignalSpy changed(&edit, &QsciScintilla::textChanged);
    QTest::keyClicks(&edit, "x");
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
  void fontWithHighlighter() {
    SourceEdit edit(EditorPage::Source);
    TwoStyles highlighter;
    edit.SetHighLighter(&highlighter);
    QCOMPARE(edit.HighLighter(), &highlighter);
    edit.SetFont(QFont("Monospace", 14));
    const auto style = [&edit](unsigned message, unsigned long number) { return edit.SendScintilla(message, number); };
    QCOMPARE(style(QsciScintillaBase::SCI_STYLEGETSIZE, 0), 14L);
    QCOMPARE(style(QsciScintillaBase::SCI_STYLEGETSIZE, 1), 14L);
    // QScintilla hands Scintilla Qt's weights, negated.
    QCOMPARE(std::abs(style(QsciScintillaBase::SCI_STYLEGETWEIGHT, 0)), long(QFont::Normal));
    QCOMPARE(std::abs(style(QsciScintillaBase::SCI_STYLEGETWEIGHT, 1)), long(QFont::Bold));
    QCOMPARE(highlighter.font(1).family(), "Monospace");
    QCOMPARE(style(QsciScintillaBase::SCI_STYLEGETBACK, QsciScintillaBase::STYLE_DEFAULT), 0x800000L);
    edit.SetColor(QColor(0, 128, 0));
    QCOMPARE(style(QsciScintillaBase::SCI_STYLEGETBACK, QsciScintillaBase::STYLE_DEFAULT), 0x008000L);
    // A highlighter that names no word characters keeps the editor's.
    edit.SetText("a.b(c) d");
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

 private:
  // Every page from `first` on: Source, Preprocessed, Assembly.
  static void PageRows(int first = 0) {
    QTest::addColumn<EditorPage>("page");
    for (int i = first; i < 3; ++i) QTest::newRow(kPageNames[i]) << kPages[i];
  }
};

QTEST_MAIN(TestSourceEdit)
#include "tst_source_edit.moc"
