#include "editor/source_edit.h"

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>
#include <Qsci/qscilexer.h>
#include <Qsci/qsciprinter.h>

#include <QAction>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QRegularExpression>
#include <algorithm>

namespace marlo::editor {
namespace {

constexpr Qt::KeyboardModifiers kAlone = Qt::NoModifier;
constexpr Qt::KeyboardModifiers kShift = Qt::ShiftModifier;
constexpr Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;
constexpr Qt::KeyboardModifiers kCtrlShift = Qt::ControlModifier | Qt::ShiftModifier;
constexpr Qt::KeyboardModifiers kAlt = Qt::AltModifier;
constexpr Qt::KeyboardModifiers kAltShift = Qt::AltModifier | Qt::ShiftModifier;
constexpr Qt::KeyboardModifiers kKeyModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

constexpr TEditorCommand Marker(TEditorCommand first, int n) { return static_cast<TEditorCommand>(first + n); }

// clang-format off
constexpr TKeystroke kKeystrokes[] = {
  // Key                 modifiers   command
  {Qt::Key_Up,           kAlone,     ecUp},
  {Qt::Key_Up,           kShift,     ecSelUp},
  {Qt::Key_Up,           kCtrl,      ecScrollUp},
  {Qt::Key_Down,         kAlone,     ecDown},
  {Qt::Key_Down,         kShift,     ecSelDown},
  {Qt::Key_Down,         kCtrl,      ecScrollDown},
  {Qt::Key_Left,         kAlone,     ecLeft},
  {Qt::Key_Left,         kShift,     ecSelLeft},
  {Qt::Key_Left,         kCtrl,      ecWordLeft},
  {Qt::Key_Left,         kCtrlShift, ecSelWordLeft},
  {Qt::Key_Right,        kAlone,     ecRight},
  {Qt::Key_Right,        kShift,     ecSelRight},
  {Qt::Key_Right,        kCtrl,      ecWordRight},
  {Qt::Key_Right,        kCtrlShift, ecSelWordRight},
  {Qt::Key_PageDown,     kAlone,     ecPageDown},
  {Qt::Key_PageDown,     kShift,     ecSelPageDown},
  {Qt::Key_PageDown,     kCtrl,      ecPageBottom},
  {Qt::Key_PageDown,     kCtrlShift, ecSelPageBottom},
  {Qt::Key_PageUp,       kAlone,     ecPageUp},
  {Qt::Key_PageUp,       kShift,     ecSelPageUp},
  {Qt::Key_PageUp,       kCtrl,      ecPageTop},
  {Qt::Key_PageUp,       kCtrlShift, ecSelPageTop},
  {Qt::Key_Home,         kAlone,     ecLineStart},
  {Qt::Key_Home,         kShift,     ecSelLineStart},
  {Qt::Key_Home,         kCtrl,      ecEditorTop},
  {Qt::Key_Home,         kCtrlShift, ecSelEditorTop},
  {Qt::Key_End,          kAlone,     ecLineEnd},
  {Qt::Key_End,          kShift,     ecSelLineEnd},
  {Qt::Key_End,          kCtrl,      ecEditorBottom},
  {Qt::Key_End,          kCtrlShift, ecSelEditorBottom},
  {Qt::Key_Insert,       kAlone,     ecToggleMode},
  {Qt::Key_Insert,       kShift,     ecPaste},
  {Qt::Key_Insert,       kCtrl,      ecCopy},
  {Qt::Key_Delete,       kAlone,     ecDeleteChar},
  {Qt::Key_Delete,       kShift,     ecCut},
  {Qt::Key_Backspace,    kAlone,     ecDeleteLastChar},
  {Qt::Key_Backspace,    kCtrl,      ecDeleteLastWord},
  {Qt::Key_Return,       kAlone,     ecLineBreak},
  {Qt::Key_A,            kCtrl,      ecSelectAll},
  {Qt::Key_C,            kCtrl,      ecCopy},
  {Qt::Key_I,            kCtrlShift, ecBlockIndent},
  {Qt::Key_M,            kCtrl,      ecLineBreak},
  {Qt::Key_N,            kCtrl,      ecInsertLine},
  {Qt::Key_T,            kCtrl,      ecDeleteWord},
  {Qt::Key_U,            kCtrlShift, ecBlockUnindent},
  {Qt::Key_V,            kCtrl,      ecPaste},
  {Qt::Key_X,            kCtrl,      ecCut},
  {Qt::Key_Y,            kCtrl,      ecDeleteLine},
  {Qt::Key_Y,            kCtrlShift, ecDeleteEOL},
  {Qt::Key_Z,            kCtrl,      ecUndo},
  {Qt::Key_Z,            kCtrlShift, ecRedo},
  {Qt::Key_0, kCtrl, Marker(ecGotoMarker0, 0)}, {Qt::Key_0, kCtrlShift, Marker(ecSetMarker0, 0)},
  {Qt::Key_1, kCtrl, Marker(ecGotoMarker0, 1)}, {Qt::Key_1, kCtrlShift, Marker(ecSetMarker0, 1)},
  {Qt::Key_2, kCtrl, Marker(ecGotoMarker0, 2)}, {Qt::Key_2, kCtrlShift, Marker(ecSetMarker0, 2)},
  {Qt::Key_3, kCtrl, Marker(ecGotoMarker0, 3)}, {Qt::Key_3, kCtrlShift, Marker(ecSetMarker0, 3)},
  {Qt::Key_4, kCtrl, Marker(ecGotoMarker0, 4)}, {Qt::Key_4, kCtrlShift, Marker(ecSetMarker0, 4)},
  {Qt::Key_5, kCtrl, Marker(ecGotoMarker0, 5)}, {Qt::Key_5, kCtrlShift, Marker(ecSetMarker0, 5)},
  {Qt::Key_6, kCtrl, Marker(ecGotoMarker0, 6)}, {Qt::Key_6, kCtrlShift, Marker(ecSetMarker0, 6)},
  {Qt::Key_7, kCtrl, Marker(ecGotoMarker0, 7)}, {Qt::Key_7, kCtrlShift, Marker(ecSetMarker0, 7)},
  {Qt::Key_8, kCtrl, Marker(ecGotoMarker0, 8)}, {Qt::Key_8, kCtrlShift, Marker(ecSetMarker0, 8)},
  {Qt::Key_9, kCtrl, Marker(ecGotoMarker0, 9)}, {Qt::Key_9, kCtrlShift, Marker(ecSetMarker0, 9)},
  {Qt::Key_Backspace,    kAlt,       ecUndo},
  {Qt::Key_Backspace,    kAltShift,  ecRedo},
};
// clang-format on

// The bookmark digits are drawn in a margin of their own, exactly one digit
// wide: Scintilla clips a character marker in a wider margin.
constexpr int kBookmarkMargin = 0;
constexpr int kGutterFillMargin = 1;
constexpr int kMarginCount = 5;
constexpr unsigned kBookmarkMask = 0x3FF;

QColor Inverse(const QColor& c) { return QColor(255 - c.red(), 255 - c.green(), 255 - c.blue()); }

}  // namespace

int ScintillaCommandFor(TEditorCommand command) {
  using C = QsciCommand;
  switch (command) {
    case ecUp:
      return C::LineUp;
    case ecSelUp:
      return C::LineUpExtend;
    case ecScrollUp:
      return C::LineScrollUp;
    case ecDown:
      return C::LineDown;
    case ecSelDown:
      return C::LineDownExtend;
    case ecScrollDown:
      return C::LineScrollDown;
    case ecLeft:
      return C::CharLeft;
    case ecSelLeft:
      return C::CharLeftExtend;
    case ecWordLeft:
      return C::WordLeft;
    case ecSelWordLeft:
      return C::WordLeftExtend;
    case ecRight:
      return C::CharRight;
    case ecSelRight:
      return C::CharRightExtend;
    case ecWordRight:
      return C::WordRight;
    case ecSelWordRight:
      return C::WordRightExtend;
    case ecPageDown:
      return C::PageDown;
    case ecSelPageDown:
      return C::PageDownExtend;
    case ecPageUp:
      return C::PageUp;
    case ecSelPageUp:
      return C::PageUpExtend;
    case ecLineStart:
      return C::Home;
    case ecSelLineStart:
      return C::HomeExtend;
    case ecEditorTop:
      return C::DocumentStart;
    case ecSelEditorTop:
      return C::DocumentStartExtend;
    case ecLineEnd:
      return C::LineEnd;
    case ecSelLineEnd:
      return C::LineEndExtend;
    case ecEditorBottom:
      return C::DocumentEnd;
    case ecSelEditorBottom:
      return C::DocumentEndExtend;
    case ecPaste:
      return C::Paste;
    case ecCopy:
      return C::SelectionCopy;
    case ecCut:
      return C::SelectionCut;
    case ecDeleteChar:
      return C::Delete;
    case ecDeleteLastChar:
      return C::DeleteBack;
    case ecDeleteLastWord:
      return C::DeleteWordLeft;
    case ecLineBreak:
      return C::Newline;
    case ecSelectAll:
      return C::SelectAll;
    case ecDeleteLine:
      return C::LineDelete;
    case ecDeleteEOL:
      return C::DeleteLineRight;
    default:
      return 0;  // page top and bottom, mode, blocks, lines, words, undo, bookmarks
  }
}

SourceEditOptions StartOptions(EditorPage page) {
  const QPalette palette = QGuiApplication::palette();
  const QColor navy(0, 0, 128);
  const bool source = page == EditorPage::Source;
  SourceEditOptions options;
  options.color = navy;
  options.font = QFont(QStringLiteral("Courier New"), 10);
  options.font.setStyleHint(QFont::TypeWriter);  // a monospaced stand-in where the face is missing
  options.fontColor = palette.color(QPalette::WindowText);
  options.gutterColor = palette.color(QPalette::Button);
  options.gutterWidth = 30;
  options.maxUndo = 10;
  options.readOnly = !source;
  options.wantTabs = source;
  options.autoIndent = !source;  // the Source page follows the stored setting later
  options.tabWidth = source ? 4 : 0;
  options.selectedColor =
      source ? TSelectedColor{QColor(192, 192, 192), navy}
             : TSelectedColor{palette.color(QPalette::Highlight), palette.color(QPalette::HighlightedText)};
  // "One empty line" and "empty" look the same here: an empty document
  // already shows one line.
  if (page == EditorPage::Preprocessed) options.lines = QStringList{QString()};
  return options;
}

SourceEdit::SourceEdit(QWidget* parent) : SourceEdit(EditorPage::Source, parent) {}

SourceEdit::SourceEdit(EditorPage page, QWidget* parent) : QsciScintilla(parent) {
  setEolMode(EolWindows);
  setUtf8(true);
  setIndentationsUseTabs(false);

  // Everything but control characters and the blank belongs to a word.
  QByteArray wordChars;
  for (int c = 33; c <= 255; ++c) wordChars.append(static_cast<char>(c));
  SendScintilla(SCI_SETWORDCHARS, uintptr_t{0}, wordChars.constData());

  SendScintilla(SCI_SETSCROLLWIDTH, 1L);
  SendScintilla(SCI_SETSCROLLWIDTHTRACKING, 1L);

  for (int n = 0; n < 10; ++n) markerDefine(static_cast<char>('0' + n), n);
  setMargins(kMarginCount);
  for (int margin = 0; margin < kMarginCount; ++margin) {
    setMarginType(margin, SymbolMarginColor);
    setMarginMarkerMask(margin, margin == kBookmarkMargin ? int(kBookmarkMask) : 0);
    setMarginWidth(margin, 0);
  }

  connect(this, &QsciScintillaBase::SCN_MODIFIED, this, &SourceEdit::OnModified);
  InstallKeyMap();
  ApplyOptions(StartOptions(page));
}

SourceEdit::~SourceEdit() = default;

std::span<const TKeystroke> SourceEdit::Keystrokes() { return kKeystrokes; }

const TKeystroke* SourceEdit::FindKeystroke(int key, Qt::KeyboardModifiers modifiers) {
  if (key == Qt::Key_Enter) key = Qt::Key_Return;  // the keypad's Enter is Enter too
  modifiers &= kKeyModifiers;
  for (const TKeystroke& k : kKeystrokes)
    if (k.key == key && k.modifiers == modifiers) return &k;
  return nullptr;
}

// Scintilla's own bindings are all dropped, then the table's commands that
// Scintilla has are bound to their keys; the rest is done in keyPressEvent.
// Clearing Scintilla's whole key map instead would let Ctrl+letters type.
void SourceEdit::InstallKeyMap() {
  QsciCommandSet* commands = standardCommands();
  commands->clearKeys();
  commands->clearAlternateKeys();
  for (const TKeystroke& k : kKeystrokes) {
    const int scintilla = ScintillaCommandFor(k.command);
    if (scintilla == 0) continue;
    QsciCommand* command = commands->find(static_cast<QsciCommand::Command>(scintilla));
    const int combined = QKeyCombination(k.modifiers, k.key).toCombined();
    if (command->key() == 0)
      command->setKey(combined);
    else
      command->setAlternateKey(combined);  // no command has more than two keys
  }

  // Under X11 Ctrl+Shift+7 arrives as Ctrl+Shift+& (the shifted symbol),
  // which the table does not name; Qt's shortcut matching knows the digit,
  // so the bookmark keys also get shortcuts of their own. They fire only
  // when keyPressEvent did not already take the key.
  for (const TKeystroke& k : kKeystrokes) {
    if (k.key < Qt::Key_0 || k.key > Qt::Key_9) continue;
    auto* action = new QAction(this);
    action->setShortcut(QKeySequence(QKeyCombination(k.modifiers, k.key)));
    action->setShortcutContext(Qt::WidgetShortcut);
    const TEditorCommand command = k.command;
    connect(action, &QAction::triggered, this, [this, command] { ExecuteCommand(command); });
    addAction(action);
  }
}

void SourceEdit::ApplyOptions(const SourceEditOptions& options) {
  color_ = options.color;
  fontColor_ = options.fontColor;
  gutterColor_ = options.gutterColor;
  gutterWidth_ = std::max(0, options.gutterWidth);
  selectedColor_ = options.selectedColor;
  SetFont(options.font);  // applies the colours too
  SetMaxUndo(options.maxUndo);
  SetReadOnly(options.readOnly);
  SetWantTabs(options.wantTabs);
  SetAutoIndent(options.autoIndent);
  SetTabWidth(options.tabWidth);
  SetLines(options.lines);
}

void SourceEdit::SetColor(const QColor& color) {
  color_ = color;
  ApplyColors();
}

void SourceEdit::SetFontColor(const QColor& color) {
  fontColor_ = color;
  ApplyColors();
}

void SourceEdit::SetFont(const QFont& font) {
  font_ = font;
  if (QsciLexer* highlighter = lexer()) {
    highlighter->setDefaultFont(font);
    for (int style = 0; style <= QsciScintillaBase::STYLE_MAX; ++style) {
      if (highlighter->description(style).isEmpty()) continue;
      const QFont own = highlighter->font(style);
      QFont styled = font;
      styled.setBold(own.bold());
      styled.setItalic(own.italic());
      styled.setUnderline(own.underline());
      styled.setStrikeOut(own.strikeOut());
      highlighter->setFont(styled, style);
    }
  } else {
    setFont(font);
  }
  ApplyColors();
  UpdateGutter();
}

void SourceEdit::SetHighLighter(QsciLexer* highlighter) {
  setLexer(highlighter);
  SetFont(font_);
}

void SourceEdit::SetGutterColor(const QColor& color) {
  gutterColor_ = color;
  ApplyColors();
}

void SourceEdit::SetGutterWidth(int width) {
  gutterWidth_ = std::max(0, width);
  UpdateGutter();
}

void SourceEdit::SetSelectedColor(const TSelectedColor& color) {
  selectedColor_ = color;
  ApplyColors();
}

void SourceEdit::ApplyColors() {
  if (QsciLexer* highlighter = lexer()) {
    highlighter->setDefaultPaper(color_);
    highlighter->setDefaultColor(fontColor_);
  } else {
    setColor(fontColor_);
    setPaper(color_);
  }
  // The area past the text's end.
  SendScintilla(SCI_STYLESETBACK, static_cast<unsigned long>(STYLE_DEFAULT), color_);
  // Like an inverting caret: visible on any background.
  setCaretForegroundColor(Inverse(color_));
  setSelectionBackgroundColor(selectedColor_.background);
  setSelectionForegroundColor(selectedColor_.foreground);
  for (int margin = 0; margin < kMarginCount; ++margin) setMarginBackgroundColor(margin, gutterColor_);
  const QColor digit = gutterColor_.lightness() < 128 ? QColor(Qt::white) : QColor(Qt::black);
  for (int n = 0; n < 10; ++n) {
    setMarkerBackgroundColor(gutterColor_, n);
    setMarkerForegroundColor(digit, n);
  }
}

void SourceEdit::UpdateGutter() {
  const long digit = SendScintilla(SCI_TEXTWIDTH, uintptr_t{STYLE_LINENUMBER}, "0");
  const int bookmarks = std::min(gutterWidth_, static_cast<int>(digit));
  setMarginWidth(kBookmarkMargin, bookmarks);
  setMarginWidth(kGutterFillMargin, gutterWidth_ - bookmarks);
}

void SourceEdit::SetMaxUndo(int steps) {
  maxUndo_ = std::max(0, steps);
  undoSteps_ = std::min(undoSteps_, maxUndo_);
  redoSteps_ = std::min(redoSteps_, maxUndo_);
}

// Scintilla refuses a tab width below 1.
void SourceEdit::SetTabWidth(int width) {
  tabWidth_ = width;
  setTabWidth(std::max(1, width));
}

void SourceEdit::SetInsertMode(bool insert) {
  if (insert == InsertMode()) return;
  setOverwriteMode(!insert);
  emit InsertModeChanged(insert);
}

void SourceEdit::SetText(const QString& text) { SetBytes(isUtf8() ? text.toUtf8() : text.toLatin1()); }

QStringList SourceEdit::Lines() const {
  static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
  return text().split(lineEnd);
}

void SourceEdit::SetLines(const QStringList& lines) {
  const QString eol = eolMode() == EolWindows ? QStringLiteral("\r\n")
                      : eolMode() == EolMac   ? QStringLiteral("\r")
                                              : QStringLiteral("\n");
  SetText(lines.join(eol));
}

QByteArray SourceEdit::Bytes() const {
  const long length = SendScintilla(SCI_GETLENGTH);
  QByteArray bytes(length + 1, '\0');
  SendScintilla(SCI_GETTEXT, static_cast<unsigned long>(length + 1), static_cast<void*>(bytes.data()));
  bytes.chop(1);  // the terminating NUL
  return bytes;
}

// Scintilla's own messages, not QScintilla's setText: this keeps NUL and
// invalid UTF-8 bytes as they are, and the read-only state is only lifted
// for the load itself.
void SourceEdit::SetBytes(const QByteArray& bytes) {
  const bool readOnly = isReadOnly();
  SendScintilla(SCI_SETREADONLY, 0L);
  SendScintilla(SCI_CLEARALL);
  SendScintilla(SCI_APPENDTEXT, static_cast<uintptr_t>(bytes.size()), bytes.constData());
  // Clearing drops the selection without telling QScintilla, which would
  // go on reporting (and offering) the old one.
  SendScintilla(SCI_SETEMPTYSELECTION, 0UL);
  SendScintilla(SCI_SETREADONLY, static_cast<long>(readOnly));
  for (int n = 0; n < 10; ++n) markerDeleteAll(n);
  ResetHistory();
}

int SourceEdit::CaretLine() const {
  const long caret = SendScintilla(SCI_GETCURRENTPOS);
  return static_cast<int>(SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(caret))) + 1;
}

