#include "driver/source_position.h"

#include <string_view>
#include <vector>

#include "base/ascii.h"
#include "driver/source_file.h"
#include "preprocessor/scanner.h"

namespace marlo::core {
namespace {

// Line `line` (from 1) of `bytes`, split at CR LF, LF or a lone CR as
// sources are read.
std::string_view LineOf(std::string_view bytes, int line) {
  std::size_t start = 0;
  for (int current = 1; current < line; ++current) {
    const std::size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string_view::npos) return {};
    start = end + ((bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1);
  }
  const std::size_t end = bytes.find_first_of("\r\n", start);
  return bytes.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

std::string_view RowOf(const std::string& text, int row) {
  std::size_t start = 0;
  for (int current = 0; current < row; ++current) {
    start = text.find('\n', start);
    if (start == std::string::npos) return {};
    ++start;
  }
  const std::size_t end = text.find('\n', start);
  return std::string_view(text).substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::vector<TToken> TokensOf(const TPreProcessor& preprocessor, std::string_view text) {
  TScanner scanner;
  scanner.ConfigureForPreprocessor(preprocessor.Tokens());
  const std::string owned(text);
  scanner.Begin(owned);
  std::vector<TToken> tokens;
  for (TToken token; scanner.Next(token);) {
    if (token.Kind == TTokenKind::tkEnd) break;
    if (token.Kind != TTokenKind::tkComment) tokens.push_back(token);
  }
  return tokens;
}

std::vector<TToken> TokensOnLine(const TPreProcessor& preprocessor, const std::string& text, int line) {
  std::vector<TToken> onLine;
  for (TToken& token : TokensOf(preprocessor, text))
    if (token.Line == line) onLine.push_back(std::move(token));
  return onLine;
}

// How many tokens a source token became: a #define'd name its value's.
int TokensMadeOf(const TPreProcessor& preprocessor, const TToken& token) {
  if (token.Kind != TTokenKind::tkIdentifier && token.Kind != TTokenKind::tkKeyword) return 1;
  const std::string value = preprocessor.Defines().Values(token.Text);
  if (value.empty()) return 1;
  return static_cast<int>(TokensOf(preprocessor, value).size());
}

// The column of the stored line for `column` of that line with its tabs
// expanded to `tabWidth` blanks (0 or less: removed).
int StoredColumn(std::string_view stored, int column, int tabWidth) {
  int expanded = 1;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const int width = stored[i] == '\t' ? std::max(tabWidth, 0) : 1;
    if (expanded + width > column) return static_cast<int>(i) + 1;
    expanded += width;
  }
  return static_cast<int>(stored.size()) + 1;
}

// The start of the last `word` on `row` at or before `col` (as the compiler
// reads it, lower-cased), or `col` when there is none.
int WordStart(std::string_view row, int col, const std::string& message) {
  const std::size_t open = message.find('\'');
  const std::size_t close = open == std::string::npos ? open : message.find('\'', open + 1);
  if (close == std::string::npos || close == open + 1) return col;
  const std::string word = AsciiLowerCopy(std::string_view(message).substr(open + 1, close - open - 1));
  const std::string lowered = AsciiLowerCopy(row);
  const std::size_t at = lowered.rfind(word, static_cast<std::size_t>(std::max(col, 0)));
  return at == std::string::npos ? col : static_cast<int>(at);
}

}  // namespace

SourcePosition FindSourcePosition(const TPreProcessor& preprocessor, int row, int col, int tabWidth,
                                  const IIncludeFiles& files, const std::string& message) {
  SourcePosition where;
  if (!preprocessor.OriginOf(row, where.file, where.line)) return {};
  where.column = 1;

  std::string stored;
  std::string reason;
  if (!files.Read(where.file, stored, reason)) return where;
  const std::string_view storedLine = LineOf(stored, where.line);
  // The whole file is scanned, as the walk did, so that a line that goes on
  // from a comment or a string of the lines before is read right.
  const bool mainText = where.file == preprocessor.FileName();
  const std::vector<TToken> sourceTokens =
      TokensOnLine(preprocessor, mainText ? NormalizeSourceText(stored, tabWidth) : stored, where.line);
  if (sourceTokens.empty()) return where;

  // The row's token at `col`, counted from the row's first.
  int wanted = 0;
  const std::string_view rowText = RowOf(preprocessor.Source(), row);
  if (!message.empty()) col = WordStart(rowText, col, message);
  const std::vector<TToken> rowTokens = TokensOf(preprocessor, rowText);
  for (std::size_t i = 0; i < rowTokens.size(); ++i)
    if (rowTokens[i].Column - 1 <= col) wanted = static_cast<int>(i);

  const TToken* found = &sourceTokens.back();
  int made = 0;
  for (const TToken& token : sourceTokens) {
    made += TokensMadeOf(preprocessor, token);
    if (made > wanted) {
      found = &token;
      break;
    }
  }
  where.column = mainText ? StoredColumn(storedLine, found->Column, tabWidth) : found->Column;
  return where;
}

SourcePosition FindErrorPosition(const TPreProcessor& preprocessor, const PreprocessError& error) {
  SourcePosition where{error.file, error.line, 1};
  // The second pass reads the first one's text, named "<file> (preprocessed)".
  constexpr std::string_view kSecondPass = " (preprocessed)";
  if (error.file.ends_with(kSecondPass)) {
    SourcePosition earlier;
    earlier.column = 1;
    if (preprocessor.OriginOfEarlierLine(error.line, earlier.file, earlier.line)) return earlier;
  }
  return where;
}

std::string LocatedLine(const SourcePosition& where, const std::string& kind, const std::string& text) {
  return where.file + ":" + std::to_string(where.line) + ":" + std::to_string(where.column) + ": " + kind + ": " + text;
}

}  // namespace marlo::core
