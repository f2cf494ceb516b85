// The `#if` expression evaluator: expressions read as a caller reads them
// (type first, then the matching reader), checked against tables of
// expected type and value or exact error text.
#include "preprocessor/expression_evaluator.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace marlo::core {
namespace {

using namespace std::string_literals;
using enum TExprType;

struct Result {
  TExprType type;
  std::string text;
};

Result Evaluate(std::string_view text, const TIdentifierFunction& identifiers = {}) {
  const std::unique_ptr<TExpression> root = ParseExpression(text, identifiers);
  if (!root) return {ttString, "<no expression>"};
  const TExprType type = root->ExprType();
  switch (type) {
    case ttString:
      return {type, root->AsString()};
    case ttFloat:
      return {type, GeneralFloatText(root->AsFloat())};
    case ttInteger:
      return {type, std::to_string(root->AsInteger())};
    case ttBoolean:
      break;
  }
  return {type, root->AsBoolean() ? "TRUE" : "FALSE"};
}

template <typename E>
std::string ErrorText(std::string_view text) {
  try {
    Evaluate(text);
  } catch (const E& e) {
    return e.what();
  } catch (const std::exception& e) {
    return "wrong exception class: "s + e.what();
  }
  return "<no error>";
}

struct ValueCase {
  std::string text;
  TExprType type;
  std::string value;
};

void CheckValues(const std::vector<ValueCase>& cases) {
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.text);
    const Result result = Evaluate(c.text);
    EXPECT_EQ(ExprTypeName(result.type), ExprTypeName(c.type));
    EXPECT_EQ(result.text, c.value);
  }
}

struct ErrorCase {
  std::string text;
  std::string message;
};

template <typename E = EExpression>
void CheckErrors(const std::vector<ErrorCase>& cases) {
  for (const ErrorCase& c : cases) EXPECT_EQ(ErrorText<E>(c.text), c.message) << "for: " << c.text;
}

TEST(ExpressionEvaluator, EdgeCases) {
  CheckValues({
      {"1 = 1", ttBoolean, "TRUE"},
      {"1", ttInteger, "1"},
      {"TRUE", ttBoolean, "TRUE"},
      {"true", ttBoolean, "TRUE"},
      {"fAlSe", ttBoolean, "FALSE"},
      {"1 + 2 * 3", ttInteger, "7"},
      {"-2 * 3", ttInteger, "-6"},
      {"7 DIV 2", ttInteger, "3"},
      {"-7 MOD 2", ttInteger, "-1"},
      {"7 / 2", ttFloat, "3.5"},
      {"1 SHL 4", ttInteger, "16"},
      {"NOT 1 = 1", ttBoolean, "FALSE"},
      {"NOT 1", ttInteger, "-2"},
      {"NOT (1 = 1)", ttBoolean, "FALSE"},
      {"NOT TRUE", ttBoolean, "FALSE"},
      {"(1 = 1) AND (2 < 1)", ttBoolean, "FALSE"},
      {"'abc' + 'def'", ttString, "abcdef"},
      {"'a' < 'b'", ttBoolean, "TRUE"},
      {"'a' = 'A'", ttBoolean, "FALSE"},
      {"'it''s'", ttString, "it's"},
      {"1 = 'x'", ttBoolean, "FALSE"},
      {"1 = '1'", ttBoolean, "TRUE"},
      {"1e5", ttFloat, "100000"},
      {"PI", ttFloat, "3.14159265358979"},
      {"PI()", ttFloat, "3.14159265358979"},
      {"pi ( )", ttFloat, "3.14159265358979"},
  });
  EXPECT_EQ(ParseExpression("PI")->AsFloat(), 3.141592653589793);
  EXPECT_EQ(ParseExpression("PI()")->AsFloat(), 3.141592653589793);
}

