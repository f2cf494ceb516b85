// The keyword list a source window gives its preprocessor, built once.
#pragma once

#include "base/cs_string_list.h"

namespace marlo::core {

const TCsStringList& StandardTokenList();

}  // namespace marlo::core
