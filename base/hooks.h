// What the compiler reaches outside itself, as small interfaces its owner
// supplies: the text to compile, the message list and the progress display.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <string>

namespace marlo::core {

// Holds the preprocessed text. The preprocessor implements it; until one is
// linked, `TSourceText` stands in with a plain string.
class ISourceHolder {
 public:
  virtual ~ISourceHolder() = default;
  virtual const std::string& Source() const = 0;
};

class TSourceText : public ISourceHolder {
 public:
  TSourceText() = default;
  explicit TSourceText(std::string text) : text_(std::move(text)) {}
  const std::string& Source() const override { return text_; }
  void SetSource(std::string text) { text_ = std::move(text); }

 private:
  std::string text_;
};

// Receives every compile message line ("Compiling file ...", error lines, ...).
class IMessageList {
 public:
  virtual ~IMessageList() = default;
  virtual void Add(const std::string& line) = 0;
};

// Shows how much of the text is consumed. `ProcessEvents` lets pending window
// events run; it is where a Cancel button can call `Abort` during a compile.
class IProgressBar {
 public:
  virtual ~IProgressBar() = default;
  virtual void SetMax(std::int64_t max) = 0;
  virtual void SetPosition(std::int64_t position) = 0;
  virtual void ProcessEvents() = 0;
};

// Raised with the written COB file, positioned at 0.
using TDumpFileEvent = std::function<void(std::istream& strm)>;

// Something the owner should show that does not stop the work (a token
// file that is missing): the text only.
using TWarningEvent = std::function<void(const std::string& text)>;

// A literal that could not be converted: the compile goes on; the owner shows
// the text (a message box in the IDE, a warning line in marloc). Row and
// column are the scan position, counted as for errors.
struct CompileWarning {
  int row = 0;
  int col = 0;
  std::string text;
};
using TCompileWarningEvent = std::function<void(const CompileWarning& warning)>;

}  // namespace marlo::core
