// The built-in function nodes: string functions, math functions, type casts
// and IF. Parameters are checked when a function is read, not when parsed.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include "base/ascii.h"
#include "preprocessor/expr_internal.h"
#include "preprocessor/expression_evaluator.h"

namespace marlo::core {

using expr::Fail;

namespace {

using expr::kCastNames;
using expr::kMathFunctionNames;
using expr::kStringFunctionNames;

[[noreturn]] void FailParameter(std::string_view functionName) {
  Fail("Invalid parameter to " + std::string(functionName));
}

bool IsIntegral(TExprType type) { return type == TExprType::ttInteger || type == TExprType::ttBoolean; }

// Halves go to the even neighbour. x - trunc(x) is exact for every double.
double RoundHalfEven(double x) {
  const double whole = std::trunc(x);
  const double fraction = x - whole;
  const double step = x < 0 ? -1 : 1;
  if (std::fabs(fraction) > 0.5) return whole + step;
  if (std::fabs(fraction) == 0.5 && std::fmod(whole, 2) != 0) return whole + step;
  return whole;
}

std::int32_t WrapAbs(std::int32_t value) { return value < 0 ? expr::WrapNeg(value) : value; }

}  // namespace

// ---- TFunction ----

const TExpression* TFunction::Param(int index) const {
  if (index < 0 || index >= ParamCount()) return nullptr;
  return params_->Param(index);
}

const TExpression& TFunction::RequireParam(int index, std::string_view functionName) const {
  const TExpression* entry = Param(index);
  if (!entry) Fail("Empty parameter " + std::to_string(index + 1) + " to " + std::string(functionName));
  return *entry;
}

// ---- TStringExpression ----

std::string_view TStringExpression::Name() const { return kStringFunctionNames.at(static_cast<std::size_t>(which_)); }

TExprType TStringExpression::ExprType() const {
  if (which_ == TStringFunction::sfPos || which_ == TStringFunction::sfLength) return TExprType::ttInteger;
  return TExprType::ttString;
}

void TStringExpression::CheckParams() const {
  const int count = ParamCount();
  bool valid = false;
  switch (which_) {
    case TStringFunction::sfUpper:
    case TStringFunction::sfLower:
    case TStringFunction::sfLength:
      valid = count == 1;
      break;
    case TStringFunction::sfPos:
      valid = count == 2;
      break;
    case TStringFunction::sfCopy:
      valid = count == 3 && IsIntegral(RequireParam(1, Name()).ExprType()) &&
              IsIntegral(RequireParam(2, Name()).ExprType());
      break;
  }
  if (!valid) FailParameter(Name());
}

std::string TStringExpression::AsString() const {
  if (ExprType() != TExprType::ttString) return TExpression::AsString();
  CheckParams();
  std::string text = RequireParam(0, Name()).AsString();
  switch (which_) {
    case TStringFunction::sfUpper:
      for (char& c : text) c = AsciiUpper(c);
      return text;
    case TStringFunction::sfLower:
      for (char& c : text) c = AsciiLower(c);
      return text;
    default: {  // COPY
      std::int64_t position = RequireParam(1, Name()).AsInteger();
      const std::int64_t count = RequireParam(2, Name()).AsInteger();
      position = std::max<std::int64_t>(position, 1);
      const auto length = static_cast<std::int64_t>(text.size());
      if (position > length || count <= 0) return {};
      return text.substr(static_cast<std::size_t>(position - 1), static_cast<std::size_t>(count));
    }
  }
}

std::int32_t TStringExpression::AsInteger() const {
  if (ExprType() != TExprType::ttInteger) return TExpression::AsInteger();
  CheckParams();
  const std::string text = RequireParam(0, Name()).AsString();
  if (which_ == TStringFunction::sfLength) {
    return static_cast<std::int32_t>(std::min<std::size_t>(text.size(), std::numeric_limits<std::int32_t>::max()));
  }
  const std::string within = RequireParam(1, Name()).AsString();
  if (text.empty()) return 0;
  const std::size_t found = within.find(text);
  if (found == std::string::npos || found >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    return 0;
  }
  return static_cast<std::int32_t>(found + 1);
}

// ---- TMathExpression ----

std::string_view TMathExpression::Name() const { return kMathFunctionNames.at(static_cast<std::size_t>(which_)); }

TExprType TMathExpression::ExprType() const {
  if (which_ == TMathFunction::mfTrunc || which_ == TMathFunction::mfRound) return TExprType::ttInteger;
  return TExprType::ttFloat;
}

void TMathExpression::CheckParams() const {
  if (which_ == TMathFunction::mfPi) return;
  const int wanted = which_ == TMathFunction::mfPower ? 2 : 1;
  if (ParamCount() != wanted) FailParameter(Name());
  for (int i = 0; i < wanted; ++i) {
    if (RequireParam(i, Name()).ExprType() == TExprType::ttString) FailParameter(Name());
  }
}

double TMathExpression::AsFloat() const {
  if (ExprType() != TExprType::ttFloat) return TExpression::AsFloat();  // TRUNC, ROUND
  CheckParams();
  if (which_ == TMathFunction::mfPi) return std::numbers::pi;
  const double x = RequireParam(0, Name()).AsFloat();
  switch (which_) {
    case TMathFunction::mfAbs:
      return std::fabs(x);
    case TMathFunction::mfArcTan:
      return std::atan(x);
    case TMathFunction::mfCos:
      return expr::CheckFloat(std::cos(x));
    case TMathFunction::mfExp:
      return expr::CheckFloat(std::exp(x));
    case TMathFunction::mfFrac:
      return x - std::trunc(x);
    case TMathFunction::mfInt:
      return std::trunc(x);
    case TMathFunction::mfLn:
      if (x == 0) expr::FailMath("Floating point division by zero");
      if (x < 0) expr::FailMath("Invalid floating point operation");
      return std::log(x);
    case TMathFunction::mfSin:
      return expr::CheckFloat(std::sin(x));
    case TMathFunction::mfSqr:
      return expr::CheckFloat(x * x);
    case TMathFunction::mfSqrt:
      if (x < 0) expr::FailMath("Invalid floating point operation");
      return std::sqrt(x);
    case TMathFunction::mfPower: {
      const double exponent = RequireParam(1, Name()).AsFloat();
      if (x <= 0) expr::FailMath("Invalid floating point operation");
      return expr::CheckFloat(std::exp(exponent * std::log(x)));
    }
    default:
      expr::FailInternal(11);
  }
}

std::int32_t TMathExpression::AsInteger() const {
  switch (which_) {
    case TMathFunction::mfTrunc:
      CheckParams();
      return expr::FloatToInt32(std::trunc(RequireParam(0, Name()).AsFloat()));
    case TMathFunction::mfRound:
      CheckParams();
      return expr::FloatToInt32(RoundHalfEven(RequireParam(0, Name()).AsFloat()));
    case TMathFunction::mfAbs:
      CheckParams();
      return WrapAbs(RequireParam(0, Name()).AsInteger());
    default:
      return TExpression::AsInteger();
  }
}

// ---- TTypeCast ----

const TExpression& TTypeCast::Operand() const {
  const std::string_view name = kCastNames.at(static_cast<std::size_t>(target_));
  if (ParamCount() == 0) Fail("Missing parameter to " + std::string(name));
  return RequireParam(0, name);
}

// ---- TConditional ----

const TExpression& TConditional::Chosen() const {
  if (ParamCount() != 3) Fail("Invalid parameters to If");
  const TExpression& condition = RequireParam(0, "IF");
  if (condition.ExprType() != TExprType::ttBoolean) Fail("Invalid parameters to If");
  if (!choice_) choice_ = condition.AsBoolean();
  return RequireParam(*choice_ ? 1 : 2, "IF");
}

}  // namespace marlo::core
