#include "lsp/text_document.h"

#include <algorithm>

namespace marlo::lsp {
namespace {

// Length of the UTF-8 sequence starting at `at`, and its UTF-16 units; a
// byte that starts no valid sequence is one byte and one unit.
struct Step {
  std::size_t bytes = 1;
  int units = 1;
};

Step StepAt(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 1;
  if (lead >= 0xC2 && lead <= 0xDF)
    length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3;
  else if (lead >= 0xF0 && lead <= 0xF4)
    length = 4;
  if (length == 1 || at + length > text.size()) return {};
  for (std::size_t i = 1; i < length; ++i)
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return {};
  return {length, length == 4 ? 2 : 1};
}

}  // namespace

void TextDocument::SetText(std::string text) {
  text_ = std::move(text);
  lineStarts_.assign(1, 0);
  for (std::size_t i = 0; i < text_.size(); ++i) {
    if (text_[i] == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n') ++i;
    if (text_[i] == '\n' || text_[i] == '\r') lineStarts_.push_back(i + 1);
  }
}

void TextDocument::Replace(std::size_t from, std::size_t to, std::string_view text) {
  from = std::min(from, text_.size());
  to = std::clamp(to, from, text_.size());
  std::string changed = std::move(text_);
  changed.replace(from, to - from, text);
  SetText(std::move(changed));
}

std::size_t TextDocument::LineStart(int line) const {
  if (line < 0) return 0;
  if (line >= LineCount()) return text_.size();
  return lineStarts_[static_cast<std::size_t>(line)];
}

std::string_view TextDocument::Line(int line) const {
  if (line < 0 || line >= LineCount()) return {};
  const std::size_t start = LineStart(line);
  std::size_t end = line + 1 < LineCount() ? LineStart(line + 1) : text_.size();
  while (end > start && (text_[end - 1] == '\n' || text_[end - 1] == '\r')) --end;
  return std::string_view(text_).substr(start, end - start);
}

std::size_t TextDocument::Offset(Position position, Encoding encoding) const {
  if (position.line >= LineCount()) return text_.size();
  const std::string_view line = Line(position.line);
  const std::size_t start = LineStart(position.line);
  if (encoding == Encoding::kUtf8) {
    const std::size_t column = std::min<std::size_t>(std::max(position.character, 0), line.size());
    std::size_t at = 0;
    while (at < column) {
      const Step step = StepAt(line, at);
      if (at + step.bytes > column) break;
      at += step.bytes;
    }
    return start + at;
  }
  std::size_t at = 0;
  int units = 0;
  while (at < line.size()) {
    const Step step = StepAt(line, at);
    if (units + step.units > position.character) break;
    units += step.units;
    at += step.bytes;
  }
  return start + at;
}

int TextDocument::Character(int line, std::size_t column, Encoding encoding) const {
  const std::string_view text = Line(line);
  column = std::min(column, text.size());
  if (encoding == Encoding::kUtf8) return static_cast<int>(column);
  int units = 0;
  for (std::size_t at = 0; at < column;) {
    const Step step = StepAt(text, at);
    units += step.units;
    at += step.bytes;
  }
  return units;
}

Position TextDocument::PositionAt(std::size_t offset, Encoding encoding) const {
  offset = std::min(offset, text_.size());
  const auto after = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
  const int line = static_cast<int>(after - lineStarts_.begin()) - 1;
  return {line, Character(line, offset - LineStart(line), encoding)};
}

}  // namespace marlo::lsp
