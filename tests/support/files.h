// Files for tests: whole files read and written as bytes, and a scratch
// folder that goes away with everything in it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace marlo::test {

// The bytes of a file; throws std::runtime_error when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// Writes `bytes` as they are, creating the folders on the way.
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

// A new empty folder under the system's temporary folder, removed on
// destruction.
class ScratchDir {
 public:
  explicit ScratchDir(std::string_view prefix = "marlo_test");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }
  // Writes a file into the folder and returns its path.
  std::filesystem::path Write(const std::filesystem::path& name, std::string_view bytes) const;

 private:
  std::filesystem::path path_;
};

// Bytes outside printable ASCII as \xNN, so that a failure shows them.
std::string Escaped(std::string_view text);

// Table files (tests/data/...): the lines that are neither empty nor
// comments (starting with "#"), each with its line number.
struct TableLine {
  int number;
  std::string text;
};
std::vector<TableLine> TableLines(const std::filesystem::path& path);

// Takes a text in double quotes with the escapes \" \\ \r \n \t \0 and
// \xNN from the start of `text` (blanks before it skipped) and returns it
// unquoted; throws std::runtime_error when there is none.
std::string TakeQuoted(std::string_view& text);

}  // namespace marlo::test
