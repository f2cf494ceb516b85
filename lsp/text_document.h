// A document's text with its line starts, and the protocol's positions in
// it: a line and a character counted in UTF-16 code units (the default) or
// in bytes (UTF-8). Lines end at CR LF, LF or a lone CR, as the scanner and
// the protocol both count them. Bytes that are no UTF-8 count as one unit
// each, so a header in another encoding still gets usable positions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace marlo::lsp {

enum class Encoding { kUtf16, kUtf8 };

struct Position {
  int line = 0;
  int character = 0;
};

class TextDocument {
 public:
  explicit TextDocument(std::string text = {}) { SetText(std::move(text)); }

  const std::string& Text() const { return text_; }
  void SetText(std::string text);
  // Replaces the bytes [from, to) by `text`.
  void Replace(std::size_t from, std::size_t to, std::string_view text);

  int LineCount() const { return static_cast<int>(lineStarts_.size()); }
  // The line's bytes without its line break; "" past the end.
  std::string_view Line(int line) const;
  std::size_t LineStart(int line) const;

  // The byte offset of a position; a line past the end gives the end of
  // the text, a character past the line's end its end, one inside a
  // character that character's start.
  std::size_t Offset(Position position, Encoding encoding) const;
  Position PositionAt(std::size_t offset, Encoding encoding) const;
  // The character of byte `column` (from 0) of line `line`.
  int Character(int line, std::size_t column, Encoding encoding) const;

 private:
  std::string text_;
  std::vector<std::size_t> lineStarts_;
};

}  // namespace marlo::lsp