int SourceEdit::CaretColumn() const {
  const long caret = SendScintilla(SCI_GETCURRENTPOS);
  const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(caret));
  const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
  return static_cast<int>(SendScintilla(SCI_COUNTCHARACTERS, static_cast<unsigned long>(start), caret)) + 1;
}

// The position `count` characters after (or before) `from`, kept within
// the text.
long SourceEdit::PositionOfChar(long from, long count) const {
  if (count == 0) return from;
  const long position = SendScintilla(SCI_POSITIONRELATIVE, static_cast<unsigned long>(from), count);
  if (position == 0 && count > 0) return SendScintilla(SCI_GETLENGTH);  // past the end
  return position;
}

void SourceEdit::SetCaretPosition(int line, int column) {
  const long last = SendScintilla(SCI_GETLINECOUNT) - 1;
  const long index = std::clamp<long>(line - 1, 0, last);
  const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(index));
  const long end = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(index));
  const long position = std::min(end, PositionOfChar(start, std::max(0, column - 1)));
  SendScintilla(SCI_GOTOPOS, static_cast<unsigned long>(position));
  SendScintilla(SCI_CHOOSECARETX);
}

int SourceEdit::SelStart() const {
  const long start = SendScintilla(SCI_GETSELECTIONSTART);
  return static_cast<int>(SendScintilla(SCI_COUNTCHARACTERS, 0UL, start));
}

