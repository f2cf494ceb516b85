// Golden preprocessor cases: runs one case folder through the preprocessor
// and compares Source, the define table, the conditional stack and the error
// with the expectation files in the folder.
//
//   preprocess_runner CASE_DIR        run one case
//   preprocess_runner --layout DIR    check that every DIR/<group>/<case>/
//                                     folder is a well-formed case
//
// The case folder is the current directory while the case runs, so include
// names resolve against it. By default the case takes the road of a compile
// (two passes; an error is reported through the compiler's error line); the
// options file can ask for a single Execute instead. The file format is
// described in tests/data/preprocess/README.md. Exit code 0 means pass, 1 a
// failed case, 2 a broken case folder or bad usage.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "base/hooks.h"
#include "compiler/bos_compiler.h"
#include "driver/compile_source.h"
#include "driver/standard_tokens.h"
#include "preprocessor/pre_processor.h"
#include "preprocessor/scanner.h"
#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;
using marlo::core::EndOfText;
using marlo::core::IMessageList;
using marlo::core::PreprocessAndCompile;
using marlo::core::PreprocessSettings;
using marlo::core::PreprocessTwice;
using marlo::core::TBosCompiler;
using marlo::core::TCsStringList;
using marlo::core::TPreProcessor;
using marlo::core::TStack;

// The name errors in the main text are reported under.
constexpr const char* kMainFile = "main.bos";

constexpr const char* kExpectationFiles[] = {"expected.pp", "expected.defines", "expected.error", "expected.tests"};

// A mistake in the case folder itself.
struct CaseFileError {
  std::string text;
};

struct Options {
  std::string includeDirs;
  bool ignoreCase = false;
  int passes = 2;
};

struct ExpectedError {
  std::string describe;  // "file(line): text"
  std::string position;  // "[row: col]"
};

struct Expectation {
  std::string source;
  std::optional<std::vector<std::string>> defines;
  std::optional<std::vector<std::string>> tests;
  std::optional<ExpectedError> error;
};

struct Outcome {
  std::string source;
  std::vector<std::string> defines;
  std::vector<std::string> tests;
  bool failed = false;
  std::string describe;
  std::string position;
  // Messages the compiler reported for a failed two-pass road.
  std::vector<std::string> messages;
  // Set when something beyond the expectations went wrong.
  std::vector<std::string> problems;
};

using marlo::test::ReadFile;

std::optional<std::string> ReadOptionalFile(const fs::path& path) {
  if (!fs::exists(path)) return std::nullopt;
  return ReadFile(path);
}

// Lines split at LF; a final LF does not start another line. An empty text
// has no lines.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r");
  return std::string(text.substr(first, last - first + 1));
}

// Lines: "include: DIRS" (the ';'-separated list, verbatim after leading
// blanks), "ignore-case", "passes: 1" or "passes: 2". Empty lines and lines
// starting with '#' are comments.
Options ParseOptions(const fs::path& path) {
  Options options;
  for (const auto& [number, line] : marlo::test::TableLines(path)) {
    const std::size_t colon = line.find(':');
    const std::string key = TrimBlanks(line.substr(0, colon));
    std::string value;
    if (colon != std::string::npos) {
      const std::size_t start = line.find_first_not_of(" \t", colon + 1);
      if (start != std::string::npos) value = line.substr(start);
    }
    if (key == "include" && colon != std::string::npos) {
      options.includeDirs = value;
    } else if (key == "ignore-case" && colon == std::string::npos) {
      options.ignoreCase = true;
    } else if (key == "passes" && (TrimBlanks(value) == "1" || TrimBlanks(value) == "2")) {
      options.passes = TrimBlanks(value) == "1" ? 1 : 2;
    } else {
      throw CaseFileError{"options line " + std::to_string(number) + ": cannot read '" + line + "'"};
    }
  }
  return options;
}

Expectation ReadExpectation(const fs::path& dir) {
  Expectation expected;
  expected.source = ReadFile(dir / "expected.pp");
  if (auto defines = ReadOptionalFile(dir / "expected.defines")) expected.defines = SplitLines(*defines);
  if (auto tests = ReadOptionalFile(dir / "expected.tests")) expected.tests = SplitLines(*tests);
  if (auto error = ReadOptionalFile(dir / "expected.error")) {
    const std::vector<std::string> lines = SplitLines(*error);
    if (lines.size() != 2) throw CaseFileError{"expected.error must hold two lines: the error and its [row: col]"};
    expected.error = ExpectedError{lines[0], lines[1]};
  }
  return expected;
}

