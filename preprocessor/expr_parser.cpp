// The expression parser: a recursive descent straight over the characters,
// with a cursor. Each grammar level returns its node together with the height
// of the tree under it, so that both the recursion of the parser and the
// depth of the tree it builds stay bounded.
#include <algorithm>
#include <array>
#include <charconv>
#include <limits>

#include "preprocessor/expr_internal.h"
#include "preprocessor/expression_evaluator.h"

namespace marlo::core {

using expr::Fail;

namespace {

// Parsing, evaluating and freeing all recurse: these keep any input well
// inside the stack. No real condition comes near either.
constexpr int kMaxNesting = 500;
constexpr int kMaxTreeHeight = 2000;
// Longest number text and longest string literal the language accepts.
constexpr std::size_t kMaxNumberLength = 28;
constexpr std::size_t kMaxStringLength = 256;

bool IsBlank(char c) { return c >= 1 && c <= 32; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsWordStart(char c) { return IsLetter(c) || c == '_'; }
bool IsWordChar(char c) { return IsWordStart(c) || IsDigit(c); }
bool IsRelationalChar(char c) { return c == '<' || c == '=' || c == '>'; }
bool IsOperatorChar(char c) { return c == '+' || c == '-' || c == '*' || c == '/' || IsRelationalChar(c); }

// A character quoted in a message; NUL would cut the message short.
std::string CharText(char c) { return c == '\0' ? std::string("#0") : std::string(1, c); }

struct Parsed {
  std::unique_ptr<TExpression> node;
  int height = 0;
};

enum class WordKind { wkOperator, wkTrue, wkFalse, wkName };

struct Word {
  std::string text;  // upper-cased
  WordKind kind = WordKind::wkName;
  TOperator op = TOperator::opNot;
};

constexpr std::array<TOperator, 8> kWordOperators = {TOperator::opNot, TOperator::opDiv, TOperator::opMod,
                                                     TOperator::opAnd, TOperator::opShl, TOperator::opShr,
                                                     TOperator::opOr,  TOperator::opXor};

// The built-in functions, by name.
std::unique_ptr<TExpression> MakeBuiltin(const std::string& name, std::unique_ptr<TParameterList>& params) {
  using expr::kCastNames;
  using expr::kMathFunctionNames;
  using expr::kStringFunctionNames;
  if (name == "IF") return std::make_unique<TConditional>(std::move(params));
  for (std::size_t i = 0; i < kCastNames.size(); ++i) {
    if (name == kCastNames[i]) return std::make_unique<TTypeCast>(static_cast<TExprType>(i), std::move(params));
  }
  for (std::size_t i = 0; i < kMathFunctionNames.size(); ++i) {
    if (name == kMathFunctionNames[i]) {
      return std::make_unique<TMathExpression>(static_cast<TMathFunction>(i), std::move(params));
    }
  }
  for (std::size_t i = 0; i < kStringFunctionNames.size(); ++i) {
    if (name == kStringFunctionNames[i]) {
      return std::make_unique<TStringExpression>(static_cast<TStringFunction>(i), std::move(params));
    }
  }
  return nullptr;
}

class Parser {
 public:
  Parser(std::string_view text, const TIdentifierFunction& identifiers) : text_(text), identifiers_(identifiers) {}

  std::unique_ptr<TExpression> ParseAll() {
    SkipBlanks();
    if (AtEnd()) return nullptr;
    Parsed result = Expression();
    SkipBlanks();
    if (!AtEnd()) Fail(CharText(Peek()) + " not appropriate");
    return std::move(result.node);
  }

 private:
  // ---- characters ----

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return text_[pos_]; }

  void SkipBlanks() {
    while (!AtEnd() && IsBlank(Peek())) ++pos_;
  }

  // The end of the text, ")" or ",": where an expression or parameter stops.
  bool AtEndOfExpression() {
    SkipBlanks();
    return AtEnd() || Peek() == ')' || Peek() == ',';
  }

  Word ReadWord() {
    Word word;
    while (!AtEnd() && IsWordChar(Peek())) {
      char c = Peek();
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      word.text += c;
      ++pos_;
    }
    if (word.text == "TRUE") {
      word.kind = WordKind::wkTrue;
    } else if (word.text == "FALSE") {
      word.kind = WordKind::wkFalse;
    } else {
      for (TOperator op : kWordOperators) {
        if (word.text == OperatorSpelling(op)) {
          word.kind = WordKind::wkOperator;
          word.op = op;
        }
      }
    }
    return word;
  }

  // digits [ "." digits ] [ ("e" | "E") [ "-" ] digit { digit } ]
  Parsed ReadNumber() {
    const std::size_t start = pos_;
    bool separator = false;
    bool exponent = false;
    while (!AtEnd()) {
      const char c = Peek();
      if (IsDigit(c)) {
        ++pos_;
      } else if (c == '.') {
        if (separator || exponent) Fail("Bad numeric format");
        separator = true;
        ++pos_;
      } else if (c == 'e' || c == 'E') {
        if (exponent) Fail("Bad numeric format");
        exponent = true;
        ++pos_;
        if (!AtEnd() && Peek() == '-') ++pos_;
        if (AtEnd() || !IsDigit(Peek())) Fail("Bad numeric format");
      } else {
        break;
      }
    }
    const std::string_view number = text_.substr(start, pos_ - start);
    if (number.size() > kMaxNumberLength) Fail("Bad numeric format");

    if (!separator && !exponent) {
      std::int64_t value = 0;
      for (char c : number) {
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) {
          expr::FailMath("'" + std::string(number) + "' is not a valid integer value");
        }
      }
      return {std::make_unique<TIntegerLiteral>(static_cast<std::int32_t>(value)), 1};
    }
    // Always "." as the separator: the core has no locale, and a condition
    // must read the same on every machine.
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range) {
      // With at most 28 characters only a negative exponent can underflow.
      if (number.find("e-") == std::string_view::npos && number.find("E-") == std::string_view::npos) {
        expr::FailMath("'" + std::string(number) + "' is not a valid floating point value");
      }
      value = 0;
    } else if (error != std::errc() || end != number.data() + number.size()) {
      Fail("Bad numeric format");
    }
    return {std::make_unique<TFloatLiteral>(value), 1};
  }

