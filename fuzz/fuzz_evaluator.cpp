// fuzz_evaluator: #if conditions: ParseExpression, every reader of the tree and
// EvaluateCondition. Only EExpression and EExpressionMath may come out.
#include <cstddef>
#include <cstdint>

#include "fuzz/entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return marlo::fuzz::Guarded(marlo::fuzz::RunEvaluator, data, size);
}