TEST(ExpressionEvaluator, PrecedenceAndLevels) {
  CheckValues({
      {"1 * 2 OR 5", ttInteger, "7"},
      {"2 OR 1 AND 0", ttInteger, "2"},
      {"TRUE OR FALSE AND FALSE", ttBoolean, "TRUE"},
      {"1 + 2 XOR 3", ttInteger, "0"},
      {"1 + 2 = 3", ttBoolean, "TRUE"},
      {"(1 + 2) * 3", ttInteger, "9"},
      {"10 - 2 - 3", ttInteger, "5"},
      {"2 * 3 MOD 4", ttInteger, "2"},
      {"NOT(1)", ttInteger, "-2"},
      {"- -1", ttInteger, "1"},
      {"+ 3", ttInteger, "3"},
      {"NOT NOT 5", ttInteger, "5"},
      {"true and not false", ttBoolean, "TRUE"},
      {"7 div 2", ttInteger, "3"},
      // Text left after a complete expression starts a new one that replaces it.
      {"1 NOT 2", ttInteger, "-3"},
      {"1 = 1 NOT 0", ttInteger, "-1"},
      {"'x' NOT TRUE", ttBoolean, "FALSE"},
  });
}

TEST(ExpressionEvaluator, Lexing) {
  CheckValues({
      {"1.5", ttFloat, "1.5"},
      {"1.", ttFloat, "1"},
      {"1.e2", ttFloat, "100"},
      {"2E3", ttFloat, "2000"},
      {"1e-2", ttFloat, "0.01"},
      {"0.5e1", ttFloat, "5"},
      {"1e-400", ttFloat, "0"},
      {"007", ttInteger, "7"},
      {"2147483647", ttInteger, "2147483647"},
      {"0000000000000000000000000001", ttInteger, "1"},  // 28 characters
      {"\t1\n+\r2 \x01", ttInteger, "3"},
      {"''", ttString, ""},
      {"''''", ttString, "'"},
      {"'" + std::string(256, 'a') + "'", ttString, std::string(256, 'a')},
      {"'" + std::string(254, 'a') + "'''", ttString, std::string(254, 'a') + "'"},
      {"'a\0b'"s, ttString, "a\0b"s},
      {"LENGTH('a\0b')"s, ttInteger, "3"},
      {"Copy('ab', 2, 1)", ttString, "b"},
  });
  CheckErrors({
      {"1e+5", "Bad numeric format"},
      {"1.2.3", "Bad numeric format"},
      {"1e5.", "Bad numeric format"},
      {"1e5e2", "Bad numeric format"},
      {"1e", "Bad numeric format"},
      {"1e-", "Bad numeric format"},
      {"1.5E-x", "Bad numeric format"},
      {"00000000000000000000000000001", "Bad numeric format"},  // 29 characters
      {std::string(100000, '7'), "Bad numeric format"},
      {"'abc", "Unterminated string"},
      {"'it''", "Unterminated string"},
      {"'" + std::string(257, 'a') + "'", "String too long"},
      {"'" + std::string(300, 'a'), "String too long"},
      {"_x1", "Unknown Identifier _X1"},
      {"NOTX", "Unknown Identifier NOTX"},
      {"1e5x", "Identifier X not allowed here"},
  });
  CheckErrors<EExpressionMath>({
      {"2147483648", "'2147483648' is not a valid integer value"},
      {"99999999999", "'99999999999' is not a valid integer value"},
      {"-2147483648", "'2147483648' is not a valid integer value"},
      {"1e999", "'1e999' is not a valid floating point value"},
  });
}

