// Golden cases: an input beside the outcome expected from it.
//
//   golden_runner CASE.bos      a compile case (CASE.words or CASE.err beside it)
//   golden_runner CASE_DIR      a preprocessor case folder
//   golden_runner --layout DIR  check that every DIR/<group>/<case> is well formed
//
// The formats are described in tests/data/compile/README.md and
// tests/data/preprocess/README.md. Instruction names in expectations are
// looked up in the instruction table, so no opcode is written down twice.
// A compile case is also compiled from a stream fed in pieces, which must
// give what the whole text gives. Exit code 0 means pass, 1 a failed case, 2
// a broken case file or bad usage.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "base/hooks.h"
#include "compiler/bos_compiler.h"
#include "compiler/cob_file.h"
#include "compiler/compile_text.h"
#include "compiler/instructions.h"
#include "compiler/listing.h"
#include "driver/compile_source.h"
#include "driver/standard_tokens.h"
#include "preprocessor/pre_processor.h"
#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;
using namespace marlo::core;
using marlo::test::ReadFile;
using Lines = std::vector<std::string>;

// A mistake in the case files themselves.
struct CaseFileError {
  std::string text;
};

std::string Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n\f\v");
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(" \t\r\n\f\v") - first + 1));
}

// Blank-separated tokens; a token in double quotes may be empty ("").
Lines Tokens(std::string_view text) {
  Lines tokens;
  std::size_t i = 0;
  while (i < text.size()) {
    if (std::isspace(static_cast<unsigned char>(text[i]))) {
      ++i;
    } else if (text[i] == '"') {
      const std::size_t close = text.find('"', i + 1);
      if (close == std::string_view::npos) throw CaseFileError{"unterminated quote"};
      tokens.emplace_back(text.substr(i + 1, close - i - 1));
      i = close + 1;
    } else {
      const std::size_t start = i;
      while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
      tokens.emplace_back(text.substr(start, i - start));
    }
  }
  return tokens;
}

// The text with line breaks shown as "⏎" (still breaking the line), blanks
// as "·" and other bytes outside printable ASCII as escapes.
std::string Visible(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') {
      out += "⏎\n";
    } else if (c == ' ') {
      out += "·";
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out += marlo::test::Escaped(std::string_view(&c, 1));
    }
  }
  return out;
}

std::string Join(const Lines& lines) {
  std::string out;
  for (const std::string& line : lines) out += "  [" + Visible(line) + "]\n";
  return lines.empty() ? "  (none)\n" : out;
}

// ===================================================================== compile

struct ExpectedError {
  std::optional<int> row;  // empty: any row ("*")
  std::optional<int> col;
  std::string text;
};

struct Expectation {
  std::vector<std::uint32_t> code;
  std::optional<Lines> scripts, pieces, stored;
  std::optional<std::vector<std::uint32_t>> starts;
  std::optional<std::uint32_t> statics;
  std::vector<std::pair<std::string, std::uint32_t>> cob;  // header field, value
  Lines warnings;
  std::optional<ExpectedError> error;
  std::optional<ExpectedError> defaultError;  // the same input in the default language
};

// A word written as decimal (signed or not) or as 0x hexadecimal.
std::uint32_t ParseWord(const std::string& token) {
  const bool hex = token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X');
  const char* first = token.data() + (hex ? 2 : 0);
  const char* last = token.data() + token.size();
  long long value = 0;
  const auto [end, ec] = std::from_chars(first, last, value, hex ? 16 : 10);
  if (first == last || ec != std::errc() || end != last || value < -2147483648LL || value > 4294967295LL)
    throw CaseFileError{"not a word: '" + token + "'"};
  return static_cast<std::uint32_t>(value);
}

double ParseDouble(const std::string& token) {
  const char* last = token.data() + token.size();
  double value = 0;
  const auto [end, ec] = std::from_chars(token.data(), last, value);
  if (token.empty() || ec != std::errc() || end != last) throw CaseFileError{"not a number: '" + token + "'"};
  return value;
}

