#include "syntax/general_syn.h"

namespace marlo::ide {
namespace {

constexpr TIdentTable kIdentChars = MakeIdentTable(false);

}  // namespace

TGeneralSyn::TGeneralSyn() : TCustomSyn(kIdentChars) {
  FillCommonProcs();
  procTable_['\''] = &TGeneralSyn::StringProc;
  procTable_['#'] = &TGeneralSyn::CharCodeProc;
  ResetRange();
}

void ApplyAssemblyPageSettings(TGeneralSyn& syn) {
  ApplySourceWindowColours(syn);
  syn.SetComments({});
  syn.SetKeyWords({"ALLOCATE_STACK"});
}

}  // namespace marlo::ide
