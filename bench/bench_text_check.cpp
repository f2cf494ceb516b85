// The micro-benchmarks' input must be what it claims: valid, complete and
// the same on every run. A text that stopped compiling would make every
// figure meaningless.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "bench/bench_text.h"
#include "compiler/compile_text.h"
#include "driver/compile_source.h"
#include "driver/memory_include_files.h"
#include "driver/standard_tokens.h"
#include "preprocessor/pre_processor.h"
#include "preprocessor/scanner.h"

namespace marlo::bench {
namespace {

std::size_t Count(std::string_view text, std::string_view part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

struct Compiled {
  bool preprocessed = false;
  core::CompileOutcome outcome;
};

Compiled PreprocessAndCompile(const BenchText& text) {
  core::TPreProcessor preprocessor;
  preprocessor.SetTokens(core::StandardTokenList());
  core::MemoryIncludeFiles files;
  files.Add(BenchText::kHeaderName, text.header);
  preprocessor.SetIncludeFiles(&files);
  Compiled result;
  result.preprocessed = core::PreprocessTwice(preprocessor, text.main, "main.bos", {});
  if (result.preprocessed) result.outcome = core::CompileText(preprocessor.Source(), {});
  return result;
}

struct Size {
  int lines;
  std::uint32_t seed;
};

class BenchTextSizes : public testing::TestWithParam<Size> {};

TEST_P(BenchTextSizes, HasExactlyTheLinesAskedForEachEndedByCrLf) {
  const BenchText text = MakeBenchText(GetParam().lines, GetParam().seed);
  EXPECT_EQ(Count(text.main, "\r\n"), static_cast<std::size_t>(GetParam().lines));
  EXPECT_EQ(Count(text.main, "\n"), Count(text.main, "\r\n"));
  EXPECT_TRUE(text.main.ends_with("\r\n"));
}

TEST_P(BenchTextSizes, PreprocessesAndCompiles) {
  const BenchText text = MakeBenchText(GetParam().lines, GetParam().seed);
  const Compiled compiled = PreprocessAndCompile(text);
  ASSERT_TRUE(compiled.preprocessed);
  ASSERT_TRUE(compiled.outcome.ok) << "[" << compiled.outcome.row << ": " << compiled.outcome.col << "] "
                                   << compiled.outcome.errorText;
  // Create plus one script for about every 20 lines.
  EXPECT_GT(compiled.outcome.image.scriptNames.size(), static_cast<std::size_t>(GetParam().lines / 40));
  EXPECT_EQ(compiled.outcome.image.pieceNames.size(), 24u);
  EXPECT_EQ(compiled.outcome.image.staticVarCount, 16u);
}

TEST_P(BenchTextSizes, DependsOnlyOnItsArguments) {
  const BenchText first = MakeBenchText(GetParam().lines, GetParam().seed);
  const BenchText again = MakeBenchText(GetParam().lines, GetParam().seed);
  EXPECT_EQ(first.main, again.main);
  EXPECT_EQ(first.header, again.header);
  EXPECT_NE(first.main, MakeBenchText(GetParam().lines, GetParam().seed + 1).main);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BenchTextSizes,
                         testing::Values(Size{200, 1}, Size{1000, 7}, Size{10000, 20240601}, Size{30000, 3}),
                         [](const testing::TestParamInfo<Size>& sized) {
                           return "lines" + std::to_string(sized.param.lines) + "_seed" +
                                  std::to_string(sized.param.seed);
                         });

// The benchmarks claim to exercise every statement and every operator.
TEST(BenchText, UsesEveryStatementOperatorAndDirective) {
  const BenchText text = MakeBenchText(10000);
  for (std::string_view word : {"attach-unit ",   "cache ",         "call-script ", "dont-cache ",
                                "dont-shade ",    "drop-unit ",     "emit-sfx ",    "explode ",
                                "get ",           "hide ",          "if (",         "move ",
                                "rand ",          "return (",       "set ",         "set-signal-mask ",
                                " shade ",        "show ",          "signal ",      "sleep ",
                                "spin ",          "start-script ",  "stop-spin ",   "turn ",
                                "wait-for-move ", "wait-for-turn ", "while (",      "var ",
                                "static-var ",    "piece ",         "#include",     "#ifdef",
                                "#else",          "#endif",         "//",           "/*"})
    EXPECT_GT(Count(text.main, word), 0u) << word;
  for (std::string_view op : {" != ", " == ", " >= ", " <= ", " < ", " > ", " & ",   " | ",   " && ", " || ",
                              " ! ",  " + ",  " - ",  " * ",  " / ", "!(",  "not (", "rand(", "true", "false"})
    EXPECT_GT(Count(text.main, op), 0u) << op;
  for (std::string_view directive : {"#ifndef", "#define", "#else", "#endif"})
    EXPECT_GT(Count(text.header, directive), 0u) << directive;
}

// Calls reach scripts defined further down, which the compiler patches at
// the end: the case the forward-reference lookup has to keep fast.
TEST(BenchText, CallsScriptsDefinedLater) {
  const BenchText text = MakeBenchText(2000);
  const std::size_t call = text.main.find("script Aim");
  ASSERT_NE(call, std::string::npos);
  std::size_t nameEnd = text.main.find('(', call);
  const std::string name = text.main.substr(call + 7, nameEnd - call - 7);
  const std::size_t definition = text.main.find("\r\n" + name + " (");
  ASSERT_NE(definition, std::string::npos) << name;
  EXPECT_GT(definition, call) << name;
}

}  // namespace
}  // namespace marlo::bench
