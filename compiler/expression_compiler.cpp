// Expressions: three operator levels over factors.
//
//   expression := eq-term { op eq-term }   op: != == >= <= < > & | && || !
//   eq-term    := term { ("+" | "-") term }
//   term       := factor { ("*" | "/") factor }
//
// All comparison, bitwise and logical operators share the lowest level and
// associate to the left. Pending operators wait on the operator stack while
// their right operand is compiled.
#include <array>
#include <charconv>
#include <cmath>

#include "compiler/compile_run.h"

namespace marlo::core::detail {
namespace {

struct BinaryOperator {
  std::string_view text;
  Opcode opcode;
};

constexpr std::array<BinaryOperator, 11> kOperators{{
    {"!=", Opcode::NOT_EQUAL},
    {"==", Opcode::EQUAL},
    {">=", Opcode::GREATER_EQUAL},
    {"<=", Opcode::LESS_EQUAL},
    {"<", Opcode::LESS},
    {">", Opcode::GREATER},
    {"&", Opcode::BITWISE_AND},
    {"|", Opcode::BITWISE_OR},
    {"&&", Opcode::LOGICAL_AND},
    {"||", Opcode::LOGICAL_OR},
    {"!", Opcode::LOGICAL_NOT},
}};

const BinaryOperator* FindOperator(std::string_view text) {
  for (const auto& op : kOperators)
    if (op.text == text) return &op;
  return nullptr;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameChar(char c) { return c == '-' || IsDigit(c) || (c >= 'a' && c <= 'z') || c == '_'; }
bool JoinsOperator(char c) { return c == '&' || c == '=' || c == '|'; }

// A decimal text as the compiler's literals allow it: optional "-", digits
// with at most one ".", at least one digit.
bool ParseDecimal(const std::string& text, long double& value) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  bool digits = false;
  bool plain = text.size() <= 18;
  for (char c : text) {
    digits = digits || IsDigit(c);
    plain = plain && IsDigit(c);
  }
  if (!digits) return false;
  if (plain) {
    // Most literals are small whole numbers, exact in any precision.
    std::int64_t whole = 0;
    for (char c : text) whole = whole * 10 + (c - '0');
    value = static_cast<long double>(whole);
    return true;
  }
  auto [end, error] = std::from_chars(first, last, value, std::chars_format::fixed);
  return error == std::errc() && end == last && std::isfinite(value);
}

// The low 32 bits of the value truncated toward zero.
std::uint32_t TruncatedWord(long double value) {
  constexpr long double kWordRange = 4294967296.0L;
  long double low = std::fmod(std::trunc(value), kWordRange);
  if (low < 0) low += kWordRange;
  return static_cast<std::uint32_t>(low);
}

}  // namespace

void CompileRun::ProcessExpression() {
  ++nesting_;
  if (nesting_ >= options_.recurseDepth || nesting_ + blockDepth_ >= kMaxNativeDepth)
    Fail("RecurseDepth reached or exceeded in function '" + currentScript_ + "'.  Aborting a likely compiler crash");
  ProcessEqTerm();
  SkipWhiteSpace();
  while (AtOperator()) {
    ReadOperator();
    SkipWhiteSpace();
    ProcessEqTerm();
    SkipWhiteSpace();
    const std::string text = operatorStack_.Pop();
    const BinaryOperator* op = FindOperator(text);
    if (!op) {
      operatorStack_.Push(text);
      Fail("Bad Equality in ProcessExpression");
    }
    Emit(op->opcode);
  }
  --nesting_;
}

bool CompileRun::AtOperator() {
  const char first = Peek();
  // Every operator of this level starts with one of these.
  if (first != '!' && first != '=' && first != '<' && first != '>' && first != '&' && first != '|') return false;
  char text[2] = {first, CharAt(1)};
  return FindOperator(std::string_view(text, JoinsOperator(text[1]) ? 2 : 1)) != nullptr;
}

// "< =" reads as "<=" and "! =" as "!="; a text that is no operator pushes
// nothing, which the pop after the right operand then reports.
void CompileRun::ReadOperator() {
  std::string text(1, Consume());
  if (Peek() == ' ' && CharAt(1) == '=') Consume();
  if (JoinsOperator(Peek())) text += Consume();
  if (FindOperator(text)) operatorStack_.Push(text);
}

void CompileRun::ProcessEqTerm() {
  ProcessTerm();
  SkipWhiteSpace();
  for (char c = Peek(); c == '+' || c == '-'; c = Peek()) {
    Consume();
    SkipWhiteSpace();
    ProcessTerm();
    SkipWhiteSpace();
    Emit(c == '+' ? Opcode::ADD : Opcode::SUBTRACT);
  }
}

void CompileRun::ProcessTerm() {
  ProcessFactor();
  SkipWhiteSpace();
  for (char c = Peek(); c == '*' || c == '/'; c = Peek()) {
    Consume();
    SkipWhiteSpace();
    ProcessFactor();
    SkipWhiteSpace();
    Emit(c == '*' ? Opcode::MULTIPLY : Opcode::DIVIDE);
  }
}

// number: ["-"] digits with at most one "."; white space may follow the "-".
std::string CompileRun::ReadNumberText() {
  std::string text;
  if (Peek() == '-') text += Consume();
  SkipWhiteSpace();
  bool dot = false;
  for (char c = Peek(); IsDigit(c) || (c == '.' && !dot); c = Peek()) {
    dot = dot || c == '.';
    text += Consume();
  }
  return text;
}

// "[" number "]" or "<" number ">"; white space anywhere inside is ignored,
// so "< 4 5 >" is 45.
std::string CompileRun::ReadLiteralText(char close) {
  SkipWhiteSpace();
  Consume();
  SkipWhiteSpace();
  std::string text;
  if (Peek() == '-') text += Consume();
  SkipWhiteSpace();
  bool dot = false;
  for (char c = Peek(); c == '\n' || c == '\r' || c == ' ' || c == '.' || IsDigit(c); c = Peek()) {
    if (c == '.') {
      if (dot) Fail("Syntax Error: '.' not expected");
      dot = true;
      text += Consume();
    } else if (IsDigit(c)) {
      text += Consume();
    } else {
      Consume();
    }
  }
  SkipWhiteSpace();
  if (Peek() != close) Fail(close == ']' ? "Syntax Error: ']' expected" : "Syntax Error: '>' expected");
  Consume();
  return text;
}

// A literal that does not convert is reported and compiled as 0, so the code
// stays well-formed.
void CompileRun::EmitLiteral(const std::string& text, long double scale, std::string_view warning) {
  Emit(Opcode::PUSH_CONSTANT);
  long double value = 0;
  if (!ParseDecimal(text, value)) {
    if (options_.onWarning) options_.onWarning(std::string(warning));
    Emit(0);
    return;
  }
  Emit(TruncatedWord(value * scale));
}

// "get " number [ "(" arguments ")" ]
void CompileRun::CompileGet() {
  Drop(4);
  const std::string text = ReadNumberText();
  long double value = 0;
  if (!ParseDecimal(text, value)) Fail("'" + text + "' is not a valid floating point value");
  Emit(Opcode::PUSH_CONSTANT);
  Emit(TruncatedWord(value));

  int k = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), k);
  if (error != std::errc() || end != text.data() + text.size()) Fail("'" + text + "' is not a valid integer value");

  int expected = 0;
  if ((k >= 1 && k <= 6) || (k >= 16 && k <= 20)) {
    Emit(Opcode::GET_VALUE);
    return;
  }
  if (k >= 7 && k <= 13)
    expected = 1;
  else if (k >= 14 && k <= 15)
    expected = 2;
  else
    return;

  int count = 0;
  try {
    count = ParseArguments();
  } catch (const CompileFailure& failure) {
    if (failure.text == "Compile Aborted") throw;
    Fail("Syntax Error");
  }
  if (count != expected) Fail("Syntax Error");
  for (int i = expected; i < 4; ++i) {
    Emit(Opcode::PUSH_CONSTANT);
    Emit(0);
  }
  Emit(Opcode::GET_VALUE_ARGS);
}

