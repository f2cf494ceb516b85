// Replays every input the fuzzers found a fault with, stored under
// tests/data/fuzz-regressions/<target>/, through the same Run function as
// the fuzz target (fuzz/targets.h): no exception may come out and no
// property may break.
//
// A stored input is a text whose first line says what broke (the line is
// dropped before the replay), or a binary file with a sidecar <name>.txt
// saying it (replayed byte for byte). An optional <name>.expect holds the
// summary the Run function must return, written by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "fuzz/targets.h"
#include "tests/support/files.h"

namespace marlo::fuzz {
namespace {

namespace fs = std::filesystem;

fs::path RegressionDir() { return fs::path(__FILE__).parent_path().parent_path() / "data" / "fuzz-regressions"; }

using marlo::test::ReadFile;

bool IsSidecar(const fs::path& path) { return path.extension() == ".txt" || path.extension() == ".expect"; }

struct StoredInput {
  fs::path path;
  std::string description;  // what broke
  std::string bytes;        // what the target is given
};

StoredInput Load(const fs::path& path) {
  StoredInput input{path, {}, ReadFile(path)};
  fs::path sidecar = path;
  sidecar += ".txt";
  if (fs::exists(sidecar)) {
    input.description = ReadFile(sidecar);
  } else {
    const std::size_t lineEnd = input.bytes.find('\n');
    input.description = input.bytes.substr(0, lineEnd);
    input.bytes.erase(0, lineEnd == std::string::npos ? input.bytes.size() : lineEnd + 1);
  }
  while (!input.description.empty() && (input.description.back() == '\n' || input.description.back() == '\r'))
    input.description.pop_back();
  return input;
}

std::vector<StoredInput> InputsOf(const std::string& target) {
  std::vector<StoredInput> inputs;
  const fs::path dir = RegressionDir() / target;
  if (!fs::is_directory(dir)) return inputs;
  std::vector<fs::path> paths;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_regular_file() && !IsSidecar(entry.path())) paths.push_back(entry.path());
  std::sort(paths.begin(), paths.end());
  for (const fs::path& path : paths) inputs.push_back(Load(path));
  return inputs;
}

void Replay(const std::string& target) {
  const std::vector<StoredInput> inputs = InputsOf(target);
  if (inputs.empty()) GTEST_SKIP() << "no stored " << target << " inputs";
  for (const StoredInput& input : inputs) {
    SCOPED_TRACE(input.path.filename().string() + ": " + input.description);
    EXPECT_FALSE(input.description.empty()) << "says nowhere what broke";
    std::string summary;
    try {
      summary = RunTarget(target, Bytes(reinterpret_cast<const std::uint8_t*>(input.bytes.data()), input.bytes.size()));
    } catch (const PropertyViolation& violation) {
      ADD_FAILURE() << "property violated: " << violation.what();
      continue;
    } catch (const std::exception& error) {
      ADD_FAILURE() << "exception escaped: " << error.what();
      continue;
    }
    fs::path expectFile = input.path;
    expectFile += ".expect";
    if (fs::exists(expectFile)) {
      std::string expected = ReadFile(expectFile);
      while (!expected.empty() && (expected.back() == '\n' || expected.back() == '\r')) expected.pop_back();
      EXPECT_EQ(summary, expected);
    }
  }
}

TEST(FuzzRegressions, Scanner) { Replay("scanner"); }
TEST(FuzzRegressions, Preprocessor) { Replay("preprocessor"); }
TEST(FuzzRegressions, Evaluator) { Replay("evaluator"); }
TEST(FuzzRegressions, Compiler) { Replay("compiler"); }
TEST(FuzzRegressions, Cob) { Replay("cob"); }

// Every folder is a target's and every sidecar belongs to an input, so that
// no find is stored where nothing replays it.
TEST(FuzzRegressions, Layout) {
  ASSERT_TRUE(fs::is_directory(RegressionDir())) << RegressionDir();
  const std::set<std::string> targets(TargetNames().begin(), TargetNames().end());
  for (const auto& folder : fs::directory_iterator(RegressionDir())) {
    if (!folder.is_directory()) continue;
    const std::string name = folder.path().filename().string();
    EXPECT_TRUE(targets.count(name)) << "no fuzz target named " << name;
    for (const auto& entry : fs::directory_iterator(folder.path())) {
      if (!IsSidecar(entry.path())) continue;
      fs::path input = entry.path();
      input.replace_extension();
      EXPECT_TRUE(fs::is_regular_file(input)) << entry.path() << " belongs to no input";
    }
  }
}

}  // namespace
}  // namespace marlo::fuzz
