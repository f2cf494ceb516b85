#include "cli/load_file.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

namespace marlo::cli {

std::string NormalizeSourceText(std::string_view bytes, int tabWidth) {
  std::string text;
  text.reserve(bytes.size() + bytes.size() / 16);
  bool hasTab = false;
  std::size_t i = 0;
  while (i < bytes.size()) {
    char c = bytes[i++];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i < bytes.size() && bytes[i] == '\n') ++i;
      text += "\r\n";
      continue;
    }
    hasTab = hasTab || c == '\t';
    text += c;
    // A last line without its line end still gets one.
    if (i == bytes.size()) text += "\r\n";
  }
  if (!hasTab) return text;

  std::string expanded;
  std::string blanks(tabWidth > 0 ? static_cast<std::size_t>(tabWidth) : 0, ' ');
  expanded.reserve(text.size());
  for (char c : text) {
    if (c == '\t') {
      expanded += blanks;
    } else {
      expanded += c;
    }
  }
  return expanded;
}

LoadResult LoadFile(const std::string& path, int tabWidth) {
  LoadResult result;
  auto fail = [&](int error) {
    result.error = "Cannot read file '" + path + "': " + std::error_code(error, std::generic_category()).message();
    return result;
  };

  errno = 0;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return fail(errno != 0 ? errno : EIO);
  std::string bytes;
  char buffer[1 << 16];
  for (;;) {
    std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
    bytes.append(buffer, count);
    if (count < sizeof buffer) break;
  }
  // Reading a directory opens fine and fails here with EISDIR.
  if (std::ferror(file.get())) return fail(errno != 0 ? errno : EIO);

  result.ok = true;
  result.text = NormalizeSourceText(bytes, tabWidth);
  return result;
}

}  // namespace marlo::cli
