// Expressions: three operator levels over factors.
//
//   expression := eq-term { op eq-term }   op: != == >= <= < > & | && || !
//   eq-term    := term { ("+" | "-") term }
//   term       := factor { ("*" | "/") factor }
//
// All comparison, bitwise and logical operators share the lowest level and
// associate to the left. Pending operators wait on the operator stack while
// their right operand is compiled.
//
// The extended language has C's levels instead (lowest first):
//
//   || or | xor | && and | "|" | ^ | & | == != | < <= > >= | + - | * / %
//
// over unary ! not - ~ and the same factors. Its binary operators are
// ordered by an operator stack rather than by one routine per level, so an
// expression nests no deeper natively than in the original language.
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

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

// Operators are one or two characters, compared as such.
const BinaryOperator* FindOperator(std::string_view text) {
  for (const auto& op : kOperators)
    if (op.text.size() == text.size() && op.text[0] == text[0] && (text.size() == 1 || op.text[1] == text[1]))
      return &op;
  return nullptr;
}

constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsNameChar(char c) { return c == '-' || IsDigit(c) || (c >= 'a' && c <= 'z') || c == '_'; }

constexpr CharSet kDigits(IsDigit);
constexpr CharSet kNameChars(IsNameChar);
bool JoinsOperator(char c) { return c == '&' || c == '=' || c == '|'; }

// Most literals are short: ["-"] digits ["." digits], 18 digits at most.
// Their digits as a whole number and the power of ten to divide by are both
// exact, and one division rounds once, as the full conversion does. False
// for any other text.
bool ParseShortDecimal(std::string_view text, long double& value) {
  constexpr int kMaxDigits = 18;
  std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
  const bool negative = i == 1;
  std::int64_t whole = 0;
  std::int64_t divisor = 1;
  int digits = 0;
  int fractionStart = -1;  // digits before the "."
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      if (++digits > kMaxDigits) return false;
      whole = whole * 10 + (c - '0');
      if (fractionStart >= 0) divisor *= 10;
    } else if (c == '.' && fractionStart < 0 && digits > 0) {
      fractionStart = digits;
    } else {
      return false;
    }
  }
  if (digits == 0 || digits == fractionStart) return false;  // no digits, or none after the "."
  value = static_cast<long double>(whole);
  if (divisor > 1) value /= static_cast<long double>(divisor);
  if (negative) value = -value;
  return true;
}

#ifdef _WIN32
// MinGW's from_chars reads a long double through a double, so a long literal
// would lose the bits Linux keeps. Its strtold rounds correctly to all 64
// bits, as glibc's does behind from_chars; it reads the "C" locale's "."
// (marloc never sets a locale) and more forms than a literal has, so the
// text is checked first.
bool FullDecimal(std::string_view text, long double& value) {
  bool dot = false;
  for (std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0; i < text.size(); ++i) {
    if (text[i] == '.' && !dot) {
      dot = true;
    } else if (!IsDigit(text[i])) {
      return false;
    }
  }
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const long double read = std::strtold(copy.c_str(), &end);
  // Out of range either way fails, as from_chars does.
  if (errno == ERANGE || end != copy.c_str() + copy.size() || !std::isfinite(read)) return false;
  value = read;
  return true;
}
#else
bool FullDecimal(std::string_view text, long double& value) {
  const char* last = text.data() + text.size();
  auto [end, error] = std::from_chars(text.data(), last, value, std::chars_format::fixed);
  return error == std::errc() && end == last && std::isfinite(value);
}
#endif

// A decimal text as the compiler's literals allow it: optional "-", digits
// with at most one ".", at least one digit.
bool ParseDecimal(std::string_view text, long double& value) {
  if (ParseShortDecimal(text, value)) return true;
  bool digits = false;
  for (char c : text) digits = digits || IsDigit(c);
  return digits && FullDecimal(text, value);
}

