// TPreProcessor behaviour that golden files cannot show: token files and
// their chooser, include files that exist but cannot be read, the define
// index staying right when others change the table, progress.
#include "preprocessor/pre_processor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "driver/memory_include_files.h"
#include "driver/standard_tokens.h"
#include "preprocessor/scanner.h"
#include "preprocessor/token_reader.h"
#include "tests/support/files.h"

namespace marlo::core {
namespace {

const TCsStringList& BosTokens() { return StandardTokenList(); }

TEST(PreProcessor, UnreadableIncludeStopsTheWalkWithTheReason) {
  MemoryIncludeFiles files;
  files.Add("main.bos", "");
  files.AddUnreadable("inc/a.h", "Permission denied");
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

TEST(PreProcessor, NewTokensTakeEffectOnTheNextRun) {
  TPreProcessor pp;
  pp.SetTokens(BosTokens());
  pp.Execute("#define A 1\n");
  ASSERT_EQ(pp.Defines().Count(), 1);
  // Without "#define" among the tokens the line is plain text.
  TCsStringList noDefine = BosTokens();
  noDefine.Delete(noDefine.IndexOf("#define"));
  pp.SetTokens(noDefine);
  pp.Reset();
  pp.Execute("#define B 2\n");
  EXPECT_EQ(pp.Defines().Count(), 0);
  pp.SetTokens(BosTokens());
  pp.Reset();
  pp.Execute("#define C 3\n");
  EXPECT_EQ(pp.Defines().Count(), 1);
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
  void SetUp() override { dir_.Write("bos.tok", "#define\r\nhide\r\nshow\r\n"); }
  marlo::test::ScratchDir dir_{"marlo_tokens"};
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

namespace marlo::core {
namespace {

std::vector<TToken> ReadAll(TokenReader& reader) {
  std::vector<TToken> tokens;
  TToken token;
  while (reader.Next(token)) tokens.push_back(token);
  return tokens;
}

bool SameTokens(const std::vector<TToken>& a, const std::vector<TToken>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].Kind != b[i].Kind || a[i].Text != b[i].Text || a[i].Line != b[i].Line || a[i].Column != b[i].Column ||
        a[i].Position != b[i].Position)
      return false;
  return true;
}

TScanner PreprocessorScanner() {
  TScanner scanner;
  scanner.ConfigureForPreprocessor(BosTokens());
  return scanner;
}

TEST(TokenReader, ScanningOnASecondThreadGivesTheSameTokens) {
  const TScanner tokens = PreprocessorScanner();
  for (const std::string& text : {std::string(), std::string("x"), std::string("/* open\n comment"),
                                  std::string(30000, 'a') + " b 0x1F $g 'q' \"s\"\r\n// c\n"}) {
    std::string longText;
    for (int i = 0; i < 3000; ++i) longText += text + " call-script  f" + std::to_string(i) + " (1, 2);\n";
    for (const std::string* input : std::vector<const std::string*>{&text, &longText}) {
      ScannerReader direct(tokens, *input);
      ThreadedTokenReader threaded(std::make_unique<ScannerReader>(tokens, *input));
      EXPECT_TRUE(SameTokens(ReadAll(direct), ReadAll(threaded))) << input->size();
    }
  }
}

TEST(TokenReader, StoppingEarlyEndsTheScanningThread) {
  const std::string word(5 << 20, 'x');
  const std::string text = word + " y z";
  ThreadedTokenReader reader(std::make_unique<ScannerReader>(PreprocessorScanner(), text));
  TToken token;
  ASSERT_TRUE(reader.Next(token));
  EXPECT_EQ(token.Text.size(), word.size());
  // Destroyed here with tokens unread: must not hang.
}

// A source that fails after `tokens` tokens, as a scanner out of memory would.
class FailingReader : public TokenReader {
 public:
  explicit FailingReader(int tokens) : left_(tokens) {}
  bool Next(TToken& token) override {
    if (left_-- == 0) throw std::bad_alloc();
    token.Text = "x";
    return true;
  }

 private:
  int left_;
};

TEST(TokenReader, AFailureOnTheScanningThreadReachesTheReader) {
  ThreadedTokenReader reader(std::make_unique<FailingReader>(5000));
  TToken token;
  int read = 0;
  EXPECT_THROW(while (reader.Next(token))++ read, std::bad_alloc);
  EXPECT_LE(read, 5000);  // the batch under way when it failed is lost
}

TEST(PreProcessor, ParallelScanChangesNothing) {
  std::string text = "#define SPEED <45>\n#ifdef NOPE\nhidden\n#else\nshown\n#endif\n";
  for (int i = 0; i < 60000; ++i) text += "turn  t" + std::to_string(i % 7) + " to  y-axis SPEED now ; // c\n";
  text += "#if SPEED = 1\n";  // fails to evaluate: the error is kept in both modes
  TPreProcessor serial;
  TPreProcessor parallel;
  serial.SetTokens(BosTokens());
  parallel.SetTokens(BosTokens());
  parallel.SetParallelScan(true);
  ASSERT_GT(text.size(), std::size_t{1} << 20);
  EXPECT_EQ(serial.Execute(text), parallel.Execute(text));
  EXPECT_EQ(serial.Source(), parallel.Source());
  ASSERT_TRUE(serial.Failed());
  ASSERT_TRUE(parallel.Failed());
  EXPECT_EQ(serial.Error().Describe(), parallel.Error().Describe());
}

}  // namespace
}  // namespace marlo::core
