#include "lsp/indexer.h"

#include <algorithm>

#include "base/ascii.h"
#include "driver/standard_tokens.h"

namespace marlo::lsp {
namespace {

using core::TToken;
using core::TTokenKind;

std::string Lower(std::string_view text) { return core::AsciiLowerCopy(text); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsWord(const TToken& token) {
  return token.Kind == TTokenKind::tkIdentifier || token.Kind == TTokenKind::tkKeyword;
}

bool Is(const TToken& token, std::string_view special) {
  return token.Kind == TTokenKind::tkSpecialChar && token.Text == special;
}

// The token's length in the text: quotes and hexadecimal prefixes are not
// part of its Text.
std::size_t LengthOf(std::string_view text, const TToken& token) {
  const auto at = static_cast<std::size_t>(token.Position);
  const char first = at < text.size() ? text[at] : '\0';
  switch (token.Kind) {
    case TTokenKind::tkString:
      return token.Text.size() + 2;
    case TTokenKind::tkHexNumber:
      return token.Text.size() + (first == '$' ? 1 : 2);
    case TTokenKind::tkOther:
      // An unterminated string: its text lacks the opening quote.
      return token.Text.size() + ((first == '"' || first == '\'') && (token.Text.empty() || token.Text[0] != first));
    default:
      return token.Text.size();
  }
}

class Indexer {
 public:
  Indexer(FileIndex& index, std::string_view text) : index_(index), tokens_(index.tokens), text_(text) {}

  void Run() {
    for (std::size_t i = 0; i < tokens_.size();) i = Step(i);
    if (script_ >= 0) index_.scripts[static_cast<std::size_t>(script_)].end = text_.size();
  }

 private:
  const TToken* At(std::size_t i) const { return i < tokens_.size() ? &tokens_[i] : nullptr; }

  void Add(SymbolKind kind, const TToken& token, std::string value = {}, std::string written = {}) {
    const auto start = static_cast<std::size_t>(token.Position);
    index_.symbols.push_back({kind, token.Text, start,
                              index_.tokenEnds[static_cast<std::size_t>(&token - tokens_.data())] - start,
                              kind == SymbolKind::kParameter || kind == SymbolKind::kLocal ? script_ : -1,
                              std::move(value), std::move(written)});
  }

  std::size_t Step(std::size_t i) {
    const TToken& token = tokens_[i];
    if (token.Kind == TTokenKind::tkKeyword && !token.Text.empty() && token.Text[0] == '#') return Directive(i);
    const std::string word = IsWord(token) ? Lower(token.Text) : std::string();
    if (script_ < 0) {
      if (word == "piece") return Names(i + 1, SymbolKind::kPiece);
      if (word == "static-var") return Names(i + 1, SymbolKind::kStatic);
      if (IsWord(token) && At(i + 1) && Is(*At(i + 1), "(")) return ScriptHead(i);
      return i + 1;
    }
    if (Is(token, "{")) {
      ++depth_;
    } else if (Is(token, "}") && --depth_ == 0) {
      index_.scripts[static_cast<std::size_t>(script_)].end = index_.tokenEnds[i];
      script_ = -1;
    } else if (word == "var") {
      return Names(i + 1, SymbolKind::kLocal);
    } else if (word == "static-var") {
      return Names(i + 1, SymbolKind::kStatic);
    }
    return i + 1;
  }

  // The directive at i; returns the index after what it used.
  std::size_t Directive(std::size_t i) {
    const std::string name = Lower(tokens_[i].Text);
    const TToken* operand = At(i + 1);
    if (name == "#define" && operand) {
      // A value on the name's line: one number-like token, else every token
      // to the line's end, each after a blank.
      std::size_t last = i + 1;
      std::string value;
      const TToken* first = At(i + 2);
      if (!first || first->Line != operand->Line) {
        value = "1";
      } else if (!first->Text.empty() && (IsDigit(first->Text[0]) || first->Text[0] == '-' || first->Text[0] == '.')) {
        value = first->Text;
        last = i + 2;
      } else {
        for (std::size_t j = i + 2; At(j) && At(j)->Line == operand->Line; ++j) {
          value += ' ';
          value += At(j)->Text;
          last = j;
        }
      }
      std::string written;
      if (last > i + 1) {
        const auto from = static_cast<std::size_t>(At(i + 2)->Position);
        written = std::string(text_.substr(from, index_.tokenEnds[last] - from));
      }
      Add(SymbolKind::kDefine, *operand, std::move(value), std::move(written));
      return last + 1;
    }
    if (name == "#include" && operand) {
      index_.includes.push_back({operand->Text, static_cast<std::size_t>(operand->Position),
                                 index_.tokenEnds[i + 1] - static_cast<std::size_t>(operand->Position)});
      return i + 2;
    }
    if (name == "#undef" || name == "#ifdef" || name == "#ifndef") return i + 2;
    if (name == "#if") {
      std::size_t j = i + 1;
      while (At(j) && At(j)->Line == tokens_[i].Line) ++j;
      return j;
    }
    return i + 1;
  }

  // A list of names up to ";" (a brace or a directive ends it too).
  std::size_t Names(std::size_t i, SymbolKind kind) {
    for (; At(i); ++i) {
      const TToken& token = tokens_[i];
      if (Is(token, ";")) return i + 1;
      if (Is(token, "{") || Is(token, "}") || (token.Kind == TTokenKind::tkKeyword && token.Text[0] == '#')) return i;
      if (token.Kind == TTokenKind::tkIdentifier) Add(kind, token);
    }
    return i;
  }

  // name ( parameters ) { body }
  std::size_t ScriptHead(std::size_t i) {
    const TToken& name = tokens_[i];
    script_ = static_cast<int>(index_.scripts.size());
    index_.scripts.push_back({name.Text, static_cast<std::size_t>(name.Position),
                              index_.tokenEnds[i] - static_cast<std::size_t>(name.Position), index_.tokenEnds[i],
                              index_.tokenEnds[i]});
    Add(SymbolKind::kScript, name);
    std::size_t j = i + 2;
    for (; At(j) && !Is(*At(j), ")") && !Is(*At(j), "{") && !Is(*At(j), ";"); ++j)
      if (At(j)->Kind == TTokenKind::tkIdentifier) Add(SymbolKind::kParameter, *At(j));
    if (At(j) && Is(*At(j), ")")) ++j;
    Script& script = index_.scripts.back();
    script.end = j > 0 ? index_.tokenEnds[j - 1] : script.end;
    if (!At(j) || !Is(*At(j), "{")) {
      script_ = -1;  // no body: not a script after all, or one cut short
      return j;
    }
    script.bodyStart = static_cast<std::size_t>(At(j)->Position);
    depth_ = 1;
    return j + 1;
  }

  FileIndex& index_;
  const std::vector<TToken>& tokens_;
  std::string_view text_;
  int script_ = -1;
  int depth_ = 0;
};

}  // namespace

int FileIndex::TokenAt(std::size_t offset) const {
  // The last token starting at or before the offset.
  const auto after = std::upper_bound(tokens.begin(), tokens.end(), offset, [](std::size_t at, const TToken& token) {
    return at < static_cast<std::size_t>(token.Position);
  });
  if (after == tokens.begin()) return -1;
  const auto index = static_cast<std::size_t>(after - tokens.begin()) - 1;
  return offset <= tokenEnds[index] ? static_cast<int>(index) : -1;
}

int FileIndex::ScriptAt(std::size_t offset) const {
  for (std::size_t i = 0; i < scripts.size(); ++i)
    if (offset >= scripts[i].nameOffset && offset <= scripts[i].end) return static_cast<int>(i);
  return -1;
}

FileIndex IndexText(std::string_view text) {
  static const core::TScanner configured = [] {
    core::TScanner scanner;
    scanner.ConfigureForPreprocessor(core::StandardTokenList());
    return scanner;
  }();
  core::TScanner scanner = configured;
  FileIndex index;
  scanner.Begin(text);
  core::TToken token;
  while (scanner.Next(token)) {
    if (token.Kind == TTokenKind::tkComment || token.Kind == TTokenKind::tkEnd) continue;
    index.tokenEnds.push_back(static_cast<std::size_t>(token.Position) + LengthOf(text, token));
    index.tokens.push_back(std::move(token));
  }
  Indexer(index, text).Run();
  return index;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return core::AsciiLower(x) == core::AsciiLower(y); });
}

}  // namespace marlo::lsp