// `[row: col] text`, row and col each a number or "*".
ExpectedError ParseErrorLine(const std::string& line) {
  const std::size_t colon = line.find(':');
  const std::size_t close = line.find(']');
  if (line[0] != '[' || colon == std::string::npos || close == std::string::npos || colon > close ||
      close + 1 >= line.size() || line[close + 1] != ' ')
    throw CaseFileError{"error line must read '[row: col] text'"};
  auto position = [](const std::string& part) -> std::optional<int> {
    if (part == "*") return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (part.empty() || ec != std::errc() || end != part.data() + part.size() || value < 0)
      throw CaseFileError{"bad row or column '" + part + "'"};
    return value;
  };
  std::string text = line.substr(close + 2);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
  return {position(Trim(line.substr(1, colon - 1))), position(Trim(line.substr(colon + 1, close - colon - 1))), text};
}

void ParseOptions(const std::string& value, CompileOptions& options) {
  for (const std::string& item : Tokens(value)) {
    const std::size_t eq = item.find('=');
    const std::string name = item.substr(0, eq);
    const std::string number = eq == std::string::npos ? "" : item.substr(eq + 1);
    if (item == "extended") {
      options.extended = true;
    } else if (eq == std::string::npos) {
      throw CaseFileError{"option must read name=value or extended: '" + item + "'"};
    } else if (name == "angular") {
      options.angularConst = ParseDouble(number);
    } else if (name == "linear") {
      options.linearConst = ParseDouble(number);
    } else if (name == "recurse") {
      options.recurseDepth = static_cast<int>(ParseWord(number));
    } else {
      throw CaseFileError{"unknown option '" + name + "'"};
    }
  }
}

// The header fields a "cob:" line may check; FileSize is the file's length.
constexpr std::pair<std::string_view, std::uint32_t CobHeader::*> kHeaderFields[] = {
    {"Version", &CobHeader::Version},
    {"ScriptCount", &CobHeader::ScriptCount},
    {"PieceCount", &CobHeader::PieceCount},
    {"CodeWords", &CobHeader::CodeWords},
    {"StaticVarCount", &CobHeader::StaticVarCount},
    {"Reserved", &CobHeader::Reserved},
    {"ScriptIndexTableOffset", &CobHeader::ScriptIndexTableOffset},
    {"ScriptNameTableOffset", &CobHeader::ScriptNameTableOffset},
    {"PieceNameTableOffset", &CobHeader::PieceNameTableOffset},
    {"CodeOffset", &CobHeader::CodeOffset},
    {"NamePoolOffset", &CobHeader::NamePoolOffset},
    {"FileSize", nullptr},
};

const std::pair<std::string_view, std::uint32_t CobHeader::*>* HeaderField(std::string_view name) {
  for (const auto& field : kHeaderFields)
    if (field.first == name) return &field;
  return nullptr;
}

