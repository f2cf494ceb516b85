// A compile that reads its text from a stream while another thread writes
// it, in pieces of any size, gives exactly what a compile of the whole text
// gives: the golden inputs, cut at every kind of place, are the check.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <thread>

#include "compiler/compile_text.h"
#include "tests/support/files.h"

namespace marlo::core {
namespace {

namespace fs = std::filesystem;

CompileOutcome Streamed(const std::string& text, std::size_t maxPiece, unsigned seed) {
  TextStream stream;
  std::thread writer([&] {
    std::mt19937 random(seed);
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t piece = 1 + random() % maxPiece;
      stream.Append(std::string_view(text).substr(at, piece));
      at += piece;
    }
    stream.Close();
  });
  CompileOutcome outcome = CompileStream(stream, CompileOptions{});
  writer.join();
  return outcome;
}

TEST(CompileStream, MatchesCompileTextOnEveryGoldenInput) {
  int cases = 0;
  for (const auto& entry : fs::recursive_directory_iterator(MARLO_TEST_DATA_DIR "/compile")) {
    if (entry.path().extension() != ".bos") continue;
    const std::string text = marlo::test::ReadFile(entry.path());
    const CompileOutcome whole = CompileText(text, CompileOptions{});
    for (std::size_t maxPiece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
      const CompileOutcome streamed = Streamed(text, maxPiece, static_cast<unsigned>(cases));
      SCOPED_TRACE(entry.path().string() + " in pieces of up to " + std::to_string(maxPiece));
      ASSERT_EQ(streamed.ok, whole.ok);
      ASSERT_EQ(streamed.errorText, whole.errorText);
      ASSERT_EQ(streamed.row, whole.row);
      ASSERT_EQ(streamed.col, whole.col);
      ASSERT_EQ(streamed.image.code, whole.image.code);
      ASSERT_EQ(streamed.image.scriptNames, whole.image.scriptNames);
      ASSERT_EQ(streamed.image.pieceNames, whole.image.pieceNames);
    }
    ++cases;
  }
  EXPECT_GT(cases, 100);
}

TEST(CompileStream, LongTextIsNotHeldWhole) {
  // Far more text than the reader keeps: positions stay right across the
  // parts it drops.
  std::string text;
  for (int i = 0; i < 40000; ++i) text += "s" + std::to_string(i) + " ()\n{\nsleep " + std::to_string(i) + ";\n}\n";
  text += "x ()\n{\nfoo ;\n}\n";
  const CompileOutcome whole = CompileText(text, CompileOptions{});
  const CompileOutcome streamed = Streamed(text, 100000, 1);
  EXPECT_FALSE(whole.ok);
  EXPECT_EQ(streamed.errorText, whole.errorText);
  EXPECT_EQ(streamed.row, whole.row);
  EXPECT_EQ(streamed.col, whole.col);
}

}  // namespace
}  // namespace marlo::core
