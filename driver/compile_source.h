// The whole road of a compile, as the source window and marloc run it:
// Reset, SetIncludeDirs, Execute over the text, Execute again over the
// first result with the define table kept, then Compile.
#pragma once

#include <string>
#include <string_view>

#include "compiler/bos_compiler.h"
#include "preprocessor/pre_processor.h"

namespace marlo::core {

struct PreprocessSettings {
  std::string includeDirs;  // ";"-separated
  bool definesCaseSensitive = true;
  // Includes are also looked for beside the including file (the extended
  // language's rule).
  bool includeBesideIncluder = false;
  // Whether the preprocessor's Source holds the whole text after a compile;
  // a caller that never shows it can save the memory.
  bool keepSource = true;
  // Whether one compile may use a second core: the first pass scans on a
  // second thread, and (without a progress display) the compiler reads the
  // second pass's output while it is written. The results are the same.
  bool secondCore = true;
};

// Both preprocessor passes over `text` (read from `fileName`). False when a
// pass stopped on an error; the preprocessor then holds the error and the
// text produced so far.
// The text is taken by value and released after the first pass.
bool PreprocessTwice(TPreProcessor& preprocessor, std::string text, const std::string& fileName,
                     const PreprocessSettings& settings);

// Where the preprocessed text ends: the row and column a failed
// preprocessing is reported at.
void EndOfText(const std::string& text, int& row, int& col);

// Preprocesses `text` and compiles the result with `compiler` (whose
// properties the caller has set, PreProcesser included). A preprocessing
// error is reported in the compiler's own message form and nothing is
// compiled. Returns true when the .cob was written.
bool PreprocessAndCompile(TPreProcessor& preprocessor, TBosCompiler& compiler, std::string text,
                          const std::string& fileName, const PreprocessSettings& settings);

}  // namespace marlo::core