// One line of a .words or .err file: a `key: value` header line, the error
// line of a .err file, or in a .words file an instruction (NAME and its
// operands) or raw words.
void ParseExpectationLine(const std::string& whole, bool errorFile, Expectation& expected, CompileOptions& options) {
  if (errorFile && whole[0] == '[') {
    if (expected.error) throw CaseFileError{"a second error line"};
    expected.error = ParseErrorLine(whole);
    return;
  }
  const std::size_t colon = whole.find(':');
  if (colon != std::string::npos && colon > 0 && whole.find_first_not_of("abcdefghijklmnopqrstuvwxyz-") == colon) {
    const std::string key = whole.substr(0, colon);
    const std::string raw = Trim(whole.substr(colon + 1));  // a warning is taken verbatim
    const std::string value = Trim(whole.substr(colon + 1, whole.find('#') - colon - 1));
    auto words = [&] {
      std::vector<std::uint32_t> out;
      for (const std::string& token : Tokens(value)) out.push_back(ParseWord(token));
      return out;
    };
    if (key == "warning") {
      expected.warnings.push_back(raw);
    } else if (key == "options") {
      ParseOptions(value, options);
    } else if (key == "default") {
      expected.defaultError = ParseErrorLine(raw);
    } else if (errorFile) {
      throw CaseFileError{"'" + key + ":' belongs in a .words file"};
    } else if (key == "scripts" || key == "pieces" || key == "stored") {
      (key == "scripts" ? expected.scripts : key == "pieces" ? expected.pieces : expected.stored) = Tokens(value);
    } else if (key == "statics") {
      expected.statics = ParseWord(value);
    } else if (key == "starts") {
      expected.starts = words();
    } else if (key == "cob") {
      for (const std::string& item : Tokens(value)) {
        const std::size_t eq = item.find('=');
        if (eq == std::string::npos || !HeaderField(item.substr(0, eq)))
          throw CaseFileError{"cob check must read Field=value: '" + item + "'"};
        expected.cob.emplace_back(item.substr(0, eq), ParseWord(item.substr(eq + 1)));
      }
    } else {
      throw CaseFileError{"unknown key '" + key + ":'"};
    }
    return;
  }
  if (errorFile) throw CaseFileError{"a .err file holds only the error line, options: and warning: lines"};
  const Lines tokens = Tokens(whole.substr(0, whole.find('#')));
  if (tokens.empty()) return;
  std::size_t first = 0;
  if (std::isalpha(static_cast<unsigned char>(tokens[0][0]))) {
    const InstructionInfo* info = nullptr;
    for (const auto& entry : kInstructions)
      if (entry.name == tokens[0]) info = &entry;
    if (!info) throw CaseFileError{"unknown instruction '" + tokens[0] + "'"};
    if (static_cast<int>(tokens.size()) - 1 != info->operandCount)
      throw CaseFileError{tokens[0] + " takes " + std::to_string(info->operandCount) + " operand(s)"};
    expected.code.push_back(static_cast<std::uint32_t>(info->opcode));
    first = 1;
  }
  for (std::size_t i = first; i < tokens.size(); ++i) expected.code.push_back(ParseWord(tokens[i]));
}

Expectation ParseExpectation(const fs::path& path, bool errorFile, CompileOptions& options) {
  Expectation expected;
  for (const auto& [lineNumber, rawLine] : marlo::test::TableLines(path)) {
    try {
      const std::string whole = Trim(rawLine);
      if (whole[0] != '#') ParseExpectationLine(whole, errorFile, expected, options);
    } catch (const CaseFileError& e) {
      throw CaseFileError{"line " + std::to_string(lineNumber) + ": " + e.text};
    }
  }
  if (errorFile && !expected.error) throw CaseFileError{"no '[row: col] text' line"};
  if (expected.defaultError && !options.extended)
    throw CaseFileError{"'default:' belongs to a case with 'options: extended'"};
  return expected;
}

std::string Hex(std::uint32_t word) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", word);
  return buffer;
}

// `code` in the place of the image's, disassembled.
std::string Disassembly(const char* title, CobImage image, std::vector<std::uint32_t> code) {
  image.code = std::move(code);
  std::string out = std::string(title) + ":\n";
  for (const std::string& line : BuildDisassembly(BuildCob(image))) out += "  " + line + "\n";
  return out;
}

template <typename T>
std::string Shown(const std::vector<T>& items) {
  std::ostringstream out;
  for (const T& item : items) out << (&item == items.data() ? "\"" : " \"") << item << '"';
  return "[" + out.str() + "]";
}

std::string Position(const std::optional<int>& value) { return value ? std::to_string(*value) : "*"; }

// The text fed to CompileStream from another thread in pieces of 1 to
// `maxPiece` bytes.
CompileOutcome Streamed(const std::string& text, const CompileOptions& options, std::size_t maxPiece) {
  TextStream stream;
  std::thread writer([&] {
    std::mt19937 random(static_cast<unsigned>(text.size() + maxPiece));
    for (std::size_t at = 0, piece = 0; at < text.size(); at += piece) {
      piece = 1 + random() % maxPiece;
      stream.Append(std::string_view(text).substr(at, piece));
    }
    stream.Close();
  });
  CompileOutcome outcome = CompileStream(stream, options);
  writer.join();
  return outcome;
}

