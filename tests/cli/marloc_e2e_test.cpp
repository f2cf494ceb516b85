// Runs the real marloc binary on small files in a temporary folder and checks
// what it prints, its exit status and the files it leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;
using marlo::test::ReadFile;
using marlo::test::WriteFile;

// Every file passes through the preprocessor, which re-spaces the text, so
// scripts are written in the usual style.
const std::string kTank = "piece base, turret;\r\ncreate ()\r\n{\r\n    hide base;\r\n    show turret;\r\n}\r\n";
const std::string kTwoScripts =
    "piece base;\r\ncreate ()\r\n{\r\n    hide base;\r\n}\r\nkilled (severity)\r\n{\r\n    return 0;\r\n}\r\n";
const std::string kDuplicate = "create ()\r\n{\r\n}\r\ncreate ()\r\n{\r\n}\r\n";
// The preprocessed text begins with an empty line, so the fourth source line
// is row 4; `create` begins its line, so the column is its length.
const std::string kDuplicateError = "[4: 6] Script function create already exists";

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
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class Marloc : public testing::Test {
 protected:
  fs::path work() const { return root_ / "work"; }

  void Write(const std::string& name, const std::string& bytes) { WriteFile(work() / name, bytes); }

  // Runs a shell command in the work folder, with $MARLOC set; its output
  // goes to files beside the folder.
  Outcome Shell(const std::string& command) {
    fs::create_directories(work());
    const std::string line = "cd " + ShellQuote(work().string()) + " && export MARLOC=" + ShellQuote(MARLOC_PATH) +
                             " && " + command + " >" + ShellQuote((root_ / "out.txt").string()) + " 2>" +
                             ShellQuote((root_ / "err.txt").string()) + " </dev/null";
    const int raw = std::system(line.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(root_ / "out.txt"), ReadFile(root_ / "err.txt")};
  }

  Outcome Bash(const std::string& script) { return Shell("bash -c " + ShellQuote(script)); }

  // Runs marloc with `args` in the work folder.
  Outcome Exec(const std::vector<std::string>& args) {
    std::string command = "\"$MARLOC\"";
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    return Shell(command);
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

  marlo::test::ScratchDir root_{"marloc_e2e"};
};

// The path shows as given; the .cob goes to the current folder or to -o's.
TEST_F(Marloc, CompilesAFileIntoTheOutputFolder) {
  Write("src/tank.bos", kTank);
  Outcome run = Exec({"./src/../src/tank.bos"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Compiling file './src/../src/tank.bos'\nCompile completed successfully\n");
  EXPECT_EQ(run.err, "");
  EXPECT_GT(fs::file_size(work() / "tank.cob"), 44u);
  EXPECT_FALSE(fs::exists(work() / "src" / "tank.cob"));

  fs::create_directories(work() / "out");
  fs::create_directories(work() / "out2");
  EXPECT_EQ(Exec({"-o", "out", "src/tank.bos"}).status, 0);
  EXPECT_EQ(Exec({"--output-dir=out2/", "src/tank.bos"}).status, 0);
  EXPECT_EQ(ReadFile(work() / "out" / "tank.cob"), ReadFile(work() / "tank.cob"));
  EXPECT_EQ(ReadFile(work() / "out2" / "tank.cob"), ReadFile(work() / "tank.cob"));
  EXPECT_FALSE(fs::exists(work() / "src" / "tank.cob"));
}

// Every file is compiled whatever the others give, and any failure gives
// status 1. A failure leaves no .cob behind; errors and warnings go to
// standard error too, where in the file they lie, as compilers say it; a
// file that cannot be read fails in the message form.
TEST_F(Marloc, EveryFileIsCompiledAndAnyFailureGivesOne) {
  Write("a.bos", kTank);
  Write("dup.bos", kDuplicate);
  Write("warn.bos", "create ()\r\n{\r\nsleep  - ;\r\n}\r\n");
  fs::create_directories(work() / "folder.bos");
  Outcome run = Exec({"a.bos", "dup.bos", "missing.bos", "folder.bos", "warn.bos"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "Compiling file 'a.bos'\nCompile completed successfully\n"
            "Compiling file 'dup.bos'\n" +
                kDuplicateError +
                "\n"
                "Compiling file 'missing.bos'\n"
                "[0: 0] Cannot read file 'missing.bos': No such file or directory\n"
                "Compiling file 'folder.bos'\n"
                "[0: 0] Cannot read file 'folder.bos': Is a directory\n"
                "Compiling file 'warn.bos'\nCompile completed successfully\n");
  // The warning's column is that of the "-" that is no number.
  EXPECT_EQ(run.err,
            "dup.bos:4:1: error: Script function create already exists\n"
            "warn.bos:3:8: warning: ProcessFactor | Number excepted\n");
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(work())) files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"a.bos", "a.cob", "dup.bos", "folder.bos", "warn.bos", "warn.cob"}));
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
  EXPECT_EQ(run.err,
            GetParam().firstErrLine + "\nUsage: marloc [options] FILE...\nTry 'marloc --help' for more information.\n");
  EXPECT_FALSE(fs::exists(work() / "tank.cob"));
}

