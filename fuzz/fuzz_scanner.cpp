// fuzz_scanner: Arbitrary bytes through the scanner with the preprocessor's settings, read
// whole (Scan) and one token at a time (Begin/Next): both must list the same
// tokens.
#include <cstddef>
#include <cstdint>

#include "fuzz/entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return marlo::fuzz::Guarded(marlo::fuzz::RunScanner, data, size);
}