int RunCompileCase(const fs::path& input) {
  const fs::path wordsPath = fs::path(input).replace_extension(".words");
  const fs::path errPath = fs::path(input).replace_extension(".err");
  const bool hasErr = fs::exists(errPath);
  if (fs::exists(wordsPath) == hasErr) {
    std::cout << input.string() << ": needs exactly one of .words and .err\n";
    return 2;
  }
  const fs::path expectationPath = hasErr ? errPath : wordsPath;
  CompileOptions options;
  Expectation expected;
  std::string source;
  try {
    source = ReadFile(input);
    expected = ParseExpectation(expectationPath, hasErr, options);
  } catch (const CaseFileError& e) {
    std::cout << expectationPath.string() << ": " << e.text << "\n";
    return 2;
  }

  const CompileOptions quiet = options;
  Lines warnings;
  options.onWarning = [&warnings](const CompileWarning& warning) { warnings.push_back(warning.text); };
  const CompileOutcome outcome = CompileText(source, options);

  Lines failures;
  std::string listings;
  if (warnings != expected.warnings)
    failures.push_back("warnings differ:\n  expected:\n" + Join(expected.warnings) + "  actual:\n" + Join(warnings));
  for (const std::size_t maxPiece : {1, 7, 4096}) {
    const CompileOutcome streamed = Streamed(source, quiet, maxPiece);
    if (streamed.ok != outcome.ok || streamed.errorText != outcome.errorText || streamed.row != outcome.row ||
        streamed.col != outcome.col || streamed.image.code != outcome.image.code ||
        streamed.image.scriptNames != outcome.image.scriptNames ||
        streamed.image.pieceNames != outcome.image.pieceNames)
      failures.push_back("compiled from a stream in pieces of up to " + std::to_string(maxPiece) +
                         " bytes, the outcome differs from the whole text's");
  }

  // The error `want` against `got`; `what` names the compile in a failure.
  auto checkError = [&](const ExpectedError& want, const CompileOutcome& got, const std::string& what) {
    const std::string wantLine = "[" + Position(want.row) + ": " + Position(want.col) + "] " + want.text;
    const std::string gotLine = "[" + std::to_string(got.row) + ": " + std::to_string(got.col) + "] " + got.errorText;
    if (got.ok) {
      failures.push_back("expected the error line" + what + "\n  " + wantLine + "\nbut the compile succeeded");
      listings += Disassembly("actual code", got.image, got.image.code);
    } else if ((want.row && *want.row != got.row) || (want.col && *want.col != got.col) || want.text != got.errorText) {
      failures.push_back("error line" + what + " differs:\n  expected: " + wantLine + "\n  actual:   " + gotLine);
    }
  };
  if (expected.defaultError) {
    CompileOptions defaults = quiet;
    defaults.extended = false;
    checkError(*expected.defaultError, CompileText(source, defaults), " of the default language");
  }

  const CobImage& image = outcome.image;
  if (expected.error) {
    checkError(*expected.error, outcome, "");
  } else if (!outcome.ok) {
    failures.push_back("expected a successful compile, got\n  [" + std::to_string(outcome.row) + ": " +
                       std::to_string(outcome.col) + "] " + outcome.errorText);
  } else {
    if (image.code != expected.code) {
      std::size_t first = 0;
      while (first < image.code.size() && first < expected.code.size() && image.code[first] == expected.code[first])
        ++first;
      listings += Disassembly("expected code", image, expected.code) + Disassembly("actual code", image, image.code);
      failures.push_back("code differs at word " + std::to_string(first) + " (file byte " +
                         std::to_string(44 + 4 * first) + "): expected " +
                         (first < expected.code.size() ? Hex(expected.code[first]) : "end of code") + ", actual " +
                         (first < image.code.size() ? Hex(image.code[first]) : "end of code"));
    }
    auto check = [&](const auto& want, const auto& got, const char* what) {
      if (want && *want != got)
        failures.push_back(std::string(what) + ": expected " + Shown(*want) + ", actual " + Shown(got));
    };
    check(expected.scripts, image.scriptNames, "script names");
    check(expected.pieces, image.pieceNames, "piece names");
    check(expected.starts, image.scriptStarts, "script starts");
    if (expected.statics)
      check(std::optional(std::vector{*expected.statics}), std::vector{image.staticVarCount}, "static count");
    if (expected.stored || !expected.cob.empty()) {
      try {
        const std::vector<std::uint8_t> bytes = BuildCob(image);
        const CobFile file = ReadCob(bytes);
        check(expected.stored, file.scriptNames, "stored script names");
        for (const auto& [field, value] : expected.cob) {
          const auto member = HeaderField(field)->second;
          const std::uint32_t actual = member ? file.header.*member : static_cast<std::uint32_t>(bytes.size());
          if (actual != value)
            failures.push_back("COB " + field + ": expected " + std::to_string(value) + ", actual " +
                               std::to_string(actual));
        }
      } catch (const std::exception& e) {
        failures.push_back(std::string("the COB image could not be built and read back: ") + e.what());
      }
    }
  }
  if (failures.empty()) return 0;
  std::cout << "FAILED " << input.string() << "\n";
  for (const std::string& failure : failures) std::cout << failure << "\n";
  std::cout << listings;
  return 1;
}

