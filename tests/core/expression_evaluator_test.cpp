// The `#if` expression evaluator: the table of tests/data/expressions/
// values.txt (expressions read as a caller reads them, type first, then the
// matching reader, against the expected type and value or exact error
// text), then the nodes, the readers and the limits.
#include "preprocessor/expression_evaluator.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace marlo::core {
namespace {

using namespace std::string_literals;
using enum TExprType;
using marlo::test::Escaped;

// What reading `text` as a caller does gives: its type and value
// ("Integer 7", "String 'a'") or the error ("error: ...", "math error:
// ..."), bytes outside printable ASCII as \xNN.
std::string Evaluate(std::string_view text, const TIdentifierFunction& identifiers = {}) {
  try {
    const std::unique_ptr<TExpression> root = ParseExpression(text, identifiers);
    if (!root) return "<no expression>";
    const TExprType type = root->ExprType();
    std::string value;
    switch (type) {
      case ttString:
        value = "'" + root->AsString() + "'";
        break;
      case ttFloat:
        value = GeneralFloatText(root->AsFloat());
        break;
      case ttInteger:
        value = std::to_string(root->AsInteger());
        break;
      case ttBoolean:
        value = root->AsBoolean() ? "TRUE" : "FALSE";
    }
    return Escaped(std::string(ExprTypeName(type)) + " " + value);
  } catch (const EExpressionMath& e) {
    return "math error: " + Escaped(e.what());
  } catch (const EExpression& e) {
    return "error: " + Escaped(e.what());
  } catch (const std::exception& e) {
    return "wrong exception class: "s + e.what();
  }
}

TEST(ExpressionEvaluator, Table) {
  int rows = 0;
  for (const auto& [number, text] : marlo::test::TableLines(MARLO_TEST_DATA_DIR "/expressions/values.txt")) {
    std::string_view line = text;
    const std::string expression = marlo::test::TakeQuoted(line);
    ASSERT_TRUE(line.starts_with(" => ")) << "values.txt:" << number;
    const std::string_view expected = line.substr(4, line.find("  # ") - 4);
    EXPECT_EQ(Evaluate(expression), expected) << "values.txt:" << number << ": " << expression;
    ++rows;
  }
  EXPECT_EQ(rows, 378);
}

std::string Repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// Texts too long for the table, and nesting deep enough to need a bound.
TEST(ExpressionEvaluator, LongTextsAndDeepNesting) {
  const std::string a256(256, 'a');
  EXPECT_EQ(Evaluate("'" + a256 + "'"), "String '" + a256 + "'");
  EXPECT_EQ(Evaluate("'" + a256.substr(2) + "'''"), "String '" + a256.substr(2) + "''");
  EXPECT_EQ(Evaluate(std::string(100000, '7')), "error: Bad numeric format");
  EXPECT_EQ(Evaluate("'" + a256 + "a'"), "error: String too long");
  EXPECT_EQ(Evaluate("'" + std::string(300, 'a')), "error: String too long");

  EXPECT_EQ(Evaluate(Repeat("(", 400) + "1" + Repeat(")", 400)), "Integer 1");
  EXPECT_EQ(Evaluate(Repeat("-", 400) + "1"), "Integer 1");
  EXPECT_EQ(Evaluate("1" + Repeat(" + 1", 1500)), "Integer 1501");
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

// A node that has a type and nothing else: every reader is the default one.
class TTypeOnly : public TExpression {
 public:
  explicit TTypeOnly(TExprType type) : type_(type) {}
  TExprType ExprType() const override { return type_; }

 private:
  TExprType type_;
};

TEST(ExpressionEvaluator, AsStringFollowsEachNodesType) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"7 / 2", "3.5"},
      {"1 + 2", "3"},
      {"1 < 2", "TRUE"},
      {"TRUE AND FALSE", "FALSE"},
      {"-1.5", "-1.5"},
      {"NOT 0", "-1"},
      {"TRUNC(2.5)", "2"},
      {"POS('b', 'abc')", "2"},
      {"SQRT(2.25)", "1.5"},
      {"IF(TRUE, 1.5, 0)", "1.5"},
      // A cast passes every reader on, AsString included.
      {"FLOAT(TRUE)", "TRUE"},
      {"INTEGER(1.5 + 1)", "2.5"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseExpression(text)->AsString(), expected) << text;
}

