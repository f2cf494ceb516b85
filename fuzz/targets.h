// The fuzz targets, shared by the libFuzzer entry points in fuzz/ and by the
// test that replays the stored finds (tests/core/fuzz_regression_test.cpp),
// so that a regression input takes exactly the road on which it was found.
// Their bodies are in targets.cpp.
//
// Each Run* function feeds one input through a part of the core and checks
// what must hold for every input. It returns a one-line summary of the
// outcome (for test messages and for expectations written beside a stored
// find) and throws PropertyViolation when a check fails. Any other exception
// that leaves a Run* function is a fault as well: the core reports its errors
// as values, or as the few exception types each Run* function catches.
//
// Input layouts:
//   scanner       the bytes, scanned with the preprocessor's configuration
//   preprocessor  flags byte, main text, then up to three headers, each
//                 after a kSegmentSeparator byte: name, LF, contents
//   evaluator     the text of an #if condition
//   compiler      flags byte (bit 7: the extended language; the rest picks
//                 the recurse depth), scales byte (low and high four bits
//                 pick the linear and angular scale), then the text
//   cob           the bytes of a COB file
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace marlo::fuzz {

class PropertyViolation : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

using Bytes = std::span<const std::uint8_t>;

std::string RunScanner(Bytes data);
std::string RunPreprocessor(Bytes data);
std::string RunEvaluator(Bytes data);
std::string RunCompiler(Bytes data);
std::string RunCob(Bytes data);

// The targets by name ("scanner", ...), and one of them run by its name.
const std::vector<std::string>& TargetNames();
std::string RunTarget(std::string_view target, Bytes data);

}  // namespace marlo::fuzz
