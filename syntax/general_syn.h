// TGeneralSyn: the general-purpose highlighter of the Assembly page. The
// scanner is the BOS one with these differences: words have no hyphen, the
// apostrophe always starts a string and the double quote is a plain
// character, '#' with decimal digits is a character code (a String token),
// and there are no directives.
#pragma once

#include <string>

#include "syntax/custom_syn.h"

namespace marlo::ide {

class TGeneralSyn : public TCustomSyn {
 public:
  TGeneralSyn();

  std::string LanguageName() const override { return "General"; }
};

// The Assembly page's values: the source window's colours on navy, no block
// comments, and ALLOCATE_STACK as the only keyword.
void ApplyAssemblyPageSettings(TGeneralSyn& syn);

}  // namespace marlo::ide
