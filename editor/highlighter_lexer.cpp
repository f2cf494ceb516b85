#include "editor/highlighter_lexer.h"

#include <Qsci/qsciscintilla.h>

#include <algorithm>
#include <utility>

namespace marlo::editor {
namespace {

// Collects consecutive bytes of one style into one styling call.
class TStyleRuns {
 public:
  explicit TStyleRuns(QsciLexerCustom& lexer) : lexer_(lexer) {}
  ~TStyleRuns() { Flush(); }
  void Add(long length, int style) {
    if (length <= 0) return;
    if (style != style_) {
      Flush();
      style_ = style;
    }
    length_ += length;
  }

 private:
  void Flush() {
    if (length_ > 0) lexer_.setStyling(static_cast<int>(length_), style_);
    length_ = 0;
  }
  QsciLexerCustom& lexer_;
  int style_ = -1;
  long length_ = 0;
};

}  // namespace

THighlighterLexer::THighlighterLexer(ILineHighlighter* highlighter, const QByteArray& language, QObject* parent)
    : QsciLexerCustom(parent), highlighter_(highlighter), language_(language) {}

long THighlighterLexer::send(unsigned int message, unsigned long wParam, long lParam) const {
  return editor()->SendScintilla(message, wParam, lParam);
}

QString THighlighterLexer::description(int style) const {
  if (style < 0 || style >= styles_.size()) return {};
  return styles_[style].description;
}

const char* THighlighterLexer::wordCharacters() const {
  return wordChars_.isEmpty() ? QsciLexerCustom::wordCharacters() : wordChars_.constData();
}

QColor THighlighterLexer::defaultColor(int style) const {
  if (style >= 0 && style < styles_.size() && styles_[style].painted) return styles_[style].color;
  return QsciLexer::defaultColor();
}

QColor THighlighterLexer::defaultPaper(int style) const {
  if (style >= 0 && style < styles_.size() && styles_[style].painted) return styles_[style].paper;
  return QsciLexer::defaultPaper();
}

QFont THighlighterLexer::defaultFont(int style) const { return fontOf(style); }

QFont THighlighterLexer::fontOf(int style) const {
  QFont font = QsciLexer::defaultFont();
  if (style >= 0 && style < styles_.size() && styles_[style].painted) {
    const THighlighterStyle& s = styles_[style];
    font.setBold(s.bold);
    font.setItalic(s.italic);
    font.setUnderline(s.underline);
    font.setStrikeOut(s.strikeOut);
  }
  return font;
}

// The stored values go through the setters so that an attached editor
// hears of them at once.
void THighlighterLexer::applyStyle(int style) {
  setColor(defaultColor(style), style);
  setPaper(defaultPaper(style), style);
  setFont(fontOf(style), style);
}

void THighlighterLexer::setStyles(const QVector<THighlighterStyle>& styles) {
  styles_ = styles;
  for (int style = 0; style < styles_.size(); ++style) applyStyle(style);
}

void THighlighterLexer::setBaseFont(const QFont& font) {
  setDefaultFont(font);
  setFont(font, QsciScintillaBase::STYLE_DEFAULT);
  for (int style = 0; style < styles_.size(); ++style) setFont(fontOf(style), style);
}

void THighlighterLexer::setBackground(const QColor& color) {
  setDefaultPaper(color);
  setPaper(color, QsciScintillaBase::STYLE_DEFAULT);
  for (int style = 0; style < styles_.size(); ++style)
    if (!styles_[style].painted) setPaper(color, style);
}

void THighlighterLexer::setForeground(const QColor& color) {
  setDefaultColor(color);
  setColor(color, QsciScintillaBase::STYLE_DEFAULT);
  for (int style = 0; style < styles_.size(); ++style)
    if (!styles_[style].painted) setColor(color, style);
}

void THighlighterLexer::setWordCharacters(const QByteArray& chars) {
  wordChars_ = chars;
  if (editor() != nullptr)
    editor()->SendScintilla(QsciScintillaBase::SCI_SETWORDCHARS, static_cast<unsigned long>(0), wordCharacters());
}

void THighlighterLexer::setHighlighter(ILineHighlighter* highlighter) {
  highlighter_ = highlighter;
  restyle();
}

// Lowering Scintilla's styled mark to 0 is enough to have everything asked
// for again; the flag keeps the stored ranges from ending that pass early.
void THighlighterLexer::restyle() {
  rescanAll_ = true;
  if (editor() == nullptr) return;
  send(QsciScintillaBase::SCI_STARTSTYLING, 0, 0);
  editor()->viewport()->update();
}

// Scintilla asks from the start of the first line not yet styled. A line
// state of 0 is a line never scanned (no range is 0); its start range is
// found by going back to a line that was.
void THighlighterLexer::styleText(int start, int end) {
  if (editor() == nullptr) return;
  const long lineCount = send(QsciScintillaBase::SCI_GETLINECOUNT);
  long line = send(QsciScintillaBase::SCI_LINEFROMPOSITION, static_cast<unsigned long>(start));
  const long lastLine = send(QsciScintillaBase::SCI_LINEFROMPOSITION, static_cast<unsigned long>(std::max(start, end)));
  const bool all = std::exchange(rescanAll_, false);
  if (all) line = 0;
  while (line > 0 && send(QsciScintillaBase::SCI_GETLINESTATE, line) == 0) --line;

  int range = 0;
  if (line == 0 && highlighter_ != nullptr) {
    highlighter_->ResetRange();
    range = highlighter_->GetRange();
  } else if (line > 0) {
    range = static_cast<int>(send(QsciScintillaBase::SCI_GETLINESTATE, line));
  }
  for (; line < lineCount; ++line) {
    const long stored = send(QsciScintillaBase::SCI_GETLINESTATE, line);
    // Past the asked-for lines: a line whose start range is unchanged needs
    // nothing more, and one never scanned is styled when Scintilla asks
    // for it (it styles in order, from its end-styled mark), so a fresh
    // document is not scanned to its end at the first paint.
    if (line > lastLine && (stored == range || stored == 0) && !all) break;
    if (stored != range) send(QsciScintillaBase::SCI_SETLINESTATE, line, range);
    range = styleLine(line, range);
  }
}

int THighlighterLexer::styleLine(long line, int range) {
  const long lineStart = send(QsciScintillaBase::SCI_POSITIONFROMLINE, line);
  const long lineEnd = send(QsciScintillaBase::SCI_GETLINEENDPOSITION, line);
  long nextStart = send(QsciScintillaBase::SCI_POSITIONFROMLINE, line + 1);
  if (nextStart < lineEnd) nextStart = send(QsciScintillaBase::SCI_GETLENGTH);  // the last line
  const long length = lineEnd - lineStart;

  startStyling(static_cast<int>(lineStart));
  TStyleRuns runs(*this);
  long styled = 0;
  if (highlighter_ != nullptr) {
    if (length > 0) {
      const auto* text = reinterpret_cast<const char*>(
          send(QsciScintillaBase::SCI_GETRANGEPOINTER, static_cast<unsigned long>(lineStart), length));
      lineText_.assign(text, static_cast<std::size_t>(length));
    } else {
      lineText_.clear();
    }
    highlighter_->SetRange(range);
    highlighter_->SetLine(lineText_);
    // Every token but the last is at least one byte long; the checks only
    // keep a faulty highlighter from running away or past the line.
    while (!highlighter_->AtLineEnd() && highlighter_->TokenLength() > 0 && styled < length) {
      const long tokenStart = highlighter_->TokenStart();
      const long tokenEnd = std::min<long>(length, tokenStart + highlighter_->TokenLength());
      if (tokenStart > styled) runs.Add(tokenStart - styled, fillerStyle_);
      runs.Add(tokenEnd - std::max(styled, tokenStart), highlighter_->TokenStyle());
      styled = std::max(styled, tokenEnd);
      highlighter_->Next();
    }
    range = highlighter_->GetRange();
  }
  runs.Add(nextStart - lineStart - styled, fillerStyle_);
  return range;
}

}  // namespace marlo::editor