// A name: a local, else a static (both newest first), else a piece (first
// declared first). In a piece operand a piece yields its bare index.
void CompileRun::CompileName() {
  std::string name;
  while (IsNameChar(Peek())) name += Consume();
  if (const int local = locals_.IndexOf(name); local >= 0) {
    Emit(Opcode::PUSH_LOCAL);
    Emit(static_cast<std::uint32_t>(local));
  } else if (const int staticVar = staticVars_.IndexOf(name); staticVar >= 0) {
    Emit(Opcode::PUSH_STATIC);
    Emit(static_cast<std::uint32_t>(staticVar));
  } else if (const int piece = pieces_.IndexOf(name); piece >= 0) {
    if (pieceFlag_) {
      barePieceWordAt_ = WordIndex();
    } else {
      Emit(Opcode::PUSH_CONSTANT);
    }
    Emit(static_cast<std::uint32_t>(piece));
  } else {
    Fail("Unexpected keyword or identifier '" + name + "' while searching for piece or variable");
  }
}

// Keyword tests are prefix tests: "trueval" reads as "true", and the rest
// is left for whatever follows.
void CompileRun::ProcessFactor() {
  SkipWhiteSpace();
  const char c = Peek();
  if (c == '-' || c == '.' || IsDigit(c)) {
    EmitLiteral(ReadNumberText(), 1.0L, "ProcessFactor | Number excepted");
  } else if (c == '[') {
    EmitLiteral(ReadLiteralText(']'), options_.linearConst, "ProcessFactor | LinearValue excepted");
  } else if (c == '<') {
    EmitLiteral(ReadLiteralText('>'), options_.angularConst, "ProcessFactor | AngularValue excepted");
  } else if (c == 'g' && HasPrefix("get ")) {
    CompileGet();
  } else if (c == 'r' && HasPrefix("rand")) {
    Drop(4);
    if (ParseArguments() != 2) Fail("Syntax Error");
    Emit(Opcode::RAND);
  } else if (AxisSuffixFollows()) {
    const std::string name = Slice(0, 6);
    ConsumeN(6);
    std::uint32_t axis = 0;
    if (name == "x-axis")
      axis = 0;
    else if (name == "y-axis")
      axis = 1;
    else if (name == "z-axis")
      axis = 2;
    else
      Fail("Illegal axis name");
    // An axis is a bare word only where a piece operand stands; in a value
    // it is pushed like any constant.
    if (!pieceFlag_) Emit(Opcode::PUSH_CONSTANT);
    Emit(axis);
  } else if (c == 't' && HasPrefix("true")) {
    ConsumeN(4);
    Emit(Opcode::PUSH_CONSTANT);
    Emit(1);
  } else if (c == 'f' && HasPrefix("false")) {
    ConsumeN(5);
    Emit(Opcode::PUSH_CONSTANT);
    Emit(0);
  } else if (c == 'b' && HasPrefix("base") && pieces_.IndexOf("base") < 0) {
    ConsumeN(4);
    if (pieceFlag_)
      barePieceWordAt_ = WordIndex();
    else
      Emit(Opcode::PUSH_CONSTANT);
    Emit(0);
  } else if (c == '!' || (c == 'n' && HasPrefix("not") && !IsNameChar(CharAt(3)))) {
    if (c == '!' && CharAt(1) == '=') return;  // "!=" is left for the operator level
    ConsumeN(c == '!' ? 1 : 3);
    ProcessExpression();
    Emit(Opcode::LOGICAL_NOT);
  } else if (IsNameChar(c)) {
    CompileName();
  } else if (c == '(') {
    Consume();
    ProcessExpression();
    SkipWhiteSpace();
    if (Peek() == ')') Consume();
  } else if (c == ')') {
    Consume();
  } else if (AtEnd()) {
    FailUnexpected("expression");
  } else {
    // Nothing takes this character: the nesting limit ends the compile.
    ProcessExpression();
  }
}

// arguments: "(" [ expression ] { "," [ expression ] } ")"; empty places
// are not counted.
int CompileRun::ParseArguments() {
  SkipWhiteSpace();
  auto found = [this] { return AtEnd() ? std::string("end of text") : "'" + std::string(1, Fold(text_[pos_])) + "'"; };
  if (Peek() != '(') Fail("Syntax Error: Expected '(', found " + found());
  Consume();
  int count = 0;
  for (char c = Peek(); c != ')' && c != ';'; c = Peek()) {
    if (AtEnd()) FailUnexpected("argument list");
    SkipWhiteSpace();
    if (Peek() == ',') {
      Consume();
    } else {
      ProcessExpression();
      ++count;
    }
  }
  if (Peek() != ')') Fail("Syntax Error: Expected ')', found " + found());
  Consume();
  return count;
}

}  // namespace marlo::core::detail
