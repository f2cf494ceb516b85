#include "ide/search_text.h"

#include <QList>
#include <algorithm>
#include <string>
#include <string_view>

namespace marlo::ide {
namespace {

std::u32string CodePoints(const QString& s) {
  const QList<uint> ucs4 = s.toUcs4();
  return std::u32string(ucs4.begin(), ucs4.end());
}

// Does `pattern` match `text` from the 0-based index `at` on?
bool MatchesAt(std::u32string_view text, qsizetype at, std::u32string_view pattern, bool matchCase) {
  for (std::size_t i = 0; i < pattern.size(); ++i)
    if (!CharMatches(text[static_cast<std::size_t>(at) + i], pattern[i], matchCase)) return false;
  return true;
}

TSearchMatch Match(std::u32string_view text, std::u32string_view s, const TSearchOptions& options, qsizetype p,
                   bool selectionHoldsS, qsizetype selLength) {
  if (s.empty()) return {};
  qsizetype start = options.down ? p + 1 : p;
  if (selectionHoldsS) start += options.down ? selLength : -selLength;

  std::u32string pattern(s);
  if (options.wholeWord) pattern = U"?" + pattern + U"?";
  const auto n = static_cast<qsizetype>(text.size());
  const auto m = static_cast<qsizetype>(pattern.size());

  // q counts from 1; the pattern covers q .. q + m - 1.
  const auto accept = [&](qsizetype q) {
    if (!MatchesAt(text, q - 1, pattern, options.matchCase)) return false;
    // The two "?" around a whole word must stand on non-word characters.
    return !options.wholeWord || (!IsWordChar(text[q - 1]) && !IsWordChar(text[q + m - 2]));
  };
  if (options.down) {
    for (qsizetype q = std::max<qsizetype>(start, 1); q + m - 1 <= n; ++q)
      if (accept(q)) return {q, options.wholeWord ? q + 1 : q, static_cast<qsizetype>(s.size())};
  } else {
    for (qsizetype q = std::min(start, n) - m + 1; q >= 1; --q)
      if (accept(q)) return {q, options.wholeWord ? q + 1 : q, static_cast<qsizetype>(s.size())};
  }
  return {};
}

}  // namespace

bool IsWordChar(char32_t c) {
  return c == U'-' || (c >= U'0' && c <= U'9') || (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z');
}

bool CharMatches(char32_t textChar, char32_t patternChar, bool matchCase) {
  if (patternChar == U'?' || textChar == patternChar) return true;
  return !matchCase && textChar >= 65 && textChar <= 122 && patternChar == (textChar ^ 0x20);
}

bool SelectionHolds(const QString& sel, const QString& s) { return sel.compare(s, Qt::CaseInsensitive) == 0; }

qsizetype ReportedSelStart(qsizetype selFrom, qsizetype selTo, bool selectionHoldsS, bool down) {
  const bool lowerEnd = down == selectionHoldsS;
  return lowerEnd ? selFrom : selTo;
}

TSearchMatch FindMatch(const QString& text, const QString& s, const TSearchOptions& options, qsizetype p,
                       const QString& sel) {
  return Match(CodePoints(text), CodePoints(s), options, p, SelectionHolds(sel, s),
               static_cast<qsizetype>(CodePoints(sel).size()));
}

TSearchMatch FindNext(const QString& text, const QString& s, const TSearchOptions& options, qsizetype selFrom,
                      qsizetype selTo) {
  const std::u32string chars = CodePoints(text);
  const auto n = static_cast<qsizetype>(chars.size());
  selFrom = std::clamp<qsizetype>(selFrom, 0, n);
  selTo = std::clamp<qsizetype>(selTo, selFrom, n);
  const std::u32string_view all(chars);
  const std::u32string_view selected =
      all.substr(static_cast<std::size_t>(selFrom), static_cast<std::size_t>(selTo - selFrom));
  const bool holds = SelectionHolds(QString::fromUcs4(selected.data(), static_cast<qsizetype>(selected.size())), s);
  const qsizetype p = ReportedSelStart(selFrom, selTo, holds, options.down);
  return Match(all, CodePoints(s), options, p, holds, selTo - selFrom);
}

QString ReplaceQuestion(const QString& s, const QString& r) {
  return QStringLiteral("Replace this ocurrance of %1 with %2?").arg(s, r);
}

int RunReplaceAll(const std::function<bool()>& find, const std::function<TReplaceAnswer()>& ask,
                  const std::function<void()>& replace) {
  TReplaceAnswer answer = TReplaceAnswer::None;
  int replaced = 0;
  while (find()) {
    if (answer != TReplaceAnswer::YesToAll) answer = ask();
    if (answer == TReplaceAnswer::Yes || answer == TReplaceAnswer::YesToAll) {
      replace();
      ++replaced;
    } else if (answer != TReplaceAnswer::No) {
      break;  // Cancel, or the question was dismissed
    }
  }
  return replaced;
}

}  // namespace marlo::ide
