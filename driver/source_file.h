// Reading a source file the way the IDE's source window loads it, so that
// marloc and the IDE compile exactly the same text.
#pragma once

#include <string>
#include <string_view>

namespace marlo::core {

// Splits `bytes` into lines at CR LF, LF or a lone CR and joins them with
// CR LF after every line (a final line end adds no empty line; no bytes give
// ""). Then, if the text holds a tab, each tab becomes `tabWidth` blanks; a
// width of 0 or less removes the tabs.
std::string NormalizeSourceText(std::string_view bytes, int tabWidth);

// The widest tab a setting may ask for; wider ones are settings mistakes
// that would only multiply the text.
inline constexpr int kMaxTabWidth = 64;

struct LoadResult {
  bool ok = false;
  std::string text;   // the normalized text when ok
  std::string error;  // names the path and the system's reason otherwise
};

LoadResult LoadFile(const std::string& path, int tabWidth);

}  // namespace marlo::core
