// Helpers shared by the evaluator's node and parser files; not part of its
// public face.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "preprocessor/expression_evaluator.h"

namespace marlo::core::expr {

[[noreturn]] void Fail(std::string message);      // EExpression
[[noreturn]] void FailMath(std::string message);  // EExpressionMath
[[noreturn]] void FailInternal(int code);         // "Internal parser error. Code %d"

// The result type of a unary or binary operator over operands of the given
// type; an impossible combination raises "Operator %s incompatible with %s".
TExprType OperatorResultType(TOperator op, TExprType operandType);

// Float results are kept finite: NaN raises "Invalid floating point
// operation", an infinity "Floating point overflow".
double CheckFloat(double value);
double FloatDivide(double left, double right);
// A whole-numbered double as a 32-bit integer; out of range is an invalid
// floating point operation.
std::int32_t FloatToInt32(double value);

// 32-bit wrap-around arithmetic, done unsigned so that overflow is defined.
inline std::int32_t WrapAdd(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
inline std::int32_t WrapSub(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
inline std::int32_t WrapMul(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}
inline std::int32_t WrapNeg(std::int32_t a) { return WrapSub(0, a); }

const char* BooleanText(bool value);  // "FALSE" or "TRUE"

// Built-in function names, in the order of their enumerations.
inline constexpr std::array<std::string_view, 4> kCastNames = {"STRING", "FLOAT", "INTEGER", "BOOLEAN"};
inline constexpr std::array<std::string_view, 14> kMathFunctionNames = {
    "TRUNC", "ROUND", "ABS", "ARCTAN", "COS", "EXP", "FRAC", "INT", "LN", "PI", "SIN", "SQR", "SQRT", "POWER"};
inline constexpr std::array<std::string_view, 5> kStringFunctionNames = {"UPPER", "LOWER", "COPY", "POS", "LENGTH"};

}  // namespace marlo::core::expr
