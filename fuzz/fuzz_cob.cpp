// fuzz_cob: Arbitrary bytes as a COB file: ReadCob, BuildListing and BuildDisassembly.
#include <cstddef>
#include <cstdint>

#include "fuzz/entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return marlo::fuzz::Guarded(marlo::fuzz::RunCob, data, size);
}
