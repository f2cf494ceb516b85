// The conditional expression evaluator behind `#if`.
//
// ParseExpression turns a text into a tree of typed nodes; the tree is
// evaluated on demand by its readers (AsString, AsFloat, AsInteger,
// AsBoolean). Every node owns its children. Four value types exist (String,
// Float = double, Integer = 32-bit signed, Boolean); their order matters,
// because a binary operator works in the lower of its operands' types
// (Integer with Float gives Float, anything with String gives String).
//
// Grammar, lowest precedence first:
//   expression  = simple [ relop simple ]       (repeated while text remains;
//                                                 a later result replaces an earlier one)
//   simple      = term { ("+" | "-" | OR | XOR) term }
//   term        = factor { ("*" | "/" | DIV | MOD | AND | SHL | SHR) factor }
//   factor      = ("+" | "-" | NOT) factor | string | number | "(" expression ")"
//               | TRUE | FALSE | name [ "(" [expression] { "," [expression] } ")" ]
// Words are case-insensitive. Names are resolved while parsing: the built-in
// functions first, then the caller's identifier function.
//
// Errors:
//   - EExpression carries every parse and evaluation error of the language.
//   - EExpressionMath carries arithmetic and conversion failures: "Division by
//     zero" (DIV or MOD by zero), "Floating point division by zero" (x / 0 with
//     x not zero, LN(0)), "Invalid floating point operation" (0 / 0, SQRT or LN
//     of a negative number, POWER of a base <= 0, TRUNC or ROUND of a value
//     outside the 32-bit range), "Floating point overflow" (a finite operation
//     with an infinite result), "'%s' is not a valid integer value" (an integer
//     literal outside 32 bits) and "'%s' is not a valid floating point value"
//     (a float literal too large for a double). No value ever becomes infinite
//     or NaN, so the general float text never has to show one.
//
// Choices made here:
//   - The decimal separator is always ".", in number literals and in the float
//     text: the core has no locale, and a condition must mean the same thing on
//     every machine. A float literal too small for a double reads as 0.
//   - A type cast (STRING, FLOAT, INTEGER, BOOLEAN) reads its first parameter
//     and ignores the others; written without a parameter list it raises
//     "Missing parameter to INTEGER" (with its own name) when read.
//   - Reading an empty parameter entry, as in F() or F(1,,2), raises
//     "Empty parameter 2 to COPY": the entry's 1-based position and the
//     function's name (IF included).
//   - A NUL byte is an ordinary character, shown as "#0" in
//     "char %s in input stream" so that the message stays printable.
//   - Integer arithmetic wraps around in 32 bits, including -(-2147483648),
//     ABS of it and -2147483648 DIV -1 (which gives -2147483648; MOD gives 0).
//   - POS with an empty first parameter gives 0.
//   - Parsing recurses, so nesting is bounded: more than 500 nested factors
//     (parentheses, signs, NOT, function parameters) or a tree deeper than
//     2000 nodes (long operator chains included) raise "Expression nested too
//     deeply". Evaluation and destruction recurse along the tree too, so this
//     also keeps them off the end of the stack.
//   - An IF remembers which branch its condition chose once it has been read:
//     every operation of an IF reads its condition, so nested IFs would
//     otherwise cost time exponential in their depth. Nodes returned by an
//     identifier function must therefore give the same value on every read.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace marlo::core {

enum class TExprType : std::uint8_t { ttString, ttFloat, ttInteger, ttBoolean };

enum class TOperator : std::uint8_t {
  opNot,
  opMult,
  opDivide,
  opDiv,
  opMod,
  opAnd,
  opShl,
  opShr,
  opPlus,
  opMinus,
  opOr,
  opXor,
  opEq,
  opNEQ,
  opLT,
  opGT,
  opLTE,
  opGTE
};

// "String", "Float", "Integer", "Boolean": the names used in messages.
std::string_view ExprTypeName(TExprType type);
// "opNot" ... "opGTE": the names used in messages.
std::string_view OperatorName(TOperator op);
// "NOT", "*", ... ">=": how the operator is written.
std::string_view OperatorSpelling(TOperator op);

// The text of a Float value: at most 15 significant digits, no trailing
// zeros, fixed notation for magnitudes from 0.00001 up to 15 digits before
// the separator (and for zero), otherwise scientific ("1E20", "1.5E-7").
std::string GeneralFloatText(double value);

