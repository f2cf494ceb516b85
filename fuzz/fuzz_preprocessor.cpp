// fuzz_preprocessor: The two-pass preprocessor road over a main text and up to three in-memory
// headers, in either case mode; optionally the result is compiled too.
#include <cstddef>
#include <cstdint>

#include "fuzz/entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return marlo::fuzz::Guarded(marlo::fuzz::RunPreprocessor, data, size);
}