int SourceEdit::SelLength() const {
  const long start = SendScintilla(SCI_GETSELECTIONSTART);
  const long end = SendScintilla(SCI_GETSELECTIONEND);
  return static_cast<int>(SendScintilla(SCI_COUNTCHARACTERS, static_cast<unsigned long>(start), end));
}

void SourceEdit::SetSelStart(int start) {
  const long position = PositionOfChar(0, std::max(0, start));
  SendScintilla(SCI_SETSEL, static_cast<unsigned long>(position), position);
}

void SourceEdit::SetSelLength(int length) {
  const long anchor = SendScintilla(SCI_GETSELECTIONSTART);
  SendScintilla(SCI_SETSEL, static_cast<unsigned long>(anchor), PositionOfChar(anchor, length));
}

// Scintilla cannot trim its undo history, so the editor counts the steps
// it may still undo and refuses the ones beyond MaxUndo.
void SourceEdit::OnModified(int, int type, const char*, int, int, int, int, int, int, int) {
  const bool edit = (type & (SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT)) != 0;
  if (edit && (type & SC_PERFORMED_USER) && (type & SC_STARTACTION)) {
    undoSteps_ = std::min(undoSteps_ + 1, maxUndo_);
    redoSteps_ = 0;
  }
}

bool SourceEdit::CanUndo() const { return !isReadOnly() && undoSteps_ > 0 && isUndoAvailable(); }

