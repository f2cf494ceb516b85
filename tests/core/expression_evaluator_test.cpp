// The `#if` expression evaluator: the table of tests/data/expressions/
// values.txt (expressions read as a caller reads them, type first, then the
// matching reader, against the expected type and value or exact error
// text), then the nodes, the readers and the limits.
#include "preprocessor/expression_evaluator.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace marlo::core {
namespace {

using namespace std::string_literals;
using enum TExprType;
using marlo::test::Escaped;

// What `read` gives, or the error it throws ("error: ...", "math error:
// ..."), bytes outside printable ASCII as \xNN.
template <typename Read>
std::string Outcome(Read read) {
  try {
    return Escaped(read());
  } catch (const EExpressionMath& e) {
    return "math error: " + Escaped(e.what());
  } catch (const EExpression& e) {
    return "error: " + Escaped(e.what());
  } catch (const std::exception& e) {
    return "wrong exception class: "s + e.what();
  }
}

// What reading `text` as a caller does gives: its type, then the value the
// matching reader gives ("Integer 7", "String 'a'").
std::string Evaluate(std::string_view text, const TIdentifierFunction& identifiers = {}) {
  return Outcome([&]() -> std::string {
    const std::unique_ptr<TExpression> root = ParseExpression(text, identifiers);
    if (!root) return "<no expression>";
    const std::string type = std::string(ExprTypeName(root->ExprType())) + " ";
    switch (root->ExprType()) {
      case ttString:
        return type + "'" + root->AsString() + "'";
      case ttFloat:
        return type + GeneralFloatText(root->AsFloat());
      case ttInteger:
        return type + std::to_string(root->AsInteger());
      case ttBoolean:
        break;
    }
    return type + (root->AsBoolean() ? "TRUE" : "FALSE");
  });
}

TEST(ExpressionEvaluator, Table) {
  int rows = 0;
  for (const auto& [number, text] : marlo::test::TableLines(MARLO_TEST_DATA_DIR "/expressions/values.txt")) {
    std::string_view line = text;
    const std::string expression = marlo::test::TakeQuoted(line);
    std::string actual;
    if (line.starts_with(" AsString")) {
      actual = Outcome([&] { return "'" + ParseExpression(expression)->AsString() + "'"; });
      line.remove_prefix(9);
    } else if (line.starts_with(" Condition")) {
      actual = Outcome([&] { return EvaluateCondition(expression) ? "TRUE"s : "FALSE"s; });
      line.remove_prefix(10);
    } else {
      actual = Evaluate(expression);
    }
    ASSERT_TRUE(line.starts_with(" => ")) << "values.txt:" << number;
    EXPECT_EQ(actual, line.substr(4, line.find("  # ") - 4)) << "values.txt:" << number << ": " << expression;
    ++rows;
  }
  EXPECT_EQ(rows, 409);
}

TEST(ExpressionEvaluator, GeneralFloatText) {
  int rows = 0;
  for (const auto& [number, text] : marlo::test::TableLines(MARLO_TEST_DATA_DIR "/expressions/float_text.txt")) {
    const std::size_t arrow = text.find(" => ");
    ASSERT_NE(arrow, std::string::npos) << "float_text.txt:" << number;
    const double value = std::strtod(text.substr(0, arrow).c_str(), nullptr);
    EXPECT_EQ(GeneralFloatText(value), text.substr(arrow + 4, text.find(" ", arrow + 4) - arrow - 4))
        << "float_text.txt:" << number;
    ++rows;
  }
  EXPECT_EQ(rows, 34);
}

std::string Repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// Texts too long for the table: nesting deep enough to need a bound.
TEST(ExpressionEvaluator, LongTextsAndDeepNesting) {
  EXPECT_EQ(Evaluate(std::string(100000, '7')), "error: Bad numeric format");

  for (const std::string& text : {Repeat("(", 100000) + "1", Repeat("-", 100000) + "1", Repeat("NOT ", 100000) + "1",
                                  Repeat("ABS(", 100000), "1" + Repeat("+1", 100000), "'a'" + Repeat(" + 'a'", 100000)})
    EXPECT_EQ(Evaluate(text), "error: Expression nested too deeply") << text.substr(0, 10);
  // Every operation of an IF reads its condition; nested ones must not
  // multiply that work.
  std::string conditional = "TRUE";
  for (int i = 0; i < 300; ++i) conditional = "IF(" + conditional + " = TRUE, TRUE, FALSE)";
  EXPECT_TRUE(EvaluateCondition(conditional));
}

TEST(ExpressionEvaluator, BlankTextGivesNoExpression) {
  for (const std::string& text : {""s, "   "s, "\t\r\n"s, "\x01\x20"s}) EXPECT_EQ(ParseExpression(text), nullptr);
}

TEST(ExpressionEvaluator, TypeLookupHappensWhenATypeIsAsked) {
  const auto lone = ParseExpression("'a' - 'b'");  // nobody asked its type yet
  ASSERT_NE(lone, nullptr);
  EXPECT_THROW(lone->ExprType(), EExpression);
  EXPECT_THROW(ParseExpression("('a' - 'b') + 1"), EExpression);  // the parent reads it
  EXPECT_THROW(ParseExpression("NOT ('a' - 'b')"), EExpression);
  // Parameters are checked when read, not when parsed or typed.
  EXPECT_EQ(ParseExpression("SQRT('4')")->ExprType(), ttFloat);
}

TEST(ExpressionEvaluator, BinaryOperandTypeIsTheLowerOne) {
  const std::vector<std::pair<std::string, TExprType>> cases = {
      {"1 + 1.5", ttFloat}, {"'a' + TRUE", ttString}, {"TRUE AND 1", ttInteger}, {"1.5 * TRUE", ttFloat}};
  for (const auto& [text, type] : cases) {
    const auto root = ParseExpression(text);
    const auto* op = dynamic_cast<const TBinaryOp*>(root.get());
    ASSERT_NE(op, nullptr) << text;
    EXPECT_EQ(op->OperandType(), type) << text;
  }
}

// The text of the EExpression `run` throws.
template <typename Run>
std::string Message(Run run) {
  try {
    run();
  } catch (const EExpression& e) {
    return e.what();
  }
  return "<no error>";
}

// A node that has a type and nothing else: every reader is the default one.
class TTypeOnly : public TExpression {
 public:
  explicit TTypeOnly(TExprType type) : type_(type) {}
  TExprType ExprType() const override { return type_; }

