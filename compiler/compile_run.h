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

#include "compiler/compile_text.h"
#include "compiler/instructions.h"
#include "compiler/name_table.h"
#include "compiler/text_stream.h"
#include "preprocessor/cs_string_list.h"

namespace marlo::core::detail {

struct CompileFailure {
  std::string text;
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
  // The text is read lower-cased (letters A-Z only), as the compiler always
  // reads it, without making a lower-cased copy.
  static char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

  // The current character, or 0 at the end. Now and then it also moves the
  // progress display, lets the owner's events run and stops a cancelled
  // compile: a Cancel, which can only arrive while events run, or from
  // another thread, takes effect within a few thousand characters.
  char Peek() {
    if (--peeksUntilProgress_ == 0) ShowProgress();
    return Have(1) ? Fold(text_[pos_]) : '\0';
  }
  void ShowProgress();
  // A character ahead of the current one, without progress or cancel checks.
  char CharAt(std::size_t offset) { return Have(offset + 1) ? Fold(text_[pos_ + offset]) : '\0'; }
  // Up to `n` characters from `offset` on, lower-cased.
  std::string Slice(std::size_t offset, std::size_t n);
  // Whether the characters from the next one on read "-axis".
  bool AxisSuffixFollows();
  bool AtEnd() { return !Have(1); }
  // Whether `n` characters from the scan position on are there; text still
  // arriving from a stream is waited for.
  bool Have(std::size_t n) { return pos_ + n <= text_.size() || Refill(pos_ + n); }
  bool Refill(std::size_t needed);
  // The scan position counted from the start of the whole text.
  std::size_t Position() const { return base_ + pos_; }
  char Consume() {
    const char c = Peek();
    if (AtEnd()) return c;
    ++pos_;
    ++col_;
    if (c == '\n') {
      ++row_;
      col_ = 0;
    }
    return c;
  }
  void ConsumeN(std::size_t n);
  void Drop(std::size_t n);  // skips without counting rows and columns
  // White space is LF, CR and blank; a tab is not.
  void SkipWhiteSpace() {
    Peek();
    for (; Have(1); ++pos_) {
      const char c = text_[pos_];
      if (c == ' ' || c == '\r') {
        ++col_;
      } else if (c == '\n') {
        ++row_;
        col_ = 0;
      } else {
        break;
      }
      if (--peeksUntilProgress_ == 0) ShowProgress();
    }
  }
  bool HasPrefix(std::string_view keyword);
  [[noreturn]] void Fail(std::string text) const;
  // "Unexpected 'c' in <where>" or "Unexpected end of text in <where>".
  [[noreturn]] void FailUnexpected(std::string_view where);

  // --- declarations (compile_run.cpp) -------------------------------------
  void CompilePieceDeclaration();
  void CompileStaticDeclaration();
  void CompileScriptDefinition();
  std::string ReadScriptName();
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

  // --- expressions (expression_compiler.cpp) ------------------------------
  void ProcessExpression();
  void ProcessEqTerm();
  void ProcessTerm();
  void ProcessFactor();
  int ParseArguments();
  bool AtOperator();
  void ReadOperator();
  std::string ReadNumberText();
  std::string ReadLiteralText(char close);
  void EmitLiteral(const std::string& text, long double scale, std::string_view warning);
  void CompileGet();
  void CompileName();

  // --- code ----------------------------------------------------------------
  std::uint32_t WordIndex() const { return static_cast<std::uint32_t>(code_.size()); }
  void Emit(std::uint32_t word) { code_.push_back(word); }
  void Emit(Opcode op) { code_.push_back(static_cast<std::uint32_t>(op)); }

  // Lifts the code emitted since `mark` out of the stream, so that a
  // statement can write its parts back in another order than compiled.
  std::vector<std::uint32_t> Capture(std::uint32_t mark);
  void Restore(const std::vector<std::uint32_t>& part) { code_.insert(code_.end(), part.begin(), part.end()); }

  // Blocks and expressions nest by recursion. Together they may not go
  // deeper than this, whatever RecurseDepth says, so that no input can
  // exhaust the native stack.
  static constexpr int kMaxNativeDepth = 2000;

  struct PendingReference {
    std::string name;
    std::uint32_t position;
  };

  const CompileOptions& options_;
  std::string_view text_;  // the text, or the part of a stream held in buffer_
  std::size_t pos_ = 0;    // scan position in text_
  TextStream* stream_ = nullptr;
  std::string buffer_;
  std::size_t base_ = 0;  // position of buffer_'s first character in the whole text
  int row_ = 0;
  int col_ = 0;
  std::uint32_t peeksUntilProgress_ = 1;

  TStack operatorStack_;
  NameTable staticVars_{NameTable::Finds::kLast};
  NameTable pieces_{NameTable::Finds::kFirst};
  NameTable locals_{NameTable::Finds::kLast};
  NameTable scripts_{NameTable::Finds::kFirst};
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
