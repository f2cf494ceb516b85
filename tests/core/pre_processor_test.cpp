// TPreProcessor behaviour that golden files cannot show: token files and
// their chooser, include files that exist but cannot be read, the define
// index staying right when others change the table, progress.
#include "preprocessor/pre_processor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "preprocessor/scanner.h"

namespace marlo::core {
namespace {

class MemoryFiles : public IIncludeFiles {
 public:
  std::map<std::string, std::string> files;
  std::map<std::string, std::string> unreadable;  // path -> reason
  bool Exists(const std::string& path) const override { return files.count(path) || unreadable.count(path); }
  bool Read(const std::string& path, std::string& contents, std::string& reason) const override {
    if (auto it = unreadable.find(path); it != unreadable.end()) {
      reason = it->second;
      return false;
    }
    contents = files.at(path);
    return true;
  }
};

TCsStringList BosTokens() {
  TCsStringList tokens;
  for (const std::string& word : StandardBosTokens()) tokens.Add(word);
  return tokens;
}

TEST(PreProcessor, UnreadableIncludeStopsTheWalkWithTheReason) {
  MemoryFiles files;
  files.files["main.bos"] = "";
  files.unreadable["inc/a.h"] = "Permission denied";
  TPreProcessor pp;
  pp.SetTokens(BosTokens());
  pp.SetIncludeFiles(&files);
  pp.SetIncludeDirs("inc/");
  pp.SetFileName("main.bos");
  EXPECT_EQ(pp.Execute("x = 1;\n#include \"a.h\"\ny = 2;\n"), "");
  ASSERT_TRUE(pp.Failed());
  EXPECT_EQ(pp.Error().Describe(), "main.bos(2): Cannot read include file 'inc/a.h': Permission denied");
  EXPECT_EQ(pp.Source(), "\nx =1;");
}

TEST(PreProcessor, ExecuteReturnsACopyOfTheWholeSource) {
  TPreProcessor pp;
  EXPECT_EQ(pp.Execute("a\n"), "\na ");
  EXPECT_EQ(pp.Execute("b\n"), "\na \nb ");
  EXPECT_FALSE(pp.Failed());
}

TEST(PreProcessor, DefineLookupFollowsChangesMadeByOthers) {
  TPreProcessor pp;
  pp.SetTokens(BosTokens());
  pp.Execute("#define A 1\n");
  // The owner edits the table between runs: the first entry still wins.
  pp.Defines().Insert(0, "A=7");
  pp.SetSource("");
  EXPECT_EQ(pp.Execute("x A\n"), "\nx  7 ");
  pp.Defines().Clear();
  pp.SetSource("");
  EXPECT_EQ(pp.Execute("x A\n"), "\nx  A ");
}

TEST(PreProcessor, CaseModeCanChangeBetweenRuns) {
  TPreProcessor pp;
  pp.SetTokens(BosTokens());
  pp.Execute("#define Speed 5\n");
  pp.SetSource("");
  EXPECT_EQ(pp.Execute("SPEED\n"), "\nSPEED ");
  pp.SetDefinesCaseSensitive(false);
  pp.SetSource("");
  EXPECT_EQ(pp.Execute("SPEED\n"), "\n5 ");
}

TEST(PreProcessor, UndefRemovesEveryEntryOfTheName) {
  TPreProcessor pp;
  pp.SetTokens(BosTokens());
  pp.Execute("#define A 1\n#define B 2\n#define A 3\n#undef A\nA B\n");
  ASSERT_EQ(pp.Defines().Count(), 1);
  EXPECT_EQ(pp.Defines().Get(0), "B=2");
  EXPECT_EQ(pp.Source(), "\nA  2 ");
}

class TokenFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("marlo-tokens-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ / "bos.tok") << "#define\r\nhide\r\nshow\r\n";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(TokenFileTest, LoadedWhenSwitchedOn) {
  TPreProcessor pp;
  pp.SetTokenFile((dir_ / "bos.tok").string());
  EXPECT_EQ(pp.Tokens().Count(), 8) << "nothing is loaded while the switch is off";
  pp.SetLoadTokensFromFile(true);
  ASSERT_EQ(pp.Tokens().Count(), 3);
  EXPECT_EQ(pp.Tokens().Get(1), "hide");
}

TEST_F(TokenFileTest, MissingFileAsksTheChooserThenWarns) {
  TPreProcessor pp;
  std::vector<std::string> asked;
  std::vector<std::string> warnings;
  std::string offer = (dir_ / "bos.tok").string();
  pp.SetOnChooseTokenFile([&](const std::string& missing) -> std::optional<std::string> {
    asked.push_back(missing);
    return std::exchange(offer, std::string());
  });
  pp.SetOnWarning([&](const std::string& text) { warnings.push_back(text); });
  pp.SetTokenFile("nowhere.tok");
  pp.SetLoadTokensFromFile(true);
  EXPECT_EQ(asked, std::vector<std::string>{"nowhere.tok"});
  EXPECT_EQ(pp.TokenFile(), (dir_ / "bos.tok").string());
  EXPECT_EQ(pp.Tokens().Count(), 3);
  EXPECT_TRUE(warnings.empty());

  // The chooser now offers an empty name, which cancels: a warning, Tokens
  // unchanged, and no endless asking.
  pp.SetTokenFile("gone.tok");
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(warnings, std::vector<std::string>{"gone.tok wasn't found, tokens not loaded"});
  EXPECT_EQ(pp.Tokens().Count(), 3);
}

TEST(PreProcessor, ProgressMovesForwardOverTheText) {
  struct Recorder : IProgressBar {
    void SetMax(std::int64_t value) override { max = value; }
    void SetPosition(std::int64_t value) override {
      ok = ok && value >= position && value <= max;
      position = value;
    }
    void ProcessEvents() override { ++events; }
    std::int64_t max = -1, position = 0;
    int events = 0;
    bool ok = true;
  } progress;
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "hide  a ;\n";
  TPreProcessor pp;
  pp.SetProgressBar(&progress);
  pp.Execute(text);
  EXPECT_EQ(progress.max, static_cast<std::int64_t>(text.size()));
  EXPECT_EQ(progress.position, progress.max);
  EXPECT_TRUE(progress.ok);
  EXPECT_GT(progress.events, 0);
  EXPECT_LT(progress.events, 100);
}

}  // namespace
}  // namespace marlo::core
