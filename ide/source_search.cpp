#include "ide/source_search.h"

#include <Qsci/qsciscintilla.h>

#include <QList>
#include <algorithm>

#include "ui/message_box.h"

namespace marlo::ide {
namespace {

long Send(const QsciScintilla& editor, unsigned int message, unsigned long wParam = 0, long lParam = 0) {
  return editor.SendScintilla(message, wParam, lParam);
}

// The editor's text as the search sees it: every line followed by CR LF
// whatever line ends the document holds, and no line for the empty rest
// after a final line end. It maps character positions of that text to the
// editor's positions, which count bytes; a character in the text is one
// character of the editor, in UTF-8 and in byte mode alike.
class TSearchView {
 public:
  explicit TSearchView(const QsciScintilla& editor) : editor_(editor) {
    // Split where the editor splits lines: at CR LF, LF or CR.
    const QString all = editor.text();
    qsizetype at = 0;
    while (at < all.size()) {
      qsizetype end = at;
      while (end < all.size() && all[end] != u'\r' && all[end] != u'\n') ++end;
      const QStringView content = QStringView(all).mid(at, end - at);
      starts_.append(length_);
      lengths_.append(content.size() -
                      std::count_if(content.begin(), content.end(), [](QChar c) { return c.isLowSurrogate(); }));
      length_ += lengths_.last() + 2;
      text_ += content;
      text_ += QLatin1String("\r\n");
      at = end + (QStringView(all).mid(end, 2) == u"\r\n" ? 2 : 1);
    }
  }

  const QString& Text() const { return text_; }

  // An editor position as the number of characters before it.
  qsizetype ToChars(long position) const {
    const long line = Send(editor_, QsciScintilla::SCI_LINEFROMPOSITION, static_cast<unsigned long>(position));
    if (line >= starts_.size()) return length_;
    const long lineStart = Send(editor_, QsciScintilla::SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
    const long contentEnd = Send(editor_, QsciScintilla::SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
    // Between the CR and the LF of the document's own line end.
    if (position > contentEnd) return starts_[line] + lengths_[line] + 1;
    return starts_[line] +
           Send(editor_, QsciScintilla::SCI_COUNTCHARACTERS, static_cast<unsigned long>(lineStart), position);
  }

  // The editor position after `chars` characters. Within a line's CR LF it
  // is the start of the next line, so a match that takes in a CR takes in
  // the document's line end.
  long ToEditor(qsizetype chars) const {
    if (starts_.isEmpty()) return 0;
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), chars);
    const auto line = static_cast<int>(std::max<qsizetype>(after - starts_.begin() - 1, 0));
    const qsizetype column = chars - starts_[line];
    const long lineStart = Send(editor_, QsciScintilla::SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
    const long contentEnd = Send(editor_, QsciScintilla::SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
    if (column <= 0) return lineStart;
    if (column < lengths_[line])
      return std::min(contentEnd, Send(editor_, QsciScintilla::SCI_POSITIONRELATIVE,
                                       static_cast<unsigned long>(lineStart), static_cast<long>(column)));
    if (column == lengths_[line]) return contentEnd;
    return line + 1 < editor_.lines()
               ? Send(editor_, QsciScintilla::SCI_POSITIONFROMLINE, static_cast<unsigned long>(line + 1))
               : editor_.length();
  }

 private:
  const QsciScintilla& editor_;
  QString text_;
  qsizetype length_ = 0;
  QList<qsizetype> starts_;   // characters before each line
  QList<qsizetype> lengths_;  // characters of each line without its CR LF
};

struct TFound {
  qsizetype position = 0;  // 0: not found
  long from = 0;           // the selected editor range
  long to = 0;
};

TFound Search(QsciScintilla& editor, QWidget* parent, const QString& s, const TSearchOptions& options) {
  const TSearchView view(editor);
  const qsizetype selFrom = view.ToChars(Send(editor, QsciScintilla::SCI_GETSELECTIONSTART));
  const qsizetype selTo = view.ToChars(Send(editor, QsciScintilla::SCI_GETSELECTIONEND));
  const TSearchMatch match = FindNext(view.Text(), s, options, selFrom, selTo);
  TFound found;
  if (match.Found()) {
    found = {match.position, view.ToEditor(match.selStart - 1), view.ToEditor(match.selStart - 1 + match.selLength)};
    // A match in the CR LF after a last line that has no line end in the
    // document selects nothing, and the caret could never get past it.
    if (found.from == found.to && found.to == editor.length()) found.position = 0;
  }
  if (found.position == 0) {
    ShowInformation(parent, QStringLiteral("Search string not found"));
    return {};
  }
  // The caret goes to the end the search moves towards, so that the view follows it.
  if (options.down)
    Send(editor, QsciScintilla::SCI_SETSEL, static_cast<unsigned long>(found.from), found.to);
  else
    Send(editor, QsciScintilla::SCI_SETSEL, static_cast<unsigned long>(found.to), found.from);
  editor.setFocus();
  return found;
}

// Replaces the range just found and puts the caret where the next search
// begins past the replacement, so that text matched inside `r` is never
// found again.
void Replace(QsciScintilla& editor, const TFound& found, const QString& r, bool down) {
  Send(editor, QsciScintilla::SCI_SETSEL, static_cast<unsigned long>(found.from), found.to);
  editor.replaceSelectedText(r);
  const long caret = down ? Send(editor, QsciScintilla::SCI_GETCURRENTPOS) : found.from;
  Send(editor, QsciScintilla::SCI_GOTOPOS, static_cast<unsigned long>(caret));
}

TReplaceAnswer Answer(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Yes:
      return TReplaceAnswer::Yes;
    case QMessageBox::No:
      return TReplaceAnswer::No;
    case QMessageBox::YesToAll:
      return TReplaceAnswer::YesToAll;
    default:
      return TReplaceAnswer::Cancel;
  }
}

}  // namespace

qsizetype SearchEditor(QsciScintilla& editor, QWidget* parent, const QString& s, const TSearchOptions& options) {
  return Search(editor, parent, s, options).position;
}

bool ReplaceInEditor(QsciScintilla& editor, QWidget* parent, const QString& s, const QString& r,
                     const TSearchOptions& options) {
  const TFound found = Search(editor, parent, s, options);
  if (found.position == 0) return false;
  editor.beginUndoAction();
  Replace(editor, found, r, options.down);
  editor.endUndoAction();
  return true;
}

int ReplaceAllInEditor(QsciScintilla& editor, QWidget* parent, const QString& s, const QString& r,
                       const TSearchOptions& options) {
  TFound found;
  editor.beginUndoAction();
  const int replaced = RunReplaceAll(
      [&] {
        found = Search(editor, parent, s, options);
        return found.position != 0;
      },
      [&] {
        return Answer(ShowBox(parent, QMessageBox::Question, ReplaceQuestion(s, r),
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel | QMessageBox::YesToAll));
      },
      [&] { Replace(editor, found, r, options.down); });
  editor.endUndoAction();
  return replaced;
}

}  // namespace marlo::ide
