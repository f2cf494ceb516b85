// Statements: blocks, the statement keywords and assignments.
//
// Statements that need their operands in another order than the source
// gives them (move, turn, spin, stop-spin, explode) compile each operand,
// capture it out of the code, and write the parts back in the order the
// game expects.
#include <algorithm>
#include <array>

#include "compiler/compile_run.h"

namespace marlo::core::detail {
namespace {

constexpr bool IsLetter(char c) { return c >= 'a' && c <= 'z'; }
constexpr bool IsIdentifierChar(char c) { return IsLetter(c) || (c >= '0' && c <= '9') || c == '_'; }
constexpr bool EndsStatementWord(char c) {
  return c == '\n' || c == '\r' || c == ' ' || c == '(' || c == ')' || c == '=';
}

constexpr CharSet kIdentifierChars(IsIdentifierChar);
constexpr CharSet kStatementWordChars([](char c) { return !EndsStatementWord(c); });

}  // namespace

// block: "{" { block | statement-list } "}"
void CompileRun::CompileBlock() {
  if (++blockDepth_ + nesting_ > kMaxNativeDepth) FailNestingLimit();
  Consume();  // the opening brace; not checked
  for (char c = Peek(); c != '}'; c = Peek()) {
    if (AtEnd()) FailUnexpected("block");
    if (c == '{')
      CompileBlock();
    else
      CompileStatementList();
  }
  Consume();
  --blockDepth_;
}

void CompileRun::CompileStatementList() {
  SkipWhiteSpace();
  while (Peek() != '}') {
    if (AtEnd()) FailUnexpected("block");
    ProcessStatement();
    if (Peek() == ';') Consume();
  }
}

// Statements up to the next ";" or "}". No ";" is needed between keyword
// statements; after an assignment the word is kept, so whatever follows is
// joined to it.
void CompileRun::ProcessStatement() {
  std::string word;
  SkipWhiteSpace();
  for (char c = Peek(); c != ';' && c != '}'; c = Peek()) {
    if (AtEnd()) FailUnexpected("block");
    const std::size_t start = Position();
    if (c == '{') {
      CompileBlock();
    } else {
      ConsumeRun(kStatementWordChars, word);
    }
    SkipWhiteSpace();
    if (CompileKeywordStatement(word)) {
      word.clear();
    } else if (options_.extended && IsStepWord(word)) {
      CompileStep(word);
      word.clear();
    } else if (options_.extended && word == "else") {
      Fail("'else' without 'if'");
    } else if (Peek() == '=') {
      CompileAssignment(word);
    } else if (!word.empty()) {
      Fail("Syntax Error '" + word + "'");
    } else if (Position() == start) {
      FailUnexpected("statement");
    }
  }
}

void CompileRun::ExpectKeyword(std::string_view keyword, std::string_view message) {
  SkipWhiteSpace();
  if (!HasPrefix(keyword)) Fail(std::string(message));
  ConsumeN(keyword.size());
}

// axis: "x-axis" | "y-axis" | "z-axis"; one bare word 0, 1 or 2.
void CompileRun::ReadAxis() {
  SkipWhiteSpace();
  if (!AxisSuffixFollows()) Fail("An axis was expected and not found");
  // Only the first letter is left to tell the axes apart.
  const char first = CharAt(0);
  ConsumeN(6);
  if (first < 'x' || first > 'z') Fail("Undefined axis '" + std::string(1, first) + "-axis' was found");
  Emit(static_cast<std::uint32_t>(first - 'x'));
}

// A piece operand follows its opcode as exactly one word: the index of a
// piece (or of "base"), possibly in parentheses. Anything else would give
// the game code it cannot run.
void CompileRun::CompilePieceOperand(std::string_view statement) {
  const std::uint32_t start = WordIndex();
  pieceFlag_ = true;
  barePieceWordAt_ = -1;
  ProcessExpression();
  pieceFlag_ = false;
  if (WordIndex() != start + 1 || barePieceWordAt_ != start)
    Fail("Piece name expected in '" + std::string(statement) + "' statement");
}

// call: name "(" arguments ")"; a script not yet defined is patched at the end.
void CompileRun::CompileScriptCall(Opcode opcode) {
  const std::string name = ReadScriptName();
  const int nameRow = row_;
  const int nameCol = col_;
  const int index = scripts_.IndexOf(name);
  const int count = ParseArguments();
  Emit(opcode);
  if (index < 0) {
    pending_.push_back({name, WordIndex(), nameRow, nameCol});
    Emit(0);
  } else {
    Emit(static_cast<std::uint32_t>(index));
  }
  Emit(static_cast<std::uint32_t>(count));
}

// names: [ name ] { "," [ name ] } up to ";" (not consumed). Locals get an
// ALLOCATE_STACK each; statics declared in a script belong to the file.
void CompileRun::CompileNameList(bool statics, std::string_view where) {
  std::string name;
  auto add = [&] {
    if (statics) {
      staticVars_.Push(name);
    } else {
      Emit(Opcode::ALLOCATE_STACK);
      locals_.Push(name);
    }
    name.clear();
  };
  for (char c = Peek(); c != ';'; c = Peek()) {
    if (AtEnd()) FailUnexpected(where);
    if ((IsLetter(c) && name.empty()) || (IsIdentifierChar(c) && !name.empty())) {
      name += Consume();
      ConsumeRun(kIdentifierChars, name);
    } else if (c == ',') {
      add();
      Consume();
    } else if (c == ' ' || (statics && IsWhiteSpace(c))) {  // a static-var list may run over lines
      Consume();
    } else {
      FailUnexpected(where);
    }
  }
  if (!name.empty()) add();
}

// "move"|"turn" P "to" axis E1 ("now" | "speed" E2)
//   now:   E1, MOVE_NOW|TURN_NOW, P, axis
//   speed: E2, E1, MOVE|TURN, P, axis
void CompileRun::CompileMoveOrTurn(bool turn) {
  CompilePieceOperand(turn ? "turn" : "move");
  const std::uint32_t piece = TakeLastWord();
  ExpectKeyword("to", turn ? "Expecting 'to' in Turn statement" : "Expecting 'to' in Move statement");
  ReadAxis();
  const std::uint32_t axis = TakeLastWord();
  const std::uint32_t target = WordIndex();
  ProcessExpression();
  SkipWhiteSpace();
  Opcode opcode;
  if (HasPrefix("now")) {
    ConsumeN(3);
    opcode = turn ? Opcode::TURN_NOW : Opcode::MOVE_NOW;
  } else if (HasPrefix("speed")) {
    ConsumeN(5);
    const std::uint32_t speed = WordIndex();
    ProcessExpression();
    MoveInFront(target, speed);
    opcode = turn ? Opcode::TURN : Opcode::MOVE;
  } else {
    Fail(turn ? "Expected 'now' or 'speed' in Turn statement" : "Expected 'now' or 'speed' in Move statement");
  }
  Emit(opcode);
  Emit(piece);
  Emit(axis);
}

// "spin" P "around" axis "speed" E1 ["accelerate" E2]
//   E2 (or 0), E1, SPIN, P, axis
void CompileRun::CompileSpin() {
  CompilePieceOperand("spin");
  const std::uint32_t piece = TakeLastWord();
  ExpectKeyword("around", "Expecting 'around' in Spin statement");
  ReadAxis();
  const std::uint32_t axis = TakeLastWord();
  ExpectKeyword("speed", "Expecting 'speed' in Spin statement");
  const std::uint32_t speed = WordIndex();
  ProcessExpression();
  SkipWhiteSpace();
  const std::uint32_t acceleration = WordIndex();
  if (HasPrefix("accelerate")) {
    ConsumeN(10);
    ProcessExpression();
  } else {
    Emit(Opcode::PUSH_CONSTANT);
    Emit(0);
  }
  MoveInFront(speed, acceleration);
  Emit(Opcode::SPIN);
  Emit(piece);
  Emit(axis);
}

// "stop-spin" P "around" axis ["decelerate" E]
//   E (or 0), STOP_SPIN, P, axis
void CompileRun::CompileStopSpin() {
  CompilePieceOperand("stop-spin");
  const std::uint32_t piece = TakeLastWord();
  ExpectKeyword("around", "Expecting 'around' in Stop-spin statement");
  ReadAxis();
  const std::uint32_t axis = TakeLastWord();
  SkipWhiteSpace();
  if (HasPrefix("decelerate")) {
    ConsumeN(10);
    ProcessExpression();
  } else {
    Emit(Opcode::PUSH_CONSTANT);
    Emit(0);
  }
  Emit(Opcode::STOP_SPIN);
  Emit(piece);
  Emit(axis);
}

// Compiles the statement named by `word` (already consumed); false when the
// word is no statement keyword.
bool CompileRun::CompileKeywordStatement(const std::string& word) {
  enum class Statement {
    kAttachUnit,
    kCache,
    kCallScript,
    kDontCache,
    kDontShade,
    kDropUnit,
    kEmitSfx,
    kExplode,
    kGet,
    kHide,
    kIf,
    kMove,
    kRand,
    kReturn,
    kSet,
    kSetSignalMask,
    kShade,
    kShow,
    kSignal,
    kSleep,
    kSpin,
    kStartScript,
    kStaticVar,
    kStopSpin,
    kTurn,
    kVar,
    kWaitForMove,
    kWaitForTurn,
    kWhile
  };
  struct Keyword {
    std::string_view name;
    Statement statement;
  };
  // The statement keywords, sorted by name.
  static constexpr std::array<Keyword, 29> kKeywords{{
      {"attach-unit", Statement::kAttachUnit},
      {"cache", Statement::kCache},
      {"call-script", Statement::kCallScript},
      {"dont-cache", Statement::kDontCache},
      {"dont-shade", Statement::kDontShade},
      {"drop-unit", Statement::kDropUnit},
      {"emit-sfx", Statement::kEmitSfx},
      {"explode", Statement::kExplode},
      {"get", Statement::kGet},
      {"hide", Statement::kHide},
      {"if", Statement::kIf},
      {"move", Statement::kMove},
      {"rand", Statement::kRand},
      {"return", Statement::kReturn},
      {"set", Statement::kSet},
      {"set-signal-mask", Statement::kSetSignalMask},
      {"shade", Statement::kShade},
      {"show", Statement::kShow},
      {"signal", Statement::kSignal},
      {"sleep", Statement::kSleep},
      {"spin", Statement::kSpin},
      {"start-script", Statement::kStartScript},
      {"static-var", Statement::kStaticVar},
      {"stop-spin", Statement::kStopSpin},
      {"turn", Statement::kTurn},
      {"var", Statement::kVar},
      {"wait-for-move", Statement::kWaitForMove},
      {"wait-for-turn", Statement::kWaitForTurn},
      {"while", Statement::kWhile},
  }};
  static_assert(std::is_sorted(kKeywords.begin(), kKeywords.end(),
                               [](const Keyword& a, const Keyword& b) { return a.name < b.name; }));
  // Every statement word is looked up: only the keywords with the word's
  // first letter, kFirstWith[letter] up to kFirstWith[letter + 1], are
  // compared.
  static constexpr auto kFirstWith = [] {
    std::array<std::uint8_t, 27> first{};
    std::size_t k = 0;
    for (int letter = 0; letter <= 26; ++letter) {
      while (k < kKeywords.size() && kKeywords[k].name[0] < 'a' + letter) ++k;
      first[letter] = static_cast<std::uint8_t>(k);
    }
    return first;
  }();
  if (word.empty() || word[0] < 'a' || word[0] > 'z') return false;
  const Keyword* found = nullptr;
  const int letter = word[0] - 'a';
  for (std::size_t k = kFirstWith[letter]; k < kFirstWith[letter + 1] && !found; ++k)
    if (kKeywords[k].name == word) found = &kKeywords[k];
  if (!found) return false;

  auto pieceStatement = [&](Opcode opcode) {
    Emit(opcode);
    CompilePieceOperand(word);
  };

  switch (found->statement) {
    case Statement::kAttachUnit: {
      ProcessExpression();
      ExpectKeyword("to", "Syntax Error: Expected 'to' in Attach-unit statement");
      ProcessExpression();
      Emit(Opcode::PUSH_CONSTANT);
      Emit(0);
      Emit(Opcode::ATTACH_UNIT);
      break;
    }
    case Statement::kCache: {
      pieceStatement(Opcode::CACHE);
      break;
    }
    case Statement::kCallScript: {
      CompileScriptCall(Opcode::CALL_SCRIPT);
      break;
    }
    case Statement::kDontCache: {
      pieceStatement(Opcode::DONT_CACHE);
      break;
    }
    case Statement::kDontShade: {
      pieceStatement(Opcode::DONT_SHADE);
      break;
    }
    case Statement::kDropUnit: {
      ProcessExpression();
      // Today's engine takes one value; the original instruction two.
      if (!options_.extended) {
        Emit(Opcode::PUSH_CONSTANT);
        Emit(0);
      }
      Emit(Opcode::DROP_UNIT);
      break;
    }
    case Statement::kEmitSfx: {
      ProcessExpression();
      ExpectKeyword("from", "Expected 'from' in emit-sfx call");
      pieceStatement(Opcode::EMIT_SFX);
      break;
    }
    case Statement::kExplode: {
      CompilePieceOperand("explode");
      const std::uint32_t piece = TakeLastWord();
      ExpectKeyword("type", "Expected 'type' in explosion call");
      ProcessExpression();
      Emit(Opcode::EXPLODE);
      Emit(piece);
      break;
    }
    case Statement::kGet: {
      if (options_.extended)
        CompileExtendedGet();
      else
        ProcessExpression();
      break;
    }
    case Statement::kRand: {
      ProcessExpression();
      break;
    }
    case Statement::kHide: {
      pieceStatement(Opcode::HIDE);
      break;
    }
    case Statement::kIf: {
      if (options_.extended) {
        CompileIf();
        break;
      }
      ProcessExpression();
      Emit(Opcode::JUMP_IF_FALSE);
      const std::uint32_t placeholder = WordIndex();
      Emit(0);
      CompileBlock();
      code_[placeholder] = WordIndex();
      break;
    }
    case Statement::kMove: {
      CompileMoveOrTurn(false);
      break;
    }
    case Statement::kReturn: {
      bool bare = false;  // "return;" without a value
      if (options_.extended) {
        SkipWhiteSpace();
        bare = Peek() == ';';
      }
      if (bare) {
        Emit(Opcode::PUSH_CONSTANT);
        Emit(0);
      } else {
        ProcessExpression();
      }
      Emit(Opcode::RETURN);
      break;
    }
    case Statement::kSet: {
      std::string number;
      const int row = row_;
      const int col = col_;
      if (options_.extended && ReadUnknownUnitValue(number)) {
        EmitLiteral(number, 1.0L, "ProcessFactor | Number excepted", row, col);
      } else {
        ProcessExpression();
      }
      ExpectKeyword("to", "Expected 'to' in Set statement");
      ProcessExpression();
      Emit(Opcode::SET_VALUE);
      break;
    }
    case Statement::kSetSignalMask: {
      ProcessExpression();
      Emit(Opcode::SET_SIGNAL_MASK);
      break;
    }
    case Statement::kShade: {
      pieceStatement(Opcode::SHADE);
      break;
    }
    case Statement::kShow: {
      pieceStatement(Opcode::SHOW);
      break;
    }
    case Statement::kSignal: {
      ProcessExpression();
      Emit(Opcode::SIGNAL);
      break;
    }
    case Statement::kSleep: {
      ProcessExpression();
      Emit(Opcode::SLEEP);
      break;
    }
    case Statement::kSpin: {
      CompileSpin();
      break;
    }
    case Statement::kStartScript: {
      CompileScriptCall(Opcode::START_SCRIPT);
      break;
    }
    case Statement::kStopSpin: {
      CompileStopSpin();
      break;
    }
    case Statement::kTurn: {
      CompileMoveOrTurn(true);
      break;
    }
    case Statement::kWaitForMove: {
      pieceStatement(Opcode::WAIT_FOR_MOVE);
      ExpectKeyword("along", "Expected 'along' in Wait-for-move statement");
      ReadAxis();
      break;
    }
    case Statement::kWaitForTurn: {
      pieceStatement(Opcode::WAIT_FOR_TURN);
      ExpectKeyword("around", "Expected 'around' in Wait-for-turn statement");
      ReadAxis();
      break;
    }
    case Statement::kWhile: {
      const std::uint32_t condition = WordIndex();
      ProcessExpression();
      Emit(Opcode::JUMP_IF_FALSE);
      const std::uint32_t placeholder = WordIndex();
      Emit(0);
      if (options_.extended)
        CompileBody();
      else
        CompileBlock();
      Emit(Opcode::JUMP);
      Emit(condition);
      code_[placeholder] = WordIndex();
      break;
    }
    case Statement::kVar: {
      CompileNameList(false, "var declaration");
      break;
    }
    case Statement::kStaticVar: {
      CompileNameList(true, "static-var declaration");
      break;
    }
  }
  return true;
}

// if-statement: "if" expression body [ "else" body ]
//   c, JUMP_IF_FALSE L1, S1, JUMP L2, L1: S2, L2   (without else: c, JUMP_IF_FALSE L, S, L:)
// An else belongs to the nearest if: the innermost one looks for it first.
void CompileRun::CompileIf() {
  ProcessExpression();
  Emit(Opcode::JUMP_IF_FALSE);
  const std::uint32_t toElse = WordIndex();
  Emit(0);
  CompileBody();
  SkipWhiteSpace();
  if (!AtWord("else")) {
    code_[toElse] = WordIndex();
    return;
  }
  ConsumeN(4);
  Emit(Opcode::JUMP);
  const std::uint32_t toEnd = WordIndex();
  Emit(0);
  code_[toElse] = WordIndex();
  CompileBody();
  code_[toEnd] = WordIndex();
}

// body: block | ";" | statement ";"   (an if or while ends with its own body)
void CompileRun::CompileBody() {
  SkipWhiteSpace();
  const char c = Peek();
  if (c == '{') {
    CompileBlock();
    return;
  }
  if (c == ';') {
    Consume();
    return;
  }
  // One statement nests like a block: "if (a) if (b) ..." recurses.
  if (++blockDepth_ + nesting_ > kMaxNativeDepth) FailNestingLimit();
  std::string word;
  ConsumeRun(kStatementWordChars, word);
  SkipWhiteSpace();
  if (CompileKeywordStatement(word)) {
    if (word == "if" || word == "while") {
      --blockDepth_;
      return;
    }
  } else if (IsStepWord(word)) {
    CompileStep(word);
  } else if (word == "else") {
    Fail("'else' without 'if'");
  } else if (!word.empty() && Peek() == '=') {
    CompileAssignment(word);
  } else if (!word.empty()) {
    Fail("Syntax Error '" + word + "'");
  } else {
    FailUnexpected("statement");
  }
  SkipWhiteSpace();
  if (Peek() != ';') Fail("Expected ';' after the statement, found " + FoundText());
  Consume();
  --blockDepth_;
}

bool CompileRun::IsStepWord(const std::string& word) {
  return word.size() >= 2 && (word[0] == '+' || word[0] == '-') && word[1] == word[0];
}

// "++" x | "--" x, the name joined to the operator or after a blank:
//   PUSH x, PUSH_CONSTANT 1, ADD|SUBTRACT, POP x
void CompileRun::CompileStep(const std::string& word) {
  const std::string op = word.substr(0, 2);
  std::string name = word.substr(2);
  if (name.empty()) ConsumeRun(kIdentifierChars, name);
  if (name.empty()) Fail("'" + op + "' needs a local or static variable, found " + FoundText());
  const NameTable::Key key(name);
  Opcode push = Opcode::PUSH_LOCAL;
  Opcode pop = Opcode::POP_LOCAL;
  int index = locals_.IndexOf(key);
  if (index < 0) {
    push = Opcode::PUSH_STATIC;
    pop = Opcode::POP_STATIC;
    index = staticVars_.IndexOf(key);
  }
  if (index < 0) Fail("'" + op + "' needs a local or static variable, found '" + name + "'");
  Emit(push);
  Emit(static_cast<std::uint32_t>(index));
  Emit(Opcode::PUSH_CONSTANT);
  Emit(1);
  Emit(op == "++" ? Opcode::ADD : Opcode::SUBTRACT);
  Emit(pop);
  Emit(static_cast<std::uint32_t>(index));
}

// name "=" expression; the name is a local or else a static, newest first.
void CompileRun::CompileAssignment(const std::string& name) {
  Consume();
  SkipWhiteSpace();
  ProcessExpression();
  const NameTable::Key key(name);
  if (const int local = locals_.IndexOf(key); local >= 0) {
    Emit(Opcode::POP_LOCAL);
    Emit(static_cast<std::uint32_t>(local));
  } else if (const int staticVar = staticVars_.IndexOf(key); staticVar >= 0) {
    Emit(Opcode::POP_STATIC);
    Emit(static_cast<std::uint32_t>(staticVar));
  } else {
    Fail("syntax error in assignment");
  }
}

}  // namespace marlo::core::detail
