#include "cli/options.h"

#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>
#include <system_error>

#include "compiler/compile_text.h"
#include "driver/source_file.h"

namespace marlo::cli {
namespace {

enum class Id {
  kInclude,
  kPreprocess,
  kDefinesIgnoreCase,
  kExtended,
  kDependencyFile,
  kDependencyPath,
  kPhonyHeaders,
  kOutputDir,
  kAngular,
  kLinear,
  kRecurse,
  kListing,
  kDisasm,
  kJobs,
  kTabWidth,
  kHelp,
  kVersion
};
enum class Takes { kNothing, kText, kReal, kInteger };

struct Spec {
  Id id;
  std::string_view shortName;  // without "-", empty when there is none
  std::string_view longName;   // without "--"
  Takes takes;
};

constexpr std::array kSpecs{
    Spec{Id::kInclude, "I", "include", Takes::kText},
    Spec{Id::kPreprocess, "E", "preprocess", Takes::kNothing},
    Spec{Id::kDefinesIgnoreCase, "", "defines-ignore-case", Takes::kNothing},
    Spec{Id::kExtended, "X", "extended", Takes::kNothing},
    // As the C compilers spell them: one dash, two letters.
    Spec{Id::kDependencyFile, "MD", "", Takes::kNothing},
    Spec{Id::kDependencyPath, "MF", "", Takes::kText},
    Spec{Id::kPhonyHeaders, "MP", "", Takes::kNothing},
    Spec{Id::kOutputDir, "o", "output-dir", Takes::kText},
    Spec{Id::kAngular, "", "angular", Takes::kReal},
    Spec{Id::kLinear, "", "linear", Takes::kReal},
    Spec{Id::kRecurse, "", "recurse", Takes::kInteger},
    Spec{Id::kListing, "", "listing", Takes::kNothing},
    Spec{Id::kDisasm, "", "disasm", Takes::kNothing},
    Spec{Id::kJobs, "j", "jobs", Takes::kInteger},
    Spec{Id::kTabWidth, "", "tab-width", Takes::kInteger},
    Spec{Id::kHelp, "", "help", Takes::kNothing},
    Spec{Id::kVersion, "", "version", Takes::kNothing},
};

const Spec* FindLong(std::string_view name) {
  for (const Spec& spec : kSpecs) {
    if (!spec.longName.empty() && spec.longName == name) return &spec;
  }
  return nullptr;
}

const Spec* FindShort(std::string_view name) {
  for (const Spec& spec : kSpecs) {
    if (!spec.shortName.empty() && spec.shortName == name) return &spec;
  }
  return nullptr;
}

std::optional<double> ParseReal(std::string_view text) {
  double value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<int> ParseInteger(std::string_view text) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

// Appends the ";"-separated directories of one -I, giving each non-empty
// entry the trailing separator that the include search (a plain prefix)
// needs; an empty entry stays empty.
void AddIncludeDirs(std::string_view dirs, Options& options) {
  std::string& into = options.includeDirs;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = dirs.find(';', start);
    std::string entry(dirs.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (!entry.empty() && entry.back() != '/' && entry.back() != '\\') entry += '/';
    if (options.includeGiven) into += ';';
    options.includeGiven = true;
    into += entry;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
}

// Stores one option's value; returns an error line, empty on success.
std::string Apply(const Spec& spec, std::string_view shownName, std::string_view value, Options& options) {
  if (spec.takes == Takes::kReal) {
    std::optional<double> real = ParseReal(value);
    if (!real) return "option " + Quoted(shownName) + " needs a number, got " + Quoted(value);
    if (!core::IsValidLiteralScale(*real))
      return "option " + Quoted(shownName) + " needs a scale above 0 and at most 1e9, got " + Quoted(value);
    (spec.id == Id::kAngular ? options.angularConst : options.linearConst) = *real;
    return {};
  }
  if (spec.takes == Takes::kInteger) {
    std::optional<int> integer = ParseInteger(value);
    if (!integer) return "option " + Quoted(shownName) + " needs a whole number, got " + Quoted(value);
    switch (spec.id) {
      case Id::kRecurse:
        options.recurseDepth = *integer;
        break;
      case Id::kJobs:
        if (*integer < 1) return "option " + Quoted(shownName) + " needs at least 1, got " + Quoted(value);
        options.jobs = *integer;
        break;
      default:
        if (*integer > core::kMaxTabWidth)
          return "option " + Quoted(shownName) + " allows at most " + std::to_string(core::kMaxTabWidth) + ", got " +
                 Quoted(value);
        options.tabWidth = *integer;
        break;
    }
    return {};
  }
  switch (spec.id) {
    case Id::kInclude:
      AddIncludeDirs(value, options);
      break;
    case Id::kPreprocess:
      options.preprocessOnly = true;
      break;
    case Id::kDefinesIgnoreCase:
      options.definesIgnoreCase = true;
      break;
    case Id::kExtended:
      options.extended = true;
      break;
    case Id::kDependencyFile:
      options.dependencyFile = true;
      break;
    case Id::kDependencyPath:  // writes the file as -MD does
      options.dependencyFile = true;
      options.dependencyPath = std::string(value);
      break;
    case Id::kPhonyHeaders:
      options.phonyHeaders = true;
      break;
    case Id::kOutputDir:
      options.outputDir = std::string(value);
      break;
    case Id::kListing:
      options.listing = true;
      break;
    case Id::kDisasm:
      options.disasm = true;
      break;
    case Id::kHelp:
      options.help = true;
      break;
    default:
      options.version = true;
      break;
  }
  return {};
}

}  // namespace

ParseResult ParseArguments(const std::vector<std::string>& args) {
  ParseResult result;
  Options& options = result.options;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      options.files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }

    const Spec* spec = nullptr;
    std::string shownName;
    std::optional<std::string> inlineValue;
    if (arg.starts_with("--")) {
      std::string_view body = std::string_view(arg).substr(2);
      std::size_t equals = body.find('=');
      if (equals != std::string_view::npos) {
        inlineValue = std::string(body.substr(equals + 1));
        body = body.substr(0, equals);
      }
      shownName = "--" + std::string(body);
      spec = FindLong(body);
    } else if (arg == "-MD" || arg == "-MF" || arg == "-MP") {
      shownName = arg;
      spec = FindShort(std::string_view(arg).substr(1));
    } else {
      shownName = arg.substr(0, 2);
      spec = FindShort(std::string_view(arg).substr(1, 1));
      if (spec != nullptr && arg.size() > 2) {
        if (spec->takes == Takes::kNothing) {
          // Flags are not bundled: "-Ej2" is not "-E -j2".
          result.error =
              "option " + Quoted(shownName) + " takes no value, got " + Quoted(arg) + " (flags cannot be combined)";
          return result;
        }
        inlineValue = arg.substr(2);
      }
    }
    if (spec == nullptr) {
      result.error = "unknown option " + Quoted(shownName);
      return result;
    }

    std::string value;
    if (spec->takes == Takes::kNothing) {
      if (inlineValue) {
        result.error = "option " + Quoted(shownName) + " takes no value";
        return result;
      }
    } else if (inlineValue) {
      value = *inlineValue;
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      result.error = "option " + Quoted(shownName) + " needs a value";
      return result;
    }

    result.error = Apply(*spec, shownName, value, options);
    if (!result.error.empty()) return result;
  }

