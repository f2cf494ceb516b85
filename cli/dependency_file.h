// Make-style dependency files, as C compilers write them for make and ninja:
//   out/unit.cob: unit.bos inc/a.h inc/b.h
// so that a build tool knows which .cob files a changed header makes stale.
#pragma once

#include <string>
#include <vector>

namespace marlo::cli {

// A name escaped as make and ninja read a dependency file: blanks and "#"
// behind a backslash, "$" doubled.
std::string EscapeForMake(const std::string& name);

// The whole file: `target` depends on `inputs` (the source first); with
// `phonyHeaders` an empty rule for each header, so that a deleted header
// does not stop the build.
std::string DependencyRules(const std::string& target, const std::vector<std::string>& inputs, bool phonyHeaders);

}  // namespace marlo::cli
