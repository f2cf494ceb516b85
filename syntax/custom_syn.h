// The scanner shared by the BOS highlighter and the general-purpose one of
// the Assembly page. A line is cut into tokens one at a time: the byte at
// the scan position picks a scan routine from a 256-entry table, the
// routine sets the token kind and advances. Block comments that stay open
// at the end of a line leave their range behind; the editor stores it with
// the next line and hands it back before scanning that line.
//
// The owner decides which routine each first byte selects (the table is
// built once, by the derived constructor) and which bytes make up an
// identifier; every routine lives here.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "syntax/highlight_attribute.h"
#include "syntax/line_highlighter.h"

namespace marlo::ide {

// The token kinds; the value is also the style number in the editor.
enum class BosTokenKind : std::uint8_t {
  Comment = 0,
  Identifier = 1,
  Key = 2,
  Null = 3,  // end of line: an empty token, painted with nothing
  Number = 4,
  Space = 5,
  String = 6,
  Symbol = 7,
  Directive = 8,
  Unknown = 9,
};
inline constexpr int kBosTokenKindCount = 10;

// The state carried from one line to the next. 0 is not a range.
enum class BosRange : std::uint8_t { AnsiComment = 1, BraceComment = 2, CComment = 3, Normal = 4 };

enum TCommentStyle : std::uint8_t { csAnsiStyle, csPasStyle, csCStyle };
enum TStringStyle : std::uint8_t { ssPasStyle, ssCStyle };

// A set of a small enumeration, one bit per value.
template <typename E>
class TSynSet {
 public:
  constexpr TSynSet() = default;
  constexpr TSynSet(std::initializer_list<E> items) {
    for (E item : items) bits_ |= Bit(item);
  }
  constexpr bool Contains(E item) const { return (bits_ & Bit(item)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  friend constexpr bool operator==(TSynSet, TSynSet) = default;

 private:
  static constexpr std::uint8_t Bit(E item) { return static_cast<std::uint8_t>(1u << static_cast<unsigned>(item)); }
  std::uint8_t bits_ = 0;
};
using CommentStyles = TSynSet<TCommentStyle>;
using StringStyles = TSynSet<TStringStyle>;

// Where a painting editor wants the colours of each token as it is scanned.
class TSynDrawingSurface {
 public:
  virtual ~TSynDrawingSurface() = default;
  virtual void SetFillColor(TSynColor color) = 0;
  virtual void SetTextColor(TSynColor color) = 0;
  virtual void SetFontStyle(TFontStyles style) = 0;
};

using TIdentTable = std::array<bool, 256>;

// Letters, digits and '_', and the hyphen where `hyphen` says so.
constexpr TIdentTable MakeIdentTable(bool hyphen) {
  TIdentTable table{};
  for (int c = '0'; c <= '9'; ++c) table[c] = true;
  for (int c = 'A'; c <= 'Z'; ++c) table[c] = true;
  for (int c = 'a'; c <= 'z'; ++c) table[c] = true;
  table['_'] = true;
  table['-'] = hyphen;
  return table;
}

class TCustomSyn : public editor::ILineHighlighter {
 public:
  ~TCustomSyn() override;
  TCustomSyn(const TCustomSyn&) = delete;
  TCustomSyn& operator=(const TCustomSyn&) = delete;

  // The bytes an editor treats as word characters: everything from 33 up.
  virtual std::bitset<256> IdentifierChars() const;
  virtual std::string LanguageName() const = 0;
  // The attributes in the order in which they are listed: by name, then
  // those a derived highlighter adds.
  virtual int AttributeCount() const;
  // None for an index outside 0 .. AttributeCount() - 1.
  virtual HighlightAttribute* AttributeAt(int index);
  // The attribute that paints `kind`; none for Null.
  virtual HighlightAttribute* AttributeForKind(BosTokenKind kind);

  // Stores the line (a zero byte in it ends it), scans from its start and
  // makes the first token current. The range is left as it is.
  void SetLine(std::string_view line) override;
  void Next() override;
  bool AtLineEnd() const override { return tokenKind_ == BosTokenKind::Null; }
  int GetRange() const override { return range_; }
  // Any byte value is kept; only 1..3 continue a comment.
  void SetRange(int range) override { range_ = static_cast<std::uint8_t>(range); }
  void SetRange(BosRange range) { range_ = static_cast<std::uint8_t>(range); }
  void ResetRange() override { SetRange(BosRange::Normal); }
  int TokenStart() const override { return tokenStart_; }
  int TokenLength() const override { return scanPos_ - tokenStart_; }
  int TokenStyle() const override { return static_cast<int>(tokenKind_); }

  BosRange Range() const { return static_cast<BosRange>(range_); }
  std::string TokenText() const { return line_.substr(tokenStart_, scanPos_ - tokenStart_); }
  BosTokenKind TokenKind() const { return tokenKind_; }
  // While a surface is set, every Next sets its colours and font style from
  // the new token's attribute.
  void SetDrawingSurface(TSynDrawingSurface* surface) { surface_ = surface; }

  CommentStyles Comments() const { return comments_; }
  void SetComments(CommentStyles comments);
  // Upper case, sorted by byte value, without duplicates.
  const std::vector<std::string>& KeyWords() const { return keyWords_; }
  void SetKeyWords(std::vector<std::string> words);

  HighlightAttribute& CommentAttri() { return commentAttri_; }
  HighlightAttribute& IdentifierAttri() { return identifierAttri_; }
  HighlightAttribute& KeyAttri() { return keyAttri_; }
  HighlightAttribute& NumberAttri() { return numberAttri_; }
  HighlightAttribute& SpaceAttri() { return spaceAttri_; }
  HighlightAttribute& StringAttri() { return stringAttri_; }
  HighlightAttribute& SymbolAttri() { return symbolAttri_; }

  // The editors that use this highlighter. Each is asked to repaint after
  // any change of a property or attribute, and told through `released`
  // when the highlighter goes away first. Adding an editor twice keeps the
  // first entry.
  void AddEditor(const void* editor, std::function<void()> repaint, std::function<void()> released = {});
  void RemoveEditor(const void* editor);
  int EditorCount() const { return static_cast<int>(editors_.size()); }

 protected:
  using ScanProc = void (TCustomSyn::*)();

  explicit TCustomSyn(const TIdentTable& identChars);

  // Lets `attribute`'s changes reach the attached editors.
  void HookAttribute(HighlightAttribute& attribute);
  void RepaintEditors();
  // Fills the entries that every derived table shares; the caller then sets
  // those it maps differently (double quote, apostrophe, '#').
  void FillCommonProcs();

  std::array<ScanProc, 256> procTable_{};

  // Scan routines.
  void EndOfLineProc();
  void LineFeedProc();
  void CarriageReturnProc();
  void SpaceProc();
  void IdentProc();
  void NumberProc();
  void HexProc();
  void DirectiveProc();
  void CharCodeProc();
  void StringProc();
  void RoundOpenProc();
  void BraceOpenProc();
  void SlashProc();
  void UnknownProc();
  bool LineEndInComment();
  void AnsiCommentProc();
  void BraceCommentProc();
  void CCommentProc();

 private:
  struct EditorLink {
    const void* editor;
    std::function<void()> repaint;
    std::function<void()> released;
  };

  unsigned char At(int pos) const { return static_cast<unsigned char>(text_[pos]); }
  bool AtEndOfLine(int pos) const { return At(pos) == 0 || At(pos) == '\n' || At(pos) == '\r'; }
  // The loop of a block comment, from the scan position on.
  void ScanCommentUntil(std::string_view close);
  bool IsKeyWord(const std::string& upper) const;

  std::vector<std::string> keyWords_;
  HighlightAttribute commentAttri_{"comment", fsItalic};
  HighlightAttribute identifierAttri_{"identifier", 0};
  HighlightAttribute keyAttri_{"reserved word", fsBold};
  HighlightAttribute numberAttri_{"number", 0};
  HighlightAttribute spaceAttri_{"space", 0};
  HighlightAttribute stringAttri_{"string", 0};
  HighlightAttribute symbolAttri_{"symbol", 0};
  std::vector<EditorLink> editors_;

  const TIdentTable& identChars_;
  CommentStyles comments_;
  std::string line_;
  const char* text_ = "";
  int scanPos_ = 0;
  int tokenStart_ = 0;
  BosTokenKind tokenKind_ = BosTokenKind::Null;
  std::uint8_t range_ = static_cast<std::uint8_t>(BosRange::Normal);
  TSynDrawingSurface* surface_ = nullptr;
  std::string upper_;  // the identifier being looked up, reused
};

// The colours a source window gives the seven attributes every highlighter
// has: on navy, comments silver italic, identifiers and symbols yellow,
// keywords white, numbers lime, strings aqua, blanks the window text colour.
void ApplySourceWindowColours(TCustomSyn& syn);

}  // namespace marlo::ide
