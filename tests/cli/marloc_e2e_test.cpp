// Runs the real marloc binary on small files in a temporary folder and checks
// what it prints, its exit status and the files it leaves.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Scripts are written without a preprocessor in front, so keywords carry
// blanks around them.
const std::string kTank = "piece base, turret;\r\ncreate ()\r\n{\r\nhide  base ;\r\nshow  turret ;\r\n}\r\n";
const std::string kTwoScripts =
    "piece base;\r\ncreate ()\r\n{\r\nhide  base ;\r\n}\r\nkilled (severity)\r\n{\r\nreturn  0 ;\r\n}\r\n";
const std::string kDuplicate = "create ()\r\n{\r\n}\r\ncreate ()\r\n{\r\n}\r\n";
const std::string kDuplicateError = "[3: 6] Script function create already exists";

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;

  std::vector<std::string> OutLines() const {
    std::vector<std::string> lines;
    std::istringstream stream(out);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
  }
};

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Marloc : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("marloc_e2e_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
             std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(work());
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path work() const { return root_ / "work"; }

  void Write(const std::string& name, const std::string& bytes) {
    fs::path path = work() / name;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }

  // Runs marloc inside the work folder; its output goes to files beside it.
  Outcome Exec(const std::vector<std::string>& args) {
    std::string command = "cd " + ShellQuote(work().string()) + " && " + ShellQuote(MARLOC_PATH);
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    command += " >" + ShellQuote((root_ / "out.txt").string()) + " 2>" + ShellQuote((root_ / "err.txt").string()) +
               " </dev/null";
    Outcome run;
    int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadAll(root_ / "out.txt");
    run.err = ReadAll(root_ / "err.txt");
    return run;
  }

  // The listing's code words of a one-script file compiled with `args`.
  std::vector<std::string> CodeWords(const std::string& source, std::vector<std::string> args) {
    Write("one.bos", source);
    args.push_back("--listing");
    args.push_back("one.bos");
    Outcome run = Exec(args);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    std::vector<std::string> words;
    for (const std::string& line : run.OutLines()) {
      std::size_t colon = line.find(':');
      if (colon != std::string::npos && line.rfind("[", 0) != 0 && line.rfind("Compiling", 0) != 0) {
        words.push_back(line.substr(colon + 1));
      }
    }
    return words;
  }

  fs::path root_;
};