// ================================================================ preprocess

constexpr const char* kMainFile = "main.bos";  // errors in the input are reported under this name
constexpr const char* kExpectationFiles[] = {"expected.pp", "expected.defines", "expected.error", "expected.tests"};

struct PpOptions {
  std::string includeDirs;
  bool ignoreCase = false;
  int passes = 2;
};

struct PpExpectation {
  std::string source;
  std::optional<Lines> defines, tests;
  std::optional<std::pair<std::string, std::string>> error;  // "file(line): text", "[row: col]"
};

struct PpOutcome {
  std::string source;
  Lines defines, tests;
  bool failed = false;
  std::string describe, position;
  Lines messages;  // what the compile reported for a failed two-pass road
  Lines problems;  // anything beyond the expectations that went wrong
};

// Lines split at LF; a final LF does not start another line.
Lines SplitLines(const std::string& text) {
  Lines lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// "include: DIRS" (verbatim after the colon's following blanks),
// "ignore-case", "passes: 1" or "passes: 2".
PpOptions ParsePpOptions(const fs::path& path) {
  PpOptions options;
  if (!fs::exists(path)) return options;
  for (const auto& [number, line] : marlo::test::TableLines(path)) {
    const std::size_t colon = line.find(':');
    const std::string key = Trim(line.substr(0, colon));
    const std::size_t start = colon == std::string::npos ? colon : line.find_first_not_of(" \t", colon + 1);
    const std::string value = start == std::string::npos ? "" : line.substr(start);
    if (key == "include" && colon != std::string::npos) {
      options.includeDirs = value;
    } else if (key == "ignore-case" && colon == std::string::npos) {
      options.ignoreCase = true;
    } else if (key == "passes" && (Trim(value) == "1" || Trim(value) == "2")) {
      options.passes = Trim(value) == "1" ? 1 : 2;
    } else {
      throw CaseFileError{"options line " + std::to_string(number) + ": cannot read '" + line + "'"};
    }
  }
  return options;
}

PpExpectation ReadPpExpectation(const fs::path& dir) {
  PpExpectation expected{ReadFile(dir / "expected.pp"), {}, {}, {}};
  if (fs::exists(dir / "expected.defines")) expected.defines = SplitLines(ReadFile(dir / "expected.defines"));
  if (fs::exists(dir / "expected.tests")) expected.tests = SplitLines(ReadFile(dir / "expected.tests"));
  if (fs::exists(dir / "expected.error")) {
    const Lines lines = SplitLines(ReadFile(dir / "expected.error"));
    if (lines.size() != 2) throw CaseFileError{"expected.error must hold two lines: the error and its [row: col]"};
    expected.error = {lines[0], lines[1]};
  }
  return expected;
}

class MessageCollector : public IMessageList {
 public:
  void Add(const std::string& line) override { lines.push_back(line); }
  Lines lines;
};

void TakeState(const TPreProcessor& preprocessor, PpOutcome& outcome) {
  auto entries = [](const TStack& stack) {
    Lines out;
    for (int i = 0; i < stack.Count(); ++i) out.push_back(stack.Get(i));
    return out;
  };
  outcome.source = preprocessor.Source();
  outcome.defines = entries(preprocessor.Defines());
  outcome.tests = entries(preprocessor.PreProcessorTests());
  outcome.failed = preprocessor.Failed();
  if (outcome.failed) outcome.describe = preprocessor.Error().Describe();
}

// One Execute, as the first pass of the road runs it.
PpOutcome RunOnePass(const std::string& text, const PpOptions& options) {
  PpOutcome outcome;
  TPreProcessor preprocessor;
  preprocessor.SetTokens(StandardTokenList());
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
    outcome.position = "[" + std::to_string(row) + ": " + std::to_string(col) + "]";
    if (!returned.empty()) outcome.problems.push_back("Execute failed but returned a non-empty text");
  } else if (returned != preprocessor.Source()) {
    outcome.problems.push_back("Execute returned a text other than Source");
  }
  return outcome;
}

