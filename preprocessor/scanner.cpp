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
constexpr std::uint8_t kAny = 16;    // set for every byte but CR and LF
constexpr std::uint8_t kBlank = 32;  // space and tab
// Identifier characters other than CR and LF, without and with the digits:
// an identifier runs over these testing one bit per byte.
constexpr std::uint8_t kNameRun = 64;
constexpr std::uint8_t kNameOrDigitRun = 128;

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
  RebuildKeywordLookup();
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
    if (c == ' ' || c == '\t') bits |= kBlank;
    if ((bits & kAny) && (bits & kIdent)) bits |= kNameRun;
    if ((bits & kAny) && (bits & (kIdent | kDigit))) bits |= kNameOrDigitRun;
    classes_[i] = bits;

    // The start state's tests, in their order: identifier characters win
    // over everything, blanks and line breaks over comment markers.
    TStartAction action = saOther;
    if (bits & kIdent) {
      action = saIdentifier;
    } else if (c == '"') {
      action = saDoubleQuote;
    } else if (c == '$') {
      action = saDollar;
    } else if (c == '\'') {
      action = saSingleQuote;
    } else if (c == '0') {
      action = saZero;
    } else if (bits & kDigit) {
      action = saDigit;
    } else if (bits & kBlank) {
      action = saBlank;
    } else if (!(bits & kAny)) {
      action = saLineBreak;
    } else if (UpperAscii(c) == commentLineFirst_ || UpperAscii(c) == commentBeginFirst_) {
      action = saComment;
    } else if (bits & kSpecial) {
      action = saSpecial;
    }
    startActions_[i] = action;
  }
}

void TScanner::SetCommentLine(std::string_view marker) {
  commentLine_ = marker;
  commentLineFirst_ = FirstOf(commentLine_);
  RebuildClasses();
}

void TScanner::SetCommentBegin(std::string_view marker) {
  commentBegin_ = marker;
  commentBeginFirst_ = FirstOf(commentBegin_);
  RebuildClasses();
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
  auto fold = [this](char c) { return static_cast<std::size_t>(keywordFold_[static_cast<unsigned char>(c)]); };
  return (word.size() * 131 + fold(word.front())) * 131 + fold(word.back());
}