TEST(ExpressionEvaluator, ParseErrors) {
  CheckErrors({
      {"()", "invalid sub-expression"},
      {"( )", "invalid sub-expression"},
      {"(", "invalid sub-expression"},
      {"(1", " ) expected"},
      {"(1,2)", " ) expected"},
      {"1 2", "char 2 in input stream"},
      {"1 'a'", "char ' in input stream"},
      {"1 (2)", "char ( in input stream"},
      {"1 .", "char . in input stream"},
      {"1 # 2", "char # in input stream"},
      {"1 \xFF", "char \xFF in input stream"},
      {"1 X", "Identifier X not allowed here"},
      {"1 + 2 abc", "Identifier ABC not allowed here"},
      {"1 TRUE", "Boolean literal not allowed here"},
      {"1 + 2 false", "Boolean literal not allowed here"},
      {"1)", ") not appropriate"},
      {"1,2", ", not appropriate"},
      {"AND", "opAnd not allowed here"},
      {"1 + OR 2", "opOr not allowed here"},
      {"DIV", "opDiv not allowed here"},
      {"mod", "opMod not allowed here"},
      {"SHL", "opShl not allowed here"},
      {"SHR", "opShr not allowed here"},
      {"XOR", "opXor not allowed here"},
      {"X", "Unknown Identifier X"},
      {"foo(1)", "Unknown Identifier FOO"},
      {"(2 < 1) AND X", "Unknown Identifier X"},
      {"1 +", "Unexpected end of factor"},
      {"-", "Unexpected end of factor"},
      {"NOT", "Unexpected end of factor"},
      {"1 + )", "Unexpected end of factor"},
      {"1 =", "Unexpected end of factor"},
      {")", "Unexpected end of factor"},
      {"#", "Syntax error"},
      {"1 + #", "Syntax error"},
      {".5", "Syntax error"},
      {"\xFF", "Syntax error"},
      {"1 = 1 = 1", "Syntax error"},
      {"1 < 2 = TRUE", "Syntax error"},
      {"1 <>= 2", "Syntax error"},
      {"1 == 1", "== not a valid operator"},
      {"1 =< 2", "=< not a valid operator"},
      {"1 => 2", "=> not a valid operator"},
      {"1 >< 2", ">< not a valid operator"},
      {"1 << 2", "<< not a valid operator"},
      {"COPY('a', 1", "Incorrectly formed parameters"},
      {"F(", "Incorrectly formed parameters"},
      {"1\0"s, "char #0 in input stream"},
      {"\0"s, "Syntax error"},
  });
}

TEST(ExpressionEvaluator, BlankTextGivesNoExpression) {
  for (const std::string& text : {""s, "   "s, "\t\r\n"s, "\x01\x20"s}) EXPECT_EQ(ParseExpression(text), nullptr);
}