// Both passes; a failure is taken through the compile road once more to see
// the error line a compile reports.
PpOutcome RunRoad(const std::string& text, const PpOptions& options) {
  PpOutcome outcome;
  PreprocessSettings settings;
  settings.includeDirs = options.includeDirs;
  settings.definesCaseSensitive = !options.ignoreCase;
  TPreProcessor preprocessor;
  preprocessor.SetTokens(StandardTokenList());
  PreprocessTwice(preprocessor, text, kMainFile, settings);
  TakeState(preprocessor, outcome);
  if (!outcome.failed) return outcome;

  TPreProcessor again;
  again.SetTokens(StandardTokenList());
  TBosCompiler compiler;
  MessageCollector messages;
  compiler.SetPreProcesser(&again);
  compiler.SetMessageListBox(&messages);
  compiler.SetSourceFile(kMainFile);
  compiler.SetOutputFilename("main.cob");
  const marlo::test::ScratchDir scratch("golden_runner");  // nothing may be written into the case folder
  compiler.SetOutputPath(scratch.path().string() + "/");
  if (PreprocessAndCompile(again, compiler, text, kMainFile, settings))
    outcome.problems.push_back("the compile road compiled a text whose preprocessing failed");
  outcome.messages = messages.lines;
  if (again.Source() != preprocessor.Source())
    outcome.problems.push_back("the compile road's preprocessing produced another text than the two passes");
  return outcome;
}

std::string TextDifference(const std::string& what, const std::string& expected, const std::string& actual) {
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  const std::size_t lineStart = actual.rfind('\n', at == 0 ? 0 : at - 1);
  const std::size_t column = lineStart == std::string::npos || at == 0 ? at : at - lineStart - 1;
  const auto rows = std::count(actual.begin(), actual.begin() + static_cast<std::ptrdiff_t>(at), '\n');
  return what + " differs at byte " + std::to_string(at) + " (row " + std::to_string(rows) + ", column " +
         std::to_string(column) + "; expected " + std::to_string(expected.size()) + " bytes, got " +
         std::to_string(actual.size()) + ")\n--- expected ---\n" + Visible(expected) + "\n--- actual ---\n" +
         Visible(actual) + "\n---";
}

Lines ComparePp(const PpExpectation& expected, const PpOutcome& actual, int passes) {
  Lines failures = actual.problems;
  if (actual.source != expected.source) failures.push_back(TextDifference("Source", expected.source, actual.source));
  auto table = [&](const std::optional<Lines>& want, const Lines& got, const std::string& what) {
    if (want && *want != got)
      failures.push_back(what + " differ\n--- expected ---\n" + Join(*want) + "--- actual ---\n" + Join(got));
  };
  table(expected.defines, actual.defines, "Defines");
  table(expected.tests, actual.tests, "PreProcessorTests");
  if (!expected.error) {
    if (actual.failed) failures.push_back("unexpected error: " + actual.describe);
    return failures;
  }
  const auto& [describe, position] = *expected.error;
  if (!actual.failed) {
    failures.push_back("expected the error " + describe + " but the preprocessing succeeded");
  } else if (actual.describe != describe) {
    failures.push_back("error differs\n  expected: " + describe + "\n  actual:   " + actual.describe);
  }
  if (actual.failed && passes == 1 && actual.position != position)
    failures.push_back("end of text differs\n  expected: " + position + "\n  actual:   " + actual.position);
  if (actual.failed && passes == 2)
    table(Lines{std::string("Compiling file '") + kMainFile + "'", position + " " + describe}, actual.messages,
          "compile messages");
  return failures;
}

