#include "cli/output_check.h"

#include <gtest/gtest.h>

namespace marlo::cli {
namespace {

TEST(CheckOutputs, NamesThatDifferOnlyInCaseAreOneFileOnWindows) {
  Options options;
  options.files = {"a/Tank.bos", "b/tank.bos"};
#ifdef _WIN32
  EXPECT_EQ(CheckOutputs(options), "'a/Tank.bos' and 'b/tank.bos' would both be compiled to './tank.cob'");
#else
  EXPECT_EQ(CheckOutputs(options), "");
#endif
}

}  // namespace
}  // namespace marlo::cli