void TScanner::RebuildKeywordLookup() {
  for (int c = 0; c < 256; ++c) {
    const auto byte = static_cast<unsigned char>(c);
    keywordFold_[c] = keywordsCaseSensitive_ ? byte : UpperAscii(byte);
    keywordFilter_[c] = 0;
  }
  keywordLookup_.clear();
  longestKeyword_ = 0;
  for (int i = 0; i < keywords_.Count(); ++i) {
    std::string word = keywords_.Get(i);
    for (char& c : word) c = static_cast<char>(keywordFold_[static_cast<unsigned char>(c)]);
    longestKeyword_ = std::max(longestKeyword_, word.size());
    // An empty text reads as a NUL first byte; no identifier is empty, but
    // the filter stays exact all the same.
    const std::uint32_t lengthBit = std::uint32_t{1} << std::min<std::size_t>(word.size(), 31);
    // The bytes that fold to the folded first byte: itself, and its lower
    // case when case is ignored (the fold touches A-Z only).
    const auto first = static_cast<unsigned char>(word.c_str()[0]);
    keywordFilter_[first] |= lengthBit;
    if (!keywordsCaseSensitive_ && first >= 'A' && first <= 'Z') keywordFilter_[first + 32] |= lengthBit;
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

bool TScanner::IsKeyword(std::string_view text) const {
  if (text.size() > longestKeyword_ || keywordLookup_.empty()) return false;
  const std::size_t mask = keywordSlots_.size() - 1;
  for (std::size_t slot = KeywordHash(text) & mask; keywordSlots_[slot] >= 0; slot = (slot + 1) & mask) {
    const std::string& keyword = keywordLookup_[static_cast<std::size_t>(keywordSlots_[slot])];
    if (keyword.size() != text.size()) continue;
    bool same = true;
    for (std::size_t i = 0; same && i < text.size(); ++i) {
      same = static_cast<unsigned char>(keyword[i]) == keywordFold_[static_cast<unsigned char>(text[i])];
    }
    if (same) return true;
  }
  return false;
}

// tkKeyword, or what an identifier is under AllowIdentifier. The filter
// spares most identifiers the hash.
inline TTokenKind TScanner::IdentifierKind(const std::string& text) const {
  const std::uint32_t lengths = keywordFilter_[static_cast<unsigned char>(text.c_str()[0])];
  if (((lengths >> std::min<std::size_t>(text.size(), 31)) & 1) && IsKeyword(text)) return TTokenKind::tkKeyword;
  return allowIdentifier_ ? TTokenKind::tkIdentifier : TTokenKind::tkOther;
}

void TScanner::SetKeywordsCaseSensitive(bool value) {
  keywordsCaseSensitive_ = value;
  // The list re-sorts itself, so the binary search follows the new order.
  keywords_.SetCaseSensitive(value);
  RebuildKeywordLookup();
}

// The setters each rebuild the tables; here they are rebuilt once.
void TScanner::ConfigureForPreprocessor(const TCsStrings& keywords) {
  FillSet(additionalChars_, "#-_");
  allowFigures_ = true;
  allowIdentifier_ = true;
  commentBegin_ = "/*";
  commentBeginFirst_ = FirstOf(commentBegin_);
  commentEnd_ = "*/";
  commentLine_ = "//";
  commentLineFirst_ = FirstOf(commentLine_);
  FillSet(specialChars_, "#()*+,-./;<=>[]{|}");
  RebuildClasses();
  keywordsCaseSensitive_ = false;
  keywords_.SetCaseSensitive(false);
  if (&keywords == &keywords_)
    RebuildKeywordLookup();
  else
    SetKeywords(keywords);
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

// Whether the next bytes are `marker`. A marker longer than what remains
// never matches. The stream is in memory, so looking ahead cannot fail.
bool TScanner::PeekEquals(const std::string& marker) const {
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
inline void TScanner::Accept(std::string& text, unsigned char c) {
  ReadChar();
  text.push_back(static_cast<char>(c));
}

// Accepts the bytes from here up to the first line break or the first byte
// without one of the `mask` bits, in one append.
inline void TScanner::AcceptRun(std::string& text, std::uint8_t mask) {
  std::size_t end = pos_;
  while (end < size_ && (classes_[data_[end]] & mask) && (classes_[data_[end]] & kAny)) ++end;
  text.append(reinterpret_cast<const char*>(data_ + pos_), end - pos_);
  column_ += static_cast<std::int32_t>(end - pos_);
  pos_ = end;
}

// The end of the run of bytes with one of `bits` from `from` on. No run bit is
// set for CR and LF, so a run that starts before the input's last line break
// stops there at the latest and needs no check for the end.
inline std::size_t TScanner::RunEnd(std::size_t from, std::uint8_t bits) const {
  const unsigned char* p = data_ + from;
  if (from < lastLineBreak_) {
    while (classes_[*p] & bits) ++p;
  } else {
    const unsigned char* const end = data_ + size_;
    while (p < end && (classes_[*p] & bits)) ++p;
  }
  return static_cast<std::size_t>(p - data_);
}

void TScanner::SkipMarker(const std::string& marker) {
  for (std::size_t i = 0; i < marker.size(); ++i) ReadChar();
}

// Removes spaces (not tabs) at both ends; in a block comment each leading
// space removed moves the token's start one column to the right.
void TScanner::TrimComment(std::string& text, bool adjustColumn) {
  std::size_t first = 0;
  while (first < text.size() && text[first] == ' ') ++first;
  std::size_t last = text.size();
  while (last > first && text[last - 1] == ' ') --last;
  text.erase(last);
  text.erase(0, first);
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
  lastLineBreak_ = stream.find_last_of("\r\n");
  if (lastLineBreak_ == std::string_view::npos) lastLineBreak_ = 0;
  line_ = 1;
  column_ = 1;
  endOfInput_ = false;
  inBlockComment_ = false;
  startLine_ = 0;
  startColumn_ = 0;
  startPosition_ = 0;
  finished_ = false;
}

// The start state: skips white space and picks the token by its first byte.
// The common tokens (identifiers, integers, one-byte tokens) are read here;
// the rest continue in ReadFrom. Forced into its two callers: the call alone
// cost about a tenth of a token.
[[gnu::always_inline]] inline TTokenKind TScanner::ReadToken(TToken& token) {
  std::string& text = token.Text;
  text.clear();
  if (inBlockComment_) {
    RecordStart();
    if (endOfInput_) return FinishToken(token, TTokenKind::tkEnd);
    return ReadFrom(stBlockComment, token);
  }

  for (;;) {
    // tkEnd keeps the start of the token before it (0, 0, 0 when there was
    // none). The line break seen past the end is white space even when LF is
    // an identifier or special character.
    if (pos_ >= size_) {
      endOfInput_ = true;
      return FinishToken(token, TTokenKind::tkEnd);
    }
    const unsigned char c = data_[pos_];
    switch (startActions_[c]) {
      case saBlank: {
        // A run of blanks and tabs at once: they only move the column.
        const std::size_t end = RunEnd(pos_ + 1, kBlank);
        column_ += static_cast<std::int32_t>(end - pos_);
        pos_ = end;
        break;
      }
      case saLineBreak:
        ReadChar();
        break;
      case saIdentifier: {
        RecordStart();
        // Identifiers without line breaks, nearly all of them, in one run.
        const std::uint8_t run = allowFigures_ ? kNameOrDigitRun : kNameRun;
        const std::uint8_t continues = allowFigures_ ? (kIdent | kDigit) : kIdent;
        const std::size_t end = RunEnd(pos_, run);
        // Starting with, or stopped by, a line break that is an identifier
        // character: that needs the CR LF rules.
        if (end < size_ && (classes_[data_[end]] & continues)) return ReadBrokenIdentifier(token);
        text.append(reinterpret_cast<const char*>(data_ + pos_), end - pos_);
        column_ += static_cast<std::int32_t>(end - pos_);
        pos_ = end;
        return FinishToken(token, IdentifierKind(text));
      }
      case saDigit: {
        RecordStart();
        const std::size_t end = RunEnd(pos_ + 1, kDigit);
        text.append(reinterpret_cast<const char*>(data_ + pos_), end - pos_);
        column_ += static_cast<std::int32_t>(end - pos_);
        pos_ = end;
        // Only a '.' or ',' may make it a float.
        if (end < size_ && (data_[end] == '.' || data_[end] == ',')) return ReadFrom(stDecimal, token);
        return FinishToken(token, TTokenKind::tkInteger);
      }
      case saSpecial:
      case saOther:
        // Never a line break, so the byte only moves the column.
        RecordStart();
        text.append(reinterpret_cast<const char*>(data_ + pos_), 1);
        ++pos_;
        ++column_;
        return FinishToken(token, startActions_[c] == saSpecial ? TTokenKind::tkSpecialChar : TTokenKind::tkOther);
      case saComment:
        if (UpperAscii(c) == commentLineFirst_ && PeekEquals(commentLine_)) {
          SkipMarker(commentLine_);
          RecordStart();
          return ReadFrom(stLineComment, token);
        }
        if (UpperAscii(c) == commentBeginFirst_ && PeekEquals(commentBegin_)) {
          SkipMarker(commentBegin_);
          RecordStart();
          return ReadFrom(stBlockComment, token);
        }
        RecordStart();
        Accept(text, c);
        return FinishToken(token, (classes_[c] & kSpecial) ? TTokenKind::tkSpecialChar : TTokenKind::tkOther);
      case saDoubleQuote:
        RecordStart();
        ReadChar();
        return ReadFrom(stDoubleQuoted, token);
      case saSingleQuote:
        RecordStart();
        ReadChar();
        return ReadFrom(stSingleQuoted, token);
      case saDollar:
        RecordStart();
        Accept(text, c);
        return ReadFrom(stDollar, token);
      case saZero:
        RecordStart();
        Accept(text, c);
        return ReadFrom(stZero, token);
    }
  }
}

// An identifier with line breaks among its characters (when CR or LF are
// AdditionalChars), read from its start.
TTokenKind TScanner::ReadBrokenIdentifier(TToken& token) {
  std::string& text = token.Text;
  const std::uint8_t continues = allowFigures_ ? (kIdent | kDigit) : kIdent;
  if (!(classes_[data_[pos_]] & kAny)) Accept(text, data_[pos_]);
  // The line break seen past the end never continues an identifier (it would
  // repeat forever when LF is an identifier character).
  while (pos_ < size_) {
    AcceptRun(text, continues);
    if (pos_ >= size_ || !(classes_[data_[pos_]] & continues)) break;
    Accept(text, data_[pos_]);
  }
  return FinishToken(token, IdentifierKind(text));
}

bool TScanner::Next(TToken& token) {
  if (finished_) return false;
  // The token's own text is the buffer the characters are read into, also for
  // a token that the handler drops.
  try {
    for (;;) {
      const TTokenKind kind = ReadToken(token);
      bool addToList = true;
      bool stop = false;
      if (onTokenRead_) onTokenRead_(*this, token, addToList, stop);
      // The kind as finished decides the end, whatever the handler made of it.
      if (stop || kind == TTokenKind::tkEnd) finished_ = true;
      if (addToList || finished_) return addToList;
    }
  } catch (...) {
    finished_ = true;
    throw;
  }
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

  for (;;) {
    const TTokenKind kind = ReadToken(scratch_);
    bool addToList = true;
    bool stop = false;
    if (onTokenRead_) onTokenRead_(*this, scratch_, addToList, stop);
    if (addToList) tokens_.push_back(std::move(scratch_));
    if (stop || kind == TTokenKind::tkEnd) return;
  }
}

// The states after the first byte of numbers, strings and comments.
TTokenKind TScanner::ReadFrom(TState state, TToken& token) {
  std::string& text = token.Text;
  for (;;) {
    switch (state) {
      case stDecimal: {
        const unsigned char c = PeekChar();
        if (IsDigit(c)) {
          AcceptRun(text, kDigit);
        } else if ((c == '.' || c == ',') && size_ - pos_ >= 2 && IsDigit(data_[pos_ + 1])) {
          Accept(text, c);
          state = stFraction;
        } else {
          return FinishToken(token, TTokenKind::tkInteger);
        }
        break;
      }

      case stFraction: {
        const unsigned char c = PeekChar();
        if (!IsDigit(c)) return FinishToken(token, TTokenKind::tkFloat);
        AcceptRun(text, kDigit);
        break;
      }

      case stZero: {
        const unsigned char c = PeekChar();
        if (IsDigit(c)) {
          Accept(text, c);
          state = stDecimal;
        } else if (c == '.' || c == ',') {
          Accept(text, c);
          state = stFraction;
        } else if (c == 'x' || c == 'X') {
          Accept(text, c);
          text.clear();
          state = stHexadecimal;
        } else {
          return FinishToken(token, TTokenKind::tkInteger);
        }
        break;
      }

      case stDollar: {
        const unsigned char c = PeekChar();
        if (IsHexDigit(c)) {
          text.clear();
          Accept(text, c);
          state = stHexadecimal;
          break;
        }
        Accept(text, c);
        return FinishToken(token, TTokenKind::tkOther);
      }

      case stHexadecimal: {
        const unsigned char c = PeekChar();
        if (!IsHexDigit(c)) return FinishToken(token, TTokenKind::tkHexNumber);
        Accept(text, c);
        break;
      }

      case stDoubleQuoted:
      case stSingleQuoted: {
        const unsigned char quote = state == stDoubleQuoted ? '"' : '\'';
        for (;;) {
          const unsigned char c = PeekChar();
          if (c == 0 || c == '\n' || c == '\r') return FinishToken(token, TTokenKind::tkOther);
          if (c == quote) {
            ReadChar();
            return FinishToken(token, TTokenKind::tkString);
          }
          Accept(text, c);
        }
      }

      case stLineComment: {
        AcceptRun(text, kAny);
        ReadChar();
        TrimComment(text, false);
        return FinishToken(token, TTokenKind::tkComment);
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
          Accept(text, c);
        }
        TrimComment(text, true);
        return FinishToken(token, TTokenKind::tkComment);
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
