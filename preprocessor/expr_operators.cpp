// Operator nodes: their result types and their arithmetic.
#include <algorithm>
#include <stdexcept>

#include "preprocessor/expr_internal.h"
#include "preprocessor/expression_evaluator.h"

namespace marlo::core {

using expr::Fail;
using expr::FailInternal;

namespace expr {

TExprType OperatorResultType(TOperator op, TExprType operandType) {
  using enum TExprType;
  bool allowed = false;
  TExprType result = operandType;
  switch (op) {
    case TOperator::opNot:
    case TOperator::opAnd:
    case TOperator::opOr:
    case TOperator::opXor:
      allowed = operandType == ttInteger || operandType == ttBoolean;
      break;
    case TOperator::opMult:
    case TOperator::opMinus:
      allowed = operandType == ttFloat || operandType == ttInteger;
      break;
    case TOperator::opDivide:
      allowed = operandType == ttFloat || operandType == ttInteger;
      result = ttFloat;
      break;
    case TOperator::opDiv:
    case TOperator::opMod:
    case TOperator::opShl:
    case TOperator::opShr:
      allowed = operandType == ttInteger;
      break;
    case TOperator::opPlus:
      allowed = operandType != ttBoolean;
      break;
    default:  // the comparisons
      return ttBoolean;
  }
  if (!allowed) {
    Fail("Operator " + std::string(OperatorName(op)) + " incompatible with " + std::string(ExprTypeName(operandType)));
  }
  return result;
}

}  // namespace expr

namespace {

std::unique_ptr<TExpression> Required(std::unique_ptr<TExpression> node) {
  if (!node) throw std::invalid_argument("an operator node needs its operands");
  return node;
}

std::int32_t IntegerOp(TOperator op, std::int32_t left, std::int32_t right) {
  const auto uleft = static_cast<std::uint32_t>(left);
  switch (op) {
    case TOperator::opMult:
      return expr::WrapMul(left, right);
    case TOperator::opDiv:
      if (right == 0) expr::FailMath("Division by zero");
      if (right == -1) return expr::WrapNeg(left);  // -2147483648 DIV -1 wraps
      return left / right;
    case TOperator::opMod:
      if (right == 0) expr::FailMath("Division by zero");
      if (right == -1) return 0;
      return left % right;
    case TOperator::opAnd:
      return left & right;
    case TOperator::opOr:
      return left | right;
    case TOperator::opXor:
      return left ^ right;
    case TOperator::opShl:
      return static_cast<std::int32_t>(uleft << (right & 31));
    case TOperator::opShr:
      return static_cast<std::int32_t>(uleft >> (right & 31));
    case TOperator::opPlus:
      return expr::WrapAdd(left, right);
    case TOperator::opMinus:
      return expr::WrapSub(left, right);
    default:
      FailInternal(12);
  }
}

double FloatOp(TOperator op, double left, double right) {
  switch (op) {
    case TOperator::opMult:
      return expr::CheckFloat(left * right);
    case TOperator::opDivide:
      return expr::FloatDivide(left, right);
    case TOperator::opPlus:
      return expr::CheckFloat(left + right);
    case TOperator::opMinus:
      return expr::CheckFloat(left - right);
    default:
      FailInternal(11);
  }
}

}  // namespace

// ---- TUnaryOp ----

TUnaryOp::TUnaryOp(TOperator op, std::unique_ptr<TExpression> operand) : op_(op) {
  if (op != TOperator::opNot && op != TOperator::opPlus && op != TOperator::opMinus) {
    Fail(std::string(OperatorName(op)) + " is not simple unary operator");
  }
  operand_ = Required(std::move(operand));
  operandType_ = operand_->ExprType();
}

TExprType TUnaryOp::ExprType() const { return expr::OperatorResultType(op_, operandType_); }

double TUnaryOp::AsFloat() const {
  ExprType();
  if (op_ == TOperator::opPlus) return operand_->AsFloat();
  if (op_ == TOperator::opMinus) return -operand_->AsFloat();
  return TExpression::AsFloat();
}

std::int32_t TUnaryOp::AsInteger() const {
  ExprType();
  switch (op_) {
    case TOperator::opNot:
      if (operandType_ == TExprType::ttInteger) return ~operand_->AsInteger();
      if (operandType_ == TExprType::ttBoolean) return AsBoolean() ? 1 : 0;
      FailInternal(6);
    case TOperator::opPlus:
      return operand_->AsInteger();
    case TOperator::opMinus:
      return expr::WrapNeg(operand_->AsInteger());
    default:
      return TExpression::AsInteger();
  }
}

bool TUnaryOp::AsBoolean() const {
  ExprType();
  if (op_ == TOperator::opNot) return !operand_->AsBoolean();
  return TExpression::AsBoolean();
}

// ---- TBinaryOp ----

TBinaryOp::TBinaryOp(TOperator op, std::unique_ptr<TExpression> left, std::unique_ptr<TExpression> right) : op_(op) {
  if (op < TOperator::opMult || op > TOperator::opXor) {
    Fail(std::string(OperatorName(op)) + " is not a simple binary operator");
  }
  left_ = Required(std::move(left));
  right_ = Required(std::move(right));
  operandType_ = std::min(left_->ExprType(), right_->ExprType());
}

TExprType TBinaryOp::ExprType() const { return expr::OperatorResultType(op_, operandType_); }

std::string TBinaryOp::AsString() const {
  if (ExprType() != TExprType::ttString) return TExpression::AsString();
  if (op_ != TOperator::opPlus) FailInternal(10);
  return left_->AsString() + right_->AsString();
}

double TBinaryOp::AsFloat() const {
  switch (ExprType()) {
    case TExprType::ttString:
      return 0;
    case TExprType::ttFloat: {
      const double left = left_->AsFloat();
      return FloatOp(op_, left, right_->AsFloat());
    }
    case TExprType::ttInteger:
      return AsInteger();
    case TExprType::ttBoolean:
      return AsBoolean() ? 1 : 0;
  }
  FailInternal(11);
}

std::int32_t TBinaryOp::AsInteger() const {
  switch (ExprType()) {
    case TExprType::ttString:
    case TExprType::ttFloat:
      return 0;
    case TExprType::ttInteger: {
      const std::int32_t left = left_->AsInteger();
      return IntegerOp(op_, left, right_->AsInteger());
    }
    case TExprType::ttBoolean:
      return AsBoolean() ? 1 : 0;
  }
  FailInternal(12);
}

bool TBinaryOp::AsBoolean() const {
  if (ExprType() != TExprType::ttBoolean) return TExpression::AsBoolean();
  switch (op_) {
    case TOperator::opAnd:
      return left_->AsBoolean() && right_->AsBoolean();
    case TOperator::opOr:
      return left_->AsBoolean() || right_->AsBoolean();
    case TOperator::opXor: {
      const bool left = left_->AsBoolean();
      return left != right_->AsBoolean();
    }
    default:
      FailInternal(13);
  }
}

// ---- TRelationalOp ----

TRelationalOp::TRelationalOp(TOperator op, std::unique_ptr<TExpression> left, std::unique_ptr<TExpression> right)
    : op_(op) {
  if (op < TOperator::opEq || op > TOperator::opGTE)
    Fail(std::string(OperatorName(op)) + " is not relational operator");
  left_ = Required(std::move(left));
  right_ = Required(std::move(right));
}

namespace {

// -1, 0 or 1 turned into the answer of a comparison operator.
bool Compare(TOperator op, int order) {
  switch (op) {
    case TOperator::opEq:
      return order == 0;
    case TOperator::opNEQ:
      return order != 0;
    case TOperator::opLT:
      return order < 0;
    case TOperator::opGT:
      return order > 0;
    case TOperator::opLTE:
      return order <= 0;
    default:
      return order >= 0;
  }
}

template <typename T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

bool TRelationalOp::AsBoolean() const {
  const TExprType leftType = left_->ExprType();
  switch (std::min(leftType, right_->ExprType())) {
    case TExprType::ttString: {
      // std::string orders by unsigned bytes, case-sensitive.
      const std::string left = left_->AsString();
      return Compare(op_, Order(left, right_->AsString()));
    }
    case TExprType::ttFloat: {
      const double left = left_->AsFloat();
      return Compare(op_, Order(left, right_->AsFloat()));
    }
    case TExprType::ttInteger: {
      const std::int32_t left = left_->AsInteger();
      return Compare(op_, Order(left, right_->AsInteger()));
    }
    case TExprType::ttBoolean:
      break;
  }
  if (op_ != TOperator::opEq && op_ != TOperator::opNEQ) {
    Fail("cannot apply " + std::string(OperatorName(op_)) + " to boolean operands");
  }
  const bool left = left_->AsBoolean();
  return (left == right_->AsBoolean()) == (op_ == TOperator::opEq);
}

}  // namespace marlo::core