int RunPreprocessCase(const fs::path& dir) {
  const fs::path caseDir = fs::absolute(dir);
  const PpOptions options = ParsePpOptions(caseDir / "options");
  const std::string text = ReadFile(caseDir / "main.bos");
  const PpExpectation expected = ReadPpExpectation(caseDir);
  fs::current_path(caseDir);
  const PpOutcome actual = options.passes == 1 ? RunOnePass(text, options) : RunRoad(text, options);
  const Lines failures = ComparePp(expected, actual, options.passes);
  for (const std::string& failure : failures) std::cout << failure << "\n";
  if (failures.empty()) return 0;
  std::cout << "FAILED: " << caseDir.string() << "\n";
  return 1;
}

// ==================================================================== layout

// Every DIR/<group>/<case> is a case: a compile input with exactly one
// expectation, an expectation with its input, or a preprocessor case folder
// with its input and expected text whose files all read.
int CheckLayout(const fs::path& root) {
  int problems = 0;
  int cases = 0;
  auto problem = [&](const fs::path& where, const std::string& text) {
    std::cout << where.string() << ": " << text << "\n";
    ++problems;
  };
  for (const auto& group : fs::directory_iterator(root)) {
    if (!group.is_directory()) continue;
    for (const auto& entry : fs::directory_iterator(group.path())) {
      const fs::path& path = entry.path();
      const std::string ext = path.extension().string();
      if (entry.is_directory()) {
        ++cases;
        for (const char* needed : {"main.bos", "expected.pp"})
          if (!fs::exists(path / needed)) problem(path, std::string("no ") + needed);
        for (const auto& file : fs::directory_iterator(path)) {
          const std::string name = file.path().filename().string();
          if (name.rfind("expected", 0) == 0 && std::find(std::begin(kExpectationFiles), std::end(kExpectationFiles),
                                                          name) == std::end(kExpectationFiles))
            problem(file.path(), "not a known expectation file");
        }
        try {
          ParsePpOptions(path / "options");
          ReadPpExpectation(path);
        } catch (const CaseFileError& error) {
          problem(path, error.text);
        } catch (const std::runtime_error& error) {
          problem(path, error.what());
        }
      } else if (ext == ".bos") {
        ++cases;
        if (fs::exists(fs::path(path).replace_extension(".words")) ==
            fs::exists(fs::path(path).replace_extension(".err")))
          problem(path, "needs exactly one of .words and .err");
      } else if (ext == ".words" || ext == ".err") {
        if (!fs::exists(fs::path(path).replace_extension(".bos"))) problem(path, "has no .bos input");
      } else {
        problem(path, "not a case file (.bos, .words, .err) or case folder");
      }
    }
  }
  if (cases == 0) problem(root, "no cases");
  std::cout << cases << " cases, " << problems << " layout problem(s)\n";
  return problems == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 3 && std::string_view(argv[1]) == "--layout") return CheckLayout(argv[2]);
    if (argc == 2) return fs::is_directory(argv[1]) ? RunPreprocessCase(argv[1]) : RunCompileCase(argv[1]);
    std::cerr << "usage: golden_runner CASE.bos | CASE_DIR | --layout DIR\n";
  } catch (const CaseFileError& error) {
    std::cout << "broken case: " << error.text << "\n";
  } catch (const std::exception& error) {
    std::cout << "error: " << error.what() << "\n";
  }
  return 2;
}
