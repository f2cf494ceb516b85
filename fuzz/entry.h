// The libFuzzer side of a target: runs one input and turns anything that
// escapes into a crash with a readable reason, so that libFuzzer keeps the
// input and prints the stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "fuzz/targets.h"

namespace marlo::fuzz {

template <typename Run>
int Guarded(Run run, const std::uint8_t* data, std::size_t size) {
  try {
    run(Bytes(data, size));
  } catch (const PropertyViolation& violation) {
    std::fprintf(stderr, "==marlo-fuzz== property violated: %s\n", violation.what());
    std::abort();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "==marlo-fuzz== exception escaped: %s\n", error.what());
    std::abort();
  } catch (...) {
    std::fprintf(stderr, "==marlo-fuzz== unknown exception escaped\n");
    std::abort();
  }
  return 0;
}

}  // namespace marlo::fuzz
