// The source tokenizer: turns a whole byte stream into a list of tokens, each
// with its kind, its text and the line, column and byte position where it
// starts.
//
// A table-driven state machine reads the stream one byte at a time. In the
// start state the first byte picks the token: identifier characters (letters
// plus AdditionalChars), the five starters (" $ ' 0 1-9), white space, the
// comment markers, SpecialChars, and anything else as a one-byte tkOther.
// Identifiers found in Keywords become tkKeyword. Nothing is ever an error:
// stray bytes and unterminated strings become tkOther tokens, and the list
// always ends with one tkEnd.
//
// Lines and columns count from 1; CR LF, a lone CR and a lone LF are each one
// line break; a TAB is one column. A block comment gives one tkComment per
// line it spans.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/cs_string_list.h"

namespace marlo::core {

enum class TTokenKind : std::uint8_t {
  tkComment,
  tkEnd,
  tkOther,
  tkHexNumber,
  tkIdentifier,
  tkInteger,
  tkKeyword,
  tkFloat,
  tkSpecialChar,
  tkString
};

struct TToken {
  TTokenKind Kind = TTokenKind::tkEnd;
  std::string Text;
  std::int32_t Position = 0, Line = 0, Column = 0;
};

// Name of a token kind ("tkComment" ...), for messages and test output.
const char* TokenKindName(TTokenKind kind);

class TScanner {
 public:
  // Called for every finished token (tkEnd included) before it is stored.
  // Clearing addToList drops the token; setting stop ends the scan after it.
  using TTokenReadEvent = std::function<void(TScanner& sender, TToken& token, bool& addToList, bool& stop)>;

  TScanner();

  // Identifier characters besides the letters, which always stay. Returned
  // as a set: each character once, in byte order.
  std::string AdditionalChars() const { return SetToString(additionalChars_); }
  void SetAdditionalChars(std::string_view chars);

  // Digits may continue an identifier.
  bool AllowFigures() const { return allowFigures_; }
  void SetAllowFigures(bool value) { allowFigures_ = value; }

  // When false, identifiers that are not keywords become tkOther.
  bool AllowIdentifier() const { return allowIdentifier_; }
  void SetAllowIdentifier(bool value) { allowIdentifier_ = value; }

  // Comment markers; an empty marker never matches.
  const std::string& CommentLine() const { return commentLine_; }
  void SetCommentLine(std::string_view marker);
  const std::string& CommentBegin() const { return commentBegin_; }
  void SetCommentBegin(std::string_view marker);
  const std::string& CommentEnd() const { return commentEnd_; }
  void SetCommentEnd(std::string_view marker) { commentEnd_ = marker; }

  // Sorted; its CaseSensitive follows KeywordsCaseSensitive.
  const TCsStringList& Keywords() const { return keywords_; }
  void SetKeywords(const TCsStrings& keywords);

  // Governs keyword lookup and comment-marker matching: exact when true,
  // ignoring the case of A-Z otherwise.
  bool KeywordsCaseSensitive() const { return keywordsCaseSensitive_; }
  void SetKeywordsCaseSensitive(bool value);

  // Characters that each form a one-character tkSpecialChar token (unless
  // they are identifier characters too, which wins).
  std::string SpecialChars() const { return SetToString(specialChars_); }
  void SetSpecialChars(std::string_view chars);

  const TTokenReadEvent& OnTokenRead() const { return onTokenRead_; }
  void SetOnTokenRead(TTokenReadEvent handler) { onTokenRead_ = std::move(handler); }

  // Replaces the token list by the tokens of `stream`, read until tkEnd or
  // until OnTokenRead asks to stop. The stream is only read during the call.
  // Streams longer than 2^31-1 bytes raise std::length_error (positions are
  // 32-bit).
  void Scan(std::string_view stream);

  // Reading one token at a time instead of the whole list, for callers that
  // walk forward and need to hold only a few tokens. `stream` must outlive
  // the reads. Next gives the tokens that Scan would have listed, in order,
  // and false once the scan has ended.
  void Begin(std::string_view stream);
  bool Next(TToken& token);

  int Count() const { return static_cast<int>(tokens_.size()); }
  // nullptr when index is outside 0..Count()-1.
  const TToken* Token(int index) const;
  TToken* Token(int index);
  void ClearTokens();

  // The preprocessor's settings: AdditionalChars "#-_", figures and
  // identifiers allowed, C comments, keywords ignoring case, SpecialChars
  // "#()*+,-./;<=>[]{|}" and a copy of `keywords`.
  void ConfigureForPreprocessor(const TCsStrings& keywords);

