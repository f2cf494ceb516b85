// How the Find and Replace dialogs match text, apart from any editor.
//
// The text is the editor's whole text with CR LF after every line.
// Positions count characters from 1; a character is one Unicode code point,
// which is also what the editor counts, so a position maps to one place in
// the editor whatever the encoding.
//
// Matching is not a regular case fold: "?" in the search string stands for
// any one character (even with Match case on, and even when the user meant a
// question mark), and with Match case off a text character with code 65 to
// 122 also matches the character that differs from it only in bit 0x20. So
// the text's "[" matches a "{" typed by the user, but the text's "{" does not
// match "[", and "@" (64) matches nothing but itself.
#pragma once

#include <QString>
#include <functional>

namespace marlo::ide {

struct TSearchOptions {
  bool down = true;  // else up
  bool matchCase = false;
  bool wholeWord = false;
  friend bool operator==(const TSearchOptions&, const TSearchOptions&) = default;
};

struct TSearchMatch {
  qsizetype position = 0;  // where the pattern matched, from 1; 0: not found
  qsizetype selStart = 0;  // what to select, from 1: past the leading "?" of a whole word
  qsizetype selLength = 0;
  bool Found() const { return position > 0; }
};

// "-", digits and ASCII letters; everything else, "_" included, separates words.
bool IsWordChar(char32_t c);
// One text character against one character of the pattern.
bool CharMatches(char32_t textChar, char32_t patternChar, bool matchCase);
// The selected text counts as the search string when they are equal ignoring case.
bool SelectionHolds(const QString& sel, const QString& s);

// The position the editor reports as the start of its selection, counted like
// a 0-based offset (the characters before it), for a selection covering
// characters selFrom + 1 .. selTo. It is one end of the selection, chosen so
// that the search begins just past the selection: when the selection holds
// the search string, the end behind the search (the search then hops over
// the selection by its length), else the end ahead of it. So Find Next never
// finds the occurrence already selected, not even one the string matches
// through "?" or the 0x20 rule, and still finds the one right next to it.
qsizetype ReportedSelStart(qsizetype selFrom, qsizetype selTo, bool selectionHoldsS, bool down);

// One search of `text` for `s`, from the selection start `p` (as reported
// above) with the selected text `sel`. A whole-word candidate whose
// neighbours are not both non-word characters is passed over and the search
// goes on from the next position in the same direction. An empty search
// string finds nothing.
TSearchMatch FindMatch(const QString& text, const QString& s, const TSearchOptions& options, qsizetype p,
                       const QString& sel);

// The same from a selection covering characters selFrom + 1 .. selTo (selFrom
// == selTo: no selection, the caret after selFrom characters).
TSearchMatch FindNext(const QString& text, const QString& s, const TSearchOptions& options, qsizetype selFrom,
                      qsizetype selTo);

// Replace All.
enum class TReplaceAnswer { None, Yes, No, Cancel, YesToAll };

QString ReplaceQuestion(const QString& s, const QString& r);

// Runs Replace All over three steps: `find` searches once from the current
// selection (and has said so when it found nothing), `ask` puts the question
// for the occurrence just found, `replace` replaces it. Until the answer is
// Yes to All every occurrence is asked about; Cancel stops. Returns how many
// occurrences were replaced.
int RunReplaceAll(const std::function<bool()>& find, const std::function<TReplaceAnswer()>& ask,
                  const std::function<void()>& replace);

}  // namespace marlo::ide
