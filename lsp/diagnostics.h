// A script compiled in memory, as marloc compiles it (both preprocessor
// passes over the open texts, then the compiler), with its error and
// warnings led back to the files and lines they came from. No .cob is
// written.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "lsp/workspace.h"

namespace marlo::lsp {

struct Problem {
  std::string path;  // absolute
  int line = 1;      // from 1
  int column = 1;    // from 1, in bytes of the line as stored
  bool error = true;
  bool wholeLine = false;  // a preprocessing error names only its line
  std::string message;
};

struct Compiled {
  std::vector<Problem> problems;
  std::set<std::string> filesRead;  // the headers, absolute
};

Compiled CompileDocument(const Workspace& workspace, const Document& document);

}  // namespace marlo::lsp
