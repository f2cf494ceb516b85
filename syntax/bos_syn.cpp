#include "syntax/bos_syn.h"

#include <vector>

namespace marlo::ide {
namespace {

// BOS names such as wait-for-turn are one word.
constexpr TIdentTable kIdentChars = MakeIdentTable(true);

}  // namespace

TBosSyn::TBosSyn() : TCustomSyn(kIdentChars) {
  HookAttribute(directiveAttri_);
  BuildProcTable();
  ResetRange();
}

HighlightAttribute* TBosSyn::AttributeAt(int index) {
  return index == 7 ? &directiveAttri_ : TCustomSyn::AttributeAt(index);
}

HighlightAttribute* TBosSyn::AttributeForKind(BosTokenKind kind) {
  return kind == BosTokenKind::Directive ? &directiveAttri_ : TCustomSyn::AttributeForKind(kind);
}

void TBosSyn::SetStringStyle(StringStyles style) {
  stringStyle_ = style;
  RepaintEditors();
}

void TBosSyn::BuildProcTable() {
  FillCommonProcs();
  procTable_['"'] = &TBosSyn::StringProc;
  procTable_['#'] = &TBosSyn::DirectiveProc;
  procTable_['\''] = stringStyle_.Contains(ssPasStyle) ? &TBosSyn::StringProc : &TBosSyn::UnknownProc;
}

void ApplySourceWindowSettings(TBosSyn& syn) {
  ApplySourceWindowColours(syn);
  syn.DirectiveAttri().SetBackground(syn_colors::kNavy);
  syn.DirectiveAttri().SetForeground(syn_colors::kLime);
  syn.DirectiveAttri().SetStyle(0);
  syn.SetComments({csCStyle});
  syn.SetStringStyle({ssCStyle});
  // The extended language's words (the last row) are coloured whatever the
  // "Extended syntax" setting: today's scripts use them either way.
  // clang-format off
  syn.SetKeyWords({
      "ACCELERATE", "ALONG", "AROUND", "ATTACH-UNIT", "CACHE",
      "CALL-SCRIPT", "DECELERATE", "DONT-CACHE", "DONT-SHADE", "DROP-UNIT",
      "EMIT-SFX", "EXPLODE", "GET", "HIDE", "IF",
      "MOVE", "NOW", "PIECE", "RAND", "RETURN",
      "SET", "SET-SIGNAL-MASK", "SHADE", "SHOW", "SIGNAL",
      "SLEEP", "SPEED", "SPIN", "START-SCRIPT", "STATIC-VAR",
      "STOP-SPIN", "TO", "TURN", "VAR", "WAIT-FOR-MOVE",
      "WAIT-FOR-TURN", "WHILE",
      "ELSE", "AND", "OR", "NOT", "XOR",
  });
  // clang-format on
}

}  // namespace marlo::ide
