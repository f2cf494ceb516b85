#include "base/system_error_text.h"

#include <string.h>

namespace marlo::core {
namespace {

// strerror_r comes in two forms: XSI returns a status and fills the
// buffer, GNU returns the text (not always in the buffer).
[[maybe_unused]] const char* TextOf(int status, const char* buffer) { return status == 0 ? buffer : nullptr; }
[[maybe_unused]] const char* TextOf(const char* text, const char*) { return text; }

}  // namespace

std::string SystemErrorText(int error) {
  char buffer[256] = {};
#ifdef _WIN32
  const char* text = strerror_s(buffer, sizeof buffer, error) == 0 ? buffer : nullptr;
#else
  const char* text = TextOf(strerror_r(error, buffer, sizeof buffer), buffer);
#endif
  return text && *text ? std::string(text) : "error " + std::to_string(error);
}

}  // namespace marlo::core
