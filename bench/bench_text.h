// In-memory BOS text for the micro-benchmarks: the same kind of unit that
// generate.py writes to disk (defines, conditionals, pieces, statics, scripts
// with every statement and operator, forward calls, comments), smaller in
// variety but deterministic and with no file or Python needed.
#pragma once

#include <cstdint>
#include <string>

namespace marlo::bench {

struct BenchText {
  // Name the main text includes its header under.
  static constexpr const char* kHeaderName = "bench_defs.h";
  std::string header;
  // Exactly `lines` lines, each ended by CR LF, as marloc loads a file.
  std::string main;
};

BenchText MakeBenchText(int lines, std::uint32_t seed = 20240601);

}  // namespace marlo::bench