TEST(ExpressionEvaluator, DefaultConversionTable) {
  // The default readers lean on each other: a Float reads its text through
  // AsFloat, an Integer its float through AsInteger, and so on.
  struct Row {
    TExprType type;
    std::string asString, asFloat, asInteger, asBoolean;
  };
  const std::vector<Row> rows = {
      {ttString, "Cannot read String as String", "Cannot read String as Float", "Cannot read String as integer",
       "Cannot read String as boolean"},
      {ttFloat, "Cannot read Float as Float", "Cannot read Float as Float", "Cannot read Float as integer",
       "Cannot read Float as boolean"},
      {ttInteger, "Cannot read Integer as integer", "Cannot read Integer as integer", "Cannot read Integer as integer",
       "Cannot read Integer as boolean"},
      {ttBoolean, "Cannot read Boolean as boolean", "Cannot read Boolean as boolean", "Cannot read Boolean as boolean",
       "Cannot read Boolean as boolean"},
  };
  auto message = [](auto read) -> std::string {
    try {
      read();
    } catch (const EExpression& e) {
      return e.what();
    }
    return "<no error>";
  };
  for (const Row& row : rows) {
    const TTypeOnly node(row.type);
    EXPECT_EQ(message([&] { node.AsString(); }), row.asString);
    EXPECT_EQ(message([&] { node.AsFloat(); }), row.asFloat);
    EXPECT_EQ(message([&] { node.AsInteger(); }), row.asInteger);
    EXPECT_EQ(message([&] { node.AsBoolean(); }), row.asBoolean);
  }
}

