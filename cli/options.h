// marloc's command line as plain data. Parsing does no I/O, so the whole
// option table can be tested without running the program.
#pragma once

#include <string>
#include <vector>

namespace marlo::cli {

struct Options {
  std::string outputDir = ".";
  double angularConst = 182.04444444;
  double linearConst = 163840.0;
  int recurseDepth = 200;
  bool listing = false;
  bool disasm = false;
  int jobs = 1;
  int tabWidth = 4;
  std::string includeDirs;  // ";"-separated, each non-empty entry ending in a separator
  bool includeGiven = false;
  bool preprocessOnly = false;
  bool definesIgnoreCase = false;
  bool extended = false;
  bool dependencyFile = false;  // -MD: a make-style .d beside each .cob
  std::string dependencyPath;   // -MF FILE: its name (one input file only)
  bool phonyHeaders = false;    // -MP: an empty rule per header
  bool help = false;
  bool version = false;
  std::vector<std::string> files;
};

struct ParseResult {
  bool ok = false;
  Options options;
  std::string error;                  // one line, without the program name; empty when ok
  std::vector<std::string> warnings;  // lines without the program name, for settings that work but surprise
};

// Parses the arguments after the program name. Options and files may be
// mixed; "--" ends the options. A value is taken from the next argument, from
// "--name=value", or for short options from the rest of the argument ("-j4").
// --help and --version need no files; otherwise at least one file is required.
ParseResult ParseArguments(const std::vector<std::string>& args);

// The --help text, ending with a newline.
std::string UsageText();

}  // namespace marlo::cli