bool SourceEdit::CanRedo() const { return !isReadOnly() && redoSteps_ > 0 && isRedoAvailable(); }

void SourceEdit::ClearUndo() { ResetHistory(); }

void SourceEdit::ResetHistory() {
  SendScintilla(SCI_EMPTYUNDOBUFFER);
  undoSteps_ = 0;
  redoSteps_ = 0;
}

void SourceEdit::undo() {
  if (!CanUndo()) return;
  QsciScintilla::undo();
  --undoSteps_;
  ++redoSteps_;
}

void SourceEdit::redo() {
  if (!CanRedo()) return;
  QsciScintilla::redo();
  --redoSteps_;
  ++undoSteps_;
}

int SourceEdit::BookmarkLine(int n) const {
  if (n < 0 || n > 9) return -1;
  return markerFindNext(0, 1u << n);
}

void SourceEdit::SetBookmark(int n) {
  if (n < 0 || n > 9) return;
  markerDeleteAll(n);
  markerAdd(CaretLine() - 1, n);
  bookmarkColumns_[n] = CaretColumn() - 1;
}

void SourceEdit::GotoBookmark(int n) {
  const int line = BookmarkLine(n);
  if (line < 0) return;
  SetCaretPosition(line + 1, bookmarkColumns_[n] + 1);
}

