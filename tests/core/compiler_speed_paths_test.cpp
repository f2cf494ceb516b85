// The compiler's fast paths must give what the plain ways give: the symbol
// tables keep "first declared" and "newest first" however large they grow,
// and names read as runs are lower-cased and positioned the same whether the
// text comes whole or in pieces. (Short literals convert as long ones do: the
// golden cases tests/data/compile/literal/short_decimals*.)
#include <gtest/gtest.h>

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