TEST(ExpressionEvaluator, OperatorTyping) {
  CheckValues({
      {"NOT 0", ttInteger, "-1"},
      {"NOT FALSE", ttBoolean, "TRUE"},
      {"1.5 * 2", ttFloat, "3"},
      {"6 * 7", ttInteger, "42"},
      {"1 / 4.0", ttFloat, "0.25"},
      {"TRUE / 2", ttFloat, "0.5"},
      {"-7 DIV 2", ttInteger, "-3"},
      {"7 MOD -2", ttInteger, "1"},
      {"TRUE DIV 1", ttInteger, "1"},
      {"1 SHL 33", ttInteger, "2"},
      {"1 SHL 31", ttInteger, "-2147483648"},
      {"-1 SHR 28", ttInteger, "15"},
      {"-16 SHR 2", ttInteger, "1073741820"},
      {"1 SHR 32", ttInteger, "1"},
      {"12 AND 10", ttInteger, "8"},
      {"12 OR 10", ttInteger, "14"},
      {"12 XOR 10", ttInteger, "6"},
      {"TRUE XOR TRUE", ttBoolean, "FALSE"},
      {"TRUE AND 3", ttInteger, "1"},
      {"FALSE OR 2", ttInteger, "2"},
      {"'a' + 1", ttString, "a1"},
      {"1.5 + 'x'", ttString, "1.5x"},
      {"0.1 + 0.2", ttFloat, "0.3"},
      {"TRUE + 1", ttInteger, "2"},
      {"2147483647 + 1", ttInteger, "-2147483648"},
      {"-2147483647 - 2", ttInteger, "2147483647"},
      {"65536 * 65536", ttInteger, "0"},
      {"1 - 0.5", ttFloat, "0.5"},
      {"-1.5", ttFloat, "-1.5"},
      {"-(2147483647 + 1)", ttInteger, "-2147483648"},
      {"(-2147483647 - 1) DIV -1", ttInteger, "-2147483648"},
      {"(-2147483647 - 1) MOD -1", ttInteger, "0"},
  });
  CheckErrors({
      {"NOT 'a'", "Operator opNot incompatible with String"},
      {"NOT 1.5", "Operator opNot incompatible with Float"},
      {"'a' * 2", "Operator opMult incompatible with String"},
      {"TRUE * FALSE", "Operator opMult incompatible with Boolean"},
      {"'a' / 1", "Operator opDivide incompatible with String"},
      {"TRUE / TRUE", "Operator opDivide incompatible with Boolean"},
      {"'a' DIV 1", "Operator opDiv incompatible with String"},
      {"1.5 DIV 2", "Operator opDiv incompatible with Float"},
      {"TRUE DIV TRUE", "Operator opDiv incompatible with Boolean"},
      {"'a' MOD 1", "Operator opMod incompatible with String"},
      {"1 MOD 2.0", "Operator opMod incompatible with Float"},
      {"TRUE MOD TRUE", "Operator opMod incompatible with Boolean"},
      {"'a' SHL 1", "Operator opShl incompatible with String"},
      {"1.5 SHL 1", "Operator opShl incompatible with Float"},
      {"TRUE SHL TRUE", "Operator opShl incompatible with Boolean"},
      {"'a' SHR 1", "Operator opShr incompatible with String"},
      {"1.5 SHR 1", "Operator opShr incompatible with Float"},
      {"TRUE SHR TRUE", "Operator opShr incompatible with Boolean"},
      {"'a' AND 'b'", "Operator opAnd incompatible with String"},
      {"1.5 AND 1", "Operator opAnd incompatible with Float"},
      {"'a' OR TRUE", "Operator opOr incompatible with String"},
      {"1 OR 1.5", "Operator opOr incompatible with Float"},
      {"'a' XOR 1", "Operator opXor incompatible with String"},
      {"1.5 XOR 1", "Operator opXor incompatible with Float"},
      {"TRUE + FALSE", "Operator opPlus incompatible with Boolean"},
      {"+TRUE", "Operator opPlus incompatible with Boolean"},
      {"'a' - 'b'", "Operator opMinus incompatible with String"},
      {"-'a'", "Operator opMinus incompatible with String"},
      {"TRUE - TRUE", "Operator opMinus incompatible with Boolean"},
      {"-TRUE", "Operator opMinus incompatible with Boolean"},
      // A unary + keeps a String type but has no String reading.
      {"+'a'", "Cannot read String as String"},
  });
}