class EExpression : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class EExpressionMath : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Base of every node. The default readers convert by the node's own type:
//   AsString:  String error, Float text, Integer decimal, Boolean "FALSE"/"TRUE"
//   AsFloat:   String and Float errors, Integer and Boolean through AsInteger
//   AsInteger: String, Float and Integer errors, Boolean 0 or 1
//   AsBoolean: always an error
// A node that holds or computes a value of a type overrides that reader.
class TExpression {
 public:
  virtual ~TExpression() = default;
  TExpression(const TExpression&) = delete;
  TExpression& operator=(const TExpression&) = delete;

  virtual std::string AsString() const;
  virtual double AsFloat() const;
  virtual std::int32_t AsInteger() const;
  virtual bool AsBoolean() const;
  virtual TExprType ExprType() const = 0;

 protected:
  TExpression() = default;
};

class TStringLiteral : public TExpression {
 public:
  explicit TStringLiteral(std::string value) : value_(std::move(value)) {}
  const std::string& Value() const { return value_; }
  std::string AsString() const override { return value_; }
  TExprType ExprType() const override { return TExprType::ttString; }

 private:
  std::string value_;
};

class TFloatLiteral : public TExpression {
 public:
  explicit TFloatLiteral(double value) : value_(value) {}
  double Value() const { return value_; }
  std::string AsString() const override;
  double AsFloat() const override { return value_; }
  TExprType ExprType() const override { return TExprType::ttFloat; }

 private:
  double value_;
};

class TIntegerLiteral : public TExpression {
 public:
  explicit TIntegerLiteral(std::int32_t value) : value_(value) {}
  std::int32_t Value() const { return value_; }
  std::string AsString() const override;
  double AsFloat() const override { return value_; }
  std::int32_t AsInteger() const override { return value_; }
  TExprType ExprType() const override { return TExprType::ttInteger; }

 private:
  std::int32_t value_;
};

class TBooleanLiteral : public TExpression {
 public:
  explicit TBooleanLiteral(bool value) : value_(value) {}
  bool Value() const { return value_; }
  std::string AsString() const override;
  double AsFloat() const override { return value_ ? 1 : 0; }
  std::int32_t AsInteger() const override { return value_ ? 1 : 0; }
  bool AsBoolean() const override { return value_; }
  TExprType ExprType() const override { return TExprType::ttBoolean; }

 private:
  bool value_;
};

// NOT, unary + and unary -. The operand's type is taken at construction; the
// result type is looked up again on every ExprType and every read.
class TUnaryOp : public TExpression {
 public:
  TUnaryOp(TOperator op, std::unique_ptr<TExpression> operand);
  const TExpression& Operand() const { return *operand_; }
  TOperator Operator() const { return op_; }
  TExprType OperandType() const { return operandType_; }

  double AsFloat() const override;
  std::int32_t AsInteger() const override;
  bool AsBoolean() const override;
  TExprType ExprType() const override;

 private:
  std::unique_ptr<TExpression> operand_;
  TOperator op_;
  TExprType operandType_;
};

// The operators from opMult to opXor. OperandType is the lower of the two
// operands' types, taken at construction.
class TBinaryOp : public TExpression {
 public:
  TBinaryOp(TOperator op, std::unique_ptr<TExpression> left, std::unique_ptr<TExpression> right);
  const TExpression& Left() const { return *left_; }
  const TExpression& Right() const { return *right_; }
  TOperator Operator() const { return op_; }
  TExprType OperandType() const { return operandType_; }

  std::string AsString() const override;
  double AsFloat() const override;
  std::int32_t AsInteger() const override;
  bool AsBoolean() const override;
  TExprType ExprType() const override;

 private:
  std::unique_ptr<TExpression> left_;
  std::unique_ptr<TExpression> right_;
  TOperator op_;
  TExprType operandType_;
};

// The comparisons opEq to opGTE; always Boolean. The operands are compared in
// the lower of their types, looked up when the comparison is read.
class TRelationalOp : public TExpression {
 public:
  TRelationalOp(TOperator op, std::unique_ptr<TExpression> left, std::unique_ptr<TExpression> right);
  const TExpression& Left() const { return *left_; }
  const TExpression& Right() const { return *right_; }
  TOperator Operator() const { return op_; }

  bool AsBoolean() const override;
  TExprType ExprType() const override { return TExprType::ttBoolean; }

 private:
  std::unique_ptr<TExpression> left_;
  std::unique_ptr<TExpression> right_;
  TOperator op_;
};

// The parameters of a function call, in order. An entry is null where the
// text left it empty, as in F(1,,2).
class TParameterList {
 public:
  void Add(std::unique_ptr<TExpression> entry) { entries_.push_back(std::move(entry)); }
  int Count() const { return static_cast<int>(entries_.size()); }
  // The entry at index, or null when it is empty.
  const TExpression* Param(int index) const { return entries_.at(static_cast<std::size_t>(index)).get(); }

