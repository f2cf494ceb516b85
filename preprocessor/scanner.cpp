#include "preprocessor/scanner.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace marlo::core {

namespace {

// Bits of the per-byte class table.
constexpr std::uint8_t kIdent = 1;
constexpr std::uint8_t kDigit = 2;
constexpr std::uint8_t kHex = 4;
constexpr std::uint8_t kSpecial = 8;
constexpr std::uint8_t kAny = 16;  // set for every byte but CR and LF

inline unsigned char UpperAscii(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

inline bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool IsHexDigit(unsigned char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

void FillSet(bool (&set)[256], std::string_view chars) {
  for (bool& member : set) member = false;
  for (char c : chars) set[static_cast<unsigned char>(c)] = true;
}

}  // namespace

const char* TokenKindName(TTokenKind kind) {
  switch (kind) {
    case TTokenKind::tkComment:
      return "tkComment";
    case TTokenKind::tkEnd:
      return "tkEnd";
    case TTokenKind::tkOther:
      return "tkOther";
    case TTokenKind::tkHexNumber:
      return "tkHexNumber";
    case TTokenKind::tkIdentifier:
      return "tkIdentifier";
    case TTokenKind::tkInteger:
      return "tkInteger";
    case TTokenKind::tkKeyword:
      return "tkKeyword";
    case TTokenKind::tkFloat:
      return "tkFloat";
    case TTokenKind::tkSpecialChar:
      return "tkSpecialChar";
    case TTokenKind::tkString:
      return "tkString";
  }
  return "?";
}

// ---- configuration ----

TScanner::TScanner() {
  // Duplicates are kept so that a copied list stays complete, whatever the
  // case mode is switched to later.
  keywords_.SetDuplicates(dupAccept);
  keywords_.SetCaseSensitive(keywordsCaseSensitive_);
  keywords_.SetSorted(true);
  RebuildClasses();
}

std::string TScanner::SetToString(const bool (&set)[256]) {
  std::string chars;
  for (int c = 0; c < 256; ++c) {
    if (set[c]) chars.push_back(static_cast<char>(c));
  }
  return chars;
}

void TScanner::RebuildClasses() {
  for (int i = 0; i < 256; ++i) {
    const auto c = static_cast<unsigned char>(i);
    std::uint8_t bits = 0;
    if (IsLetter(c) || additionalChars_[i]) bits |= kIdent;
    if (IsDigit(c)) bits |= kDigit;
    if (IsHexDigit(c)) bits |= kHex;
    if (specialChars_[i]) bits |= kSpecial;
    if (c != '\r' && c != '\n') bits |= kAny;
    classes_[i] = bits;
  }
}

void TScanner::SetAdditionalChars(std::string_view chars) {
  FillSet(additionalChars_, chars);
  RebuildClasses();
}

void TScanner::SetSpecialChars(std::string_view chars) {
  FillSet(specialChars_, chars);
  RebuildClasses();
}

void TScanner::SetKeywords(const TCsStrings& keywords) {
  if (&keywords == &keywords_) return;
  // Filled unsorted and sorted once: inserting each entry at its sorted place
  // would be quadratic for a long token file.
  keywords_.SetSorted(false);
  keywords_.Assign(keywords);
  keywords_.SetSorted(true);
  RebuildKeywordLookup();
}

// Keywords sit in an open-addressing table hashed over their folded
// characters, so that telling an identifier from a keyword costs one hash
// and usually no comparison.
std::size_t TScanner::KeywordHash(std::string_view word) const {
  // Length, first and last character: cheap, and enough to spread a keyword
  // list; equal hashes are told apart by comparing.
  if (word.empty()) return 0;
  auto fold = [this](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return static_cast<std::size_t>(keywordsCaseSensitive_ ? byte : UpperAscii(byte));
  };
  return (word.size() * 131 + fold(word.front())) * 131 + fold(word.back());
}

void TScanner::RebuildKeywordLookup() {
  keywordLookup_.clear();
  longestKeyword_ = 0;
  for (int i = 0; i < keywords_.Count(); ++i) {
    std::string word = keywords_.Get(i);
    if (!keywordsCaseSensitive_)
      for (char& c : word) c = static_cast<char>(UpperAscii(static_cast<unsigned char>(c)));
    longestKeyword_ = std::max(longestKeyword_, word.size());
    keywordLookup_.push_back(std::move(word));
  }
  std::size_t slots = 16;
  while (slots < keywordLookup_.size() * 4) slots *= 2;
  keywordSlots_.assign(slots, -1);
  for (std::size_t i = 0; i < keywordLookup_.size(); ++i) {
    std::size_t slot = KeywordHash(keywordLookup_[i]) & (slots - 1);
    while (keywordSlots_[slot] >= 0) slot = (slot + 1) & (slots - 1);
    keywordSlots_[slot] = static_cast<int>(i);
  }
}

bool TScanner::IsKeyword(const std::string& text) const {
  if (text.size() > longestKeyword_ || keywordLookup_.empty()) return false;
  const std::size_t mask = keywordSlots_.size() - 1;
  for (std::size_t slot = KeywordHash(text) & mask; keywordSlots_[slot] >= 0; slot = (slot + 1) & mask) {
    const std::string& keyword = keywordLookup_[static_cast<std::size_t>(keywordSlots_[slot])];
    if (keyword.size() != text.size()) continue;
    bool same = true;
    for (std::size_t i = 0; same && i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      same = static_cast<unsigned char>(keyword[i]) == (keywordsCaseSensitive_ ? c : UpperAscii(c));
    }
    if (same) return true;
  }
  return false;
}

void TScanner::SetKeywordsCaseSensitive(bool value) {
  keywordsCaseSensitive_ = value;
  // The list re-sorts itself, so the binary search follows the new order.
  keywords_.SetCaseSensitive(value);
  RebuildKeywordLookup();
}

void TScanner::ConfigureForPreprocessor(const TCsStrings& keywords) {
  SetAdditionalChars("#-_");
  SetAllowFigures(true);
  SetAllowIdentifier(true);
  SetCommentBegin("/*");
  SetCommentEnd("*/");
  SetCommentLine("//");
  SetKeywords(keywords);
  SetKeywordsCaseSensitive(false);
  SetSpecialChars("#()*+,-./;<=>[]{|}");
}

// ---- token list ----

const TToken* TScanner::Token(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return &tokens_[static_cast<std::size_t>(index)];
}

TToken* TScanner::Token(int index) {
  if (index < 0 || index >= Count()) return nullptr;
  return &tokens_[static_cast<std::size_t>(index)];
}

void TScanner::ClearTokens() { tokens_.clear(); }

// ---- stream access ----

// At the end of input every state sees a line break.
inline unsigned char TScanner::PeekChar() const { return pos_ < size_ ? data_[pos_] : '\n'; }

// Whether the next bytes are `marker`. A marker longer than what remains
// never matches. The stream is in memory, so looking ahead cannot fail.
inline bool TScanner::PeekEquals(const std::string& marker) const {
  const std::size_t n = marker.size();
  if (n == 0 || size_ - pos_ < n) return false;
  const unsigned char* p = data_ + pos_;
  if (UpperAscii(p[0]) != UpperAscii(static_cast<unsigned char>(marker[0]))) return false;
  if (keywordsCaseSensitive_) return marker.compare(0, n, reinterpret_cast<const char*>(p), n) == 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (UpperAscii(p[i]) != UpperAscii(static_cast<unsigned char>(marker[i]))) return false;
  }
  return true;
}

// Consumes one character and keeps the line and column. Past the end it sets
// the end-of-input flag and yields 0 without moving the line or column. A CR
// LF pair is one character; a CR that ends the input ends it at once.
inline unsigned char TScanner::ReadChar() {
  if (pos_ >= size_) {
    endOfInput_ = true;
    return 0;
  }
  unsigned char c = data_[pos_++];
  if (c == '\r') {
    if (pos_ >= size_) {
      endOfInput_ = true;
      c = '\n';
    } else if (data_[pos_] == '\n') {
      ++pos_;
    }
  }
  if (c == '\r' || c == '\n') {
    ++line_;
    column_ = 1;
  } else {
    ++column_;
  }
  return c;
}

// Appends the character that was peeked (a line break when the input has run
// out). Text is single bytes: there is no double-byte character set whose
// lead bytes would pull in a second byte.
inline void TScanner::Accept(unsigned char c) {
  ReadChar();
  text_->push_back(static_cast<char>(c));
}

// Accepts the bytes from here up to the first line break or the first byte
// without one of the `mask` bits, in one append.
inline void TScanner::AcceptRun(std::uint8_t mask) {
  std::size_t end = pos_;
  while (end < size_ && (classes_[data_[end]] & mask) && (classes_[data_[end]] & kAny)) ++end;
  text_->append(reinterpret_cast<const char*>(data_ + pos_), end - pos_);
  column_ += static_cast<std::int32_t>(end - pos_);
  pos_ = end;
}

void TScanner::SkipMarker(const std::string& marker) {
  for (std::size_t i = 0; i < marker.size(); ++i) ReadChar();
}

inline void TScanner::RecordStart() {
  startLine_ = line_;
  startColumn_ = column_;
  startPosition_ = static_cast<std::int32_t>(pos_);
}

// Removes spaces (not tabs) at both ends; in a block comment each leading
// space removed moves the token's start one column to the right.
void TScanner::TrimComment(bool adjustColumn) {
  std::size_t first = 0;
  while (first < text_->size() && (*text_)[first] == ' ') ++first;
  std::size_t last = text_->size();
  while (last > first && (*text_)[last - 1] == ' ') --last;
  text_->erase(last);
  text_->erase(0, first);
  if (adjustColumn) startColumn_ += static_cast<std::int32_t>(first);
}

// ---- scanning ----

void TScanner::Begin(std::string_view stream) {
  // Columns and positions are 32-bit and a column can reach size + 1.
  if (stream.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::length_error("Scanner input is too long");
  }
  ClearTokens();
  data_ = reinterpret_cast<const unsigned char*>(stream.data());
  size_ = stream.size();
  pos_ = 0;
  line_ = 1;
  column_ = 1;
  endOfInput_ = false;
  inBlockComment_ = false;
  startLine_ = 0;
  startColumn_ = 0;
  startPosition_ = 0;
  text_->clear();
  finished_ = false;
}

bool TScanner::Next(TToken& token) {
  if (finished_) return false;
  // The token's own text is the buffer the characters are read into.
  pullTarget_ = &token;
  text_ = &token.Text;
  delivered_ = false;
  try {
    while (!delivered_) {
      if (!ReadToken()) {
        finished_ = true;
        break;
      }
    }
  } catch (...) {
    pullTarget_ = nullptr;
    text_ = &textBuffer_;
    finished_ = true;
    throw;
  }
  pullTarget_ = nullptr;
  text_ = &textBuffer_;
  return delivered_;
}

void TScanner::Scan(std::string_view stream) {
  Begin(stream);
  finished_ = true;
  // Source text averages a token every few bytes; reserving up front spares
  // the big list its repeated moves. Untouched reserve costs address space only.
  tokens_.reserve(stream.size() / 5 + 1);

  // The stream is borrowed for this call only, also when OnTokenRead throws.
  struct Release {
    TScanner& scanner;
    ~Release() {
      scanner.data_ = nullptr;
      scanner.size_ = 0;
      scanner.pos_ = 0;
    }
  } release{*this};

  while (ReadToken()) {
  }
}

bool TScanner::FinishToken(TTokenKind kind) {
  if (kind == TTokenKind::tkIdentifier) {
    if (IsKeyword(*text_)) {
      kind = TTokenKind::tkKeyword;
    } else if (!allowIdentifier_) {
      kind = TTokenKind::tkOther;
    }
  }
  // Read one at a time, the token is the caller's and already holds its text.
  TToken& token = pullTarget_ ? *pullTarget_ : scratch_;
  token.Kind = kind;
  if (&token.Text != text_) token.Text.assign(*text_);  // a copy: the buffer keeps its capacity
  token.Line = startLine_;
  token.Column = startColumn_;
  token.Position = startPosition_;

  bool addToList = true;
  bool stop = false;
  if (onTokenRead_) onTokenRead_(*this, token, addToList, stop);
  if (addToList) {
    if (pullTarget_)
      delivered_ = true;
    else
      tokens_.push_back(std::move(scratch_));
  }
  // The kind as finished decides the end, whatever the handler made of it.
  return !stop && kind != TTokenKind::tkEnd;
}

bool TScanner::ReadToken() {
  text_->clear();
  TState state = stStart;
  if (inBlockComment_) {
    RecordStart();
    if (endOfInput_) return FinishToken(TTokenKind::tkEnd);
    state = stBlockComment;
  }

  for (;;) {
    switch (state) {
      case stStart: {
        // tkEnd keeps the start of the token before it (0, 0, 0 when there
        // was none).
        if (endOfInput_) return FinishToken(TTokenKind::tkEnd);
        if (pos_ >= size_) {
          // The line break seen past the end is white space even when LF is
          // an identifier or special character.
          ReadChar();
          break;
        }
        const unsigned char c = data_[pos_];
        const std::uint8_t cls = classes_[c];
        if (cls & kIdent) {
          RecordStart();
          // The identifier state takes this first character with the rest.
          if (!(cls & kAny)) Accept(c);
          state = stIdentifier;
        } else if (c == '"') {
          RecordStart();
          ReadChar();
          state = stDoubleQuoted;
        } else if (c == '$') {
          RecordStart();
          Accept(c);
          state = stDollar;
        } else if (c == '\'') {
          RecordStart();
          ReadChar();
          state = stSingleQuoted;
        } else if (c == '0') {
          RecordStart();
          Accept(c);
          state = stZero;
        } else if (cls & kDigit) {
          RecordStart();
          Accept(c);
          state = stDecimal;
        } else if (c == ' ' || c == '\t') {
          // A run of blanks and tabs at once: they only move the column.
          std::size_t end = pos_ + 1;
          while (end < size_ && (data_[end] == ' ' || data_[end] == '\t')) ++end;
          column_ += static_cast<std::int32_t>(end - pos_);
          pos_ = end;
        } else if (c == '\n' || c == '\r') {
          ReadChar();
        } else if (UpperAscii(c) == commentLineFirst_ && PeekEquals(commentLine_)) {
          SkipMarker(commentLine_);
          RecordStart();
          state = stLineComment;
        } else if (UpperAscii(c) == commentBeginFirst_ && PeekEquals(commentBegin_)) {
          SkipMarker(commentBegin_);
          RecordStart();
          state = stBlockComment;
        } else if (cls & kSpecial) {
          RecordStart();
          Accept(c);
          return FinishToken(TTokenKind::tkSpecialChar);
        } else {
          RecordStart();
          Accept(c);
          return FinishToken(TTokenKind::tkOther);
        }
        break;
      }

      case stIdentifier: {
        const std::uint8_t continues = allowFigures_ ? (kIdent | kDigit) : kIdent;
        // The line break seen past the end never continues an identifier
        // (it would repeat forever when LF is an identifier character).
        while (pos_ < size_) {
          AcceptRun(continues);
          // Only a line break that is an identifier character stops a run early.
          if (pos_ >= size_ || !(classes_[data_[pos_]] & continues)) break;
          Accept(data_[pos_]);
        }
        return FinishToken(TTokenKind::tkIdentifier);
      }

      case stDecimal: {
        const unsigned char c = PeekChar();
        if (IsDigit(c)) {
          AcceptRun(kDigit);
        } else if ((c == '.' || c == ',') && size_ - pos_ >= 2 && IsDigit(data_[pos_ + 1])) {
          Accept(c);
          state = stFraction;
        } else {
          return FinishToken(TTokenKind::tkInteger);
        }
        break;
      }

      case stFraction: {
        const unsigned char c = PeekChar();
        if (!IsDigit(c)) return FinishToken(TTokenKind::tkFloat);
        AcceptRun(kDigit);
        break;
      }

      case stZero: {
        const unsigned char c = PeekChar();
        if (IsDigit(c)) {
          Accept(c);
          state = stDecimal;
        } else if (c == '.' || c == ',') {
          Accept(c);
          state = stFraction;
        } else if (c == 'x' || c == 'X') {
          Accept(c);
          text_->clear();
          state = stHexadecimal;
        } else {
          return FinishToken(TTokenKind::tkInteger);
        }
        break;
      }

      case stDollar: {
        const unsigned char c = PeekChar();
        if (IsHexDigit(c)) {
          text_->clear();
          Accept(c);
          state = stHexadecimal;
          break;
        }
        Accept(c);
        return FinishToken(TTokenKind::tkOther);
      }

      case stHexadecimal: {
        const unsigned char c = PeekChar();
        if (!IsHexDigit(c)) return FinishToken(TTokenKind::tkHexNumber);
        Accept(c);
        break;
      }

      case stDoubleQuoted:
      case stSingleQuoted: {
        const unsigned char quote = state == stDoubleQuoted ? '"' : '\'';
        for (;;) {
          const unsigned char c = PeekChar();
          if (c == 0 || c == '\n' || c == '\r') return FinishToken(TTokenKind::tkOther);
          if (c == quote) {
            ReadChar();
            return FinishToken(TTokenKind::tkString);
          }
          Accept(c);
        }
      }

      case stLineComment: {
        AcceptRun(kAny);
        ReadChar();
        TrimComment(false);
        return FinishToken(TTokenKind::tkComment);
      }

      case stBlockComment: {
        // Each line of a block comment is a token of its own; the flag makes
        // the next token continue the comment.
        inBlockComment_ = true;
        for (;;) {
          const unsigned char c = PeekChar();
          if (c == '\n' || c == '\r') {
            ReadChar();
            break;
          }
          if (PeekEquals(commentEnd_)) {
            SkipMarker(commentEnd_);
            inBlockComment_ = false;
            break;
          }
          Accept(c);
        }
        TrimComment(true);
        return FinishToken(TTokenKind::tkComment);
      }
    }
  }
}

// ---- keyword lists ----

const std::vector<std::string>& StandardBosTokens() {
  static const std::vector<std::string> tokens = {
      "#endif",     "#else",     "#ifdef",        "#if",          "#define",     "#ifndef",
      "#include",   "#undef",    "attach-unit",   "cache",        "call-script", "dont-cache",
      "dont-shade", "drop-unit", "emit-sfx",      "explode",      "get",         "hide",
      "move",       "piece",     "rand",          "return",       "set",         "set-signal-mask",
      "shade",      "show",      "signal",        "sleep",        "spin",        "start-script",
      "stop-spin",  "turn",      "wait-for-move", "wait-for-turn"};
  return tokens;
}

const std::vector<std::string>& DirectiveTokens() {
  static const std::vector<std::string> tokens = {"#define", "#ifndef", "#include", "#undef",
                                                  "#endif",  "#else",   "#ifdef",   "#if"};
  return tokens;
}

bool LoadTokenFile(const std::string& path, TCsStrings& tokens) {
  std::error_code ec;
  if (path.empty() || !std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return false;
  tokens.SetTextStr(text);
  return true;
}

}  // namespace marlo::core
