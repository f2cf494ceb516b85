#include "syntax/custom_syn.h"

#include <algorithm>
#include <utility>

namespace marlo::ide {
namespace {

constexpr char kApostrophe = '\'';

std::string UpperCase(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool IsBlank(unsigned char c) { return c >= 1 && c <= 32 && c != '\n' && c != '\r'; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(unsigned char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

}  // namespace

TCustomSyn::TCustomSyn(const TIdentTable& identChars) : identChars_(identChars) {
  for (HighlightAttribute* attribute :
       {&commentAttri_, &identifierAttri_, &keyAttri_, &numberAttri_, &spaceAttri_, &stringAttri_, &symbolAttri_})
    HookAttribute(*attribute);
  procTable_.fill(&TCustomSyn::UnknownProc);
}

TCustomSyn::~TCustomSyn() {
  // An editor may detach itself from inside its callback; work on a copy.
  const std::vector<EditorLink> editors = std::move(editors_);
  editors_.clear();
  for (const EditorLink& link : editors)
    if (link.released) link.released();
}

std::bitset<256> TCustomSyn::IdentifierChars() const {
  std::bitset<256> chars;
  for (int c = 33; c <= 255; ++c) chars.set(static_cast<std::size_t>(c));
  return chars;
}

int TCustomSyn::AttributeCount() const { return 7; }

HighlightAttribute* TCustomSyn::AttributeAt(int index) {
  switch (index) {
    case 0:
      return &commentAttri_;
    case 1:
      return &identifierAttri_;
    case 2:
      return &numberAttri_;
    case 3:
      return &keyAttri_;
    case 4:
      return &spaceAttri_;
    case 5:
      return &stringAttri_;
    case 6:
      return &symbolAttri_;
    default:
      return nullptr;
  }
}

HighlightAttribute* TCustomSyn::AttributeForKind(BosTokenKind kind) {
  switch (kind) {
    case BosTokenKind::Comment:
      return &commentAttri_;
    case BosTokenKind::Identifier:
      return &identifierAttri_;
    case BosTokenKind::Key:
      return &keyAttri_;
    case BosTokenKind::Number:
      return &numberAttri_;
    case BosTokenKind::Space:
      return &spaceAttri_;
    case BosTokenKind::String:
      return &stringAttri_;
    case BosTokenKind::Symbol:
    case BosTokenKind::Unknown:
      return &symbolAttri_;
    case BosTokenKind::Null:
    case BosTokenKind::Directive:
      break;
  }
  return nullptr;
}

void TCustomSyn::SetLine(std::string_view line) {
  line_.assign(line);
  text_ = line_.c_str();
  scanPos_ = 0;
  Next();
}

void TCustomSyn::Next() {
  tokenStart_ = scanPos_;
  switch (static_cast<BosRange>(range_)) {
    case BosRange::AnsiComment:
      AnsiCommentProc();
      break;
    case BosRange::BraceComment:
      BraceCommentProc();
      break;
    case BosRange::CComment:
      CCommentProc();
      break;
    default:
      (this->*procTable_[At(scanPos_)])();
      break;
  }
  if (surface_ == nullptr) return;
  if (const HighlightAttribute* attribute = AttributeForKind(tokenKind_)) {
    surface_->SetFillColor(attribute->Background());
    surface_->SetTextColor(attribute->Foreground());
    surface_->SetFontStyle(attribute->Style());
  }
}

void TCustomSyn::SetComments(CommentStyles comments) {
  comments_ = comments;
  RepaintEditors();
}

void TCustomSyn::SetKeyWords(std::vector<std::string> words) {
  for (std::string& word : words) word = UpperCase(std::move(word));
  std::sort(words.begin(), words.end());
  words.erase(std::unique(words.begin(), words.end()), words.end());
  keyWords_ = std::move(words);
  RepaintEditors();
}

void TCustomSyn::AddEditor(const void* editor, std::function<void()> repaint, std::function<void()> released) {
  const bool known =
      std::any_of(editors_.begin(), editors_.end(), [editor](const EditorLink& link) { return link.editor == editor; });
  if (!known) editors_.push_back({editor, std::move(repaint), std::move(released)});
}

void TCustomSyn::RemoveEditor(const void* editor) {
  std::erase_if(editors_, [editor](const EditorLink& link) { return link.editor == editor; });
}

void TCustomSyn::HookAttribute(HighlightAttribute& attribute) {
  attribute.SetOnChange([this] { RepaintEditors(); });
}

void TCustomSyn::RepaintEditors() {
  const std::vector<EditorLink> editors = editors_;
  for (const EditorLink& link : editors)
    if (link.repaint) link.repaint();
}

void TCustomSyn::FillCommonProcs() {
  procTable_.fill(&TCustomSyn::UnknownProc);
  for (int c = 1; c <= 32; ++c) procTable_[c] = &TCustomSyn::SpaceProc;
  procTable_[0] = &TCustomSyn::EndOfLineProc;
  procTable_['\n'] = &TCustomSyn::LineFeedProc;
  procTable_['\r'] = &TCustomSyn::CarriageReturnProc;
  procTable_['$'] = &TCustomSyn::HexProc;
  procTable_['('] = &TCustomSyn::RoundOpenProc;
  procTable_['/'] = &TCustomSyn::SlashProc;
  for (int c = '0'; c <= '9'; ++c) procTable_[c] = &TCustomSyn::NumberProc;
  for (int c = 'A'; c <= 'Z'; ++c) procTable_[c] = &TCustomSyn::IdentProc;
  for (int c = 'a'; c <= 'z'; ++c) procTable_[c] = &TCustomSyn::IdentProc;
  procTable_['_'] = &TCustomSyn::IdentProc;
  procTable_['{'] = &TCustomSyn::BraceOpenProc;
}

void TCustomSyn::EndOfLineProc() { tokenKind_ = BosTokenKind::Null; }

void TCustomSyn::LineFeedProc() {
  tokenKind_ = BosTokenKind::Space;
  ++scanPos_;
}

void TCustomSyn::CarriageReturnProc() {
  tokenKind_ = BosTokenKind::Space;
  scanPos_ += At(scanPos_ + 1) == '\n' ? 2 : 1;
}

void TCustomSyn::SpaceProc() {
  tokenKind_ = BosTokenKind::Space;
  ++scanPos_;
  while (IsBlank(At(scanPos_))) ++scanPos_;
}

// The whole run of identifier characters is the token; it is a keyword when
// its upper-case form is in the list, so "Wait-For-Turn" matches too.
void TCustomSyn::IdentProc() {
  while (identChars_[At(scanPos_)]) ++scanPos_;
  upper_.assign(text_ + tokenStart_, static_cast<std::size_t>(scanPos_ - tokenStart_));
  for (char& c : upper_)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  tokenKind_ = IsKeyWord(upper_) ? BosTokenKind::Key : BosTokenKind::Identifier;
}

bool TCustomSyn::IsKeyWord(const std::string& upper) const {
  int lower = 0;
  int upperBound = static_cast<int>(keyWords_.size()) - 1;
  while (lower <= upperBound) {
    const int middle = (lower + upperBound) / 2;
    const int order = keyWords_[static_cast<std::size_t>(middle)].compare(upper);
    if (order == 0) return true;
    if (order < 0)
      lower = middle + 1;
    else
      upperBound = middle - 1;
  }
  return false;
}

// Digits, full stops and exponent letters, but a full stop that starts ".."
// is left for the range that follows ("1..5").
void TCustomSyn::NumberProc() {
  tokenKind_ = BosTokenKind::Number;
  ++scanPos_;
  for (;;) {
    const unsigned char c = At(scanPos_);
    if (c == '.') {
      if (At(scanPos_ + 1) == '.') break;
    } else if (!IsDigit(c) && c != 'E' && c != 'e') {
      break;
    }
    ++scanPos_;
  }
}

void TCustomSyn::HexProc() {
  tokenKind_ = BosTokenKind::Number;
  ++scanPos_;
  while (IsHexDigit(At(scanPos_))) ++scanPos_;
}

void TCustomSyn::DirectiveProc() {
  tokenKind_ = BosTokenKind::Directive;
  while (!AtEndOfLine(scanPos_)) ++scanPos_;
}

// '#' and a decimal character code, as in #13; a '#' without digits is a
// character of its own.
void TCustomSyn::CharCodeProc() {
  if (!IsDigit(At(scanPos_ + 1))) {
    UnknownProc();
    return;
  }
  tokenKind_ = BosTokenKind::String;
  ++scanPos_;
  while (IsDigit(At(scanPos_))) ++scanPos_;
}

// Only the apostrophe closes a string, whichever character opened it; an
// unclosed string runs to the end of the line.
void TCustomSyn::StringProc() {
  tokenKind_ = BosTokenKind::String;
  if (At(scanPos_ + 1) == kApostrophe && At(scanPos_ + 2) == kApostrophe) scanPos_ += 2;
  while (!AtEndOfLine(scanPos_)) {
    ++scanPos_;
    if (At(scanPos_) == kApostrophe) break;
  }
  if (At(scanPos_) != 0) ++scanPos_;
}

void TCustomSyn::RoundOpenProc() {
  ++scanPos_;
  tokenKind_ = BosTokenKind::Symbol;
  if (!comments_.Contains(csAnsiStyle)) return;
  if (At(scanPos_) == '*') {
    tokenKind_ = BosTokenKind::Comment;
    SetRange(BosRange::AnsiComment);
    ++scanPos_;
    ScanCommentUntil("*)");
  } else if (At(scanPos_) == '.') {
    ++scanPos_;
  }
}

void TCustomSyn::BraceOpenProc() {
  ++scanPos_;
  if (!comments_.Contains(csPasStyle)) {
    tokenKind_ = BosTokenKind::Symbol;
    return;
  }
  tokenKind_ = BosTokenKind::Comment;
  SetRange(BosRange::BraceComment);
  ScanCommentUntil("}");
}

void TCustomSyn::SlashProc() {
  const unsigned char next = At(scanPos_ + 1);
  if (next == '/') {
    tokenKind_ = BosTokenKind::Comment;
    scanPos_ += 2;
    while (!AtEndOfLine(scanPos_)) ++scanPos_;
  } else if (next == '*' && comments_.Contains(csCStyle)) {
    tokenKind_ = BosTokenKind::Comment;
    SetRange(BosRange::CComment);
    // The search for "*/" starts on the opening star, so "/*/" is closed.
    ++scanPos_;
    ScanCommentUntil("*/");
  } else {
    tokenKind_ = BosTokenKind::Symbol;
    ++scanPos_;
  }
}

void TCustomSyn::UnknownProc() {
  tokenKind_ = BosTokenKind::Unknown;
  ++scanPos_;
}

// The continuations: a line that starts inside a block comment. At the end
// of a line the line-end routines run and the range stays.
bool TCustomSyn::LineEndInComment() {
  switch (At(scanPos_)) {
    case 0:
      EndOfLineProc();
      return true;
    case '\n':
      LineFeedProc();
      return true;
    case '\r':
      CarriageReturnProc();
      return true;
    default:
      return false;
  }
}

void TCustomSyn::AnsiCommentProc() {
  if (LineEndInComment()) return;
  tokenKind_ = BosTokenKind::Comment;
  ScanCommentUntil("*)");
}

void TCustomSyn::BraceCommentProc() {
  if (LineEndInComment()) return;
  tokenKind_ = BosTokenKind::Comment;
  ScanCommentUntil("}");
}

void TCustomSyn::CCommentProc() {
  if (LineEndInComment()) return;
  tokenKind_ = BosTokenKind::Comment;
  ScanCommentUntil("*/");
}

// To the end of a block comment closed by `close`, or of the line.
void TCustomSyn::ScanCommentUntil(std::string_view close) {
  while (!AtEndOfLine(scanPos_)) {
    bool closes = true;
    for (std::size_t i = 0; i < close.size() && closes; ++i)
      closes = At(scanPos_ + static_cast<int>(i)) == static_cast<unsigned char>(close[i]);
    if (closes) {
      SetRange(BosRange::Normal);
      scanPos_ += static_cast<int>(close.size());
      return;
    }
    ++scanPos_;
  }
}

void ApplySourceWindowColours(TCustomSyn& syn) {
  using namespace syn_colors;
  struct Colours {
    HighlightAttribute& attribute;
    TSynColor foreground;
    TFontStyles style;
  };
  const Colours colours[] = {
      {syn.CommentAttri(), kSilver, fsItalic},
      {syn.IdentifierAttri(), kYellow, 0},
      {syn.KeyAttri(), kWhite, 0},
      {syn.NumberAttri(), kLime, 0},
      {syn.SpaceAttri(), TSynColor::WindowText(), 0},
      {syn.StringAttri(), kAqua, 0},
      {syn.SymbolAttri(), kYellow, 0},
  };
  for (const Colours& c : colours) {
    c.attribute.SetBackground(kNavy);
    c.attribute.SetForeground(c.foreground);
    c.attribute.SetStyle(c.style);
  }
}

}  // namespace marlo::ide
