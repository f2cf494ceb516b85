// One file's compile, with everything it prints kept in memory so that files
// compiled at the same time can still be shown one after another.
#pragma once

#include <string>
#include <vector>

#include "cli/options.h"

namespace marlo::cli {

struct OutputChunk {
  bool toStderr = false;
  std::string text;
};

struct JobResult {
  bool ok = false;
  std::vector<OutputChunk> output;  // in the order it was produced

  void Out(std::string text) { output.push_back({false, std::move(text)}); }
  void Err(std::string text) { output.push_back({true, std::move(text)}); }
};

// Loads `path` as the IDE does, compiles it with its own compiler and collects
// the message lines (stdout), warnings (stderr) and, when asked for, the
// listings. Safe to run for different files on different threads.
JobResult CompileJob(const std::string& path, const Options& options);

}  // namespace marlo::cli