// The options' table (tests/cli/options_test.cpp) holds every refusal of the
// arguments themselves; here the real binary's status and message form, and
// what the compiles would write, checked once before any starts.
const UsageCase kUsage[] = {
    {"UnknownOption", {"--fast", "tank.bos"}, "marloc: unknown option '--fast'"},
    {"MissingOutputFolder", {"-o", "nowhere", "tank.bos"}, "marloc: output folder 'nowhere' does not exist"},
    {"OutputFolderIsAFile", {"-o", "tank.bos", "tank.bos"}, "marloc: output folder 'tank.bos' is not a folder"},
    {"TwoInputsOneCob",
     {"-j", "2", "tank.bos", "a/x.bos", "b/x.bos"},
     "marloc: 'a/x.bos' and 'b/x.bos' would both be compiled to './x.cob'"},
    {"SameInputTwice",
     {"tank.bos", "./tank.bos"},
     "marloc: 'tank.bos' and './tank.bos' would both be compiled to './tank.cob'"},
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

// The listing of the .cob written: each script under a line of slashes and
// its name, then its code words with their addresses.
TEST_F(Marloc, ListingShowsTheCodeOfEachScript) {
  Write("two.bos", kTwoScripts);
  const Outcome run = Exec({"--listing", "two.bos"});
  EXPECT_EQ(run.status, 0);
  const std::string separator(80, '/');
  EXPECT_EQ(run.out, "Compiling file 'two.bos'\nCompile completed successfully\n" + separator + "\n//Create\n" +
                         "0000:10006000\n0001:00000000\n"                   // HIDE base
                         "0002:10021001\n0003:00000000\n0004:10065000\n" +  // PUSH_CONSTANT 0, RETURN
                         separator +
                         "\n//Killed\n" +
                         "0005:10022000\n"                                  // ALLOCATE_STACK: the parameter
                         "0006:10021001\n0007:00000000\n0008:10065000\n"    // return 0;
                         "0009:10021001\n000A:00000000\n000B:10065000\n");  // PUSH_CONSTANT 0, RETURN
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

// The printed text is what -E and --listing produce; losing it is a failure.
TEST_F(Marloc, FullStandardOutputFails) {
  Write("tank.bos", kTank);
  for (const char* option : {"-E", "--listing"}) {
    const Outcome run = Bash(std::string("\"$MARLOC\" ") + option + " tank.bos >/dev/full");
    EXPECT_EQ(run.status, 1) << option;
    EXPECT_EQ(run.err, "marloc: cannot write to standard output\n") << option;
  }
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

// The preprocessor re-spaces everything but the texts of tokens, so a tab
// shows its expansion only inside a token: here in the quoted name of an
// include file, which the error line repeats (the text before it ends at
// row 1, column 13, "piece  base ;"). The expanded name is the name looked
// for.
TEST_F(Marloc, TabsAreExpandedOnReading) {
  Write("tabs.bos", "piece base;\r\n#include \"\tparts.h\"\r\n");
  Write("  parts.h", "create ()\r\n{\r\n}\r\n");
  Outcome run = Exec({"tabs.bos"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Compiling file 'tabs.bos'\n[1: 13] tabs.bos(2): Include file '    parts.h' not found\n");
  run = Exec({"--tab-width=2", "tabs.bos"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, "Compiling file 'tabs.bos'\nCompile completed successfully\n");
}

// ---------------------------------------------------------------------------
// The preprocessor in front of every compile.

// Each header holds one word that says where it was found. The name as
// written is tried first (relative to marloc's current folder), then each
// include directory in order, as a plain prefix.
TEST_F(Marloc, FirstFoundIncludeWins) {
  Write("x.h", "x_cwd\r\n");
  Write("one/x.h", "x_one\r\n");
  Write("one/y.h", "y_one\r\n");
  Write("two/x.h", "x_two\r\n");
  Write("two/y.h", "y_two\r\n");
  Write("two/z.h", "z_two\r\n");
  Write("main.bos", "#include \"x.h\"\r\n#include \"y.h\"\r\n#include \"z.h\"\r\n");
  // What a directory without its added separator would find.
  Write("oney.h", "y_glued\r\n");
  Write("twoz.h", "z_glued\r\n");
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"-I", "one", "-I", "two"}, "\nx_cwd \ny_one \nz_two "},
      {{"-I", "two;one"}, "\nx_cwd \ny_two \nz_two "},
      {{"--include=two/", "--include", "one/"}, "\nx_cwd \ny_two \nz_two "},
      {{"-I", "nowhere;one", "-Itwo"}, "\nx_cwd \ny_one \nz_two "},
      {{"-I", ";one;two"}, "\nx_cwd \ny_one \nz_two "},  // an empty entry is the name as given
      {{"-I", "./one", "-I", "./two"}, "\nx_cwd \ny_one \nz_two "},
  };
  for (auto [args, source] : cases) {
    args.insert(args.begin(), "-E");
    args.push_back("main.bos");
    const Outcome run = Exec(args);
    EXPECT_EQ(run.status, 0) << args[2];
    EXPECT_EQ(run.out, source) << args[2];
    EXPECT_EQ(run.err, "") << args[2];
  }
}

TEST_F(Marloc, IncludeIsRelativeToTheCurrentFolderNotTheIncludingFile) {
  Write("x.h", "x_cwd\r\n");
  Write("src/x.h", "x_src\r\n");
  Write("src/main.bos", "#include \"x.h\"\r\n");
  Outcome run = Exec({"-E", "src/main.bos"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "\nx_cwd ");

  // Found through a directory, a header's own includes are searched the same way.
  Write("lib/outer.h", "#include \"inner.h\"\r\nouter\r\n");
  Write("lib/inner.h", "inner\r\n");
  Write("top.bos", "#include \"outer.h\"\r\n");
  run = Exec({"-E", "-I", "lib", "top.bos"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "\ninner \nouter ");
}

// The whole -E text, worked out by hand. First pass: the header's lines give
// "\npiece  base , wheel_l ;"; its final #endif on a line of its own adds an
// LF, and so does the second include, which skips to that #endif. Directive
// lines give nothing; words stand between single blanks, and a substituted
// name keeps a word's blanks around its value (" wheel_l", " < 90 >"). The
// second pass re-spaces that text once more: the empty lines go, "  wheel_l "
// becomes " wheel_l ", "   < 90 > ;" becomes " <90>;" and "(1, 200 );"
// becomes "(1,200);".
TEST_F(Marloc, PreprocessPrintsTheSourceByteForByte) {
  Write("inc/parts.h",
        "#ifndef PARTS_H\r\n"
        "#define PARTS_H\r\n"
        "#define WHEEL wheel_l\r\n"
        "piece base, wheel_l;\r\n"
        "#endif\r\n");
  Write("tank.bos",
        "// tank\r\n"
        "#include \"parts.h\"\r\n"
        "#include \"parts.h\"\r\n"
        "#define SPEED <90>\r\n"
        "#ifdef FAST\r\n"
        "#define DELAY 50\r\n"
        "#else\r\n"
        "#define DELAY 200\r\n"
        "#endif\r\n"
        "create ()\r\n"
        "{\r\n"
        "\tspin WHEEL around x-axis speed SPEED;\r\n"
        "\tsleep DELAY; /* ms */\r\n"
        "\tcall-script Fire(1, DELAY);\r\n"
        "}\r\n"
        "Fire (a, b)\r\n"
        "{\r\n"
        "\tsleep a + b;\r\n"
        "}\r\n");
  const std::string expected =
      "\npiece  base , wheel_l ;"
      "\ncreate ()"
      "\n{"
      "\nspin  wheel_l  around  x-axis  speed <90>;"
      "\nsleep 200;"
      "\ncall-script  Fire (1,200);"
      "\n}"
      "\nFire ( a , b )"
      "\n{"
      "\nsleep  a + b ;"
      "\n}";
  Outcome run = Exec({"-E", "-I", "inc", "tank.bos"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.err, "");
  EXPECT_FALSE(fs::exists(work() / "tank.cob"));

  // Files follow each other with nothing between them; -o writes nothing.
  run = Exec({"--preprocess", "--include=inc/", "-o", "inc", "tank.bos", "tank.bos"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, expected + expected);
  EXPECT_FALSE(fs::exists(work() / "inc" / "tank.cob"));

  // The text that -E shows is the text that compiles.
  run = Exec({"--disasm", "-I", "inc", "tank.bos"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(run.out.starts_with("Compiling file 'tank.bos'\nCompile completed successfully\n")) << run.out;
  for (const char* text : {"PUSH_CONSTANT 200", "CALL_SCRIPT fire, 2", "SPIN"}) {
    EXPECT_NE(run.out.find(text), std::string::npos) << text << " missing in\n" << run.out;
  }
  EXPECT_TRUE(fs::exists(work() / "tank.cob"));
}

TEST_F(Marloc, PreprocessOfEmptyFilePrintsNothing) {
  Write("empty.bos", "");
  Write("comments.bos", "// only\r\n/* comments */\r\n#define X 1\r\n");
  Outcome run = Exec({"-E", "empty.bos", "comments.bos"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
}

// "Fast" and "Delay" are defined; the text asks for FAST and DELAY.
const std::string kMixedCase =
    "#define Delay 50\r\n"
    "#define Fast\r\n"
    "Create ()\r\n"
    "{\r\n"
    "#ifdef FAST\r\n"
    "    sleep DELAY;\r\n"
    "#else\r\n"
    "    sleep 1000;\r\n"
    "#endif\r\n"
    "}\r\n";

TEST_F(Marloc, DefinesIgnoreCaseChangesSubstitution) {
  Write("case.bos", kMixedCase);
  Outcome run = Exec({"-E", "case.bos"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "\nCreate ()\n{\nsleep 1000;\n}");

  // Names match whatever their case, and the whole text is lower-cased.
  run = Exec({"-E", "--defines-ignore-case", "case.bos"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "\ncreate ()\n{\nsleep 50;\n}");

  // The same choice reaches the compile: PUSH_CONSTANT 1000 or 50.
  EXPECT_EQ(CodeWords(kMixedCase, {}).at(1), "000003E8");
  EXPECT_EQ(CodeWords(kMixedCase, {"--defines-ignore-case"}).at(1), "00000032");
}

struct FailureCase {
  const char* name;
  std::string source;  // main.bos
  std::vector<std::string> args;
  std::string errorLine;    // after "Compiling file 'main.bos'"
  std::string partialText;  // what -E prints before it stops
  std::string errorText;    // what -E writes to standard error after "main.bos: error: "
  std::string located;      // what a compile writes to standard error, as compilers do
};

// A failed walk names the file and line of the failing directive and is
// reported where the text produced so far ends (the golden cases of
// tests/data/preprocess/errors/ hold the failures of the preprocessor).
class MarlocPreprocessFailure : public Marloc, public testing::WithParamInterface<FailureCase> {
 protected:
  void SetUp() override {
    Marloc::SetUp();
    Write("inc/w.h", "#define W 1\r\nstatic-var w;\r\n#if FOO\r\n#endif\r\n");
    fs::create_directories(work() / "folder.h");
    Write("main.bos", GetParam().source);
  }
};

TEST_P(MarlocPreprocessFailure, CompileReportsOneLineAndWritesNothing) {
  std::vector<std::string> args = GetParam().args;
  args.push_back("main.bos");
  Outcome run = Exec(args);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Compiling file 'main.bos'\n" + GetParam().errorLine + "\n");
  EXPECT_EQ(run.err, GetParam().located + "\n");
  EXPECT_FALSE(fs::exists(work() / "main.cob"));
}

TEST_P(MarlocPreprocessFailure, PreprocessPrintsTheTextSoFar) {
  std::vector<std::string> args = GetParam().args;
  args.insert(args.begin(), "-E");
  args.push_back("main.bos");
  Outcome run = Exec(args);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, GetParam().partialText);
  EXPECT_EQ(run.err, "main.bos: error: " + GetParam().errorText + "\n");
  EXPECT_FALSE(fs::exists(work() / "main.cob"));
}

const std::string kIncludesW = "piece base;\r\n#include \"w.h\"\r\ncreate ()\r\n{\r\n}\r\n";

const FailureCase kFailures[] = {
    // "\npiece  base ;" from main.bos, then "\nstatic-var  w ;" (15 characters)
    // from the header before its #if.
    {"UnknownIdentifierInHeader",
     kIncludesW,
     {"-I", "inc"},
     "[2: 15] inc/w.h(3): Unknown Identifier FOO",
     "\npiece  base ;\nstatic-var  w ;",
     "inc/w.h(3): Unknown Identifier FOO",
     "inc/w.h:3:1: error: Unknown Identifier FOO"},
    // The header is named by the path it was found under.
    {"HeaderNamedAsFound",
     kIncludesW,
     {"-I", "nowhere;./inc"},
     "[2: 15] ./inc/w.h(3): Unknown Identifier FOO",
     "\npiece  base ;\nstatic-var  w ;",
     "./inc/w.h(3): Unknown Identifier FOO",
     "./inc/w.h:3:1: error: Unknown Identifier FOO"},
    {"IncludeNamesAFolder",
     "x;\r\n#include \"folder.h\"\r\n",
     {},
     "[1: 3] main.bos(2): Include file 'folder.h' not found",
     "\nx ;",
     "main.bos(2): Include file 'folder.h' not found",
     "main.bos:2:1: error: Include file 'folder.h' not found"},
    // The first pass makes "\n #if NOPE " of D; the second pass carries it out.
    {"SecondPass",
     "#define D #if NOPE\r\nx\r\nD\r\n",
     {},
     "[1: 2] main.bos (preprocessed)(3): Unknown Identifier NOPE",
     "\nx ",
     "main.bos (preprocessed)(3): Unknown Identifier NOPE",
     // line 3 of the first pass's text came from line 3 of main.bos
     "main.bos:3:1: error: Unknown Identifier NOPE"},
};

INSTANTIATE_TEST_SUITE_P(Preprocess, MarlocPreprocessFailure, testing::ValuesIn(kFailures),
                         [](const testing::TestParamInfo<FailureCase>& row) { return row.param.name; });

TEST_F(Marloc, PreprocessOfUnreadableFiles) {
  fs::create_directories(work() / "folder.bos");
  Write("ok.bos", "x\r\n");
  Outcome run = Exec({"-E", "missing.bos", "folder.bos", "ok.bos"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "\nx ");
  EXPECT_EQ(run.err,
            "missing.bos: error: Cannot read file 'missing.bos': No such file or directory\n"
            "folder.bos: error: Cannot read file 'folder.bos': Is a directory\n");
}

// About twenty files of every outcome, some sharing headers, of very
// different sizes so that they finish out of order: however many jobs run at
// once, marloc prints what one job prints, file by file, and writes the same
// .cob files.
TEST_F(Marloc, ParallelOutputEqualsSerial) {
  Write("shared/common.h",
        "#ifndef COMMON_H\r\n#define COMMON_H\r\n#define SIG_MOVE 2\r\npiece base, turret;\r\n#endif\r\n");
  Write("shared/broken.h", "#define B 1\r\n#if UNDEFINED_NAME = 1\r\n#endif\r\n");
  std::vector<std::string> files;
  for (int i = 0; i < 20; ++i) {
    std::string name = "unit" + std::to_string(i) + ".bos";
    std::string body = "create ()\r\n{\r\n    signal SIG_MOVE;\r\n    hide base;\r\n}\r\n";
    std::string text;
    switch (i % 5) {
      case 0:  // compiles
        text = "#include \"common.h\"\r\n" + body;
        break;
      case 1:  // compile error
        text = "#include \"common.h\"\r\n" + body + body;
        break;
      case 2:  // header not found
        text = "#include \"common.h\"\r\n#include \"gone" + std::to_string(i) + ".h\"\r\n" + body;
        break;
      case 3:  // error inside a shared header
        text = "#include \"common.h\"\r\n#include \"broken.h\"\r\n" + body;
        break;
      default:  // compiles without headers
        text = "#define SIG_MOVE 4\r\npiece base;\r\n" + body;
        break;
    }
    // Files of very different sizes finish out of order.
    Write(name, text + std::string(static_cast<std::size_t>((i * 7919) % 20) * 3000, '\n'));
    files.push_back(name);
  }
  fs::create_directories(work() / "serial");
  fs::create_directories(work() / "parallel");

  auto run = [&](std::vector<std::string> args) {
    args.push_back("-I");
    args.push_back("shared");
    args.insert(args.end(), files.begin(), files.end());
    return Exec(args);
  };
  Outcome serial = run({"-j", "1", "-o", "serial"});
  Outcome parallel = run({"-j", "2", "-o", "parallel"});
  EXPECT_EQ(serial.status, 1);
  EXPECT_EQ(parallel.status, 1);
  EXPECT_EQ(parallel.out, serial.out);
  EXPECT_EQ(parallel.err, serial.err);
  // Standard error holds only the failures, where in the files they lie.
  std::istringstream located(serial.err);
  for (std::string line; std::getline(located, line);)
    EXPECT_TRUE(std::regex_match(line, std::regex(R"([^:]+:\d+:1: error: .+)"))) << line;

  std::vector<std::string> lines = serial.OutLines();
  ASSERT_EQ(lines.size(), 40u) << serial.out;
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(lines[2 * i], "Compiling file '" + files[i] + "'");
    const std::string& result = lines[2 * i + 1];
    // common.h ends in an #endif on a line of its own, which adds an LF:
    // a failure after it is reported at the start of an empty row 2.
    switch (i % 5) {
      case 0:
      case 4:
        EXPECT_EQ(result, "Compile completed successfully");
        break;
      case 1:
        EXPECT_EQ(result, "[7: 6] Script function create already exists");
        break;
      case 2:
        EXPECT_EQ(result, "[2: 0] " + files[i] + "(2): Include file 'gone" + std::to_string(i) + ".h' not found");
        break;
      default:
        EXPECT_EQ(result, "[2: 0] shared/broken.h(2): Unknown Identifier UNDEFINED_NAME");
        break;
    }
    const std::string cob = fs::path(files[i]).stem().string() + ".cob";
    const bool ok = i % 5 == 0 || i % 5 == 4;
    EXPECT_EQ(fs::exists(work() / "serial" / cob), ok) << cob;
    EXPECT_EQ(fs::exists(work() / "parallel" / cob), ok) << cob;
    if (ok) {
      EXPECT_EQ(ReadFile(work() / "parallel" / cob), ReadFile(work() / "serial" / cob)) << cob;
    }
  }

  serial = run({"-E", "-j", "1"});
  parallel = run({"-E", "--jobs=2"});
  EXPECT_EQ(serial.status, 1);
  EXPECT_EQ(parallel.status, 1);
  EXPECT_EQ(parallel.out, serial.out);
  EXPECT_EQ(parallel.err, serial.err);
  // Eight files failed to preprocess, each with one line on standard error.
  EXPECT_EQ(std::count(serial.err.begin(), serial.err.end(), '\n'), 8) << serial.err;

  // With listings, warnings and a file that cannot be read too, and more
  // jobs than files.
  Write("warn.bos", "create ()\r\n{\r\nsleep  . ;\r\nsleep  - ;\r\n}\r\n");
  files.push_back("missing.bos");
  files.push_back("warn.bos");
  serial = run({"--listing", "-j", "1"});
  EXPECT_EQ(serial.status, 1);
  EXPECT_NE(serial.err.find("warn.bos:3:8: warning: ProcessFactor | Number excepted\n"
                            "warn.bos:4:8: warning: ProcessFactor | Number excepted\n"),
            std::string::npos)
      << serial.err;
  for (const char* jobs : {"3", "64"}) {
    parallel = run({"--listing", "--jobs", jobs});
    EXPECT_EQ(parallel.status, 1) << "-j " << jobs;
    EXPECT_EQ(parallel.out, serial.out) << "-j " << jobs;
    EXPECT_EQ(parallel.err, serial.err) << "-j " << jobs;
  }
}

// The bundled examples build with their headers, and none of their names
// clashes with a define when case is ignored: the .cob files are the same.
TEST_F(Marloc, ExamplesCompileWithTheirHeaders) {
  const fs::path examples = MARLO_EXAMPLES_DIR;
  std::vector<std::string> files;
  for (const char* name : {"tank.bos", "aircraft.bos", "factory.bos"}) files.push_back((examples / name).string());
  fs::create_directories(work() / "sensitive");
  fs::create_directories(work() / "ignore");

  std::vector<std::string> args = {"-I", (examples / "include").string(), "-o", "sensitive"};
  args.insert(args.end(), files.begin(), files.end());
  Outcome run = Exec(args);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.err, "");

  args[3] = "ignore";
  args.push_back("--defines-ignore-case");
  run = Exec(args);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  for (const char* cob : {"tank.cob", "aircraft.cob", "factory.cob"}) {
    ASSERT_TRUE(fs::exists(work() / "sensitive" / cob)) << cob;
    EXPECT_EQ(ReadFile(work() / "ignore" / cob), ReadFile(work() / "sensitive" / cob)) << cob;
  }
}

}  // namespace

// ---- marloc inside build scripts, pipes and parallel builds ----------------

class MarlocInScripts : public Marloc {
 protected:
  // `count` scripts f000.bos ... whose code is `lines` statements long.
  void WriteUnits(int count, int lines) {
    std::string body = "piece base;\r\ncreate (x)\r\n{\r\n";
    for (int i = 0; i < lines; ++i) body += "    x = x + " + std::to_string(i) + ";\r\n";
    body += "}\r\n";
    for (int i = 0; i < count; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "f%03d.bos", i);
      Write(name, body);
    }
  }

  // Every .cob in the work folder, and whether each begins as a .cob does.
  int ValidCobs() {
    int valid = 0;
    for (const auto& entry : fs::directory_iterator(work())) {
      if (entry.path().extension() != ".cob") continue;
      const std::string bytes = ReadFile(entry.path());
      EXPECT_TRUE(bytes.size() > 44 && bytes.compare(0, 4, std::string("\4\0\0\0", 4)) == 0) << entry.path();
      ++valid;
    }
    return valid;
  }

  // Names in the work folder that no compile should leave behind.
  std::vector<std::string> Debris() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(work())) {
      const std::string name = entry.path().filename().string();
      if (name.find(".tmp") != std::string::npos) names.push_back(name);
    }
    return names;
  }
};

TEST_F(MarlocInScripts, ClosedStandardStreamsTakeNoFile) {
  WriteUnits(120, 20);
  Write("tank.bos", kTank);
  // With descriptor 1 closed, a .cob opened at the wrong moment would take it
  // and receive the message lines.
  Outcome run = Bash("\"$MARLOC\" -j 8 f*.bos >&- 2>&-; echo $?");
  EXPECT_EQ(run.out, "0\n");
  EXPECT_EQ(ValidCobs(), 120);
  // Printing to the closed output is no failure of its own.
  EXPECT_EQ(Bash("\"$MARLOC\" -E tank.bos >&-; echo $?").out, "0\n");
}

TEST_F(MarlocInScripts, AClosedPipeIsAFailureNotADeath) {
  // Listings far beyond what a pipe holds, so that marloc still writes when
  // head has gone, whatever the timing.
  WriteUnits(40, 200);
  Outcome run = Bash("\"$MARLOC\" --listing f*.bos | head -n 1 >/dev/null; echo ${PIPESTATUS[0]}");
  EXPECT_EQ(run.out, "1\n") << run.err;
  EXPECT_NE(run.err.find("cannot write to standard output"), std::string::npos) << run.err;
  EXPECT_EQ(ValidCobs(), 40);
}

TEST_F(MarlocInScripts, AStopSignalLeavesNoTemporaryFile) {
  // Enough work to be stopped in the middle: one large unit under 160 names.
  WriteUnits(1, 40000);
  for (int i = 1; i < 160; ++i) fs::create_symlink("f000.bos", work() / ("g" + std::to_string(i) + ".bos"));
  // The process is held (SIGSTOP) while a temporary file exists, then sent
  // the signal. Background jobs of a script start with SIGINT ignored; env
  // gives it back. The script prints the exit status and whether it caught
  // a temporary file.
  const std::string script = R"(
    shopt -s nullglob dotglob
    rm -f *.cob
    env --default-signal=INT "$MARLOC" -j 4 *.bos >/dev/null & pid=$!
    caught=0
    for ((try = 0; try < 100000 && !caught; ++try)); do
      t=(*tmp*)
      if ((${#t[@]})); then
        kill -STOP $pid; t=(*tmp*)
        if ((${#t[@]})); then caught=1; else kill -CONT $pid; fi
      fi
    done
    kill -$SIGNAL $pid; kill -CONT $pid; wait $pid; echo "$? $caught")";
  for (const char* signal : {"TERM", "INT"}) {
    Outcome run = Bash(std::string("SIGNAL=") + signal + "\n" + script);
    EXPECT_EQ(run.out, std::string(signal[0] == 'T' ? "143" : "130") + " 1\n") << signal;
    EXPECT_EQ(Debris(), std::vector<std::string>()) << signal;
  }
}

TEST_F(MarlocInScripts, ThreadsThatCannotBeMadeAreDoneWithout) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
#endif
  WriteUnits(80, 5);
  // Address space for a handful of compile threads, not for 64.
  Outcome run = Bash("ulimit -v 600000; \"$MARLOC\" -j 64 f*.bos");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.OutLines().size(), 160u);
  EXPECT_EQ(ValidCobs(), 80);
}

TEST_F(MarlocInScripts, LongNamesWork) {
  // A name the file system takes for the .cob must do: 245 bytes.
  const std::string name(241, 'u');
  Write(name + ".bos", kTank);
  Outcome run = Exec({name + ".bos"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(fs::exists(work() / (name + ".cob")));
  EXPECT_EQ(Debris(), std::vector<std::string>());
}

TEST_F(MarlocInScripts, NoCobOverItsOwnSource) {
  Write("unit.cob", kTank);
  Outcome run = Exec({"unit.cob"});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(run.err.starts_with("marloc: the output './unit.cob' is the input 'unit.cob' itself\n")) << run.err;
  EXPECT_EQ(ReadFile(work() / "unit.cob"), kTank);

  // The same through a link in the output folder.
  Write("src/tank.bos", kTank);
  fs::create_directories(work() / "out");
  fs::create_symlink("../src/tank.bos", work() / "out" / "tank.cob");
  run = Exec({"-o", "out", "src/tank.bos"});
  EXPECT_EQ(run.status, 2) << run.out;
  EXPECT_EQ(ReadFile(work() / "src" / "tank.bos"), kTank);
}

TEST_F(MarlocInScripts, ACobLinkIsWrittenThroughAndModesAreKept) {
  Write("tank.bos", kTank);
  Write("real/old.cob", "old");
  fs::permissions(work() / "real" / "old.cob", fs::perms(0640));
  fs::create_symlink("real/old.cob", work() / "tank.cob");
  Outcome run = Bash("umask 022; \"$MARLOC\" tank.bos && \"$MARLOC\" -o real tank.bos");
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(fs::is_symlink(work() / "tank.cob"));
  EXPECT_GT(fs::file_size(work() / "real" / "old.cob"), 44u);
  EXPECT_EQ(fs::status(work() / "real" / "old.cob").permissions(), fs::perms(0640));
  // A new file follows the umask.
  EXPECT_EQ(fs::status(work() / "real" / "tank.cob").permissions(), fs::perms(0644));
}

TEST_F(MarlocInScripts, ByteOrderMarksAndOddIncludes) {
  const std::string bom = "\xEF\xBB\xBF";
  Write("parts.h", bom + "piece base, turret;\r\n");
  Write("bom.bos", bom + "#include \"parts.h\"\r\ncreate ()\r\n{\r\n    hide base;\r\n}\r\n");
  Outcome run = Exec({"bom.bos"});
  EXPECT_EQ(run.out, "Compiling file 'bom.bos'\nCompile completed successfully\n");

  // A device or a pipe is no file to include: it could be read forever.
  ASSERT_EQ(::mkfifo((work() / "pipe.h").c_str(), 0600), 0);
  for (const std::string header : {"/dev/zero", "pipe.h"}) {
    Write("odd.bos", "#include \"" + header + "\"\r\n");
    run = Exec({"odd.bos"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Cannot read include file '" + header + "': not a plain file"), std::string::npos)
        << run.out;
  }
}

TEST_F(MarlocInScripts, ARecurseAboveTheOwnLimitIsWarnedOf) {
  Write("tank.bos", kTank);
  Outcome run = Exec({"--recurse", "5000", "tank.bos"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "marloc: warning: --recurse 5000 is above the compiler's own nesting limit of 2000, which applies first\n");
}

// Run as an unprivileged user in CI (root may write anywhere).
TEST_F(MarlocInScripts, AnOutputFolderNobodyMayWriteIsAUsageError) {
  if (::geteuid() == 0) GTEST_SKIP() << "folder permissions do not hold for root";
  Write("tank.bos", kTank);
  fs::create_directories(work() / "locked");
  fs::permissions(work() / "locked", fs::perms(0555));
  Outcome run = Exec({"-o", "locked", "tank.bos"});
  fs::permissions(work() / "locked", fs::perms(0755));
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(run.err.starts_with("marloc: output folder 'locked' is not writable\n")) << run.err;
  EXPECT_EQ(run.out, "");
}