void SourceEdit::ExecuteCommand(TEditorCommand command) {
  if (const int scintilla = ScintillaCommandFor(command))
    SendScintilla(static_cast<unsigned>(scintilla));
  else
    RunOwnCommand(command);
  emit CommandProcessed(command);
}

void SourceEdit::RunOwnCommand(TEditorCommand command) {
  if (command >= ecGotoMarker0 && command <= ecGotoMarker9) return GotoBookmark(command - ecGotoMarker0);
  if (command >= ecSetMarker0 && command <= ecSetMarker9) return SetBookmark(command - ecSetMarker0);
  switch (command) {
    case ecPageTop:
      return MoveToPageEdge(false, false);
    case ecSelPageTop:
      return MoveToPageEdge(false, true);
    case ecPageBottom:
      return MoveToPageEdge(true, false);
    case ecSelPageBottom:
      return MoveToPageEdge(true, true);
    case ecToggleMode:
      return SetInsertMode(!InsertMode());
    case ecBlockIndent:
      return ShiftBlock(true);
    case ecBlockUnindent:
      return ShiftBlock(false);
    case ecInsertLine:
      return InsertLineBreakAfterCaret();
    case ecDeleteWord:
      return DeleteWordAtCaret();
    case ecUndo:
      return undo();
    case ecRedo:
      return redo();
    default:
      return;
  }
}

