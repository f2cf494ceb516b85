// From a position in the preprocessed text to the place in the files the
// author has open.
//
// The preprocessor keeps, for every row of its Source, the file and line it
// came from, through both passes and through includes (8 bytes a row). The
// column is found again only when asked, for an error or a warning: the
// row's tokens are matched with the tokens of its source line, a #define'd
// name standing for as many tokens as its value has.
#pragma once

#include <string>
#include <vector>

#include "preprocessor/pre_processor.h"

namespace marlo::core {

struct SourcePosition {
  std::string file;  // as opened; "" when unknown
  int line = 0;      // from 1
  int column = 0;    // from 1, in bytes of the line as stored (a tab is one column)
};

// Where (row, col) of the preprocessor's Source (from 0, as the compiler
// and SourceEnd count) came from. The Source must still hold that row (for
// the column; without it the column is the line's first token). `files`
// gives a file's bytes as stored, the main text's under the preprocessor's
// FileName; `tabWidth` is the width the main text's tabs were expanded with
// when it was loaded (NormalizeSourceText).
// An error's text may quote the word it is about ("Syntax Error 'x'"),
// which the compiler has often read past: given as `message`, the position
// moves back to that word's start on the row.
SourcePosition FindSourcePosition(const TPreProcessor& preprocessor, int row, int col, int tabWidth,
                                  const IIncludeFiles& files, const std::string& message = {});

// A place in the preprocessor's Source to lead back to the files, with the
// message about it (as for FindSourcePosition).
struct SourcePlace {
  int row = 0;
  int col = 0;
  std::string message;
};

// The positions of many places at once, in their order: each file is read
// and scanned once, up to the last line asked of it, whatever the number
// of places in it.
std::vector<SourcePosition> FindSourcePositions(const TPreProcessor& preprocessor,
                                                const std::vector<SourcePlace>& places, int tabWidth,
                                                const IIncludeFiles& files);

// Where a preprocessing error lies: its file and line, led back to the
// files when it arose in the second pass; column 1.
SourcePosition FindErrorPosition(const TPreProcessor& preprocessor, const PreprocessError& error);

// "path:line:col: kind: text", the form editors and build tools read.
std::string LocatedLine(const SourcePosition& where, const std::string& kind, const std::string& text);

}  // namespace marlo::core