TEST_F(Marloc, CompilesOneFile) {
  Write("tank.bos", kTank);
  Outcome run = Exec({"tank.bos"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Compiling file 'tank.bos'\nCompile completed successfully\n");
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(fs::is_regular_file(work() / "tank.cob"));
  EXPECT_GT(fs::file_size(work() / "tank.cob"), 44u);
}

TEST_F(Marloc, PathIsShownAsGivenAndCobGoesToTheCurrentFolder) {
  Write("src/tank.bos", kTank);
  Outcome run = Exec({"./src/../src/tank.bos"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Compiling file './src/../src/tank.bos'\nCompile completed successfully\n");
  EXPECT_TRUE(fs::exists(work() / "tank.cob"));
  EXPECT_FALSE(fs::exists(work() / "src" / "tank.cob"));
}

TEST_F(Marloc, OutputDirPlacesTheCob) {
  Write("src/tank.bos", kTank);
  fs::create_directories(work() / "out");
  fs::create_directories(work() / "out2");
  Outcome run = Exec({"-o", "out", "src/tank.bos"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(fs::exists(work() / "out" / "tank.cob"));
  EXPECT_FALSE(fs::exists(work() / "tank.cob"));
  EXPECT_FALSE(fs::exists(work() / "src" / "tank.cob"));

  run = Exec({"--output-dir=out2/", "src/tank.bos"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(ReadAll(work() / "out2" / "tank.cob"), ReadAll(work() / "out" / "tank.cob"));
}

TEST_F(Marloc, FailedCompileLeavesNoCob) {
  Write("dup.bos", kDuplicate);
  Outcome run = Exec({"dup.bos"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Compiling file 'dup.bos'\n" + kDuplicateError + "\n");
  EXPECT_EQ(run.err, "");
  EXPECT_FALSE(fs::exists(work() / "dup.cob"));
  for (const auto& entry : fs::directory_iterator(work())) {
    EXPECT_EQ(entry.path().filename(), "dup.bos") << "left behind: " << entry.path();
  }
}

TEST_F(Marloc, UnreadableFileFailsInTheMessageForm) {
  fs::create_directories(work() / "folder.bos");
  Outcome run = Exec({"missing.bos", "folder.bos"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "Compiling file 'missing.bos'\n"
            "[0: 0] Cannot read file 'missing.bos': No such file or directory\n"
            "Compiling file 'folder.bos'\n"
            "[0: 0] Cannot read file 'folder.bos': Is a directory\n");
  EXPECT_FALSE(fs::exists(work() / "missing.cob"));
  EXPECT_FALSE(fs::exists(work() / "folder.cob"));
}

TEST_F(Marloc, MissingOutputDirIsACompileError) {
  Write("tank.bos", kTank);
  Outcome run = Exec({"-o", "nowhere", "tank.bos"});
  EXPECT_EQ(run.status, 1);
  std::vector<std::string> lines = run.OutLines();
  ASSERT_EQ(lines.size(), 2u) << run.out;
  EXPECT_EQ(lines[0], "Compiling file 'tank.bos'");
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\[\d+: \d+\] .+)"))) << lines[1];
  EXPECT_FALSE(fs::exists(work() / "nowhere"));
}

TEST_F(Marloc, EveryFileIsCompiledAndAnyFailureGivesOne) {
  Write("a.bos", kTank);
  Write("b.bos", kDuplicate);
  Write("c.bos", kTwoScripts);
  Outcome run = Exec({"a.bos", "b.bos", "c.bos"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "Compiling file 'a.bos'\nCompile completed successfully\n"
            "Compiling file 'b.bos'\n" +
                kDuplicateError +
                "\n"
                "Compiling file 'c.bos'\nCompile completed successfully\n");
  EXPECT_TRUE(fs::exists(work() / "a.cob"));
  EXPECT_FALSE(fs::exists(work() / "b.cob"));
  EXPECT_TRUE(fs::exists(work() / "c.cob"));
}

TEST_F(Marloc, WarningsGoToStandardError) {
  Write("warn.bos", "create ()\r\n{\r\nsleep  - ;\r\n}\r\n");
  Outcome run = Exec({"warn.bos"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Compiling file 'warn.bos'\nCompile completed successfully\n");
  EXPECT_EQ(run.err, "warn.bos: warning: ProcessFactor | Number excepted\n");
}

struct UsageCase {
  const char* name;
  std::vector<std::string> args;
  std::string firstErrLine;
};

class MarlocUsage : public Marloc, public testing::WithParamInterface<UsageCase> {};

TEST_P(MarlocUsage, ExitsWithTwo) {
  Write("tank.bos", kTank);
  Outcome run = Exec(GetParam().args);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, GetParam().firstErrLine + "\nTry 'marloc --help' for more information.\n");
  EXPECT_FALSE(fs::exists(work() / "tank.cob"));
}

const UsageCase kUsage[] = {
    {"NoFiles", {}, "marloc: no input files"},
    {"UnknownOption", {"--fast", "tank.bos"}, "marloc: unknown option '--fast'"},
    {"IncludeNotYet", {"-I", "inc", "tank.bos"}, "marloc: unknown option '-I'"},
    {"PreprocessNotYet", {"-E", "tank.bos"}, "marloc: unknown option '-E'"},
    {"DefinesIgnoreCaseNotYet",
     {"--defines-ignore-case", "tank.bos"},
     "marloc: unknown option '--defines-ignore-case'"},
    {"MissingValue", {"tank.bos", "--recurse"}, "marloc: option '--recurse' needs a value"},
    {"NonNumeric", {"-j", "two", "tank.bos"}, "marloc: option '-j' needs a whole number, got 'two'"},
    {"NonNumericReal", {"--angular", "x", "tank.bos"}, "marloc: option '--angular' needs a number, got 'x'"},
};

INSTANTIATE_TEST_SUITE_P(Usage, MarlocUsage, testing::ValuesIn(kUsage),
                         [](const testing::TestParamInfo<UsageCase>& row) { return row.param.name; });

TEST_F(Marloc, Version) {
  Outcome run = Exec({"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, std::string("marloc ") + MARLO_EXPECTED_VERSION + "\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(Marloc, HelpWinsOverFiles) {
  Write("tank.bos", kTank);
  Outcome run = Exec({"tank.bos", "--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out.starts_with("Usage: marloc [options] FILE...\n")) << run.out;
  EXPECT_NE(run.out.find("--tab-width N"), std::string::npos);
  EXPECT_EQ(run.err, "");
  EXPECT_FALSE(fs::exists(work() / "tank.cob"));
}

TEST_F(Marloc, ParallelOutputEqualsSerialOutput) {
  std::vector<std::string> files;
  for (int i = 0; i < 8; ++i) {
    std::string name = "unit" + std::to_string(i) + ".bos";
    const std::string& text = i % 3 == 1 ? kDuplicate : (i % 2 == 0 ? kTank : kTwoScripts);
    Write(name, text + (i == 5 ? "" : std::string(i * 2000, ' ')));
    files.push_back(name);
  }
  files.push_back("missing.bos");
  Write("warn.bos", "create ()\r\n{\r\nsleep  . ;\r\nsleep  - ;\r\n}\r\n");
  files.push_back("warn.bos");

  std::vector<std::string> serialArgs = {"--listing", "-j", "1"};
  serialArgs.insert(serialArgs.end(), files.begin(), files.end());
  Outcome serial = Exec(serialArgs);
  for (const char* jobs : {"2", "3", "16"}) {
    std::vector<std::string> parallelArgs = {"--listing", "--jobs", jobs};
    parallelArgs.insert(parallelArgs.end(), files.begin(), files.end());
    Outcome parallel = Exec(parallelArgs);
    EXPECT_EQ(parallel.status, 1) << "-j " << jobs;
    EXPECT_EQ(parallel.out, serial.out) << "-j " << jobs;
    EXPECT_EQ(parallel.err, serial.err) << "-j " << jobs;
  }
  EXPECT_EQ(serial.status, 1);
  EXPECT_EQ(serial.err,
            "warn.bos: warning: ProcessFactor | Number excepted\nwarn.bos: warning: ProcessFactor | Number excepted\n");
  // Every file shows up once, in argument order.
  std::size_t from = 0;
  for (const std::string& file : files) {
    std::size_t at = serial.out.find("Compiling file '" + file + "'\n", from);
    ASSERT_NE(at, std::string::npos) << file;
    from = at + 1;
  }
}

TEST_F(Marloc, ListingShape) {
  Write("two.bos", kTwoScripts);
  Outcome run = Exec({"--listing", "two.bos"});
  ASSERT_EQ(run.status, 0) << run.out;
  std::vector<std::string> lines = run.OutLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Compiling file 'two.bos'");
  EXPECT_EQ(lines[1], "Compile completed successfully");

  const std::string separator(80, '/');
  const std::regex codeLine("[0-9A-F]{4,}:[0-9A-F]{8,}");
  std::vector<std::string> scripts;
  std::vector<int> wordsPerScript;
  for (std::size_t i = 2; i < lines.size(); ++i) {
    if (lines[i] == separator) {
      ASSERT_LT(i + 1, lines.size());
      ASSERT_TRUE(lines[i + 1].starts_with("//")) << lines[i + 1];
      scripts.push_back(lines[++i].substr(2));
      wordsPerScript.push_back(0);
      continue;
    }
    ASSERT_FALSE(scripts.empty()) << "code before a script name: " << lines[i];
    EXPECT_TRUE(std::regex_match(lines[i], codeLine)) << lines[i];
    ++wordsPerScript.back();
  }
  EXPECT_EQ(scripts, (std::vector<std::string>{"Create", "Killed"}));
  // hide base: 2 words; the parameter's ALLOCATE_STACK: 1; return 0: 3; and
  // every script ends with PUSH_CONSTANT 0, RETURN: 3.
  EXPECT_EQ(wordsPerScript, (std::vector<int>{5, 7}));
  EXPECT_TRUE(lines.back().ends_with(":10065000")) << lines.back();
}

TEST_F(Marloc, ListingOnlyAfterSuccess) {
  Write("dup.bos", kDuplicate);
  Outcome run = Exec({"--listing", "--disasm", "dup.bos"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Compiling file 'dup.bos'\n" + kDuplicateError + "\n");
}

TEST_F(Marloc, DisasmNamesInstructions) {
  Write("tank.bos", kTank);
  Outcome run = Exec({"--disasm", "tank.bos"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(run.out.starts_with("Compiling file 'tank.bos'\nCompile completed successfully\n")) << run.out;
  for (const char* word : {"Create", "HIDE", "SHOW", "PUSH_CONSTANT", "RETURN"}) {
    EXPECT_NE(run.out.find(word), std::string::npos) << word << " missing in\n" << run.out;
  }
  EXPECT_EQ(run.out.find("Compile completed successfully", 40), std::string::npos);
}

TEST_F(Marloc, ConstantsReachTheCompiler) {
  const std::string angular = "create ()\r\n{\r\nsleep  <90> ;\r\n}\r\n";
  const std::string linear = "create ()\r\n{\r\nsleep  [2] ;\r\n}\r\n";
  // PUSH_CONSTANT's operand is the second word.
  EXPECT_EQ(CodeWords(angular, {}).at(1), "00003FFF");
  EXPECT_EQ(CodeWords(angular, {"--angular", "100"}).at(1), "00002328");
  EXPECT_EQ(CodeWords(linear, {}).at(1), "00050000");
  EXPECT_EQ(CodeWords(linear, {"--linear=10.5"}).at(1), "00000015");
}

TEST_F(Marloc, RecurseDepthReachesTheCompiler) {
  Write("deep.bos", "create ()\r\n{\r\nsleep  ((1)) ;\r\n}\r\n");
  EXPECT_EQ(Exec({"--recurse", "4", "deep.bos"}).status, 0);
  Outcome run = Exec({"--recurse", "3", "deep.bos"});
  EXPECT_EQ(run.status, 1);
  std::vector<std::string> lines = run.OutLines();
  ASSERT_EQ(lines.size(), 2u) << run.out;
  EXPECT_TRUE(
      lines[1].ends_with("] RecurseDepth reached or exceeded in function 'create'.  Aborting a likely compiler crash"))
      << lines[1];
}

struct TabCase {
  const char* name;
  std::string width;
  std::string errorLine;
};

class MarlocTabs : public Marloc, public testing::WithParamInterface<TabCase> {};

// Tabs before the second definition move the error's column by the width.
TEST_P(MarlocTabs, ExpandedOnReading) {
  Write("tabs.bos", "create ()\r\n{\r\n}\r\n\tcreate ()\r\n{\r\n}\r\n");
  std::vector<std::string> args = {"tabs.bos"};
  if (!GetParam().width.empty()) args = {"--tab-width", GetParam().width, "tabs.bos"};
  Outcome run = Exec(args);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Compiling file 'tabs.bos'\n" + GetParam().errorLine + "\n");
}

INSTANTIATE_TEST_SUITE_P(Tabs, MarlocTabs,
                         testing::Values(TabCase{"Default", "", "[3: 10] Script function create already exists"},
                                         TabCase{"One", "1", "[3: 7] Script function create already exists"},
                                         TabCase{"ZeroRemoves", "0", "[3: 6] Script function create already exists"},
                                         TabCase{"NegativeRemoves", "-2",
                                                 "[3: 6] Script function create already exists"}),
                         [](const testing::TestParamInfo<TabCase>& row) { return row.param.name; });

}  // namespace