TEST(ExpressionEvaluator, TypeLookupHappensWhenATypeIsAsked) {
  const auto lone = ParseExpression("'a' - 'b'");  // nobody asked its type yet
  ASSERT_NE(lone, nullptr);
  EXPECT_THROW(lone->ExprType(), EExpression);
  EXPECT_THROW(ParseExpression("('a' - 'b') + 1"), EExpression);  // the parent reads it
  EXPECT_THROW(ParseExpression("NOT ('a' - 'b')"), EExpression);
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

TEST(ExpressionEvaluator, Comparisons) {
  CheckValues({
      {"1 < 2", ttBoolean, "TRUE"},         {"2 <= 2", ttBoolean, "TRUE"},        {"3 >= 4", ttBoolean, "FALSE"},
      {"1 <> 1", ttBoolean, "FALSE"},       {"2 > 1", ttBoolean, "TRUE"},         {"1.5 > 1", ttBoolean, "TRUE"},
      {"1 = 1.0", ttBoolean, "TRUE"},       {"TRUE = 1", ttBoolean, "TRUE"},      {"TRUE = TRUE", ttBoolean, "TRUE"},
      {"TRUE <> FALSE", ttBoolean, "TRUE"}, {"'abc' < 'abd'", ttBoolean, "TRUE"}, {"'ab' < 'abc'", ttBoolean, "TRUE"},
      {"'Z' < 'a'", ttBoolean, "TRUE"},     {"'\xC4' > 'z'", ttBoolean, "TRUE"},  {"'10' < 9", ttBoolean, "TRUE"},
      {"1.50 = '1.5'", ttBoolean, "TRUE"},  {"(1 = 1) + 1", ttInteger, "2"},      {"STRING(1 < 2)", ttString, "TRUE"},
      {"FLOAT(1 > 2)", ttFloat, "0"},
  });
  CheckErrors({
      {"TRUE < FALSE", "cannot apply opLT to boolean operands"},
      {"TRUE > FALSE", "cannot apply opGT to boolean operands"},
      {"TRUE <= FALSE", "cannot apply opLTE to boolean operands"},
      {"(1 = 1) >= FALSE", "cannot apply opGTE to boolean operands"},
  });
}

TEST(ExpressionEvaluator, TypeCastsAndDefaultConversions) {
  CheckValues({
      {"STRING(1.5)", ttString, "1.5"},
      {"STRING(42)", ttString, "42"},
      {"STRING(TRUE)", ttString, "TRUE"},
      {"FLOAT(3)", ttFloat, "3"},
      {"FLOAT(TRUE)", ttFloat, "1"},
      {"INTEGER(TRUE)", ttInteger, "1"},
      {"INTEGER(7)", ttInteger, "7"},
      {"BOOLEAN(NOT FALSE)", ttBoolean, "TRUE"},
      {"INTEGER(1, 'x')", ttInteger, "1"},  // only the first parameter counts
      // Binary nodes read in a type other than their own give 0.
      {"INTEGER(1.5 + 1)", ttInteger, "0"},
      {"INTEGER('a' + 'b')", ttInteger, "0"},
      {"FLOAT('a' + 'b')", ttFloat, "0"},
      {"STRING(TRUE AND FALSE)", ttString, "FALSE"},
      {"(TRUE OR FALSE) + 1", ttInteger, "2"},
      {"FLOAT(TRUNC(2.5))", ttFloat, "2"},
      {"STRING(POS('c', 'abc'))", ttString, "3"},
      {"LENGTH('ab') + 0.5", ttFloat, "2.5"},
  });
  CheckErrors({
      {"INTEGER(2.5)", "Cannot read Float as integer"},
      {"INTEGER('7')", "Cannot read String as integer"},
      {"FLOAT('x')", "Cannot read String as Float"},
      {"BOOLEAN(1)", "Cannot read Integer as boolean"},
      {"BOOLEAN('x')", "Cannot read String as boolean"},
      {"BOOLEAN(1.5)", "Cannot read Float as boolean"},
      {"INTEGER(SQRT(4))", "Cannot read Float as integer"},
      {"INTEGER(UPPER('a'))", "Cannot read String as integer"},
      {"INTEGER", "Missing parameter to INTEGER"},
      {"string", "Missing parameter to STRING"},
      {"INTEGER()", "Empty parameter 1 to INTEGER"},
      {"BOOLEAN(,TRUE)", "Empty parameter 1 to BOOLEAN"},
  });
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

TEST(ExpressionEvaluator, ShortCircuitReadsOnlyWhatIsNeeded) {
  CheckValues({
      {"FALSE AND BOOLEAN(1.5)", ttBoolean, "FALSE"},
      {"TRUE OR BOOLEAN(1.5)", ttBoolean, "TRUE"},
      {"FALSE AND (1 DIV 0 = 0)", ttBoolean, "FALSE"},
      {"IF(TRUE, 1, 1 DIV 0)", ttInteger, "1"},
      {"IF(FALSE, 1 DIV 0, 2)", ttInteger, "2"},
  });
  CheckErrors({
      {"TRUE AND BOOLEAN(1.5)", "Cannot read Float as boolean"},
      {"FALSE OR BOOLEAN(1.5)", "Cannot read Float as boolean"},
      {"TRUE XOR BOOLEAN(1.5)", "Cannot read Float as boolean"},
      {"FALSE XOR BOOLEAN(1.5)", "Cannot read Float as boolean"},
      // INTEGER(...) makes this an Integer AND, which reads both sides.
      {"FALSE AND INTEGER(2.5)", "Cannot read Float as integer"},
      // Names are resolved while parsing, whatever is evaluated later.
      {"FALSE AND X", "Unknown Identifier X"},
  });
  CheckErrors<EExpressionMath>({{"TRUE AND (1 DIV 0 = 0)", "Division by zero"}});
  EXPECT_FALSE(EvaluateCondition("FALSE AND INTEGER(2.5)"));  // not Boolean, so never read
}

TEST(ExpressionEvaluator, BuiltInFunctions) {
  CheckValues({
      {"IF(1 = 1, 'yes', 2)", ttString, "yes"},
      {"IF(1 = 2, 'yes', 2)", ttInteger, "2"},
      {"IF(TRUE, 1.5, 'x')", ttFloat, "1.5"},
      {"TRUNC(2.5)", ttInteger, "2"},
      {"TRUNC(-2.7)", ttInteger, "-2"},
      {"TRUNC(7)", ttInteger, "7"},
      {"TRUNC(TRUE)", ttInteger, "1"},
      {"TRUNC(2147483647.9)", ttInteger, "2147483647"},
      {"TRUNC(-2147483648.5)", ttInteger, "-2147483648"},
      {"ROUND(2.5)", ttInteger, "2"},
      {"ROUND(3.5)", ttInteger, "4"},
      {"ROUND(-2.5)", ttInteger, "-2"},
      {"ROUND(-3.5)", ttInteger, "-4"},
      {"ROUND(0.5)", ttInteger, "0"},
      {"ROUND(1.5)", ttInteger, "2"},
      {"ROUND(2.4999)", ttInteger, "2"},
      {"ROUND(-2.6)", ttInteger, "-3"},
      {"ABS(-2.5)", ttFloat, "2.5"},
      {"ABS(-3)", ttFloat, "3"},
      {"INTEGER(ABS(-3))", ttInteger, "3"},
      {"INTEGER(ABS(-2147483647 - 1))", ttInteger, "-2147483648"},
      {"ARCTAN(1)", ttFloat, "0.785398163397448"},
      {"COS(0)", ttFloat, "1"},
      {"EXP(1)", ttFloat, "2.71828182845905"},
      {"FRAC(-2.75)", ttFloat, "-0.75"},
      {"INT(-2.75)", ttFloat, "-2"},
      {"LN(1)", ttFloat, "0"},
      {"LN(EXP(2))", ttFloat, "2"},
      {"SIN(0)", ttFloat, "0"},
      {"SQR(3)", ttFloat, "9"},
      {"SQRT(16)", ttFloat, "4"},
      {"POWER(2, 10)", ttFloat, "1024"},
      {"POWER(2, 0.5)", ttFloat, "1.41421356237309"},  // e^(0.5 ln 2): a hair below SQRT(2)
      {"SQRT(2)", ttFloat, "1.4142135623731"},
      {"PI(1, 'x')", ttFloat, "3.14159265358979"},
      {"UPPER('aBc1')", ttString, "ABC1"},
      {"LOWER('AbC')", ttString, "abc"},
      {"UPPER(1.5)", ttString, "1.5"},
      {"UPPER(TRUE)", ttString, "TRUE"},
      {"LOWER(TRUE)", ttString, "true"},
      {"UPPER('\xE4')", ttString, "\xE4"},
      {"COPY('abcdef', 2, 3)", ttString, "bcd"},
      {"COPY('abcdef', 0, 2)", ttString, "ab"},
      {"COPY('abcdef', -5, 2)", ttString, "ab"},
      {"COPY('abcdef', 5, 10)", ttString, "ef"},
      {"COPY('abcdef', 6, 1)", ttString, "f"},
      {"COPY('abcdef', 7, 1)", ttString, ""},
      {"COPY('abcdef', 2, -1)", ttString, ""},
      {"COPY('abcdef', 2, 0)", ttString, ""},
      {"COPY(12345, 2, 2)", ttString, "23"},
      {"COPY('abc', TRUE, TRUE)", ttString, "a"},
      {"COPY('abc', 2147483647, 2147483647)", ttString, ""},
      {"COPY('abc', 1, 2147483647)", ttString, "abc"},
      {"POS('c', 'abc')", ttInteger, "3"},
      {"POS('x', 'abc')", ttInteger, "0"},
      {"POS('', 'abc')", ttInteger, "0"},
      {"POS(2, 123)", ttInteger, "2"},
      {"POS('bc', 'abcbc')", ttInteger, "2"},
      {"POS('abc', 'ab')", ttInteger, "0"},
      {"LENGTH(12)", ttInteger, "2"},
      {"LENGTH('')", ttInteger, "0"},
      {"LENGTH(1.5)", ttInteger, "3"},
      {"LENGTH(TRUE)", ttInteger, "4"},
      {"LENGTH('it''s')", ttInteger, "4"},
      {"UPPER('a') + 1", ttString, "A1"},
  });
  CheckErrors({
      {"IF(1, 2, 3)", "Invalid parameters to If"},
      {"IF(TRUE, 1)", "Invalid parameters to If"},
      {"IF(TRUE, 1, 2, 3)", "Invalid parameters to If"},
      {"IF", "Invalid parameters to If"},
      {"IF(, 1, 2)", "Empty parameter 1 to IF"},
      {"IF(TRUE, , 2)", "Empty parameter 2 to IF"},
      {"IF(FALSE, 1, )", "Empty parameter 3 to IF"},
      {"TRUNC('1')", "Invalid parameter to TRUNC"},
      {"TRUNC(1, 2)", "Invalid parameter to TRUNC"},
      {"TRUNC", "Invalid parameter to TRUNC"},
      {"TRUNC()", "Empty parameter 1 to TRUNC"},
      {"ROUND('x')", "Invalid parameter to ROUND"},
      {"ABS('a')", "Invalid parameter to ABS"},
      {"INTEGER(ABS(-2.5))", "Cannot read Float as integer"},
      {"ARCTAN('x')", "Invalid parameter to ARCTAN"},
      {"COS(1, 2)", "Invalid parameter to COS"},
      {"EXP()", "Empty parameter 1 to EXP"},
      {"FRAC", "Invalid parameter to FRAC"},
      {"INT('1')", "Invalid parameter to INT"},
      {"LN('1')", "Invalid parameter to LN"},
      {"SIN(1, 2)", "Invalid parameter to SIN"},
      {"SQR('3')", "Invalid parameter to SQR"},
      {"SQRT('4')", "Invalid parameter to SQRT"},
      {"POWER(2)", "Invalid parameter to POWER"},
      {"POWER('2', 1)", "Invalid parameter to POWER"},
      {"POWER(1, '2')", "Invalid parameter to POWER"},
      {"POWER(2, )", "Empty parameter 2 to POWER"},
      {"UPPER()", "Empty parameter 1 to UPPER"},
      {"UPPER('a', 'b')", "Invalid parameter to UPPER"},
      {"LOWER", "Invalid parameter to LOWER"},
      {"COPY('abc', 1.5, 1)", "Invalid parameter to COPY"},
      {"COPY('abc', 1, '1')", "Invalid parameter to COPY"},
      {"COPY('abc', 1)", "Invalid parameter to COPY"},
      {"COPY('abc', 1, , )", "Invalid parameter to COPY"},
      {"COPY('abc', , 1)", "Empty parameter 2 to COPY"},
      {"COPY(, 1, 1)", "Empty parameter 1 to COPY"},
      {"POS('a')", "Invalid parameter to POS"},
      {"POS('a', )", "Empty parameter 2 to POS"},
      {"LENGTH()", "Empty parameter 1 to LENGTH"},
      {"LENGTH(1, 2)", "Invalid parameter to LENGTH"},
  });
  // Parameters are checked when read, not when parsed or typed.
  EXPECT_EQ(ParseExpression("SQRT('4')")->ExprType(), ttFloat);
}

TEST(ExpressionEvaluator, ArithmeticFailuresAreMathErrors) {
  CheckErrors<EExpressionMath>({
      {"1 DIV 0", "Division by zero"},
      {"1 MOD 0", "Division by zero"},
      {"1 / 0", "Floating point division by zero"},
      {"1.5 / 0.0", "Floating point division by zero"},
      {"0 / 0", "Invalid floating point operation"},
      {"1e308 * 10", "Floating point overflow"},
      {"1e308 + 1e308", "Floating point overflow"},
      {"-1e308 - 1e308", "Floating point overflow"},
      {"1e308 / 1e-308", "Floating point overflow"},
      {"SQRT(-1)", "Invalid floating point operation"},
      {"LN(-1)", "Invalid floating point operation"},
      {"LN(0)", "Floating point division by zero"},
      {"POWER(0, 2)", "Invalid floating point operation"},
      {"POWER(-8, 1)", "Invalid floating point operation"},
      {"POWER(10, 400)", "Floating point overflow"},
      {"EXP(710)", "Floating point overflow"},
      {"SQR(1e200)", "Floating point overflow"},
      {"TRUNC(1e30)", "Invalid floating point operation"},
      {"TRUNC(2147483648.0)", "Invalid floating point operation"},
      {"ROUND(-1e30)", "Invalid floating point operation"},
      {"ROUND(3e9)", "Invalid floating point operation"},
  });
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
  EXPECT_EQ(Evaluate("version + 1", identifiers).text, "4");
  EXPECT_EQ(Evaluate("Max(2, VERSION * 2) + PI", identifiers).text, "9.14159265358979");
  EXPECT_EQ(Evaluate("UNIT() + '1'", identifiers).text, "tank1");
  EXPECT_EQ(asked, (std::vector<std::string>{"VERSION", "VERSION", "MAX(2)", "UNIT(1)"}));  // never PI

  const auto max = ParseExpression("MAX(1, , 3)", identifiers);
  const auto& call = dynamic_cast<const TFunction&>(*max);
  EXPECT_EQ(call.ParamCount(), 3);
  EXPECT_EQ(call.Param(1), nullptr);
  EXPECT_EQ(call.Param(7), nullptr);
  EXPECT_EQ(ErrorText<EExpression>("MAX(1, , 3)"), "Unknown Identifier MAX");

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
  EXPECT_FALSE(EvaluateCondition("SQRT('4')"));  // Float: never read
  EXPECT_THROW(EvaluateCondition("1 +"), EExpression);
  EXPECT_THROW(EvaluateCondition("SQRT('4') > 1"), EExpression);
  EXPECT_THROW(EvaluateCondition("1 DIV 0 = 1"), EExpressionMath);
}

std::string Repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

TEST(ExpressionEvaluator, DeepNestingIsBoundedNotFatal) {
  CheckValues({
      {Repeat("(", 400) + "1" + Repeat(")", 400), ttInteger, "1"},
      {Repeat("-", 400) + "1", ttInteger, "1"},
      {"1" + Repeat(" + 1", 1500), ttInteger, "1501"},
  });
  CheckErrors({
      {Repeat("(", 100000) + "1", "Expression nested too deeply"},
      {Repeat("-", 100000) + "1", "Expression nested too deeply"},
      {Repeat("NOT ", 100000) + "1", "Expression nested too deeply"},
      {Repeat("ABS(", 100000), "Expression nested too deeply"},
      {"1" + Repeat("+1", 100000), "Expression nested too deeply"},
      {"'a'" + Repeat(" + 'a'", 100000), "Expression nested too deeply"},
  });
  // Every operation of an IF reads its condition; nested ones must not
  // multiply that work.
  std::string conditional = "TRUE";
  for (int i = 0; i < 300; ++i) conditional = "IF(" + conditional + " = TRUE, TRUE, FALSE)";
  EXPECT_TRUE(EvaluateCondition(conditional));
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