// The low 32 bits of the value truncated toward zero.
std::uint32_t TruncatedWord(long double value) {
  // Within 64 bits the integer conversion truncates the same way, and its
  // low 32 bits are the remainder taken below.
  constexpr long double kInt64Range = 9223372036854775808.0L;
  if (value > -kInt64Range && value < kInt64Range) return static_cast<std::uint32_t>(static_cast<std::int64_t>(value));
  constexpr long double kWordRange = 4294967296.0L;
  long double low = std::fmod(std::trunc(value), kWordRange);
  if (low < 0) low += kWordRange;
  return static_cast<std::uint32_t>(low);
}

}  // namespace

void CompileRun::ProcessExpression() {
  ++nesting_;
  if (nesting_ >= options_.recurseDepth)
    Fail("RecurseDepth reached or exceeded in function '" + currentScript_ + "'.  Aborting a likely compiler crash");
  if (nesting_ + blockDepth_ >= kMaxNativeDepth) FailNestingLimit();
  if (options_.extended) {
    ExtendedExpression();
    --nesting_;
    return;
  }
  ProcessEqTerm();
  SkipWhiteSpace();
  while (AtOperator()) {
    ReadOperator();
    SkipWhiteSpace();
    ProcessEqTerm();
    SkipWhiteSpace();
    // A text that was no operator pushed nothing, so this may find the
    // stack empty.
    if (operatorStack_.empty()) Fail("Bad Equality in ProcessExpression");
    Emit(operatorStack_.back());
    operatorStack_.pop_back();
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
  char text[2] = {Consume(), '\0'};
  std::size_t length = 1;
  if (Peek() == ' ' && CharAt(1) == '=') Consume();
  if (JoinsOperator(Peek())) text[length++] = Consume();
  if (const BinaryOperator* op = FindOperator(std::string_view(text, length))) operatorStack_.push_back(op->opcode);
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
  ConsumeRun(kDigits, text);
  if (Peek() == '.') {
    text += Consume();
    ConsumeRun(kDigits, text);
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
  for (;;) {
    ConsumeRun(kDigits, text);
    const char c = Peek();
    if (IsWhiteSpace(c)) {
      SkipWhiteSpace();
    } else if (c == '.') {
      if (dot) Fail("Syntax Error: '.' not expected");
      dot = true;
      text += Consume();
    } else {
      break;
    }
  }
  SkipWhiteSpace();
  if (Peek() != close) Fail(close == ']' ? "Syntax Error: ']' expected" : "Syntax Error: '>' expected");
  Consume();
  return text;
}

// A literal that does not convert is reported and compiled as 0, so the code
// stays well-formed.
void CompileRun::EmitLiteral(std::string_view text, long double scale, std::string_view warning, int row, int col) {
  Emit(Opcode::PUSH_CONSTANT);
  long double value = 0;
  // A product too large for any number (a literal of thousands of digits,
  // an absurd scale) fails like a text without digits.
  if (!ParseDecimal(text, value) || !std::isfinite(value * scale)) {
    if (options_.onWarning) options_.onWarning({row, col, std::string(warning)});
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
  // Nothing reads on before the name is found or reported, so it can stay
  // a view into the text.
  const std::string_view name = ReadRun(kNameChars, nameText_);
  const NameTable::Key key(name);
  if (const int local = locals_.IndexOf(key); local >= 0) {
    Emit(Opcode::PUSH_LOCAL);
    Emit(static_cast<std::uint32_t>(local));
  } else if (const int staticVar = staticVars_.IndexOf(key); staticVar >= 0) {
    Emit(Opcode::PUSH_STATIC);
    Emit(static_cast<std::uint32_t>(staticVar));
  } else if (const int piece = pieces_.IndexOf(key); piece >= 0) {
    if (pieceFlag_) {
      barePieceWordAt_ = WordIndex();
    } else {
      Emit(Opcode::PUSH_CONSTANT);
    }
    Emit(static_cast<std::uint32_t>(piece));
  } else {
    Fail("Unexpected keyword or identifier '" + std::string(name) + "' while searching for piece or variable");
  }
}

// Keyword tests are prefix tests: "trueval" reads as "true", and the rest
// is left for whatever follows.
void CompileRun::ProcessFactor() {
  SkipWhiteSpace();
  const char c = Peek();
  const int row = row_;
  const int col = col_;
  if (c == '-' || c == '.' || IsDigit(c)) {
    EmitLiteral(ReadNumberText(), 1.0L, "ProcessFactor | Number excepted", row, col);
  } else if (c == '[') {
    EmitLiteral(ReadLiteralText(']'), options_.linearConst, "ProcessFactor | LinearValue excepted", row, col);
  } else if (c == '<') {
    EmitLiteral(ReadLiteralText('>'), options_.angularConst, "ProcessFactor | AngularValue excepted", row, col);
  } else if (c == 'g' && HasPrefix("get ")) {
    if (options_.extended) {
      Drop(4);
      CompileExtendedGet();
    } else {
      CompileGet();
    }
  } else if (c == 'r' && HasPrefix("rand")) {
    Drop(4);
    if (ParseArguments() != 2) Fail("Syntax Error");
    Emit(Opcode::RAND);
  } else if (AxisSuffixFollows()) {
    // "-axis" follows, so the first letter tells the axis.
    ConsumeN(6);
    if (c < 'x' || c > 'z') Fail("Illegal axis name");
    const auto axis = static_cast<std::uint32_t>(c - 'x');
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
  } else if (options_.extended && !IsNameChar(c) && c != '(') {
    // The operators before an operand were taken by ParseUnary.
    Fail("Expected an operand, found " + FoundText());
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
    if (Peek() == ')')
      Consume();
    else if (options_.extended)
      Fail("Syntax Error: Expected ')', found " + FoundText());
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
int CompileRun::ParseArguments(int most, std::string_view tooMany) {
  SkipWhiteSpace();
  if (Peek() != '(') Fail("Syntax Error: Expected '(', found " + FoundText());
  Consume();
  int count = 0;
  for (char c = Peek(); c != ')' && c != ';'; c = Peek()) {
    if (AtEnd()) FailUnexpected("argument list");
    SkipWhiteSpace();
    if (Peek() == ',') {
      Consume();
    } else {
      if (count == most) Fail(std::string(tooMany));
      ProcessExpression();
      ++count;
    }
  }
  if (Peek() != ')') Fail("Syntax Error: Expected ')', found " + FoundText());
  Consume();
  return count;
}

}  // namespace marlo::core::detail

namespace marlo::core::detail {

void CompileRun::ExtendedExpression() {
  const std::size_t base = pendingOperators_.size();
  ParseUnary();
  for (;;) {
    SkipWhiteSpace();
    ExtendedOperator op{};
    if (!AtBinaryOperator(op)) break;
    ConsumeN(op.length);
    // Left-associative: an operator waiting at the same level or tighter
    // has both its operands now.
    while (pendingOperators_.size() > base && pendingOperators_.back().level >= op.level) {
      Emit(pendingOperators_.back().opcode);
      pendingOperators_.pop_back();
    }
    pendingOperators_.push_back(op);
    ParseUnary();
  }
  while (pendingOperators_.size() > base) {
    Emit(pendingOperators_.back().opcode);
    pendingOperators_.pop_back();
  }
}

bool CompileRun::AtBinaryOperator(ExtendedOperator& op) {
  const char c = Peek();
  const char next = CharAt(1);
  auto take = [&op](Opcode opcode, int level, std::size_t length) {
    op = {opcode, level, length};
    return true;
  };
  switch (c) {
    case '|':
      return next == '|' ? take(Opcode::LOGICAL_OR, 1, 2) : take(Opcode::BITWISE_OR, 4, 1);
    case '&':
      return next == '&' ? take(Opcode::LOGICAL_AND, 3, 2) : take(Opcode::BITWISE_AND, 6, 1);
    case '^':
      return take(Opcode::BITWISE_XOR, 5, 1);
    case '=':
      return next == '=' && take(Opcode::EQUAL, 7, 2);
    case '!':
      return next == '=' && take(Opcode::NOT_EQUAL, 7, 2);
    case '<':
      return next == '=' ? take(Opcode::LESS_EQUAL, 8, 2) : take(Opcode::LESS, 8, 1);
    case '>':
      return next == '=' ? take(Opcode::GREATER_EQUAL, 8, 2) : take(Opcode::GREATER, 8, 1);
    // "++" and "--" start the next statement ("if (a) ++b;"), never an operator.
    case '+':
      return next != '+' && take(Opcode::ADD, 9, 1);
    case '-':
      return next != '-' && take(Opcode::SUBTRACT, 9, 1);
    case '*':
      return take(Opcode::MULTIPLY, 10, 1);
    case '/':
      return take(Opcode::DIVIDE, 10, 1);
    case '%':
      return take(Opcode::MOD, 10, 1);
    case 'o':
      return AtWord("or") && take(Opcode::LOGICAL_OR, 1, 2);
    case 'x':
      return AtWord("xor") && take(Opcode::LOGICAL_XOR, 2, 3);
    case 'a':
      return AtWord("and") && take(Opcode::LOGICAL_AND, 3, 3);
    default:
      return false;
  }
}

// unary: { "!" | "not" | "~" | "-" } factor
// The prefixes apply to the factor alone ("!a && b" is (!a) && b), so they
// are collected and emitted after it, innermost first; a "-" before a
// number is the number's sign.
void CompileRun::ParseUnary() {
  std::vector<Opcode> after;
  for (;;) {
    SkipWhiteSpace();
    const char c = Peek();
    if (c == '!' && CharAt(1) != '=') {
      Consume();
      after.push_back(Opcode::LOGICAL_NOT);
    } else if (c == 'n' && AtWord("not")) {
      ConsumeN(3);
      after.push_back(Opcode::LOGICAL_NOT);
    } else if (c == '~') {
      Consume();
      after.push_back(Opcode::BITWISE_NOT);
    } else if (c == '-') {
      std::size_t k = 1;
      while (IsWhiteSpace(CharAt(k))) ++k;
      const char first = CharAt(k);
      if (IsDigit(first) || first == '.') break;  // a negative number
      Consume();
      Emit(Opcode::PUSH_CONSTANT);
      Emit(0);
      after.push_back(Opcode::SUBTRACT);
    } else {
      break;
    }
  }
  ProcessFactor();
  for (auto op = after.rbegin(); op != after.rend(); ++op) Emit(*op);
}

// "unknown_unit_value" "(" number ")": a value number as a decompiler writes it.
bool CompileRun::ReadUnknownUnitValue(std::string& number) {
  constexpr std::string_view kWord = "unknown_unit_value";
  SkipWhiteSpace();
  if (!AtWord(kWord)) return false;
  ConsumeN(kWord.size());
  SkipWhiteSpace();
  if (Peek() != '(') Fail("Syntax Error: Expected '(', found " + FoundText());
  Consume();
  SkipWhiteSpace();
  number = ReadNumberText();
  SkipWhiteSpace();
  if (Peek() != ')') Fail("Syntax Error: Expected ')', found " + FoundText());
  Consume();
  return true;
}

// get: "get" value-number [ "(" [ arguments ] ")" ]   (after "get")
//   PUSH_CONSTANT k, GET_VALUE
//   PUSH_CONSTANT k, the arguments, PUSH_CONSTANT 0 up to four, GET_VALUE_ARGS
void CompileRun::CompileExtendedGet() {
  std::string text;
  if (!ReadUnknownUnitValue(text)) text = ReadNumberText();
  std::int64_t k = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), k);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    // An undefined name is the usual cause: show it whole.
    if (text.empty() && IsNameChar(Peek())) text = ReadRun(kNameChars, nameText_);
    if (text.empty()) Fail("Value number expected after 'get', found " + FoundText());
    Fail("Value number expected after 'get', found '" + text + "'");
  }
  Emit(Opcode::PUSH_CONSTANT);
  Emit(static_cast<std::uint32_t>(k));
  SkipWhiteSpace();
  if (Peek() != '(') {
    Emit(Opcode::GET_VALUE);
    return;
  }
  constexpr int kArguments = 4;
  const int count = ParseArguments(kArguments, "More than four arguments to 'get'");
  for (int i = count; i < kArguments; ++i) {
    Emit(Opcode::PUSH_CONSTANT);
    Emit(0);
  }
  Emit(Opcode::GET_VALUE_ARGS);
}

}  // namespace marlo::core::detail
