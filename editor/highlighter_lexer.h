// THighlighterLexer styles a QScintilla document through a line
// highlighter. Each line's state holds the range in force at its start;
// after the lines Scintilla asks for are styled, the following lines are
// scanned on until one whose stored start range is already right, so a
// comment opened or closed on one line reaches every line it affects.
//
// The style number of a byte is the token style the highlighter reports;
// how each style is painted comes from a table the owner supplies.
// Positions are UTF-8 bytes throughout, like the highlighter's.
#pragma once

#include <Qsci/qscilexercustom.h>

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QString>
#include <QVector>
#include <string_view>

#include "syntax/line_highlighter.h"

namespace marlo::editor {

struct THighlighterStyle {
  QString description;  // must not be empty: Scintilla skips styles without one
  // False: the lexer's default colours and font (the kind paints nothing).
  bool painted = true;
  QColor color;
  QColor paper;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
};

class THighlighterLexer : public QsciLexerCustom {
  Q_OBJECT
 public:
  THighlighterLexer(ILineHighlighter* highlighter, const QByteArray& language, QObject* parent = nullptr);

  const char* language() const override { return language_.constData(); }
  QString description(int style) const override;
  const char* wordCharacters() const override;
  void styleText(int start, int end) override;

  QColor defaultColor(int style) const override;
  QColor defaultPaper(int style) const override;
  QFont defaultFont(int style) const override;

  ILineHighlighter* highlighter() const { return highlighter_; }
  // None leaves every byte in the filler style. Restyles the document.
  void setHighlighter(ILineHighlighter* highlighter);

  // Style n is painted as styles[n].
  void setStyles(const QVector<THighlighterStyle>& styles);
  const QVector<THighlighterStyle>& styles() const { return styles_; }
  // The font of every style, each with its own bold, italic and so on:
  // the lexer's default font, which an editor may also set directly.
  void setBaseFont(const QFont& font);
  QFont baseFont() const { return QsciLexer::defaultFont(); }
  // The colours of text that no painted style covers, and the background
  // past the end of each line (the lexer's default paper and colour).
  void setBackground(const QColor& color);
  QColor background() const { return QsciLexer::defaultPaper(); }
  void setForeground(const QColor& color);
  QColor foreground() const { return QsciLexer::defaultColor(); }
  // The bytes that make up words for caret movement and selection.
  void setWordCharacters(const QByteArray& chars);
  // The style of line breaks and of whatever follows a zero byte in a line.
  void setFillerStyle(int style) { fillerStyle_ = style; }
  int fillerStyle() const { return fillerStyle_; }

  // The highlighter's rules have changed: the whole document is styled
  // again, from the next paint or recolor on.
  void restyle();

 private:
  long send(unsigned int message, unsigned long wParam = 0, long lParam = 0) const;
  // Styles one line from `range` and returns the range at its end.
  int styleLine(long line, int range);
  void applyStyle(int style);
  QFont fontOf(int style) const;

  ILineHighlighter* highlighter_;
  QByteArray language_;
  QVector<THighlighterStyle> styles_;
  QByteArray wordChars_;
  int fillerStyle_ = 0;
  bool rescanAll_ = false;  // ignore stored ranges until the end once
  std::string lineText_;    // the line being scanned, kept until the next one
};

}  // namespace marlo::editor
