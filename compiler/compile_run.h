// One run of the script compiler over one preprocessed text.
//
// The compiler reads the lower-cased text character by character with an
// index (never by erasing from the front), compiles top-level `piece` and
// `static-var` declarations and script definitions, and emits 32-bit code
// words. Statements live in statement_compiler.cpp, expressions in
// expression_compiler.cpp; this class holds what they share: the scanner,
// the symbol tables, the code and the pending calls to later scripts.
//
// Every error is raised through Fail() and caught once, by CompileText.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/ascii.h"
#include "base/text_stream.h"
#include "compiler/compile_text.h"
#include "compiler/instructions.h"
#include "compiler/name_table.h"

namespace marlo::core::detail {

struct CompileFailure {
  std::string text;
};

// The text is read lower-cased (letters A-Z only), as the compiler always
// reads it, without making a lower-cased copy.
constexpr char Fold(char c) { return AsciiLower(c); }

// A set of characters as a table over the raw text, for the tight loop of
// ReadRun: a character is in the set when its lower-case form is taken by
// the test the set was built from. The table also marks the upper-case
// letters in the set, which a run must fold.
class CharSet {
 public:
  static constexpr std::uint8_t kIn = 1;
  static constexpr std::uint8_t kUpper = 2;

  template <typename Accepts>
  constexpr explicit CharSet(Accepts accepts) {
    for (int i = 0; i < 256; ++i) {
      const auto c = static_cast<char>(i);
      if (accepts(Fold(c))) flags_[i] = (c >= 'A' && c <= 'Z') ? kIn | kUpper : kIn;
    }
  }
  // kIn and kUpper as they apply to `c`; 0 for a character not in the set.
  std::uint8_t Flags(char c) const { return flags_[static_cast<unsigned char>(c)]; }

 private:
  std::uint8_t flags_[256] = {};
};

class CompileRun {
 public:
  CompileRun(std::string_view source, const CompileOptions& options);
  // Reads the text from `stream` as it arrives.
  CompileRun(TextStream& stream, const CompileOptions& options);

  // Throws CompileFailure.
  void Run();

  CobImage TakeImage();
  int Row() const { return row_; }
  int Col() const { return col_; }

 private:
  // --- scanner ---------------------------------------------------------
  // The current character, or 0 at the end.
  char Peek() { return Have(1) ? Fold(text_[pos_]) : '\0'; }
  // Every few thousand characters moved past, the progress display moves,
  // the owner's events run and a cancelled compile stops: a Cancel, which
  // can only arrive while events run, or from another thread, takes effect
  // within a few thousand characters.
  void CountProgress(std::size_t n) {
    if (n < charsUntilProgress_)
      charsUntilProgress_ -= static_cast<std::uint32_t>(n);
    else
      ShowProgress();
  }
  void ShowProgress();
  // A character ahead of the current one.
  char CharAt(std::size_t offset) { return Have(offset + 1) ? Fold(text_[pos_ + offset]) : '\0'; }
  // Whether the characters from the next one on read "-axis". Asked of
  // every name in an expression, so the "-" is looked at first.
  bool AxisSuffixFollows() {
    constexpr std::string_view kSuffix = "-axis";
    if (!Have(kSuffix.size() + 1) || text_[pos_ + 1] != '-') return false;
    for (std::size_t i = 1; i < kSuffix.size(); ++i)
      if (Fold(text_[pos_ + 1 + i]) != kSuffix[i]) return false;
    return true;
  }
  bool AtEnd() { return !Have(1); }
  // Whether `n` characters from the scan position on are there; text still
  // arriving from a stream is waited for.
  bool Have(std::size_t n) { return pos_ + n <= text_.size() || Refill(pos_ + n); }
  bool Refill(std::size_t needed);
  // The scan position counted from the start of the whole text.
  std::size_t Position() const { return base_ + pos_; }
  char Consume() {
    const char c = Peek();
    if (pos_ >= text_.size()) return c;  // Peek found the end
    ++pos_;
    ++col_;
    if (c == '\n') {
      ++row_;
      col_ = 0;
    }
    CountProgress(1);
    return c;
  }
  void ConsumeN(std::size_t n);
  void Drop(std::size_t n);  // skips without counting rows and columns

  // Names, words and numbers are read as runs rather than a character at a
  // time. ReadRun moves past the characters from the scan position on that
  // are in `accepts` and returns them lower-cased: straight from the text
  // when there is nothing to fold, else copied to `scratch`. A view into
  // the text holds only until the text is next looked at (Have may move
  // it). No set holds a line break, so only the column moves.
  std::string_view ReadRun(const CharSet& accepts, std::string& scratch);
  // Appends the run to `out`, lower-cased, and to `raw` as written.
  void ConsumeRun(const CharSet& accepts, std::string& out, std::string* raw = nullptr);
  // The shared parts of the two.
  std::size_t RunLength(const CharSet& accepts, std::uint8_t& flags);
  void MovePastRun(std::size_t n);