std::vector<std::string> Entries(const TStack& stack) {
  std::vector<std::string> entries;
  for (int i = 0; i < stack.Count(); ++i) entries.push_back(stack.Get(i));
  return entries;
}

std::string Position(int row, int col) { return "[" + std::to_string(row) + ": " + std::to_string(col) + "]"; }

class MessageCollector : public IMessageList {
 public:
  void Add(const std::string& line) override { lines.push_back(line); }
  std::vector<std::string> lines;
};

void ConfigureTokens(TPreProcessor& preprocessor) { preprocessor.SetTokens(marlo::core::StandardTokenList()); }

void TakeState(const TPreProcessor& preprocessor, Outcome& outcome) {
  outcome.source = preprocessor.Source();
  outcome.defines = Entries(preprocessor.Defines());
  outcome.tests = Entries(preprocessor.PreProcessorTests());
  outcome.failed = preprocessor.Failed();
  if (outcome.failed) outcome.describe = preprocessor.Error().Describe();
}

// One Execute, as the first pass of the road runs it.
Outcome RunOnePass(const std::string& text, const Options& options) {
  Outcome outcome;
  TPreProcessor preprocessor;
  ConfigureTokens(preprocessor);
  preprocessor.SetDefinesCaseSensitive(!options.ignoreCase);
  preprocessor.Reset();
  preprocessor.SetIncludeDirs(options.includeDirs);
  preprocessor.SetFileName(kMainFile);
  const std::string returned = preprocessor.Execute(text);
  TakeState(preprocessor, outcome);
  if (outcome.failed) {
    int row = 0;
    int col = 0;
    EndOfText(preprocessor.Source(), row, col);
    outcome.position = Position(row, col);
    if (!returned.empty()) outcome.problems.push_back("Execute failed but returned a non-empty text");
  } else if (returned != preprocessor.Source()) {
    outcome.problems.push_back("Execute returned a text other than Source");
  }
  return outcome;
}

// Both passes; a failure is taken through the compile road once more to see
// the error line a compile reports.
Outcome RunRoad(const std::string& text, const Options& options) {
  Outcome outcome;
  PreprocessSettings settings;
  settings.includeDirs = options.includeDirs;
  settings.definesCaseSensitive = !options.ignoreCase;

  TPreProcessor preprocessor;
  ConfigureTokens(preprocessor);
  PreprocessTwice(preprocessor, text, kMainFile, settings);
  TakeState(preprocessor, outcome);
  if (!outcome.failed) return outcome;

  TPreProcessor again;
  ConfigureTokens(again);
  TBosCompiler compiler;
  MessageCollector messages;
  compiler.SetPreProcesser(&again);
  compiler.SetMessageListBox(&messages);
  compiler.SetSourceFile(kMainFile);
  compiler.SetOutputFilename("main.cob");
  // Nothing may be written into the case folder, whatever happens.
  const fs::path scratch = fs::temp_directory_path() / ("preprocess_runner_" + std::to_string(std::random_device{}()));
  fs::create_directories(scratch);
  compiler.SetOutputPath(scratch.string() + "/");
  const bool compiled = PreprocessAndCompile(again, compiler, text, kMainFile, settings);
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
  if (compiled) outcome.problems.push_back("the compile road compiled a text whose preprocessing failed");
  outcome.messages = messages.lines;
  if (again.Source() != preprocessor.Source())
    outcome.problems.push_back("the compile road's preprocessing produced another text than the two passes");
  return outcome;
}