 private:
  std::vector<std::unique_ptr<TExpression>> entries_;
};

// Base of the function nodes. Params is null for a name written without "(".
// Counts and types of parameters are checked when the function is read.
class TFunction : public TExpression {
 public:
  const TParameterList* Params() const { return params_.get(); }
  int ParamCount() const { return params_ ? params_->Count() : 0; }
  // The entry at index, or null when it is empty or there is no such entry.
  const TExpression* Param(int index) const;

 protected:
  explicit TFunction(std::unique_ptr<TParameterList> params) : params_(std::move(params)) {}
  // The entry at index; an empty entry raises "Empty parameter %d to %s".
  const TExpression& RequireParam(int index, std::string_view functionName) const;

 private:
  std::unique_ptr<TParameterList> params_;
};

enum class TStringFunction : std::uint8_t { sfUpper, sfLower, sfCopy, sfPos, sfLength };

// UPPER, LOWER, COPY (String) and POS, LENGTH (Integer).
class TStringExpression : public TFunction {
 public:
  TStringExpression(TStringFunction which, std::unique_ptr<TParameterList> params)
      : TFunction(std::move(params)), which_(which) {}
  TStringFunction Which() const { return which_; }
  std::string_view Name() const;

  std::string AsString() const override;
  std::int32_t AsInteger() const override;
  TExprType ExprType() const override;

 private:
  void CheckParams() const;
  TStringFunction which_;
};

enum class TMathFunction : std::uint8_t {
  mfTrunc,
  mfRound,
  mfAbs,
  mfArcTan,
  mfCos,
  mfExp,
  mfFrac,
  mfInt,
  mfLn,
  mfPi,
  mfSin,
  mfSqr,
  mfSqrt,
  mfPower
};

// TRUNC and ROUND (Integer), the others Float.
class TMathExpression : public TFunction {
 public:
  TMathExpression(TMathFunction which, std::unique_ptr<TParameterList> params)
      : TFunction(std::move(params)), which_(which) {}
  TMathFunction Which() const { return which_; }
  std::string_view Name() const;

  double AsFloat() const override;
  std::int32_t AsInteger() const override;
  TExprType ExprType() const override;

 private:
  void CheckParams() const;
  TMathFunction which_;
};

// STRING, FLOAT, INTEGER, BOOLEAN: the type is Target, every reader is passed
// on to the first parameter.
class TTypeCast : public TFunction {
 public:
  TTypeCast(TExprType target, std::unique_ptr<TParameterList> params) : TFunction(std::move(params)), target_(target) {}
  TExprType Target() const { return target_; }

  std::string AsString() const override { return Operand().AsString(); }
  double AsFloat() const override { return Operand().AsFloat(); }
  std::int32_t AsInteger() const override { return Operand().AsInteger(); }
  bool AsBoolean() const override { return Operand().AsBoolean(); }
  TExprType ExprType() const override { return target_; }

 private:
  const TExpression& Operand() const;
  TExprType target_;
};

// IF(condition, then, else): every operation, ExprType included, checks the
// parameters, reads the condition and passes the call on to the chosen branch.
class TConditional : public TFunction {
 public:
  explicit TConditional(std::unique_ptr<TParameterList> params) : TFunction(std::move(params)) {}

  std::string AsString() const override { return Chosen().AsString(); }
  double AsFloat() const override { return Chosen().AsFloat(); }
  std::int32_t AsInteger() const override { return Chosen().AsInteger(); }
  bool AsBoolean() const override { return Chosen().AsBoolean(); }
  TExprType ExprType() const override { return Chosen().ExprType(); }

 private:
  const TExpression& Chosen() const;
  mutable std::optional<bool> choice_;
};

// Resolves a name that is no built-in function; upperName is upper-cased and
// params is null when the name was written without "(". An expression that is
// returned has taken params over; returning null makes the name unknown.
using TIdentifierFunction =
    std::function<std::unique_ptr<TExpression>(const std::string& upperName, std::unique_ptr<TParameterList>& params)>;

// The tree of the whole text, or null for an empty or blank text.
std::unique_ptr<TExpression> ParseExpression(std::string_view text, const TIdentifierFunction& identifiers = {});

// An `#if` condition: true only when the text parses to a Boolean whose value
// is true. A blank text is false. Errors propagate.
bool EvaluateCondition(std::string_view text);

}  // namespace marlo::core