TEST(ExpressionEvaluator, GeneralFloatText) {
  const std::vector<std::pair<double, std::string>> cases = {
      {0.0, "0"},
      {-0.0, "0"},
      {1, "1"},
      {-1.5, "-1.5"},
      {0.1, "0.1"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {123.456, "123.456"},
      {12345678.9, "12345678.9"},
      {100000, "100000"},
      {1e14, "100000000000000"},
      {999999999999999, "999999999999999"},
      {999999999999999.9, "1E15"},
      {1e15, "1E15"},
      {1234567890123456, "1.23456789012346E15"},
      {1e20, "1E20"},
      {-1e20, "-1E20"},
      {1e100, "1E100"},
      {1.5e300, "1.5E300"},
      {0.00001, "0.00001"},
      {0.000012345, "0.000012345"},
      {0.0000099999999999999999, "0.00001"},
      {0.0000099999, "9.9999E-6"},
      {1e-6, "1E-6"},
      {-1e-6, "-1E-6"},
      {1.5e-7, "1.5E-7"},
      {9.9999999999999999, "10"},
      {3.141592653589793, "3.14159265358979"},
      {5e-324, "4.94065645841247E-324"},
      {DBL_MAX, "1.79769313486232E308"},
      {std::numeric_limits<double>::infinity(), "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
      {std::nan(""), "NAN"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(GeneralFloatText(value), text) << value;
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
  auto message = [](auto make) -> std::string {
    try {
      make();
    } catch (const EExpression& e) {
      return e.what();
    }
    return "<no error>";
  };
  EXPECT_EQ(message([&] { TUnaryOp(TOperator::opMult, one()); }), "opMult is not simple unary operator");
  EXPECT_EQ(message([&] { TBinaryOp(TOperator::opNot, one(), one()); }), "opNot is not a simple binary operator");
  EXPECT_EQ(message([&] { TBinaryOp(TOperator::opEq, one(), one()); }), "opEq is not a simple binary operator");
  EXPECT_EQ(message([&] { TRelationalOp(TOperator::opPlus, one(), one()); }), "opPlus is not relational operator");
  EXPECT_EQ(message([&] { TBinaryOp(TOperator::opXor, one(), one()); }), "<no error>");
}

TEST(ExpressionEvaluator, TreeShape) {
  const auto sum = ParseExpression("1 + 2 * 3");
  const auto& plus = dynamic_cast<const TBinaryOp&>(*sum);
  EXPECT_EQ(plus.Operator(), TOperator::opPlus);
  EXPECT_EQ(dynamic_cast<const TBinaryOp&>(plus.Right()).Operator(), TOperator::opMult);
  EXPECT_EQ(dynamic_cast<const TMathExpression&>(*ParseExpression("PI")).Params(), nullptr);
  const auto pi = ParseExpression("PI()");
  EXPECT_EQ(dynamic_cast<const TMathExpression&>(*pi).ParamCount(), 1);  // one empty entry
  EXPECT_NE(dynamic_cast<const TConditional*>(ParseExpression("if(TRUE,1,2)").get()), nullptr);
  EXPECT_EQ(dynamic_cast<const TTypeCast&>(*ParseExpression("Boolean(1)")).Target(), ttBoolean);
  EXPECT_EQ(dynamic_cast<const TStringExpression&>(*ParseExpression("Length(1)")).Which(), TStringFunction::sfLength);
}

TEST(ExpressionEvaluator, EvaluateCondition) {
  EXPECT_FALSE(EvaluateCondition(""));
  EXPECT_FALSE(EvaluateCondition("  "));
  EXPECT_TRUE(EvaluateCondition("1 = 1"));
  EXPECT_TRUE(EvaluateCondition("TRUE"));
  EXPECT_FALSE(EvaluateCondition("FALSE"));
  EXPECT_FALSE(EvaluateCondition("1"));  // true only for a Boolean
  EXPECT_FALSE(EvaluateCondition("'TRUE'"));
  EXPECT_FALSE(EvaluateCondition("SQRT('4')"));               // Float: never read
  EXPECT_FALSE(EvaluateCondition("FALSE AND INTEGER(2.5)"));  // not Boolean, so never read
  EXPECT_THROW(EvaluateCondition("1 +"), EExpression);
  EXPECT_THROW(EvaluateCondition("SQRT('4') > 1"), EExpression);
  EXPECT_THROW(EvaluateCondition("1 DIV 0 = 1"), EExpressionMath);
  EXPECT_EQ(ParseExpression("PI")->AsFloat(), 3.141592653589793);
  EXPECT_EQ(ParseExpression("PI()")->AsFloat(), 3.141592653589793);
}

TEST(ExpressionEvaluator, AnyBytesGiveAValueOrAnExpressionError) {
  const std::vector<std::string> pieces = {
      "1",   "2.5", "1e",   "e-",    "'a",  "'",     "''",   "(",        ")",         ",",     "+",      "-",
      "*",   "/",   "<",    ">",     "=",   " ",     "NOT ", "AND",      " OR ",      "XOR",   "DIV",    " MOD ",
      "SHL", "SHR", "TRUE", "FALSE", "IF(", "COPY(", "POS(", "INTEGER(", "STRING(",   "SQRT(", "POWER(", "ROUND(",
      "PI",  "x",   "_",    "0",     "\0"s, "\xFF",  "\t",   ".",        "9999999999"};
  std::mt19937 random(12345);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 12);
    for (int i = 0; i < length; ++i) {
      if (random() % 8 == 0) {
        text += static_cast<char>(random() % 256);
      } else {
        text += pieces[random() % pieces.size()];
      }
    }
    try {
      Evaluate(text);
      EvaluateCondition(text);
    } catch (const EExpression&) {
    } catch (const EExpressionMath&) {
    } catch (const std::exception& e) {
      ADD_FAILURE() << "unexpected exception for \"" << text << "\": " << e.what();
    }
  }
}

}  // namespace
}  // namespace marlo::core
