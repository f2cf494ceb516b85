#include "lsp/uri.h"

namespace marlo::lsp {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Unreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~' || c == '/';
}

}  // namespace

std::string PathFromUri(std::string_view uri) {
  constexpr std::string_view kScheme = "file://";
  if (uri.size() < kScheme.size()) return {};
  for (std::size_t i = 0; i < kScheme.size(); ++i)
    if ((uri[i] | (i < 4 ? 0x20 : 0)) != kScheme[i]) return {};
  uri.remove_prefix(kScheme.size());
  // An authority: only the local host names files here.
  if (const std::size_t slash = uri.find('/'); slash != 0) {
    if (slash == std::string_view::npos || uri.substr(0, slash) != "localhost") return {};
    uri.remove_prefix(slash);
  }
  if (const std::size_t end = uri.find_first_of("?#"); end != std::string_view::npos) uri = uri.substr(0, end);
  std::string path;
  for (std::size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() && HexValue(uri[i + 1]) >= 0 && HexValue(uri[i + 2]) >= 0) {
      path += static_cast<char>(HexValue(uri[i + 1]) * 16 + HexValue(uri[i + 2]));
      i += 2;
    } else {
      path += uri[i];
    }
  }
#ifdef _WIN32
  if (path.size() >= 3 && path[0] == '/' && path[2] == ':') path.erase(0, 1);
#endif
  return path;
}

std::string UriFromPath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  if (path.empty() || path[0] != '/') uri += '/';  // a drive letter
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (Unreserved(byte) || (c == ':' && uri.size() == 9)) {
      uri += c;
#ifdef _WIN32
    } else if (c == '\\') {
      uri += '/';
#endif
    } else {
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 15];
    }
  }
  return uri;
}

}  // namespace marlo::lsp
