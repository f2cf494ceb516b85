// Replays every input the fuzzers found a fault with, stored under
// tests/data/fuzz-regressions/<target>/, through the same Run function as
// the fuzz target (fuzz/targets.h): no exception may come out and no
// property may break.
//
// A stored input is a text whose first line says what broke (the line is
// dropped before the replay), or a binary file with a sidecar <name>.txt
// saying it (replayed byte for byte). An optional <name>.expect holds the
// summary the Run function must return, written by hand. Every folder is a
// target's and every sidecar belongs to an input, so that no find is stored
// where nothing replays it. Then random inputs made of the fuzz
// dictionary's words and any bytes go through the text targets.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>
#include <string>

#include "fuzz/targets.h"
#include "tests/support/files.h"

namespace marlo::fuzz {
namespace {

namespace fs = std::filesystem;
using marlo::test::ReadFile;

std::string WithoutLineEnds(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

TEST(FuzzRegressions, EveryStoredInput) {
  const std::set<std::string> targets(TargetNames().begin(), TargetNames().end());
  int replayed = 0;
  for (const auto& folder : fs::directory_iterator(MARLO_TEST_DATA_DIR "/fuzz-regressions")) {
    if (!folder.is_directory()) continue;
    const std::string target = folder.path().filename().string();
    EXPECT_TRUE(targets.count(target)) << "no fuzz target named " << target;
    for (const auto& entry : fs::directory_iterator(folder.path())) {
      const fs::path& path = entry.path();
      if (path.extension() == ".txt" || path.extension() == ".expect") {
        EXPECT_TRUE(fs::is_regular_file(fs::path(path).replace_extension())) << path << " belongs to no input";
        continue;
      }
      std::string bytes = ReadFile(path);
      std::string description;
      if (fs::exists(path.string() + ".txt")) {
        description = ReadFile(path.string() + ".txt");
      } else {
        const std::size_t lineEnd = bytes.find('\n');
        description = bytes.substr(0, lineEnd);
        bytes.erase(0, lineEnd == std::string::npos ? bytes.size() : lineEnd + 1);
      }
      description = WithoutLineEnds(description);
      SCOPED_TRACE(target + "/" + path.filename().string() + ": " + description);
      EXPECT_FALSE(description.empty()) << "says nowhere what broke";
      ++replayed;
      std::string summary;
      try {
        summary = RunTarget(target, Bytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
      } catch (const PropertyViolation& violation) {
        ADD_FAILURE() << "property violated: " << violation.what();
        continue;
      } catch (const std::exception& error) {
        ADD_FAILURE() << "exception escaped: " << error.what();
        continue;
      }
      if (fs::exists(path.string() + ".expect")) {
        EXPECT_EQ(summary, WithoutLineEnds(ReadFile(path.string() + ".expect")));
      }
    }
  }
  EXPECT_GT(replayed, 0);
}

TEST(FuzzTargets, RandomInputsKeepEveryProperty) {
  std::vector<std::string> words;
  for (const auto& [number, line] : marlo::test::TableLines(MARLO_TEST_DATA_DIR "/../../fuzz/dict/bos.dict")) {
    std::string_view quoted = std::string_view(line).substr(line.find('"'));
    words.push_back(marlo::test::TakeQuoted(quoted));
  }
  ASSERT_GT(words.size(), 100u);
  std::mt19937 random(12345);
  for (const char* target : {"scanner", "preprocessor", "evaluator", "compiler"}) {
    for (int round = 0; round < 5000; ++round) {
      std::string input;
      for (int n = static_cast<int>(random() % 12); n > 0; --n)
        input += random() % 8 ? words[random() % words.size()] : std::string(1, static_cast<char>(random()));
      EXPECT_NO_THROW(RunTarget(target, Bytes(reinterpret_cast<const std::uint8_t*>(input.data()), input.size())))
          << target << ": \"" << marlo::test::Escaped(input) << "\"";
    }
  }
}

}  // namespace
}  // namespace marlo::fuzz
