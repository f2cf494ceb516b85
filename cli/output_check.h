// What the compiles of one marloc run will write, checked before any of
// them starts, so that a build script gets one clear usage error instead
// of one failure per file or a .cob over a source.
#pragma once

#include <string>

#include "cli/options.h"

namespace marlo::cli {

// An error line (without the program name), or "" when all is well:
// - the output folder is missing, not a folder or not writable;
// - two inputs would be compiled to the same .cob;
// - a .cob would be written over its own input.
std::string CheckOutputs(const Options& options);

}  // namespace marlo::cli
