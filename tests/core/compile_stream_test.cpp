// The compiler's fast paths give what the plain ways give. Every golden
// compile case is also compiled from a stream in pieces (golden_runner);
// here: a text far longer than the stream keeps, and the symbol tables'
// "first declared" and "newest first" however large they grow.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "compiler/compile_text.h"
#include "compiler/name_table.h"

namespace marlo::core {
namespace {

using detail::NameTable;

TEST(CompileStream, LongTextIsNotHeldWhole) {
  // Positions stay right across the parts the reader drops.
  std::string text;
  for (int i = 0; i < 40000; ++i) text += "s" + std::to_string(i) + " ()\n{\nsleep " + std::to_string(i) + ";\n}\n";
  text += "x ()\n{\nfoo ;\n}\n";
  TextStream stream;
  std::thread writer([&] {
    for (std::size_t at = 0; at < text.size(); at += 100000) stream.Append(std::string_view(text).substr(at, 100000));
    stream.Close();
  });
  const CompileOutcome streamed = CompileStream(stream, CompileOptions{});
  writer.join();
  const CompileOutcome whole = CompileText(text, CompileOptions{});
  EXPECT_FALSE(whole.ok);
  EXPECT_EQ(streamed.errorText, whole.errorText);
  EXPECT_EQ(streamed.row, whole.row);
  EXPECT_EQ(streamed.col, whole.col);
}

TEST(NameTable, FindsByItsRuleAcrossGrowthAndClear) {
  for (const NameTable::Finds finds : {NameTable::Finds::kFirst, NameTable::Finds::kLast}) {
    const bool first = finds == NameTable::Finds::kFirst;
    NameTable table(finds);
    // Enough names to grow the table several times; "n7" again last.
    for (int i = 0; i < 1000; ++i) table.Push("n" + std::to_string(i));
    table.Push("n7");
    EXPECT_EQ(table.IndexOf("n7"), first ? 7 : 1000);
    EXPECT_EQ(table.IndexOf("n999"), 999);
    EXPECT_EQ(table.IndexOf(NameTable::Key("n0")), 0);
    EXPECT_EQ(table.IndexOf("n1000"), -1);
    EXPECT_EQ(table.IndexOf(""), -1);
    EXPECT_EQ(table.Count(), 1001);
    EXPECT_EQ(table.Names()[1000], "n7");

    table.Clear();
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(table.IndexOf("n7"), -1);
    for (const char* name : {"", "a", ""}) table.Push(name);  // empty names are names too
    EXPECT_EQ(table.IndexOf(""), first ? 0 : 2);
    EXPECT_EQ(table.IndexOf("a"), 1);
    table.Clear();  // a small table is emptied in place
    EXPECT_EQ(table.IndexOf("a"), -1);
    table.Push("b");
    EXPECT_EQ(table.IndexOf("b"), 0);
  }
}

}  // namespace
}  // namespace marlo::core
