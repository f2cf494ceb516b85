#include "driver/source_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "base/system_error_text.h"

namespace marlo::core {

std::string NormalizeSourceText(std::string_view bytes, int tabWidth) {
  std::string text;
  text.reserve(bytes.size() + bytes.size() / 16);
  std::size_t i = 0;
  while (i < bytes.size()) {
    // One line at a time: its characters in one append, then CR LF for
    // whatever line end it had (a last line without one still gets one).
    std::size_t stop = i;
    while (stop < bytes.size() && bytes[stop] != '\r' && bytes[stop] != '\n') ++stop;
    text.append(bytes.data() + i, stop - i);
    text += "\r\n";
    i = stop;
    if (i < bytes.size()) i += (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ? 2 : 1;
  }
  if (text.find('\t') == std::string::npos) return text;

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
    result.error = "Cannot read file '" + path + "': " + SystemErrorText(error);
    return result;
  };
  // A device would be read until memory runs out, and a folder cannot be
  // read at all; a pipe ends like a file.
  std::error_code statusError;
  const auto type = std::filesystem::status(path, statusError).type();
  if (type == std::filesystem::file_type::directory) return fail(EISDIR);
  if (type == std::filesystem::file_type::character || type == std::filesystem::file_type::block) {
    result.error = "Cannot read file '" + path + "': it is a device, not a file";
    return result;
  }

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

}  // namespace marlo::core
