#include "syntax/highlight_attribute.h"

#include <utility>

namespace marlo::ide {

HighlightAttribute::HighlightAttribute(std::string name, TFontStyles style)
    : name_(std::move(name)), style_(style & kAllFontStyles) {}

void HighlightAttribute::SetBackground(TSynColor color) {
  if (background_ == color) return;
  background_ = color;
  Changed();
}

void HighlightAttribute::SetForeground(TSynColor color) {
  if (foreground_ == color) return;
  foreground_ = color;
  Changed();
}

void HighlightAttribute::SetStyle(TFontStyles style) {
  style &= kAllFontStyles;
  if (style_ == style) return;
  style_ = style;
  Changed();
}

void HighlightAttribute::SetIntegerStyle(int style) { SetStyle(static_cast<TFontStyles>(style & kAllFontStyles)); }

void HighlightAttribute::Changed() {
  if (onChange_) onChange_();
}

}  // namespace marlo::ide