 private:
  // The states after a token's first byte; identifiers are read apart.
  enum TState : std::uint8_t {
    stDecimal,
    stFraction,
    stZero,
    stDollar,
    stHexadecimal,
    stDoubleQuoted,
    stSingleQuoted,
    stLineComment,
    stBlockComment
  };

  // What the start state does with a byte. Worked out once from the settings,
  // in the order the start state tries them, so that a token start costs one
  // look-up and one switch.
  enum TStartAction : std::uint8_t {
    saIdentifier,
    saDoubleQuote,
    saDollar,
    saSingleQuote,
    saZero,
    saDigit,
    saBlank,
    saLineBreak,
    saComment,  // may open a comment; special or other when it does not
    saSpecial,
    saOther
  };

  static std::string SetToString(const bool (&set)[256]);
  void RebuildClasses();

  // Stream access.
  unsigned char PeekChar() const { return pos_ < size_ ? data_[pos_] : '\n'; }
  bool PeekEquals(const std::string& marker) const;
  unsigned char ReadChar();
  void Accept(std::string& text, unsigned char c);
  void AcceptRun(std::string& text, std::uint8_t mask);
  std::size_t RunEnd(std::size_t from, std::uint8_t bits) const;
  void SkipMarker(const std::string& marker);
  void RecordStart() {
    startLine_ = line_;
    startColumn_ = column_;
    startPosition_ = static_cast<std::int32_t>(pos_);
  }
  void TrimComment(std::string& text, bool adjustColumn);

  // Reads one token into `token` and returns its kind as finished.
  TTokenKind ReadToken(TToken& token);
  TTokenKind ReadBrokenIdentifier(TToken& token);
  TTokenKind ReadFrom(TState state, TToken& token);
  TTokenKind FinishToken(TToken& token, TTokenKind kind) {
    token.Kind = kind;
    token.Line = startLine_;
    token.Column = startColumn_;
    token.Position = startPosition_;
    return kind;
  }
  TTokenKind IdentifierKind(const std::string& text) const;
  bool IsKeyword(std::string_view text) const;
  std::size_t KeywordHash(std::string_view word) const;
  void RebuildKeywordLookup();

  bool additionalChars_[256] = {};
  bool specialChars_[256] = {};
  // Per byte: kIdent, kDigit, kHex, kSpecial, kAny, kBlank and the run bits.
  std::uint8_t classes_[256] = {};
  TStartAction startActions_[256] = {};

  bool allowFigures_ = true;
  bool allowIdentifier_ = true;
  bool keywordsCaseSensitive_ = false;
  std::string commentLine_ = "//";
  std::string commentBegin_ = "{";
  std::string commentEnd_ = "}";
  // First characters of the opening markers, upper-cased (-1: no marker), to
  // tell most characters from a comment start without a look ahead.
  static int FirstOf(const std::string& marker) {
    if (marker.empty()) return -1;
    const auto c = static_cast<unsigned char>(marker[0]);
    return (c >= 'a' && c <= 'z') ? c - 32 : c;
  }
  int commentLineFirst_ = '/';
  int commentBeginFirst_ = '{';
  TCsStringList keywords_;
  TTokenReadEvent onTokenRead_;

  std::vector<TToken> tokens_;

  // State of the running scan.
  const unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t pos_ = 0;
  std::size_t lastLineBreak_ = 0;  // its index; 0 also when there is none
  std::int32_t line_ = 1;
  std::int32_t column_ = 1;
  bool endOfInput_ = false;
  bool inBlockComment_ = false;
  // Where the last token started; tkEnd takes it over.
  std::int32_t startLine_ = 0;
  std::int32_t startColumn_ = 0;
  std::int32_t startPosition_ = 0;
  TToken scratch_;  // Scan reads each token here before it is listed
  bool finished_ = true;

  // Keywords folded for the comparison in force, found through a hash table
  // of indexes (-1: empty slot).
  std::vector<std::string> keywordLookup_;
  std::vector<int> keywordSlots_;
  std::size_t longestKeyword_ = 0;
  // The byte fold of that comparison: upper case, or none when exact.
  std::uint8_t keywordFold_[256] = {};
  // Per first byte, bit n set when a keyword of length n (bit 31: 31 or
  // more) starts with that byte. Most identifiers fail this test, so they
  // are told from the keywords without hashing.
  std::uint32_t keywordFilter_[256] = {};
};

// The 34 keywords of the source window's token list, in their order.
const std::vector<std::string>& StandardBosTokens();

// The 8 directive words a preprocessor starts with, in their order.
const std::vector<std::string>& DirectiveTokens();

// Token files hold one keyword per line. Returns true and replaces `tokens`
// when the file exists and was read; otherwise `tokens` stays as it was.
bool LoadTokenFile(const std::string& path, TCsStrings& tokens);

}  // namespace marlo::core