// To the first or last line in view, keeping the column; the view stays.
void SourceEdit::MoveToPageEdge(bool bottom, bool extend) {
  long visible = SendScintilla(SCI_GETFIRSTVISIBLELINE);
  if (bottom) visible += std::max(1L, SendScintilla(SCI_LINESONSCREEN)) - 1;
  const long lastLine = SendScintilla(SCI_GETLINECOUNT) - 1;
  const long line = std::min(lastLine, SendScintilla(SCI_DOCLINEFROMVISIBLE, static_cast<unsigned long>(visible)));
  const long caret = SendScintilla(SCI_GETCURRENTPOS);
  const long column = SendScintilla(SCI_GETCOLUMN, static_cast<unsigned long>(caret));
  const long target = SendScintilla(SCI_FINDCOLUMN, static_cast<unsigned long>(line), column);
  if (extend)
    SendScintilla(SCI_SETCURRENTPOS, static_cast<unsigned long>(target));
  else
    SendScintilla(SCI_GOTOPOS, static_cast<unsigned long>(target));
  SendScintilla(SCI_CHOOSECARETX);
}

// QScintilla's insert() would lift the read-only state, so the text
// changing commands check it themselves and go to Scintilla directly.
void SourceEdit::InsertLineBreakAfterCaret() {
  if (isReadOnly()) return;
  const char* eol = eolMode() == EolWindows ? "\r\n" : eolMode() == EolMac ? "\r" : "\n";
  const long caret = SendScintilla(SCI_GETCURRENTPOS);
  SendScintilla(SCI_INSERTTEXT, static_cast<uintptr_t>(caret), eol);
}