 private:
  TExprType type_;
};

TEST(ExpressionEvaluator, DefaultReaders) {
  int rows = 0;
  for (const auto& [number, text] : marlo::test::TableLines(MARLO_TEST_DATA_DIR "/expressions/default_readers.txt")) {
    const std::size_t arrow = text.find(" => ");
    ASSERT_NE(arrow, std::string::npos) << "default_readers.txt:" << number;
    TExprType type = ttString;
    for (const TExprType t : {ttString, ttFloat, ttInteger, ttBoolean})
      if (ExprTypeName(t) == text.substr(0, arrow)) type = t;
    const TTypeOnly node(type);
    const std::string read = Message([&] { node.AsString(); }) + " | " + Message([&] { node.AsFloat(); }) + " | " +
                             Message([&] { node.AsInteger(); }) + " | " + Message([&] { node.AsBoolean(); });
    EXPECT_EQ(read, text.substr(arrow + 4)) << "default_readers.txt:" << number;
    ++rows;
  }
  EXPECT_EQ(rows, 4);
}

TEST(ExpressionEvaluator, IdentifierFunction) {
  // MAX(a, b) as a caller would add it: a function node that takes the list.
  class TMax : public TFunction {
   public:
    explicit TMax(std::unique_ptr<TParameterList> params) : TFunction(std::move(params)) {}
    std::int32_t AsInteger() const override {
      return std::max(RequireParam(0, "MAX").AsInteger(), RequireParam(1, "MAX").AsInteger());
    }
    TExprType ExprType() const override { return ttInteger; }
  };
  std::vector<std::string> asked;
  const TIdentifierFunction identifiers = [&](const std::string& name, std::unique_ptr<TParameterList>& params) {
    asked.push_back(name + (params ? "(" + std::to_string(params->Count()) + ")" : ""));
    std::unique_ptr<TExpression> node;
    if (name == "VERSION" && !params) node = std::make_unique<TIntegerLiteral>(3);
    if (name == "UNIT") node = std::make_unique<TStringLiteral>("tank");
    if (name == "MAX" && params) node = std::make_unique<TMax>(std::move(params));
    if (name == "BROKEN") throw EExpression("lookup failed");
    return node;
  };
  EXPECT_EQ(Evaluate("version + 1", identifiers), "Integer 4");
  EXPECT_EQ(Evaluate("Max(2, VERSION * 2) + PI", identifiers), "Float 9.14159265358979");
  EXPECT_EQ(Evaluate("UNIT() + '1'", identifiers), "String 'tank1'");
  EXPECT_EQ(asked, (std::vector<std::string>{"VERSION", "VERSION", "MAX(2)", "UNIT(1)"}));  // never PI

  const auto max = ParseExpression("MAX(1, , 3)", identifiers);
  const auto& call = dynamic_cast<const TFunction&>(*max);
  EXPECT_EQ(call.ParamCount(), 3);
  EXPECT_EQ(call.Param(1), nullptr);
  EXPECT_EQ(call.Param(7), nullptr);
  EXPECT_EQ(Evaluate("MAX(1, , 3)"), "error: Unknown Identifier MAX");

  for (const std::string text : {"VERSION(1)", "OTHER", "OTHER(1 + 2, 'x')"}) {
    try {
      ParseExpression(text, identifiers);
      ADD_FAILURE() << text;
    } catch (const EExpression& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Unknown Identifier ", 0), 0u) << e.what();
    }
  }
  try {
    ParseExpression("1 + MAX(BROKEN, 2)", identifiers);
    ADD_FAILURE();
  } catch (const EExpression& e) {
    EXPECT_STREQ(e.what(), "lookup failed");
  }
  EXPECT_THROW(EvaluateCondition("VERSION = 3"), EExpression);  // #if has no identifiers
}

TEST(ExpressionEvaluator, NodesRefuseForeignOperators) {
  auto one = [] { return std::make_unique<TIntegerLiteral>(1); };
  EXPECT_EQ(Message([&] { TUnaryOp(TOperator::opMult, one()); }), "opMult is not simple unary operator");
  EXPECT_EQ(Message([&] { TBinaryOp(TOperator::opNot, one(), one()); }), "opNot is not a simple binary operator");
  EXPECT_EQ(Message([&] { TBinaryOp(TOperator::opEq, one(), one()); }), "opEq is not a simple binary operator");
  EXPECT_EQ(Message([&] { TRelationalOp(TOperator::opPlus, one(), one()); }), "opPlus is not relational operator");
  EXPECT_EQ(Message([&] { TBinaryOp(TOperator::opXor, one(), one()); }), "<no error>");
}

TEST(ExpressionEvaluator, TreeShape) {
  const auto sum = ParseExpression("1 + 2 * 3");
  const auto& plus = dynamic_cast<const TBinaryOp&>(*sum);
  EXPECT_EQ(plus.Operator(), TOperator::opPlus);
  EXPECT_EQ(dynamic_cast<const TBinaryOp&>(plus.Right()).Operator(), TOperator::opMult);
  EXPECT_EQ(dynamic_cast<const TMathExpression&>(*ParseExpression("PI")).Params(), nullptr);
  EXPECT_EQ(ParseExpression("PI")->AsFloat(), 3.141592653589793);
  EXPECT_EQ(ParseExpression("PI()")->AsFloat(), 3.141592653589793);
  const auto pi = ParseExpression("PI()");
  EXPECT_EQ(dynamic_cast<const TMathExpression&>(*pi).ParamCount(), 1);  // one empty entry
  EXPECT_NE(dynamic_cast<const TConditional*>(ParseExpression("if(TRUE,1,2)").get()), nullptr);
  EXPECT_EQ(dynamic_cast<const TTypeCast&>(*ParseExpression("Boolean(1)")).Target(), ttBoolean);
  EXPECT_EQ(dynamic_cast<const TStringExpression&>(*ParseExpression("Length(1)")).Which(), TStringFunction::sfLength);
}

}  // namespace
}  // namespace marlo::core
