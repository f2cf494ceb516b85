#include "cli/dependency_file.h"

#include <gtest/gtest.h>

namespace marlo::cli {
namespace {

TEST(DependencyFile, RulesAsMakeAndNinjaReadThem) {
  struct Case {
    const char* name;
    std::string target;
    std::vector<std::string> inputs;
    bool phonyHeaders;
    std::string rules;
  };
  const Case cases[] = {
      {"source only", "unit.cob", {"unit.bos"}, false, "unit.cob: unit.bos\n"},
      {"headers in order",
       "out/unit.cob",
       {"unit.bos", "inc/a.h", "inc/b.h"},
       false,
       "out/unit.cob: unit.bos inc/a.h inc/b.h\n"},
      {"an empty rule per header", "u.cob", {"u.bos", "a.h", "b.h"}, true, "u.cob: u.bos a.h b.h\n\na.h:\n\nb.h:\n"},
      {"blanks, # and $ escaped",
       "my unit.cob",
       {"my unit.bos", "inc/#1$.h"},
       true,
       "my\\ unit.cob: my\\ unit.bos inc/\\#1$$.h\n\ninc/\\#1$$.h:\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(DependencyRules(c.target, c.inputs, c.phonyHeaders), c.rules) << c.name;
}

}  // namespace
}  // namespace marlo::cli
