// SourceEdit: the text editor of a source window's three pages, a
// QScintilla editor with the program's own key map, a bounded undo, ten
// bookmarks and the appearance properties the window sets.
//
// Keys: every binding lives in one table (Keystrokes()). Commands that
// Scintilla has are bound to its command set, so Scintilla runs them; the
// others are carried out here. While the editor has the focus a key of the
// table is never taken by a window shortcut, and a Ctrl or Alt combination
// that the table does not name types nothing: it is left to the window.
#pragma once

#include <Qsci/qsciscintilla.h>

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QStringList>
#include <array>
#include <span>

class QPrinter;

namespace marlo::editor {

// The editor commands that keys are bound to.
enum TEditorCommand : int {
  ecNone = 0,
  ecUp,
  ecSelUp,
  ecScrollUp,
  ecDown,
  ecSelDown,
  ecScrollDown,
  ecLeft,
  ecSelLeft,
  ecWordLeft,
  ecSelWordLeft,
  ecRight,
  ecSelRight,
  ecWordRight,
  ecSelWordRight,
  ecPageDown,
  ecSelPageDown,
  ecPageBottom,
  ecSelPageBottom,
  ecPageUp,
  ecSelPageUp,
  ecPageTop,
  ecSelPageTop,
  ecLineStart,
  ecSelLineStart,
  ecEditorTop,
  ecSelEditorTop,
  ecLineEnd,
  ecSelLineEnd,
  ecEditorBottom,
  ecSelEditorBottom,
  ecToggleMode,
  ecPaste,
  ecCopy,
  ecCut,
  ecDeleteChar,
  ecDeleteLastChar,
  ecDeleteLastWord,
  ecLineBreak,
  ecSelectAll,
  ecBlockIndent,
  ecBlockUnindent,
  ecInsertLine,
  ecDeleteWord,
  ecDeleteLine,
  ecDeleteEOL,
  ecUndo,
  ecRedo,
  ecGotoMarker0,
  ecGotoMarker9 = ecGotoMarker0 + 9,
  ecSetMarker0,
  ecSetMarker9 = ecSetMarker0 + 9,
  ecLastCommand = ecSetMarker9,
};

// One key binding: a key with exactly these modifiers runs the command.
struct TKeystroke {
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
  TEditorCommand command;
};

// The Scintilla command that carries out `command`, or 0 for the commands
// this editor carries out itself.
int ScintillaCommandFor(TEditorCommand command);

// The three pages of a source window.
enum class EditorPage { Source, Preprocessed, Assembly };

struct TSelectedColor {
  QColor background;
  QColor foreground;
};

// The options an editor starts with.
struct SourceEditOptions {
  QColor color;  // background
  QFont font;
  QColor fontColor;
  QColor gutterColor;
  int gutterWidth = 30;
  int maxUndo = 10;
  bool readOnly = false;
  bool wantTabs = false;
  bool autoIndent = false;
  int tabWidth = 4;
  TSelectedColor selectedColor;
  QStringList lines;  // initial text
};

// The options of a page's editor as it is created; the system colours come
// from the application's palette.
SourceEditOptions StartOptions(EditorPage page);

class SourceEdit : public QsciScintilla {
  Q_OBJECT
 public:
  explicit SourceEdit(QWidget* parent = nullptr);
  // An editor with the start options of `page`.
  explicit SourceEdit(EditorPage page, QWidget* parent = nullptr);
  ~SourceEdit() override;

  // The key map shared by every editor.
  static std::span<const TKeystroke> Keystrokes();
  // The binding of `key` with `modifiers`, or null.
  static const TKeystroke* FindKeystroke(int key, Qt::KeyboardModifiers modifiers);

  // All the options, the text included.
  void ApplyOptions(const SourceEditOptions& options);

  // Appearance. With a highlighter attached, its styles keep their colours
  // and font styles; the editor gives them its font's family and size.
  QColor Color() const { return color_; }
  void SetColor(const QColor& color);
  QFont Font() const { return font_; }
  void SetFont(const QFont& font);
  QColor FontColor() const { return fontColor_; }
  void SetFontColor(const QColor& color);
  QColor GutterColor() const { return gutterColor_; }
  void SetGutterColor(const QColor& color);
  int GutterWidth() const { return gutterWidth_; }
  void SetGutterWidth(int width);
  TSelectedColor SelectedColor() const { return selectedColor_; }
  void SetSelectedColor(const TSelectedColor& color);
  QsciLexer* HighLighter() const { return lexer(); }
  void SetHighLighter(QsciLexer* highlighter);

