#include "ide/general_syn.h"

namespace marlo::ide {
namespace {

constexpr TIdentTable MakeIdentTable() {
  TIdentTable table{};
  for (int c = '0'; c <= '9'; ++c) table[c] = true;
  for (int c = 'A'; c <= 'Z'; ++c) table[c] = true;
  for (int c = 'a'; c <= 'z'; ++c) table[c] = true;
  table['_'] = true;
  return table;
}
constexpr TIdentTable kIdentChars = MakeIdentTable();

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