// The word the caret is in or touches; between words, the blanks up to
// the next word. Never beyond the line.
void SourceEdit::DeleteWordAtCaret() {
  if (isReadOnly()) return;
  const auto caret = static_cast<unsigned long>(SendScintilla(SCI_GETCURRENTPOS));
  long start = SendScintilla(SCI_WORDSTARTPOSITION, caret, 1L);
  long end = SendScintilla(SCI_WORDENDPOSITION, caret, 1L);
  if (start == end) {
    const long line = SendScintilla(SCI_LINEFROMPOSITION, caret);
    const long lineEnd = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
    start = static_cast<long>(caret);
    end = start;
    while (end < lineEnd) {
      const long c = SendScintilla(SCI_GETCHARAT, static_cast<unsigned long>(end));
      if (c != ' ' && c != '\t') break;
      ++end;
    }
  }
  if (end > start) SendScintilla(SCI_DELETERANGE, static_cast<unsigned long>(start), end - start);
}

// The selected lines (a selection ending at a line's start leaves that line
// out), or the caret's line; one undo step.
void SourceEdit::ShiftBlock(bool right) {
  if (isReadOnly()) return;
  int lineFrom = 0, indexFrom = 0, lineTo = 0, indexTo = 0;
  if (hasSelectedText()) {
    getSelection(&lineFrom, &indexFrom, &lineTo, &indexTo);
    if (indexTo == 0 && lineTo > lineFrom) --lineTo;
  } else {
    getCursorPosition(&lineFrom, &indexFrom);
    lineTo = lineFrom;
  }
  beginUndoAction();
  for (int line = lineFrom; line <= lineTo; ++line) right ? indent(line) : unindent(line);
  endUndoAction();
}

