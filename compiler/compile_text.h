// The compiler as a plain function: preprocessed text in, code image or one
// error out. TBosCompiler wraps it with messages and the file on disk; tests
// and tools call it directly.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "base/hooks.h"
#include "base/text_stream.h"
#include "compiler/cob_file.h"

namespace marlo::core {

// A literal scale (AngularConst, LinearConst) that a setting may hold: a
// positive, finite factor up to 1e9. Anything else is a settings mistake;
// the defaults are 182.04444444 and 163840.
inline constexpr double kMaxLiteralScale = 1e9;
inline bool IsValidLiteralScale(double scale) { return scale > 0 && scale <= kMaxLiteralScale; }

// Expressions and blocks nest by recursion; together they may not go deeper
// than this, whatever the recurse depth says, so that no input can exhaust
// the native stack of a compiling thread (see kCompileStackSize).
inline constexpr int kMaxNestingDepth = 2000;

struct CompileOptions {
  double angularConst = 182.04444444;
  double linearConst = 163840.0;
  int recurseDepth = 200;
  // The extended language of today's unit scripts (else, C precedence, get
  // with arguments, ...); off, the compile is exactly the original one.
  bool extended = false;
  TCompileWarningEvent onWarning;                // literal conversion failures
  IProgressBar* progress = nullptr;              // optional
  const std::atomic<bool>* abortFlag = nullptr;  // optional; set -> "Compile Aborted"
};

struct CompileOutcome {
  bool ok = false;
  CobImage image;  // complete when ok
  int row = 0;     // scan position when the compile ended (0-based)
  int col = 0;
  std::string errorText;  // empty when ok
};

// Compiles `source` (read lower-cased, as the compiler always does).
CompileOutcome CompileText(std::string_view source, const CompileOptions& options);

// The same over text that another thread writes into `stream` while this
// runs; the result is that of CompileText over the whole text.
CompileOutcome CompileStream(TextStream& stream, const CompileOptions& options);

}  // namespace marlo::core
