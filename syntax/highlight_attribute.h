// How one kind of token is painted: fill and text colour and a font style.
// Plain data with a change callback, so that the highlighter that owns it
// can ask its editors to repaint; nothing here knows about widgets.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace marlo::ide {

// A colour as a highlighter stores it: red, green and blue, or one of the
// two system colours that only the painting side can resolve.
struct TSynColor {
  enum class Kind : std::uint8_t { Rgb, SystemWindow, SystemWindowText };

  Kind kind = Kind::Rgb;
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;

  static constexpr TSynColor Rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return {Kind::Rgb, red, green, blue};
  }
  static constexpr TSynColor Window() { return {Kind::SystemWindow, 0, 0, 0}; }
  static constexpr TSynColor WindowText() { return {Kind::SystemWindowText, 0, 0, 0}; }

  friend constexpr bool operator==(const TSynColor&, const TSynColor&) = default;
};

namespace syn_colors {
inline constexpr TSynColor kNavy = TSynColor::Rgb(0, 0, 128);
inline constexpr TSynColor kSilver = TSynColor::Rgb(192, 192, 192);
inline constexpr TSynColor kYellow = TSynColor::Rgb(255, 255, 0);
inline constexpr TSynColor kWhite = TSynColor::Rgb(255, 255, 255);
inline constexpr TSynColor kLime = TSynColor::Rgb(0, 255, 0);
inline constexpr TSynColor kAqua = TSynColor::Rgb(0, 255, 255);
}  // namespace syn_colors

// A set of font styles; its integer form adds bold 1, italic 2,
// underline 4 and strikeout 8.
using TFontStyles = std::uint8_t;
inline constexpr TFontStyles fsBold = 1;
inline constexpr TFontStyles fsItalic = 2;
inline constexpr TFontStyles fsUnderline = 4;
inline constexpr TFontStyles fsStrikeOut = 8;
inline constexpr TFontStyles kAllFontStyles = fsBold | fsItalic | fsUnderline | fsStrikeOut;

class HighlightAttribute {
 public:
  HighlightAttribute(std::string name, TFontStyles style);
  HighlightAttribute(const HighlightAttribute&) = delete;
  HighlightAttribute& operator=(const HighlightAttribute&) = delete;

  const std::string& Name() const { return name_; }

  TSynColor Background() const { return background_; }
  void SetBackground(TSynColor color);
  TSynColor Foreground() const { return foreground_; }
  void SetForeground(TSynColor color);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles style);
  int IntegerStyle() const { return style_; }
  // Bits outside the four styles are dropped.
  void SetIntegerStyle(int style);

  // Called after every change of a value; the owning highlighter sets it.
  void SetOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

 private:
  void Changed();

  const std::string name_;
  TSynColor background_ = TSynColor::Window();
  TSynColor foreground_ = TSynColor::WindowText();
  TFontStyles style_;
  std::function<void()> onChange_;
};

}  // namespace marlo::ide
