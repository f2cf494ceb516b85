// TBosSyn: the highlighter of BOS source on the Source and Preprocessed
// pages. Words may contain hyphens (wait-for-turn is one token), keywords
// are matched ignoring case, '#' starts a directive that runs to the end of
// the line, and "/* */" comments may span lines when csCStyle is on.
#pragma once

#include <string>

#include "syntax/custom_syn.h"

namespace marlo::ide {

class TBosSyn : public TCustomSyn {
 public:
  TBosSyn();

  std::string LanguageName() const override { return "BosSyn"; }
  int AttributeCount() const override { return 8; }
  HighlightAttribute* AttributeAt(int index) override;
  HighlightAttribute* AttributeForKind(BosTokenKind kind) override;

  HighlightAttribute& DirectiveAttri() { return directiveAttri_; }

  // Read only while the dispatch table is built, at construction, so a
  // later value leaves the apostrophe as it was.
  StringStyles StringStyle() const { return stringStyle_; }
  void SetStringStyle(StringStyles style);

 private:
  void BuildProcTable();

  HighlightAttribute directiveAttri_{"directive", 0};
  StringStyles stringStyle_;
};

// Gives `syn` the values a source window stores for its BosSyn1: colours on
// navy, C comments only, and the window's keyword list.
void ApplySourceWindowSettings(TBosSyn& syn);

}  // namespace marlo::ide
