// Names, messages, the float text and the default conversions of the
// expression nodes, with the literal nodes.
#include "preprocessor/expression_evaluator.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "preprocessor/expr_internal.h"

namespace marlo::core {

namespace {

constexpr std::array<std::string_view, 4> kTypeNames = {"String", "Float", "Integer", "Boolean"};

constexpr std::array<std::string_view, 18> kOperatorNames = {
    "opNot",   "opMult", "opDivide", "opDiv", "opMod", "opAnd", "opShl", "opShr", "opPlus",
    "opMinus", "opOr",   "opXor",    "opEq",  "opNEQ", "opLT",  "opGT",  "opLTE", "opGTE"};

constexpr std::array<std::string_view, 18> kOperatorSpellings = {
    "NOT", "*", "/", "DIV", "MOD", "AND", "SHL", "SHR", "+", "-", "OR", "XOR", "=", "<>", "<", ">", "<=", ">="};

std::string TypeName(TExprType type) { return std::string(ExprTypeName(type)); }

}  // namespace

std::string_view ExprTypeName(TExprType type) { return kTypeNames.at(static_cast<std::size_t>(type)); }
std::string_view OperatorName(TOperator op) { return kOperatorNames.at(static_cast<std::size_t>(op)); }
std::string_view OperatorSpelling(TOperator op) { return kOperatorSpellings.at(static_cast<std::size_t>(op)); }

namespace expr {

void Fail(std::string message) { throw EExpression(message); }
void FailMath(std::string message) { throw EExpressionMath(message); }
void FailInternal(int code) { Fail("Internal parser error. Code " + std::to_string(code)); }

const char* BooleanText(bool value) { return value ? "TRUE" : "FALSE"; }

double CheckFloat(double value) {
  if (std::isnan(value)) FailMath("Invalid floating point operation");
  if (std::isinf(value)) FailMath("Floating point overflow");
  return value;
}

double FloatDivide(double left, double right) {
  if (right == 0) {
    if (left == 0) FailMath("Invalid floating point operation");
    FailMath("Floating point division by zero");
  }
  return CheckFloat(left / right);
}

std::int32_t FloatToInt32(double value) {
  // Written so that NaN fails as well.
  if (!(value >= -2147483648.0 && value <= 2147483647.0)) FailMath("Invalid floating point operation");
  return static_cast<std::int32_t>(value);
}

}  // namespace expr

using expr::Fail;

std::string GeneralFloatText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";  // -0 as well

  // 15 significant digits, rounded once: "[-]d.dddddddddddddde[+-]x".
  char buffer[48];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
  std::string_view text(buffer, static_cast<std::size_t>(written.ptr - buffer));
  const bool negative = text.front() == '-';
  if (negative) text.remove_prefix(1);
  const std::size_t ePos = text.find('e');
  std::string digits(1, text[0]);
  digits.append(text.substr(2, ePos - 2));
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string_view expText = text.substr(ePos + 1);
  const bool expNegative = expText.front() == '-';
  expText.remove_prefix(1);  // the sign is always written
  int exponent = 0;
  std::from_chars(expText.data(), expText.data() + expText.size(), exponent);
  if (expNegative) exponent = -exponent;

  std::string out = negative ? "-" : "";
  // Fixed for 0.00001 <= |value| < 1E15, judged on the rounded digits.
  if (exponent >= -5 && exponent <= 14) {
    if (exponent >= 0) {
      const auto intDigits = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= intDigits) {
        out += digits;
        out.append(intDigits - digits.size(), '0');
      } else {
        out.append(digits, 0, intDigits);
        out += '.';
        out.append(digits, intDigits);
      }
    } else {
      out += "0.";
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out += digits;
    }
  } else {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out.append(digits, 1);
    }
    out += 'E';
    out += std::to_string(exponent);
  }
  return out;
}

// ---- default conversions ----

std::string TExpression::AsString() const {
  const TExprType type = ExprType();
  if (type == TExprType::ttFloat) return GeneralFloatText(AsFloat());
  if (type == TExprType::ttInteger) return std::to_string(AsInteger());
  if (type == TExprType::ttBoolean) return expr::BooleanText(AsBoolean());
  Fail("Cannot read " + TypeName(type) + " as String");
}

double TExpression::AsFloat() const {
  const TExprType type = ExprType();
  if (type == TExprType::ttInteger || type == TExprType::ttBoolean) return AsInteger();
  Fail("Cannot read " + TypeName(type) + " as Float");
}

std::int32_t TExpression::AsInteger() const {
  const TExprType type = ExprType();
  if (type == TExprType::ttBoolean) return AsBoolean() ? 1 : 0;
  Fail("Cannot read " + TypeName(type) + " as integer");
}

bool TExpression::AsBoolean() const { Fail("Cannot read " + TypeName(ExprType()) + " as boolean"); }

// ---- literals ----

std::string TFloatLiteral::AsString() const { return GeneralFloatText(value_); }
std::string TIntegerLiteral::AsString() const { return std::to_string(value_); }
std::string TBooleanLiteral::AsString() const { return expr::BooleanText(value_); }

}  // namespace marlo::core
