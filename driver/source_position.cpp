#include "driver/source_position.h"

#include <map>
#include <string_view>
#include <vector>

#include "base/ascii.h"
#include "driver/source_file.h"
#include "preprocessor/scanner.h"

namespace marlo::core {
namespace {

// Where each line of `bytes` starts (line 1 at index 1), split at CR LF,
// LF or a lone CR as sources are read.
std::vector<std::size_t> LineStarts(std::string_view bytes) {
  std::vector<std::size_t> starts{0, 0};
  for (std::size_t at = bytes.find_first_of("\r\n"); at != std::string_view::npos;
       at = bytes.find_first_of("\r\n", starts.back())) {
    starts.push_back(at + ((bytes[at] == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n') ? 2 : 1));
  }
  return starts;
}

// Line `line` (from 1) of `bytes`, without its line break.
std::string_view LineAt(std::string_view bytes, const std::vector<std::size_t>& starts, int line) {
  if (line < 1 || static_cast<std::size_t>(line) >= starts.size()) return {};
  const std::size_t start = starts[static_cast<std::size_t>(line)];
  const std::size_t end = bytes.find_first_of("\r\n", start);
  return bytes.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

// Row `row` (from 0) of the preprocessor's Source, whose rows end in LF.
class SourceRows {
 public:
  explicit SourceRows(const std::string& text) : text_(text) {
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
      starts_.push_back(at + 1);
  }
  std::string_view operator[](int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= starts_.size()) return {};
    const std::size_t start = starts_[static_cast<std::size_t>(row)];
    const std::size_t end = text_.find('\n', start);
    return std::string_view(text_).substr(start, end == std::string::npos ? std::string::npos : end - start);
  }

 private:
  const std::string& text_;
  std::vector<std::size_t> starts_{0};
};

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

// The tokens of the lines that `lines` holds (as keys), from one scan of
// the whole text up to the last of them: a line that goes on from a comment
// or a string of the lines before is read right.
void CollectLineTokens(const TPreProcessor& preprocessor, const std::string& text,
                       std::map<int, std::vector<TToken>>& lines) {
  if (lines.empty()) return;
  const int last = lines.rbegin()->first;
  TScanner scanner;
  scanner.ConfigureForPreprocessor(preprocessor.Tokens());
  scanner.Begin(text);
  for (TToken token; scanner.Next(token);) {
    if (token.Kind == TTokenKind::tkEnd || token.Line > last) break;
    if (token.Kind == TTokenKind::tkComment) continue;
    if (const auto found = lines.find(token.Line); found != lines.end()) found->second.push_back(token);
  }
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

std::vector<SourcePosition> FindSourcePositions(const TPreProcessor& preprocessor,
                                                const std::vector<SourcePlace>& places, int tabWidth,
                                                const IIncludeFiles& files) {
  std::vector<SourcePosition> positions(places.size());
  // Each file once: the lines asked for in it, then one read and one scan.
  struct File {
    std::map<int, std::vector<TToken>> lines;
    std::string stored;
    std::vector<std::size_t> lineStarts;
  };
  std::map<std::string, File> byName;
  for (std::size_t i = 0; i < places.size(); ++i) {
    SourcePosition& where = positions[i];
    if (!preprocessor.OriginOf(places[i].row, where.file, where.line)) continue;
    where.column = 1;
    byName[where.file].lines[where.line];
  }
  for (auto& [name, file] : byName) {
    std::string reason;
    if (!files.Read(name, file.stored, reason)) {
      file.lines.clear();
      continue;
    }
    const bool mainText = name == preprocessor.FileName();
    file.lineStarts = LineStarts(file.stored);
    CollectLineTokens(preprocessor, mainText ? NormalizeSourceText(file.stored, tabWidth) : file.stored, file.lines);
  }

  const SourceRows rows(preprocessor.Source());
  for (std::size_t i = 0; i < places.size(); ++i) {
    SourcePosition& where = positions[i];
    if (where.file.empty()) continue;
    const File& file = byName[where.file];
    const auto line = file.lines.find(where.line);
    if (line == file.lines.end() || line->second.empty()) continue;
    const std::vector<TToken>& sourceTokens = line->second;

    // The row's token at the place's column, counted from the row's first.
    int col = places[i].col;
    int wanted = 0;
    const std::string_view rowText = rows[places[i].row];
    if (!places[i].message.empty()) col = WordStart(rowText, col, places[i].message);
    const std::vector<TToken> rowTokens = TokensOf(preprocessor, rowText);
    for (std::size_t t = 0; t < rowTokens.size(); ++t)
      if (rowTokens[t].Column - 1 <= col) wanted = static_cast<int>(t);

    const TToken* found = &sourceTokens.back();
    int made = 0;
    for (const TToken& token : sourceTokens) {
      made += TokensMadeOf(preprocessor, token);
      if (made > wanted) {
        found = &token;
        break;
      }
    }
    where.column = where.file == preprocessor.FileName()
                       ? StoredColumn(LineAt(file.stored, file.lineStarts, where.line), found->Column, tabWidth)
                       : found->Column;
  }
  return positions;
}

SourcePosition FindSourcePosition(const TPreProcessor& preprocessor, int row, int col, int tabWidth,
                                  const IIncludeFiles& files, const std::string& message) {
  return FindSourcePositions(preprocessor, {SourcePlace{row, col, message}}, tabWidth, files).front();
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
