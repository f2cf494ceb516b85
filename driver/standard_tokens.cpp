#include "driver/standard_tokens.h"

#include "preprocessor/scanner.h"

namespace marlo::core {

const TCsStringList& StandardTokenList() {
  static const TCsStringList tokens = [] {
    TCsStringList list;
    for (const std::string& word : StandardBosTokens()) list.Add(word);
    return list;
  }();
  return tokens;
}

}  // namespace marlo::core