  // Behaviour.
  int MaxUndo() const { return maxUndo_; }
  void SetMaxUndo(int steps);
  bool ReadOnly() const { return isReadOnly(); }
  void SetReadOnly(bool readOnly) { setReadOnly(readOnly); }
  bool WantTabs() const { return wantTabs_; }
  void SetWantTabs(bool wantTabs) { wantTabs_ = wantTabs; }
  bool AutoIndent() const { return autoIndent(); }
  void SetAutoIndent(bool on) { setAutoIndent(on); }
  // 0 is kept as the value but drawn as 1: a tab always advances.
  int TabWidth() const { return tabWidth_; }
  void SetTabWidth(int width);
  bool InsertMode() const { return !overwriteMode(); }
  void SetInsertMode(bool insert);

  // Text. Lines() are the document's lines: an empty text has one empty
  // line, and a text that ends in a line break has an empty last line.
  // SetText, SetLines and SetBytes start a new history (no undo, no
  // bookmarks) and also fill a read-only editor.
  QString Text() const { return text(); }
  void SetText(const QString& text);
  QStringList Lines() const;
  void SetLines(const QStringList& lines);
  // The document's bytes as they are, whatever the encoding mode (utf8):
  // text that is not valid UTF-8 survives a round trip unchanged.
  QByteArray Bytes() const;
  void SetBytes(const QByteArray& bytes);

  // Caret, counted from 1; the column counts characters. Setting clamps
  // the line to the existing lines and the column to the line's end.
  int CaretLine() const;
  int CaretColumn() const;
  void SetCaretPosition(int line, int column);

  // Selection in characters from 0 over the whole text (a CR LF counts 2).
  // SelStart is where the selection begins, whichever end the caret is at.
  int SelStart() const;
  int SelLength() const;
  void SetSelStart(int start);    // collapses the selection there
  void SetSelLength(int length);  // from SelStart; the caret goes to the end
  void SelectAll() { selectAll(true); }

  void CutToClipboard() { cut(); }
  void CopyToClipboard() { copy(); }
  void PasteFromClipboard() { paste(); }
  void ClearSelection() { removeSelectedText(); }

  // Undo and redo step through at most MaxUndo steps.
  bool CanUndo() const;
  bool CanRedo() const;
  void ClearUndo();
  void undo() override;
  void redo() override;

  // Bookmarks 0-9: the line (from 0) of bookmark n, or -1.
  int BookmarkLine(int n) const;
  void SetBookmark(int n);
  void GotoBookmark(int n);

  // Runs a command as its key would.
  void ExecuteCommand(TEditorCommand command);

  // Prints the text as black on white to `printer` (as set up by a print
  // dialog). False when nothing could be printed.
  bool Print(QPrinter& printer);

 signals:
  void InsertModeChanged(bool insertMode);
  // After each repaint; the text's changes come as textChanged().
  void Painted();
  // After a key of the table or ExecuteCommand ran `command`.
  void CommandProcessed(marlo::editor::TEditorCommand command);

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  void InstallKeyMap();
  void RunOwnCommand(TEditorCommand command);
  void OnModified(int position, int type, const char* text, int length, int linesAdded, int line, int foldNow,
                  int foldPrev, int token, int annotationLines);
  void ApplyColors();
  void UpdateGutter();
  void ResetHistory();
  void MoveToPageEdge(bool bottom, bool extend);
  void InsertLineBreakAfterCaret();
  void DeleteWordAtCaret();
  void ShiftBlock(bool right);
  long PositionOfChar(long from, long count) const;

  QColor color_;
  QFont font_;
  QColor fontColor_;
  QColor gutterColor_;
  int gutterWidth_ = 30;
  TSelectedColor selectedColor_;
  int maxUndo_ = 10;
  bool wantTabs_ = false;
  int tabWidth_ = 4;
  int undoSteps_ = 0;  // how many of Scintilla's undo steps may still be taken
  int redoSteps_ = 0;
  std::array<int, 10> bookmarkColumns_{};
};

}  // namespace marlo::editor
