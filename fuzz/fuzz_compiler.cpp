// fuzz_compiler: CompileText on arbitrary text at a recurse depth taken from the first byte;
// a successful image must survive BuildCob + ReadCob unchanged.
#include <cstddef>
#include <cstdint>

#include "fuzz/entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return marlo::fuzz::Guarded(marlo::fuzz::RunCompiler, data, size);
}
