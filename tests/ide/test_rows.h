// Search options for the tables of the search tests, from a few letters.
#pragma once

#include "ide/search_text.h"
#include "tests/support/rows.h"

namespace marlo::ide::test {

using marlo::test::Row;

// "u" searches up, "c" matches case, "w" whole words.
inline TSearchOptions Options(const QString& flags) {
  return {!flags.contains(u'u'), flags.contains(u'c'), flags.contains(u'w')};
}

}  // namespace marlo::ide::test
