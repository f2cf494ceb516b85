// file: URIs and the paths they name. Only file URIs name documents the
// server can compile; others give an empty path.
#pragma once

#include <string>
#include <string_view>

namespace marlo::lsp {

// The path of a file URI ("" for another scheme), percent-decoded; on
// Windows "file:///C:/x" gives "C:/x".
std::string PathFromUri(std::string_view uri);
// An absolute path as a file URI, with the bytes outside the unreserved set
// and "/" percent-encoded.
std::string UriFromPath(std::string_view path);

}  // namespace marlo::lsp
