// What one file declares, read from its tokens as the preprocessor's
// scanner makes them: #define and #include lines, pieces, static
// variables, scripts with their parameters and var locals, each with its
// place as a byte offset into the file's text. Both branches of every
// conditional are read, so that a name is found whatever the settings.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "preprocessor/scanner.h"

namespace marlo::lsp {

enum class SymbolKind { kDefine, kPiece, kStatic, kScript, kParameter, kLocal };

struct Symbol {
  SymbolKind kind = SymbolKind::kPiece;
  std::string name;
  std::size_t offset = 0;  // of the name
  std::size_t length = 0;
  int script = -1;      // parameters and locals: their script's index
  std::string value;    // a #define's value, as the preprocessor stores it
  std::string written;  // and as the file writes it
};

struct Script {
  std::string name;
  std::size_t nameOffset = 0;
  std::size_t nameLength = 0;
  std::size_t end = 0;  // after the closing brace (or the file's end)
  std::size_t bodyStart = 0;
};

struct Include {
  std::string name;  // as written, without quotes
  std::size_t offset = 0;
  std::size_t length = 0;
};

struct FileIndex {
  std::vector<Symbol> symbols;  // in the file's order
  std::vector<Script> scripts;
  std::vector<Include> includes;
  std::vector<core::TToken> tokens;  // without comments and the end
  std::vector<std::size_t> tokenEnds;

  // The token that holds byte `offset` or ends right at it, or -1.
  int TokenAt(std::size_t offset) const;
  // The script whose name or body holds `offset`, or -1.
  int ScriptAt(std::size_t offset) const;
};

FileIndex IndexText(std::string_view text);

// Names compare as the compiler reads them (lower case) or, for #define
// names, exactly.
bool SameName(std::string_view a, std::string_view b);

}  // namespace marlo::lsp
