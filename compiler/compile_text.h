// The compiler as a plain function: preprocessed text in, code image or one
// error out. TBosCompiler wraps it with messages and the file on disk; tests
// and tools call it directly.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "compiler/cob_file.h"
#include "compiler/compiler_hooks.h"
#include "compiler/text_stream.h"

namespace marlo::core {

struct CompileOptions {
  double angularConst = 182.04444444;
  double linearConst = 163840.0;
  int recurseDepth = 200;
  // The extended language of today's unit scripts (else, C precedence, get
  // with arguments, ...); off, the compile is exactly the original one.
  bool extended = false;
  TWarningEvent onWarning;                       // literal conversion failures
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
