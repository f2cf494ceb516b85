// The system's text for an errno value, safe to ask from several threads at
// once (std::strerror is not).
#pragma once

#include <string>

namespace marlo::core {

std::string SystemErrorText(int error);

}  // namespace marlo::core
