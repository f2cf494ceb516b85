// Golden compile cases: compiles one case input with CompileText and compares
// the outcome with the expectation file beside it.
//
//   golden_runner CASE.bos      run one case (CASE.words or CASE.err beside it)
//   golden_runner --layout DIR  check that every DIR/<group>/<case>.bos has
//                               exactly one expectation and every expectation
//                               has its input
//
// The file format is described in tests/data/compile/README.md. Instruction
// names in expectations are looked up in the instruction table, so no opcode
// is written down twice. Exit code 0 means pass, 1 a failed case, 2 a broken
// case file or bad usage.
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "compiler/cob_file.h"
#include "compiler/compile_text.h"
#include "compiler/instructions.h"
#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;
using marlo::core::CobHeader;
using marlo::core::CobImage;
using marlo::core::CompileOptions;
using marlo::core::CompileOutcome;
using marlo::core::InstructionInfo;

// A mistake in the case file itself, reported with its line.
struct CaseFileError {
  std::string text;
};

struct ExpectedError {
  std::optional<int> row;  // empty: any row ("*")
  std::optional<int> col;
  std::string text;
};

struct HeaderCheck {
  std::string field;
  std::uint32_t value = 0;
};

struct Expectation {
  std::vector<std::uint32_t> code;
  std::optional<std::vector<std::string>> scripts;
  std::optional<std::vector<std::string>> pieces;
  std::optional<std::vector<std::string>> stored;
  std::optional<std::vector<std::uint32_t>> starts;
  std::optional<std::uint32_t> statics;
  std::vector<HeaderCheck> cob;
  std::vector<std::string> warnings;
  std::optional<ExpectedError> error;
  // The same input in the default language (a case in the extended one).
  std::optional<ExpectedError> defaultError;
};

std::string Trim(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return std::string(text.substr(begin, end - begin));
}

// Blank-separated tokens; a token in double quotes may be empty ("").
std::vector<std::string> Tokens(std::string_view text) {
  std::vector<std::string> tokens;
  std::size_t i = 0;
  while (i < text.size()) {
    if (std::isspace(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    std::string token;
    if (text[i] == '"') {
      const std::size_t close = text.find('"', i + 1);
      if (close == std::string_view::npos) throw CaseFileError{"unterminated quote"};
      token = std::string(text.substr(i + 1, close - i - 1));
      i = close + 1;
    } else {
      while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) token += text[i++];
    }
    tokens.push_back(token);
  }
  return tokens;
}

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
  try {
    std::size_t used = 0;
    const double value = std::stod(token, &used);
    if (used == token.size()) return value;
  } catch (const std::exception&) {
  }
  throw CaseFileError{"not a number: '" + token + "'"};
}

const InstructionInfo* InstructionNamed(std::string_view name) {
  for (const auto& info : marlo::core::kInstructions)
    if (info.name == name) return &info;
  return nullptr;
}

// `[row: col] text`, row and col each a number or "*".
ExpectedError ParseErrorLine(const std::string& line) {
  const std::size_t colon = line.find(':');
  const std::size_t close = line.find(']');
  if (colon == std::string::npos || close == std::string::npos || colon > close || close + 1 >= line.size() ||
      line[close + 1] != ' ')
    throw CaseFileError{"error line must read '[row: col] text'"};
  auto position = [](std::string part) -> std::optional<int> {
    part = Trim(part);
    if (part == "*") return std::nullopt;
    try {
      std::size_t used = 0;
      const int value = std::stoi(part, &used);
      if (used == part.size() && value >= 0) return value;
    } catch (const std::exception&) {
    }
    throw CaseFileError{"bad row or column '" + part + "'"};
  };
  ExpectedError error;
  error.row = position(line.substr(1, colon - 1));
  error.col = position(line.substr(colon + 1, close - colon - 1));
  error.text = line.substr(close + 2);
  while (!error.text.empty() && (error.text.back() == ' ' || error.text.back() == '\t')) error.text.pop_back();
  return error;
}

