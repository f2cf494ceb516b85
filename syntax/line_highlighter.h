// What the editor asks of a highlighter that works one line at a time: the
// line is handed over with the range in force at its start, cut into
// tokens one by one, and the range at its end is carried to the next line.
#pragma once

#include <cstdint>
#include <string_view>

namespace marlo::editor {

class ILineHighlighter {
 public:
  virtual ~ILineHighlighter() = default;
  // `line` must stay valid until the next SetLine; it holds no line break.
  virtual void SetLine(std::string_view line) = 0;
  virtual void Next() = 0;
  virtual bool AtLineEnd() const = 0;
  virtual int GetRange() const = 0;
  virtual void SetRange(int range) = 0;
  virtual void ResetRange() = 0;
  virtual int TokenStart() const = 0;
  virtual int TokenLength() const = 0;
  // The style number the adapter gives the current token (its kind).
  virtual int TokenStyle() const = 0;
};

}  // namespace marlo::editor