  // "'" { char | "''" } "'"
  Parsed ReadString() {
    ++pos_;
    std::string value;
    for (;;) {
      if (AtEnd()) Fail("Unterminated string");
      const char c = Peek();
      ++pos_;
      if (c == '\'') {
        if (AtEnd() || Peek() != '\'') break;
        ++pos_;
      }
      value += c;
      if (value.size() > kMaxStringLength) Fail("String too long");
    }
    return {std::make_unique<TStringLiteral>(std::move(value)), 1};
  }

  // ---- tree ----

  static int Above(int childHeight) {
    const int height = childHeight + 1;
    if (height > kMaxTreeHeight) Fail("Expression nested too deeply");
    return height;
  }

  static Parsed Unary(TOperator op, Parsed operand) {
    const int height = Above(operand.height);
    return {std::make_unique<TUnaryOp>(op, std::move(operand.node)), height};
  }

  static Parsed Binary(TOperator op, Parsed left, Parsed right) {
    const int height = Above(std::max(left.height, right.height));
    return {std::make_unique<TBinaryOp>(op, std::move(left.node), std::move(right.node)), height};
  }

  // ---- grammar ----

  // expression = simple [ relop simple ], repeated until the end of the
  // expression; each round's result replaces the one before.
  Parsed Expression() {
    Parsed result;
    do {
      result = SimpleExpression();
      SkipBlanks();
      if (!AtEnd() && IsRelationalChar(Peek())) {
        const TOperator op = ReadRelationalOperator();
        Parsed right = SimpleExpression();
        const int height = Above(std::max(result.height, right.height));
        result = {std::make_unique<TRelationalOp>(op, std::move(result.node), std::move(right.node)), height};
      }
    } while (!AtEndOfExpression());
    return result;
  }

  // One or two characters out of "<=>".
  TOperator ReadRelationalOperator() {
    std::string spelling(1, Peek());
    ++pos_;
    if (!AtEnd() && IsRelationalChar(Peek())) {
      spelling += Peek();
      ++pos_;
    }
    for (auto op = static_cast<int>(TOperator::opEq); op <= static_cast<int>(TOperator::opGTE); ++op) {
      if (spelling == OperatorSpelling(static_cast<TOperator>(op))) return static_cast<TOperator>(op);
    }
    Fail(spelling + " not a valid operator");
  }

  // simple = term { ("+" | "-" | OR | XOR) term }
  Parsed SimpleExpression() {
    Parsed left = Term();
    for (;;) {
      if (AtEndOfExpression()) return left;
      const char c = Peek();
      TOperator op;
      if (c == '+') {
        op = TOperator::opPlus;
        ++pos_;
      } else if (c == '-') {
        op = TOperator::opMinus;
        ++pos_;
      } else if (IsWordStart(c)) {
        const std::size_t start = pos_;
        const Word word = ReadWord();
        if (word.kind == WordKind::wkOperator && (word.op == TOperator::opOr || word.op == TOperator::opXor)) {
          op = word.op;
        } else if (word.kind == WordKind::wkOperator) {
          pos_ = start;  // for the enclosing level
          return left;
        } else {
          FailWordAfterOperand(word);
        }
      } else {
        return left;
      }
      left = Binary(op, std::move(left), Term());
    }
  }