  if (!options.help && !options.version && options.files.empty()) {
    result.error = "no input files";
    return result;
  }
  if (!options.dependencyPath.empty() && options.files.size() > 1) {
    result.error =
        "option '-MF' names the dependency file of one input file, got " + std::to_string(options.files.size());
    return result;
  }
  if (options.recurseDepth > core::kMaxNestingDepth)
    result.warnings.push_back("--recurse " + std::to_string(options.recurseDepth) +
                              " is above the compiler's own nesting limit of " +
                              std::to_string(core::kMaxNestingDepth) + ", which applies first");
  result.ok = true;
  return result;
}

std::string UsageText() {
  return "Usage: marloc [options] FILE...\n"
         "Compiles BOS scripts into COB files and prints the compile messages.\n"
         "\n"
         "Options:\n"
         "  -I, --include DIRS    \";\"-separated include directories, searched in order;\n"
         "                        repeatable\n"
         "  -E, --preprocess      print the preprocessed text instead of compiling\n"
         "      --defines-ignore-case\n"
         "                        match #define names without regard to case\n"
         "  -X, --extended        the extended language of today's unit scripts (else,\n"
         "                        C precedence, get with arguments, ...)\n"
         "  -MD                   write a make-style dependency file beside each .cob\n"
         "                        (unit.cob.d: the .cob, then every file read)\n"
         "  -MF FILE              name the dependency file (one input file only)\n"
         "  -MP                   add an empty rule for each header\n"
         "  -o, --output-dir DIR  directory of the .cob files (default: .)\n"
         "      --angular X       scale of angular literals, above 0 and at most 1e9\n"
         "                        (default: 182.04444444)\n"
         "      --linear X        scale of linear literals, above 0 and at most 1e9\n"
         "                        (default: 163840)\n"
         "      --recurse N       nesting limit of expressions (default: 200); the\n"
         "                        compiler's own limit of 2000 levels of expressions\n"
         "                        and blocks applies whatever N is\n"
         "      --listing         after a successful compile print the assembly listing\n"
         "      --disasm          after a successful compile print a listing with\n"
         "                        instruction names and decoded operands\n"
         "  -j, --jobs N          compile N files at once; output stays in argument order\n"
         "                        (default: 1)\n"
         "      --tab-width N     blanks per tab when reading a file; 0 or less removes\n"
         "                        tabs (default: 4, at most 64)\n"
         "      --help            print this text and exit\n"
         "      --version         print the version and exit\n"
         "\n"
         "Exit status: 0 when every file compiled, 1 when any failed, 2 for a usage error.\n";
}

}  // namespace marlo::cli
