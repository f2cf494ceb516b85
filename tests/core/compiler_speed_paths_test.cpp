// The compiler's fast paths must give what the plain ways give: the symbol
// tables keep "first declared" and "newest first" however large they grow,
// short literals convert exactly as the full decimal conversion does, and
// names read as runs are lower-cased and positioned the same whether the
// text comes whole or in pieces.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>

#include "compiler/compile_text.h"
#include "compiler/name_table.h"

namespace marlo::core {
namespace {

using detail::NameTable;

TEST(NameTable, FindsByItsRuleAcrossGrowthAndClear) {
  struct Case {
    NameTable::Finds finds;
    int expectedOfDuplicate;  // "n7" is pushed at 7 and again last
  };
  for (const Case& c : {Case{NameTable::Finds::kFirst, 7}, Case{NameTable::Finds::kLast, 1000}}) {
    NameTable table(c.finds);
    // Enough names to grow the table several times.
    for (int i = 0; i < 1000; ++i) table.Push("n" + std::to_string(i));
    table.Push("n7");
    EXPECT_EQ(table.IndexOf("n7"), c.expectedOfDuplicate);
    EXPECT_EQ(table.IndexOf("n999"), 999);
    EXPECT_EQ(table.IndexOf(NameTable::Key("n0")), 0);
    EXPECT_EQ(table.IndexOf("n1000"), -1);
    EXPECT_EQ(table.IndexOf(""), -1);
    EXPECT_EQ(table.Count(), 1001);
    EXPECT_EQ(table.Names()[1000], "n7");

    table.Clear();
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(table.IndexOf("n7"), -1);
    table.Push("");  // empty names are names too
    table.Push("a");
    table.Push("");
    EXPECT_EQ(table.IndexOf(""), c.finds == NameTable::Finds::kFirst ? 0 : 2);
    EXPECT_EQ(table.IndexOf("a"), 1);

    table.Clear();  // a small table is emptied in place
    EXPECT_EQ(table.IndexOf("a"), -1);
    table.Push("b");
    EXPECT_EQ(table.IndexOf("b"), 0);
  }
}

// The conversion of a literal as the compiler did it before any fast path:
// the full decimal conversion, then the low 32 bits of the scaled value
// truncated toward zero.
std::uint32_t ReferenceWord(const std::string& text, long double scale) {
  long double value = 0;
#ifdef _WIN32
  // MinGW's from_chars reads a long double through a double; its strtold
  // keeps all 64 bits. None of the numbers below is out of range.
  char* end = nullptr;
  value = std::strtold(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value)) return 0;
#else
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return 0;
#endif
  long double low = std::fmod(std::trunc(value * scale), 4294967296.0L);
  if (low < 0) low += 4294967296.0L;
  return static_cast<std::uint32_t>(low);
}

// The word a compiled `return <literal>;` pushes.
std::uint32_t CompiledWord(const std::string& literal, const CompileOptions& options) {
  const CompileOutcome outcome = CompileText("\ncreate ()\n{\nreturn " + literal + ";\n}\n", options);
  EXPECT_TRUE(outcome.ok) << literal << ": " << outcome.errorText;
  return outcome.ok ? outcome.image.code.at(1) : 0;
}

TEST(LiteralConversion, ShortDecimalsMatchTheFullConversion) {
  const char* const numbers[] = {"0",
                                 "7",
                                 "-7",
                                 "-0",
                                 "0.1",
                                 "-0.1",
                                 "1.5",
                                 "-1.5",
                                 "2.675",
                                 "0.3",
                                 "00012.500",
                                 "3.14159",
                                 "-2.5",
                                 "123456789012345678",
                                 "-123456789012345678",
                                 "1234567890123456789",
                                 "0.000000000000000001",
                                 "99999999999999999.9",
                                 "4294967296",
                                 "4294967295.999",
                                 "-4294967296.5",
                                 "9223372036854775807",
                                 "9223372036854775808",
                                 "-9223372036854775809",
                                 "18446744073709551616",
                                 "5.",
                                 ".5",
                                 "-.5"};
  CompileOptions options;
  options.linearConst = 163840.0;
  options.angularConst = 182.04444444;
  for (const std::string number : numbers) {
    SCOPED_TRACE(number);
    EXPECT_EQ(CompiledWord(number, options), ReferenceWord(number, 1.0L));
    EXPECT_EQ(CompiledWord("[" + number + "]", options), ReferenceWord(number, options.linearConst));
    EXPECT_EQ(CompiledWord("<" + number + ">", options), ReferenceWord(number, options.angularConst));
  }
  // Scales that push values past 64 bits take the remainder path.
  options.linearConst = 1e30;
  for (const std::string number : {"1", "-3.5", "123456.789"})
    EXPECT_EQ(CompiledWord("[" + number + "]", options), ReferenceWord(number, options.linearConst)) << number;
}

CompileOutcome InPieces(const std::string& text, std::size_t piece) {
  TextStream stream;
  std::thread writer([&] {
    for (std::size_t at = 0; at < text.size(); at += piece) stream.Append(std::string_view(text).substr(at, piece));
    stream.Close();
  });
  CompileOutcome outcome = CompileStream(stream, CompileOptions{});
  writer.join();
  return outcome;
}

TEST(CompileStream, UpperCaseRunsAcrossPiecesReadAsWhole) {
  const std::string names = "piece  Turret_Of_The_Long_Hull , Barrel ;\nstatic-var  Heat_Level_Now ;\n";
  const std::string body =
      "Create ( Arg_Number_One )\n{\nHeat_Level_Now =Arg_Number_One + 12345;\n"
      "MOVE  Turret_Of_The_Long_Hull  TO  X-AXIS [2.5] SPEED [10];\nSTART-SCRIPT  Create ( Heat_Level_Now );\n";
  for (const std::string& ending : {std::string("}\n"), std::string("Barrel_Missing =1;\n}\n")}) {
    const std::string text = "\n" + names + body + ending;
    const CompileOutcome whole = CompileText(text, CompileOptions{});
    for (std::size_t piece = 1; piece <= 9; ++piece) {
      SCOPED_TRACE("pieces of " + std::to_string(piece) + (whole.ok ? "" : ", failing"));
      const CompileOutcome streamed = InPieces(text, piece);
      EXPECT_EQ(streamed.ok, whole.ok);
      EXPECT_EQ(streamed.errorText, whole.errorText);
      EXPECT_EQ(streamed.row, whole.row);
      EXPECT_EQ(streamed.col, whole.col);
      EXPECT_EQ(streamed.image.code, whole.image.code);
      EXPECT_EQ(streamed.image.pieceNames, whole.image.pieceNames);
    }
    if (whole.ok) {
      EXPECT_EQ(whole.image.pieceNames, (std::vector<std::string>{"turret_of_the_long_hull", "barrel"}));
      EXPECT_EQ(whole.image.scriptNames, std::vector<std::string>{"create"});
    } else {
      EXPECT_EQ(whole.errorText, "syntax error in assignment");
    }
  }
}

}  // namespace
}  // namespace marlo::core