  // term = factor { ("*" | "/" | DIV | MOD | AND | SHL | SHR) factor }
  Parsed Term() {
    Parsed left = Factor();
    for (;;) {
      if (AtEndOfExpression()) return left;
      const char c = Peek();
      TOperator op;
      if (c == '*') {
        op = TOperator::opMult;
        ++pos_;
      } else if (c == '/') {
        op = TOperator::opDivide;
        ++pos_;
      } else if (IsWordStart(c)) {
        const std::size_t start = pos_;
        const Word word = ReadWord();
        if (word.kind == WordKind::wkOperator && word.op != TOperator::opNot && word.op != TOperator::opOr &&
            word.op != TOperator::opXor) {
          op = word.op;
        } else if (word.kind == WordKind::wkOperator) {
          pos_ = start;  // for the enclosing level
          return left;
        } else {
          FailWordAfterOperand(word);
        }
      } else if (IsOperatorChar(c)) {
        return left;
      } else {
        Fail("char " + CharText(c) + " in input stream");
      }
      left = Binary(op, std::move(left), Factor());
    }
  }

  [[noreturn]] static void FailWordAfterOperand(const Word& word) {
    if (word.kind == WordKind::wkName) Fail("Identifier " + word.text + " not allowed here");
    Fail("Boolean literal not allowed here");
  }

  // factor = ("+" | "-" | NOT) factor | string | number | "(" expression ")"
  //        | TRUE | FALSE | name [ parameters ]
  Parsed Factor() {
    const NestingGuard guard(depth_);
    if (AtEndOfExpression()) Fail("Unexpected end of factor");
    const char c = Peek();
    if (c == '+' || c == '-') {
      ++pos_;
      return Unary(c == '+' ? TOperator::opPlus : TOperator::opMinus, Factor());
    }
    if (c == '\'') return ReadString();
    if (IsDigit(c)) return ReadNumber();
    if (c == '(') {
      ++pos_;
      if (AtEndOfExpression()) Fail("invalid sub-expression");
      Parsed inner = Expression();
      if (AtEnd() || Peek() != ')') Fail(" ) expected");
      ++pos_;
      return inner;
    }
    if (!IsWordStart(c)) Fail("Syntax error");
    Word word = ReadWord();
    switch (word.kind) {
      case WordKind::wkOperator:
        if (word.op != TOperator::opNot) Fail(std::string(OperatorName(word.op)) + " not allowed here");
        return Unary(TOperator::opNot, Factor());
      case WordKind::wkTrue:
      case WordKind::wkFalse:
        return {std::make_unique<TBooleanLiteral>(word.kind == WordKind::wkTrue), 1};
      case WordKind::wkName:
        break;
    }
    return Call(word.text);
  }

  // name [ "(" [expression] { "," [expression] } ")" ]; an empty
  // expression leaves an empty entry.
  Parsed Call(const std::string& name) {
    std::unique_ptr<TParameterList> params;
    int height = 0;
    SkipBlanks();
    if (!AtEnd() && Peek() == '(') {
      ++pos_;
      params = std::make_unique<TParameterList>();
      for (;;) {
        if (AtEndOfExpression()) {
          params->Add(nullptr);
        } else {
          Parsed param = Expression();
          height = std::max(height, param.height);
          params->Add(std::move(param.node));
        }
        // An expression stops only at the end of the text, ")" or ",".
        if (AtEnd()) Fail("Incorrectly formed parameters");
        const char c = Peek();
        ++pos_;
        if (c == ')') break;
      }
    }
    height = Above(height);
    std::unique_ptr<TExpression> node = MakeBuiltin(name, params);
    if (!node && identifiers_) node = identifiers_(name, params);
    if (!node) Fail("Unknown Identifier " + name);
    return {std::move(node), height};
  }

  class NestingGuard {
   public:
    explicit NestingGuard(int& depth) : depth_(depth) {
      if (++depth_ > kMaxNesting) {
        --depth_;
        Fail("Expression nested too deeply");
      }
    }
    ~NestingGuard() { --depth_; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;

   private:
    int& depth_;
  };

  std::string_view text_;
  std::size_t pos_ = 0;
  const TIdentifierFunction& identifiers_;
  int depth_ = 0;
};

}  // namespace

std::unique_ptr<TExpression> ParseExpression(std::string_view text, const TIdentifierFunction& identifiers) {
  return Parser(text, identifiers).ParseAll();
}

bool EvaluateCondition(std::string_view text) {
  const std::unique_ptr<TExpression> root = ParseExpression(text);
  return root && root->ExprType() == TExprType::ttBoolean && root->AsBoolean();
}

}  // namespace marlo::core