bool SourceEdit::Print(QPrinter& target) {
  QsciPrinter printer(QPrinter::HighResolution);
  if (target.outputFormat() == QPrinter::PdfFormat) {
    printer.setOutputFormat(QPrinter::PdfFormat);
  } else {
    printer.setPrinterName(target.printerName());
  }
  printer.setOutputFileName(target.outputFileName());
  printer.setPageLayout(target.pageLayout());
  printer.setFullPage(target.fullPage());
  printer.setColorMode(target.colorMode());
  printer.setDuplex(target.duplex());
  printer.setPageOrder(target.pageOrder());
  printer.setPrintRange(target.printRange());
  printer.setFromTo(target.fromPage(), target.toPage());
  printer.setDocName(target.docName());
  printer.setCreator(target.creator());
  // The copies are made here, one after the other, so that neither the
  // printer nor QsciPrinter repeats them again.
  printer.setCopyCount(1);
  const int copies = std::max(1, target.copyCount());

  const long colourMode = SendScintilla(SCI_GETPRINTCOLOURMODE);
  SendScintilla(SCI_SETPRINTCOLOURMODE, static_cast<unsigned long>(SC_PRINT_BLACKONWHITE));
  QPainter painter;
  bool ok = painter.begin(&printer);
  for (int copy = 0; ok && copy < copies; ++copy) {
    if (copy > 0) ok = printer.newPage();
    if (ok) ok = printer.printRange(this, painter) != 0;
  }
  if (painter.isActive()) painter.end();
  SendScintilla(SCI_SETPRINTCOLOURMODE, static_cast<unsigned long>(colourMode));
  return ok;
}

bool SourceEdit::event(QEvent* event) {
  // The table's keys belong to the editor, not to window shortcuts.
  if (event->type() == QEvent::ShortcutOverride) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (FindKeystroke(key->key(), key->modifiers())) {
      event->accept();
      return true;
    }
  }
  return QsciScintilla::event(event);
}

void SourceEdit::keyPressEvent(QKeyEvent* event) {
  if (const TKeystroke* k = FindKeystroke(event->key(), event->modifiers())) {
    if (ScintillaCommandFor(k->command) != 0) {
      // Scintilla finds the command through its key binding.
      QKeyEvent bare(event->type(), k->key, k->modifiers, QString(), event->isAutoRepeat(),
                     static_cast<ushort>(event->count()));
      QsciScintilla::keyPressEvent(&bare);
    } else {
      RunOwnCommand(k->command);
    }
    event->accept();
    emit CommandProcessed(k->command);
    return;
  }
  const Qt::KeyboardModifiers modifiers = event->modifiers() & kKeyModifiers;
  if (event->key() == Qt::Key_Tab && modifiers == Qt::NoModifier && wantTabs_) {
    if (!isReadOnly()) SendScintilla(SCI_REPLACESEL, uintptr_t{0}, "\t");
    event->accept();
    return;
  }
  if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
    // Not an editor command: nothing is typed, and the window may use it.
    QKeyEvent bare(event->type(), event->key(), event->modifiers(), QString(), event->isAutoRepeat(),
                   static_cast<ushort>(event->count()));
    QsciScintilla::keyPressEvent(&bare);
    event->setAccepted(bare.isAccepted());
    return;
  }
  QsciScintilla::keyPressEvent(event);
}

void SourceEdit::paintEvent(QPaintEvent* event) {
  QsciScintilla::paintEvent(event);
  emit Painted();
}

// With WantTabs the Tab key stays in the editor; Shift+Tab always moves on.
bool SourceEdit::focusNextPrevChild(bool next) {
  if (wantTabs_ && next) return false;
  return QWidget::focusNextPrevChild(next);
}

}  // namespace marlo::editor
