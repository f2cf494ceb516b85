#include "tests/support/files.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

namespace marlo::test {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in || fs::is_directory(path)) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

ScratchDir::ScratchDir(std::string_view prefix) {
  std::random_device random;
  do {
    path_ = fs::temp_directory_path() / (std::string(prefix) + "_" + std::to_string(random()));
  } while (!fs::create_directories(path_));
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

fs::path ScratchDir::Write(const fs::path& name, std::string_view bytes) const {
  WriteFile(path_ / name, bytes);
  return path_ / name;
}

std::string Escaped(std::string_view text) {
  std::string out;
  for (const unsigned char c : text) {
    if (c >= 32 && c < 127) {
      out.push_back(static_cast<char>(c));
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

std::vector<TableLine> TableLines(const fs::path& path) {
  std::vector<TableLine> lines;
  std::istringstream in(ReadFile(path));
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") != std::string::npos && line[0] != '#') lines.push_back({number, line});
  }
  return lines;
}

std::string TakeQuoted(std::string_view& text) {
  while (!text.empty() && text[0] == ' ') text.remove_prefix(1);
  if (text.empty() || text[0] != '"') throw std::runtime_error("no text in double quotes");
  std::string out;
  std::size_t i = 1;
  for (; i < text.size() && text[i] != '"'; ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) break;
    switch (text[i]) {
      case '"':
      case '\\':
        out += text[i];
        break;
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case '0':
        out += '\0';
        break;
      case 'x':
        if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 2])))
          throw std::runtime_error("\\x needs two hexadecimal digits");
        out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
        i += 2;
        break;
      default:
        throw std::runtime_error(std::string("unknown escape \\") + text[i]);
    }
  }
  if (i >= text.size()) throw std::runtime_error("no closing double quote");
  text.remove_prefix(i + 1);
  return out;
}

}  // namespace marlo::test