void ParseOptions(const std::string& value, CompileOptions& options) {
  for (const std::string& item : Tokens(value)) {
    if (item == "extended") {
      options.extended = true;
      continue;
    }
    const std::size_t eq = item.find('=');
    if (eq == std::string::npos) throw CaseFileError{"option must read name=value or extended: '" + item + "'"};
    const std::string name = item.substr(0, eq);
    const std::string number = item.substr(eq + 1);
    if (name == "angular") {
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

std::uint32_t HeaderField(const CobHeader& header, std::size_t fileSize, std::string_view field) {
  for (const auto& [name, member] : kHeaderFields)
    if (name == field && member) return header.*member;
  return static_cast<std::uint32_t>(fileSize);
}

// Reads a .words or .err file. Header lines are `key: value`; in a .words
// file every other line is one instruction (NAME and its operands) or raw
// words; in a .err file exactly one line is the expected error line.
Expectation ParseExpectation(const fs::path& path, bool errorFile, CompileOptions& options) {
  Expectation expected;
  for (const auto& [lineNumber, rawLine] : marlo::test::TableLines(path)) {
    try {
      const std::string whole = Trim(rawLine);
      if (whole[0] == '#') continue;
      if (errorFile && whole[0] == '[') {
        if (expected.error) throw CaseFileError{"a second error line"};
        expected.error = ParseErrorLine(whole);
        continue;
      }
      const std::size_t colon = whole.find(':');
      const bool header =
          colon != std::string::npos && colon > 0 && whole.find_first_not_of("abcdefghijklmnopqrstuvwxyz-") == colon;
      if (header) {
        const std::string key = whole.substr(0, colon);
        // A warning is taken verbatim; every other value may end in a comment.
        if (key == "warning") {
          expected.warnings.push_back(Trim(whole.substr(colon + 1)));
          continue;
        }
        const std::string value = Trim(whole.substr(colon + 1, whole.find('#') - colon - 1));
        if (key == "options") {
          ParseOptions(value, options);
        } else if (key == "default") {
          expected.defaultError = ParseErrorLine(Trim(whole.substr(colon + 1)));
        } else if (errorFile) {
          throw CaseFileError{"'" + key + ":' belongs in a .words file"};
        } else if (key == "scripts") {
          expected.scripts = Tokens(value);
        } else if (key == "pieces") {
          expected.pieces = Tokens(value);
        } else if (key == "stored") {
          expected.stored = Tokens(value);
        } else if (key == "statics") {
          expected.statics = ParseWord(value);
        } else if (key == "starts") {
          std::vector<std::uint32_t> starts;
          for (const std::string& token : Tokens(value)) starts.push_back(ParseWord(token));
          expected.starts = starts;
        } else if (key == "cob") {
          for (const std::string& item : Tokens(value)) {
            const std::size_t eq = item.find('=');
            HeaderCheck check{item.substr(0, eq), 0};
            bool known = false;
            for (const auto& field : kHeaderFields) known = known || field.first == check.field;
            if (eq == std::string::npos || !known)
              throw CaseFileError{"cob check must read Field=value: '" + item + "'"};
            check.value = ParseWord(item.substr(eq + 1));
            expected.cob.push_back(check);
          }
        } else {
          throw CaseFileError{"unknown key '" + key + ":'"};
        }
        continue;
      }
      if (errorFile) throw CaseFileError{"a .err file holds only the error line, options: and warning: lines"};
      const std::vector<std::string> tokens = Tokens(whole.substr(0, whole.find('#')));
      if (tokens.empty()) continue;
      if (std::isalpha(static_cast<unsigned char>(tokens[0][0]))) {
        const InstructionInfo* info = InstructionNamed(tokens[0]);
        if (!info) throw CaseFileError{"unknown instruction '" + tokens[0] + "'"};
        if (static_cast<int>(tokens.size()) - 1 != info->operandCount)
          throw CaseFileError{tokens[0] + " takes " + std::to_string(info->operandCount) + " operand(s)"};
        expected.code.push_back(static_cast<std::uint32_t>(info->opcode));
        for (std::size_t i = 1; i < tokens.size(); ++i) expected.code.push_back(ParseWord(tokens[i]));
      } else {
        for (const std::string& token : tokens) expected.code.push_back(ParseWord(token));
      }
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

// The words as instruction lines; the line holding word `mark` gets ">>".
void PrintListing(std::ostream& out, const char* title, const std::vector<std::uint32_t>& words, std::size_t mark) {
  out << title << " (" << words.size() << " words):\n";
  std::size_t i = 0;
  while (i < words.size()) {
    const std::size_t start = i;
    std::string line;
    const InstructionInfo* info = marlo::core::FindInstruction(words[i]);
    if (info && i + info->operandCount < words.size()) {
      line = std::string(info->name);
      for (int k = 0; k < info->operandCount; ++k)
        line += " " + std::to_string(static_cast<std::int32_t>(words[i + 1 + k]));
      i += 1 + info->operandCount;
    } else {
      line = Hex(words[i]) + "  (" + std::to_string(static_cast<std::int32_t>(words[i])) + ")";
      ++i;
    }
    const bool marked = mark >= start && mark < i;
    char index[32];
    std::snprintf(index, sizeof index, "%s %5zu  ", marked ? ">>" : "  ", start);
    out << index << line << "\n";
  }
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : " ") + ("\"" + name + "\"");
  return "[" + text + "]";
}

std::string JoinWords(const std::vector<std::uint32_t>& words) {
  std::string text;
  for (std::uint32_t word : words) text += (text.empty() ? "" : " ") + std::to_string(word);
  return "[" + text + "]";
}

std::string Position(const std::optional<int>& value) { return value ? std::to_string(*value) : "*"; }

// Runs one case; prints what differs and returns the process exit code.
int RunCase(const fs::path& input) {
  fs::path wordsPath = input;
  wordsPath.replace_extension(".words");
  fs::path errPath = input;
  errPath.replace_extension(".err");
  const bool hasWords = fs::exists(wordsPath);
  const bool hasErr = fs::exists(errPath);
  if (hasWords == hasErr) {
    std::cout << input.string() << ": needs exactly one of " << wordsPath.filename().string() << " and "
              << errPath.filename().string() << "\n";
    return 2;
  }
  const fs::path expectationPath = hasWords ? wordsPath : errPath;

  CompileOptions options;
  Expectation expected;
  std::string source;
  try {
    source = marlo::test::ReadFile(input);
    expected = ParseExpectation(expectationPath, hasErr, options);
  } catch (const CaseFileError& e) {
    std::cout << expectationPath.string() << ": " << e.text << "\n";
    return 2;
  } catch (const std::runtime_error& e) {
    std::cout << e.what() << "\n";
    return 2;
  }

  std::vector<std::string> warnings;
  options.onWarning = [&warnings](const marlo::core::CompileWarning& warning) { warnings.push_back(warning.text); };
  const CompileOutcome outcome = marlo::core::CompileText(source, options);

  std::vector<std::string> failures;
  std::ostringstream listings;
  if (warnings != expected.warnings) {
    std::string text = "warnings differ:\n  expected:";
    for (const auto& w : expected.warnings) text += "\n    " + w;
    text += "\n  actual:";
    for (const auto& w : warnings) text += "\n    " + w;
    failures.push_back(text);
  }

  // The error `want` against `got`; `what` names the compile in a failure.
  auto checkError = [&](const ExpectedError& want, const CompileOutcome& got, const std::string& what) {
    const std::string wantLine = "[" + Position(want.row) + ": " + Position(want.col) + "] " + want.text;
    if (got.ok) {
      failures.push_back("expected the error line" + what + "\n  " + wantLine + "\nbut the compile succeeded");
      PrintListing(listings, "actual code", got.image.code, got.image.code.size());
      return;
    }
    const std::string gotLine = "[" + std::to_string(got.row) + ": " + std::to_string(got.col) + "] " + got.errorText;
    const bool same =
        (!want.row || *want.row == got.row) && (!want.col || *want.col == got.col) && want.text == got.errorText;
    if (!same)
      failures.push_back("error line" + what + " differs:\n  expected: " + wantLine + "\n  actual:   " + gotLine);
  };
  if (expected.defaultError) {
    CompileOptions defaults = options;
    defaults.extended = false;
    defaults.onWarning = nullptr;
    checkError(*expected.defaultError, marlo::core::CompileText(source, defaults), " of the default language");
  }

  if (expected.error) {
    checkError(*expected.error, outcome, "");
  } else if (!outcome.ok) {
    failures.push_back("expected a successful compile, got\n  [" + std::to_string(outcome.row) + ": " +
                       std::to_string(outcome.col) + "] " + outcome.errorText);
  } else {
    const CobImage& image = outcome.image;
    if (image.code != expected.code) {
      std::size_t first = 0;
      while (first < image.code.size() && first < expected.code.size() && image.code[first] == expected.code[first])
        ++first;
      PrintListing(listings, "expected code", expected.code, first);
      PrintListing(listings, "actual code", image.code, first);
      std::string text = "code differs at word " + std::to_string(first) + " (code byte " + std::to_string(4 * first) +
                         ", file byte " + std::to_string(44 + 4 * first) + "): expected ";
      text += first < expected.code.size() ? Hex(expected.code[first]) : std::string("end of code");
      text += ", actual ";
      text += first < image.code.size() ? Hex(image.code[first]) : std::string("end of code");
      failures.push_back(text);
    }
    if (expected.scripts && *expected.scripts != image.scriptNames)
      failures.push_back("script names: expected " + JoinNames(*expected.scripts) + ", actual " +
                         JoinNames(image.scriptNames));
    if (expected.pieces && *expected.pieces != image.pieceNames)
      failures.push_back("piece names: expected " + JoinNames(*expected.pieces) + ", actual " +
                         JoinNames(image.pieceNames));
    if (expected.starts && *expected.starts != image.scriptStarts)
      failures.push_back("script starts: expected " + JoinWords(*expected.starts) + ", actual " +
                         JoinWords(image.scriptStarts));
    if (expected.statics && *expected.statics != image.staticVarCount)
      failures.push_back("static count: expected " + std::to_string(*expected.statics) + ", actual " +
                         std::to_string(image.staticVarCount));
    if (expected.stored || !expected.cob.empty()) {
      try {
        const std::vector<std::uint8_t> bytes = marlo::core::BuildCob(image);
        const marlo::core::CobFile file = marlo::core::ReadCob(bytes);
        if (expected.stored && *expected.stored != file.scriptNames)
          failures.push_back("stored script names: expected " + JoinNames(*expected.stored) + ", actual " +
                             JoinNames(file.scriptNames));
        for (const HeaderCheck& check : expected.cob) {
          const std::uint32_t actual = HeaderField(file.header, bytes.size(), check.field);
          if (actual != check.value)
            failures.push_back("COB " + check.field + ": expected " + std::to_string(check.value) + ", actual " +
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
  std::cout << listings.str();
  return 1;
}

// Every input has one expectation and every expectation has its input.
int CheckLayout(const fs::path& root) {
  int problems = 0;
  int cases = 0;
  for (const auto& group : fs::directory_iterator(root)) {
    if (!group.is_directory()) continue;
    for (const auto& entry : fs::directory_iterator(group.path())) {
      const fs::path path = entry.path();
      const std::string ext = path.extension().string();
      if (ext == ".bos") {
        ++cases;
        const bool words = fs::exists(fs::path(path).replace_extension(".words"));
        const bool err = fs::exists(fs::path(path).replace_extension(".err"));
        if (words == err) {
          std::cout << path.string() << ": needs exactly one of .words and .err\n";
          ++problems;
        }
      } else if (ext == ".words" || ext == ".err") {
        if (!fs::exists(fs::path(path).replace_extension(".bos"))) {
          std::cout << path.string() << ": has no .bos input\n";
          ++problems;
        }
      } else {
        std::cout << path.string() << ": not a case file (.bos, .words, .err)\n";
        ++problems;
      }
    }
  }
  std::cout << cases << " cases, " << problems << " layout problem(s)\n";
  return problems == 0 && cases > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string_view(argv[1]) == "--layout") return CheckLayout(argv[2]);
  if (argc != 2) {
    std::cerr << "usage: golden_runner CASE.bos | golden_runner --layout DIR\n";
    return 2;
  }
  return RunCase(argv[1]);
}