  // White space is LF, CR and blank; a tab is not.
  static bool IsWhiteSpace(char c) { return c == ' ' || c == '\n' || c == '\r'; }
  void SkipWhiteSpace() {
    // Most calls find no white space at all, or one blank between words.
    if (pos_ + 1 < text_.size()) {
      if (!IsWhiteSpace(text_[pos_])) return;
      if (text_[pos_] == ' ' && !IsWhiteSpace(text_[pos_ + 1])) {
        ++pos_;
        ++col_;
        CountProgress(1);
        return;
      }
    }
    SkipWhiteSpaceRun();
  }
  void SkipWhiteSpaceRun();
  bool HasPrefix(std::string_view keyword);
  // HasPrefix for a whole word: no name character follows it.
  bool AtWord(std::string_view word);
  // The current character quoted for a message, or "end of text".
  std::string FoundText();
  [[noreturn]] void Fail(std::string text) const;
  // "Unexpected 'c' in <where>" or "Unexpected end of text in <where>".
  [[noreturn]] void FailUnexpected(std::string_view where);

  // --- declarations (compile_run.cpp) -------------------------------------
  void CompilePieceDeclaration();
  void CompileStaticDeclaration();
  void CompileScriptDefinition();
  // The lower-cased name; `spelling` receives it as written.
  std::string ReadScriptName(std::string* spelling = nullptr);
  void ResolvePendingReferences();

  // --- statements (statement_compiler.cpp) --------------------------------
  void CompileBlock();
  void CompileStatementList();
  void ProcessStatement();
  bool CompileKeywordStatement(const std::string& word);
  void CompileAssignment(const std::string& name);
  void ExpectKeyword(std::string_view keyword, std::string_view message);
  void ReadAxis();
  void CompilePieceOperand(std::string_view statement);
  void CompileScriptCall(Opcode opcode);
  void CompileNameList(bool statics, std::string_view where);
  void CompileMoveOrTurn(bool turn);
  void CompileSpin();
  void CompileStopSpin();
  // Extended language: a block or one statement ending in ";".
  void CompileBody();
  void CompileIf();
  // "++x" / "--x" (or "++ x"): x = x + 1 or x - 1.
  static bool IsStepWord(const std::string& word);
  void CompileStep(const std::string& word);

  // --- expressions (expression_compiler.cpp) ------------------------------
  void ProcessExpression();
  void ProcessEqTerm();
  void ProcessTerm();
  void ProcessFactor();
  // Fails with `tooMany` at an argument beyond `most`.
  int ParseArguments(int most = -1, std::string_view tooMany = {});
  bool AtOperator();
  void ReadOperator();
  std::string ReadNumberText();
  std::string ReadLiteralText(char close);
  // A failed conversion is warned of at (row, col), where the literal began.
  void EmitLiteral(std::string_view text, long double scale, std::string_view warning, int row, int col);
  void CompileGet();
  // Extended language: C precedence over unary operators and factors.
  void ExtendedExpression();
  void ParseUnary();
  struct ExtendedOperator {
    Opcode opcode;
    int level;  // binds tighter as it grows
    std::size_t length;
  };
  bool AtBinaryOperator(ExtendedOperator& op);
  void CompileExtendedGet();
  // "unknown_unit_value (n)": the text of n, or false when not there.
  bool ReadUnknownUnitValue(std::string& number);
  void CompileName();

  // --- code ----------------------------------------------------------------
  std::uint32_t WordIndex() const { return static_cast<std::uint32_t>(code_.size()); }
  void Emit(std::uint32_t word) { code_.push_back(word); }
  void Emit(Opcode op) { code_.push_back(static_cast<std::uint32_t>(op)); }

  // Statements write their parts in another order than compiled. A piece
  // operand and an axis are one word each and are lifted out; expressions
  // are swapped in place, without copies.
  std::uint32_t TakeLastWord() {
    const std::uint32_t word = code_.back();
    code_.pop_back();
    return word;
  }
  // Moves the code from `later` on in front of the code from `mark` on.
  void MoveInFront(std::uint32_t mark, std::uint32_t later);

  static constexpr int kMaxNativeDepth = kMaxNestingDepth;
  [[noreturn]] void FailNestingLimit() const;

  struct PendingReference {
    std::string name;
    std::uint32_t position;
    int row;  // where the name was read, for the error when it stays undefined
    int col;
  };

  const CompileOptions& options_;
  std::string_view text_;  // the text, or the part of a stream held in buffer_
  std::size_t pos_ = 0;    // scan position in text_
  TextStream* stream_ = nullptr;
  std::string buffer_;
  std::size_t base_ = 0;  // position of buffer_'s first character in the whole text
  int row_ = 0;
  int col_ = 0;
  std::uint32_t charsUntilProgress_ = 1;  // the first character shows the progress at once

  // Binary operators waiting for their right operand.
  std::vector<Opcode> operatorStack_;
  std::vector<ExtendedOperator> pendingOperators_;  // the extended language's
  std::string nameText_;                            // CompileName's name when folded; kept to reuse its storage
  NameTable staticVars_{NameTable::Finds::kLast};
  NameTable pieces_{NameTable::Finds::kFirst};
  NameTable locals_{NameTable::Finds::kLast};
  NameTable scripts_{NameTable::Finds::kFirst};
  std::vector<std::string> scriptSpellings_;  // extended language: as written
  std::vector<std::uint32_t> code_;
  std::vector<std::uint32_t> scriptStarts_;
  std::vector<PendingReference> pending_;
  std::string currentScript_;
  int nesting_ = 0;
  int blockDepth_ = 0;
  bool pieceFlag_ = false;
  // Word index of the last bare piece word a piece operand produced.
  std::int64_t barePieceWordAt_ = -1;
};

}  // namespace marlo::core::detail