// Control characters made visible: a line break shows as "⏎" and still
// breaks the line, blanks as "·", other bytes outside printable ASCII as \xNN.
std::string Visible(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      out += "⏎\n";
    } else if (c == ' ') {
      out += "·";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (byte < 0x20 || byte >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += "  [" + Visible(line) + "]\n";
  if (lines.empty()) out += "  (none)\n";
  return out;
}

void ReportTextDifference(std::ostream& out, const std::string& what, const std::string& expected,
                          const std::string& actual) {
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  int line = 0;  // rows as the compiler counts them: the first line is 0
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < at; ++i) {
    if (actual[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  }
  out << what << " differs at byte " << at << " (row " << line << ", column " << at - lineStart << "; expected "
      << expected.size() << " bytes, got " << actual.size() << ")\n";
  out << "--- expected ---\n" << Visible(expected) << "\n--- actual ---\n" << Visible(actual) << "\n---\n";
}

bool Compare(const Expectation& expected, const Outcome& actual, int passes, std::ostream& out) {
  bool pass = true;
  for (const std::string& problem : actual.problems) {
    out << problem << "\n";
    pass = false;
  }
  if (actual.source != expected.source) {
    ReportTextDifference(out, "Source", expected.source, actual.source);
    pass = false;
  }
  if (expected.defines && *expected.defines != actual.defines) {
    out << "Defines differ\n--- expected ---\n"
        << Join(*expected.defines) << "--- actual ---\n"
        << Join(actual.defines);
    pass = false;
  }
  if (expected.tests && *expected.tests != actual.tests) {
    out << "PreProcessorTests differ\n--- expected ---\n"
        << Join(*expected.tests) << "--- actual ---\n"
        << Join(actual.tests);
    pass = false;
  }
  if (!expected.error) {
    if (actual.failed) {
      out << "unexpected error: " << actual.describe << "\n";
      pass = false;
    }
    return pass;
  }
  if (!actual.failed) {
    out << "expected the error " << expected.error->describe << " but the preprocessing succeeded\n";
    return false;
  }
  if (actual.describe != expected.error->describe) {
    out << "error differs\n  expected: " << expected.error->describe << "\n  actual:   " << actual.describe << "\n";
    pass = false;
  }
  if (passes == 1) {
    if (actual.position != expected.error->position) {
      out << "end of text differs\n  expected: " << expected.error->position << "\n  actual:   " << actual.position
          << "\n";
      pass = false;
    }
    return pass;
  }
  const std::vector<std::string> wanted = {std::string("Compiling file '") + kMainFile + "'",
                                           expected.error->position + " " + expected.error->describe};
  if (actual.messages != wanted) {
    out << "compile messages differ\n--- expected ---\n" << Join(wanted) << "--- actual ---\n" << Join(actual.messages);
    pass = false;
  }
  return pass;
}

int RunCase(const fs::path& dir) {
  const fs::path caseDir = fs::absolute(dir);
  const Options options = fs::exists(caseDir / "options") ? ParseOptions(caseDir / "options") : Options{};
  const std::string text = ReadFile(caseDir / "main.bos");
  const Expectation expected = ReadExpectation(caseDir);
  fs::current_path(caseDir);
  const Outcome actual = options.passes == 1 ? RunOnePass(text, options) : RunRoad(text, options);
  if (Compare(expected, actual, options.passes, std::cout)) return 0;
  std::cout << "FAILED: " << caseDir.string() << "\n";
  return 1;
}

// Every folder two levels down is a case with an input and an expected text;
// no expectation file is misspelt and the options read.
int CheckLayout(const fs::path& root) {
  int problems = 0;
  auto problem = [&](const fs::path& where, const std::string& text) {
    std::cout << where.string() << ": " << text << "\n";
    ++problems;
  };
  int cases = 0;
  for (const fs::directory_entry& group : fs::directory_iterator(root)) {
    if (!group.is_directory()) continue;
    for (const fs::directory_entry& entry : fs::directory_iterator(group.path())) {
      if (!entry.is_directory()) {
        problem(entry.path(), "a group holds only case folders");
        continue;
      }
      ++cases;
      const fs::path& dir = entry.path();
      if (!fs::exists(dir / "main.bos")) problem(dir, "no main.bos");
      if (!fs::exists(dir / "expected.pp")) problem(dir, "no expected.pp");
      for (const fs::directory_entry& file : fs::directory_iterator(dir)) {
        const std::string name = file.path().filename().string();
        if (name.rfind("expected", 0) != 0) continue;
        bool known = false;
        for (const char* expectation : kExpectationFiles) known = known || name == expectation;
        if (!known) problem(file.path(), "not a known expectation file");
      }
      try {
        if (fs::exists(dir / "options")) ParseOptions(dir / "options");
        ReadExpectation(dir);
      } catch (const CaseFileError& error) {
        problem(dir, error.text);
      } catch (const std::runtime_error& error) {
        problem(dir, error.what());
      }
    }
  }
  if (cases == 0) problem(root, "no cases");
  std::cout << cases << " cases, " << problems << " problems\n";
  return problems == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 3 && std::string_view(argv[1]) == "--layout") return CheckLayout(argv[2]);
    if (argc == 2) return RunCase(argv[1]);
    std::cerr << "usage: preprocess_runner CASE_DIR | --layout DIR\n";
    return 2;
  } catch (const CaseFileError& error) {
    std::cout << "broken case: " << error.text << "\n";
    return 2;
  } catch (const std::exception& error) {
    std::cout << "error: " << error.what() << "\n";
    return 2;
  }
}
