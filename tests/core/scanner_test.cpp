#include "preprocessor/scanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace marlo::core {
namespace {

using K = TTokenKind;
using namespace std::string_literals;

std::string Escaped(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 32 && c < 127) {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  return out;
}

// One token as "kind 'text' line:column@position", non-printable bytes as \xNN.
std::string Describe(TTokenKind kind, std::string_view text, int line, int column, int position) {
  return std::string(TokenKindName(kind)) + " '" + Escaped(text) + "' " + std::to_string(line) + ":" +
         std::to_string(column) + "@" + std::to_string(position);
}

std::vector<std::string> Describe(const TScanner& scanner) {
  std::vector<std::string> out;
  for (int i = 0; i < scanner.Count(); ++i) {
    const TToken& t = *scanner.Token(i);
    out.push_back(Describe(t.Kind, t.Text, t.Line, t.Column, t.Position));
  }
  return out;
}

struct ScanCase {
  std::string input;
  std::vector<std::string> expected;  // as Describe gives them, tkEnd included
};

void ExpectScans(TScanner& scanner, const std::vector<ScanCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE("input: \"" + Escaped(c.input) + "\"");
    scanner.Scan(c.input);
    EXPECT_EQ(Describe(scanner), c.expected);
  }
}

TCsStringList ListOf(const std::vector<std::string>& items) {
  TCsStringList list;
  for (const auto& s : items) list.Add(s);
  return list;
}

TScanner PreprocessorScanner(const std::vector<std::string>& keywords = StandardBosTokens()) {
  TScanner scanner;
  scanner.ConfigureForPreprocessor(ListOf(keywords));
  return scanner;
}

// ---- the state table, with the default settings ----

TEST(ScannerStates, DefaultSettings) {
  TScanner scanner;
  ExpectScans(scanner,
              {
                  {"abc", {"tkIdentifier 'abc' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"ab12c_", {"tkIdentifier 'ab12c' 1:1@0", "tkOther '_' 1:6@5", "tkEnd '' 1:6@5"}},
                  {"\"hi there\"", {"tkString 'hi there' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"'it''s'", {"tkString 'it' 1:1@0", "tkString 's' 1:5@4", "tkEnd '' 1:5@4"}},
                  {"'a\"b' \"a'b\"", {"tkString 'a\"b' 1:1@0", "tkString 'a'b' 1:7@6", "tkEnd '' 1:7@6"}},
                  {"\"abc\ndef", {"tkOther 'abc' 1:1@0", "tkIdentifier 'def' 2:1@5", "tkEnd '' 2:1@5"}},
                  {"'abc", {"tkOther 'abc' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"\"a\0b\""s,
                   {"tkOther 'a' 1:1@0", "tkOther '\\x00' 1:3@2", "tkIdentifier 'b' 1:4@3", "tkOther '' 1:5@4",
                    "tkEnd '' 1:5@4"}},
                  {"$1f", {"tkHexNumber '1f' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"$1fg", {"tkHexNumber '1f' 1:1@0", "tkIdentifier 'g' 1:4@3", "tkEnd '' 1:4@3"}},
                  {"$g", {"tkOther '$g' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"$ x", {"tkOther '$ ' 1:1@0", "tkIdentifier 'x' 1:3@2", "tkEnd '' 1:3@2"}},
                  // Past the end the dollar state sees, and takes, a line break.
                  {"$", {"tkOther '$\\x0A' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"0", {"tkInteger '0' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"0x1F", {"tkHexNumber '1F' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"0XaB", {"tkHexNumber 'aB' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"0X", {"tkHexNumber '' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"0xg", {"tkHexNumber '' 1:1@0", "tkIdentifier 'g' 1:3@2", "tkEnd '' 1:3@2"}},
                  {"007", {"tkInteger '007' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"09.5", {"tkFloat '09.5' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"0.5", {"tkFloat '0.5' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"0,", {"tkFloat '0,' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"0.x", {"tkFloat '0.' 1:1@0", "tkIdentifier 'x' 1:3@2", "tkEnd '' 1:3@2"}},
                  {"0a", {"tkInteger '0' 1:1@0", "tkIdentifier 'a' 1:2@1", "tkEnd '' 1:2@1"}},
                  {"12", {"tkInteger '12' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"1.5", {"tkFloat '1.5' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"12,34", {"tkFloat '12,34' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"1.", {"tkInteger '1' 1:1@0", "tkOther '.' 1:2@1", "tkEnd '' 1:2@1"}},
                  {"1,x", {"tkInteger '1' 1:1@0", "tkOther ',' 1:2@1", "tkIdentifier 'x' 1:3@2", "tkEnd '' 1:3@2"}},
                  {"1.2.3", {"tkFloat '1.2' 1:1@0", "tkOther '.' 1:4@3", "tkInteger '3' 1:5@4", "tkEnd '' 1:5@4"}},
                  {"12ab", {"tkInteger '12' 1:1@0", "tkIdentifier 'ab' 1:3@2", "tkEnd '' 1:3@2"}},
                  {" \t a", {"tkIdentifier 'a' 1:4@3", "tkEnd '' 1:4@3"}},
                  {"// note  \nx", {"tkComment 'note' 1:3@2", "tkIdentifier 'x' 2:1@10", "tkEnd '' 2:1@10"}},
                  {"{ a }b", {"tkComment 'a' 1:3@1", "tkIdentifier 'b' 1:6@5", "tkEnd '' 1:6@5"}},
                  {"+@", {"tkOther '+' 1:1@0", "tkOther '@' 1:2@1", "tkEnd '' 1:2@1"}},
                  {"\xFF", {"tkOther '\\xFF' 1:1@0", "tkEnd '' 1:1@0"}},
                  {"a\0"s, {"tkIdentifier 'a' 1:1@0", "tkOther '\\x00' 1:2@1", "tkEnd '' 1:2@1"}},
              });
}

// ---- lines, columns and the end token ----

TEST(ScannerPositions, LineBreaksAndColumns) {
  TScanner scanner;
  ExpectScans(scanner, {
                           {"a\r\nb\rc\nd",
                            {"tkIdentifier 'a' 1:1@0", "tkIdentifier 'b' 2:1@3", "tkIdentifier 'c' 3:1@5",
                             "tkIdentifier 'd' 4:1@7", "tkEnd '' 4:1@7"}},
                           {"\n\r\r\nx", {"tkIdentifier 'x' 4:1@4", "tkEnd '' 4:1@4"}},
                           {"\ta\tb", {"tkIdentifier 'a' 1:2@1", "tkIdentifier 'b' 1:4@3", "tkEnd '' 1:4@3"}},
                           {"// x\r\ny", {"tkComment 'x' 1:3@2", "tkIdentifier 'y' 2:1@6", "tkEnd '' 2:1@6"}},
                           {"// x\ry", {"tkComment 'x' 1:3@2", "tkIdentifier 'y' 2:1@5", "tkEnd '' 2:1@5"}},
                           {"\"ab\r\ncd\"",
                            {"tkOther 'ab' 1:1@0", "tkIdentifier 'cd' 2:1@5", "tkOther '' 2:3@7", "tkEnd '' 2:3@7"}},
                       });
}

TEST(ScannerPositions, EndToken) {
  TScanner scanner;
  ExpectScans(scanner, {
                           {"", {"tkEnd '' 0:0@0"}},
                           {"   \n\t \r\n", {"tkEnd '' 0:0@0"}},
                           {"ab  \n", {"tkIdentifier 'ab' 1:1@0", "tkEnd '' 1:1@0"}},
                           {"{ a }", {"tkComment 'a' 1:3@1", "tkEnd '' 1:3@1"}},
                           // Ending inside a block comment: the end is where the input stops.
                           {"{ a", {"tkComment 'a' 1:3@1", "tkEnd '' 1:4@3"}},
                           {"x {", {"tkIdentifier 'x' 1:1@0", "tkComment '' 1:4@3", "tkEnd '' 1:4@3"}},
                           // A final LF leaves one more (empty) comment line; a final CR ends the input at once.
                           {"{ a\n", {"tkComment 'a' 1:3@1", "tkComment '' 2:1@4", "tkEnd '' 2:1@4"}},
                           {"{ a\r\n", {"tkComment 'a' 1:3@1", "tkComment '' 2:1@5", "tkEnd '' 2:1@5"}},
                           {"{ a\r", {"tkComment 'a' 1:3@1", "tkEnd '' 2:1@4"}},
                       });
}

// ---- comments ----

TEST(ScannerComments, BlockCommentsAcrossLines) {
  TScanner scanner = PreprocessorScanner({});
  ExpectScans(scanner,
              {
                  {"x\ny\n/* a\nb */ c",
                   {"tkIdentifier 'x' 1:1@0", "tkIdentifier 'y' 2:1@2", "tkComment 'a' 3:4@6", "tkComment 'b' 4:1@9",
                    "tkIdentifier 'c' 4:6@14", "tkEnd '' 4:6@14"}},
                  {"/*   \n   x   \n */",
                   {"tkComment '' 1:6@2", "tkComment 'x' 2:4@6", "tkComment '' 3:2@14", "tkEnd '' 3:2@14"}},
                  {"/* a\r\n b\r c */",
                   {"tkComment 'a' 1:4@2", "tkComment 'b' 2:2@6", "tkComment 'c' 3:2@9", "tkEnd '' 3:2@9"}},
                  {"a /* b */ c",
                   {"tkIdentifier 'a' 1:1@0", "tkComment 'b' 1:6@4", "tkIdentifier 'c' 1:11@10", "tkEnd '' 1:11@10"}},
                  // No nesting: the first end marker closes.
                  {"/* /* x */ y */",
                   {"tkComment '/* x' 1:4@2", "tkIdentifier 'y' 1:12@11", "tkSpecialChar '*' 1:14@13",
                    "tkSpecialChar '/' 1:15@14", "tkEnd '' 1:15@14"}},
                  // Only spaces are trimmed.
                  {"/*\tx\t*/", {"tkComment '\\x09x\\x09' 1:3@2", "tkEnd '' 1:3@2"}},
                  {"/**/x", {"tkComment '' 1:3@2", "tkIdentifier 'x' 1:5@4", "tkEnd '' 1:5@4"}},
                  {"// a /* b\nc", {"tkComment 'a /* b' 1:3@2", "tkIdentifier 'c' 2:1@10", "tkEnd '' 2:1@10"}},
                  {"/* a // b */c", {"tkComment 'a // b' 1:4@2", "tkIdentifier 'c' 1:13@12", "tkEnd '' 1:13@12"}},
                  // A line comment keeps the column after its marker.
                  {"//   x", {"tkComment 'x' 1:3@2", "tkEnd '' 1:3@2"}},
              });
}

struct MarkerCase {
  std::string line, begin, end;
  bool caseSensitive;
  ScanCase scan;
};

TEST(ScannerComments, MarkersAndTheirCase) {
  const std::vector<MarkerCase> cases = {
      {"#rem", "{", "}", false, {"#REM hi\nx", {"tkComment 'hi' 1:5@4", "tkIdentifier 'x' 2:1@8", "tkEnd '' 2:1@8"}}},
      {"#rem",
       "{",
       "}",
       true,
       {"#REM hi", {"tkOther '#' 1:1@0", "tkIdentifier 'REM' 1:2@1", "tkIdentifier 'hi' 1:6@5", "tkEnd '' 1:6@5"}}},
      {"//", "<c", "c>", false, {"<C x C>y", {"tkComment 'x' 1:4@2", "tkIdentifier 'y' 1:8@7", "tkEnd '' 1:8@7"}}},
      {"//",
       "<c",
       "c>",
       true,
       {"<c x C> y c>z", {"tkComment 'x C> y' 1:4@2", "tkIdentifier 'z' 1:13@12", "tkEnd '' 1:13@12"}}},
      // Empty markers never match.
      {"",
       "{",
       "}",
       false,
       {"// x", {"tkOther '/' 1:1@0", "tkOther '/' 1:2@1", "tkIdentifier 'x' 1:4@3", "tkEnd '' 1:4@3"}}},
      {"//",
       "",
       "}",
       false,
       {"{x}", {"tkOther '{' 1:1@0", "tkIdentifier 'x' 1:2@1", "tkOther '}' 1:3@2", "tkEnd '' 1:3@2"}}},
      {"//", "{", "", false, {"{ a }\nb", {"tkComment 'a }' 1:3@1", "tkComment 'b' 2:1@6", "tkEnd '' 2:2@7"}}},
      // A marker longer than the rest of the input does not match.
      {"//", "{", "}", false, {"x/", {"tkIdentifier 'x' 1:1@0", "tkOther '/' 1:2@1", "tkEnd '' 1:2@1"}}},
      // The line marker is tried before the block marker.
      {"/", "/*", "*/", false, {"/* x", {"tkComment '* x' 1:2@1", "tkEnd '' 1:2@1"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("markers " + c.line + " " + c.begin + " " + c.end);
    TScanner scanner;
    scanner.SetCommentLine(c.line);
    scanner.SetCommentBegin(c.begin);
    scanner.SetCommentEnd(c.end);
    scanner.SetKeywordsCaseSensitive(c.caseSensitive);
    ExpectScans(scanner, {c.scan});
  }
}

// ---- keywords ----

TEST(ScannerKeywords, MatchIgnoringCaseKeepsText) {
  TScanner scanner = PreprocessorScanner();
  ExpectScans(
      scanner,
      {
          {"#DEFINE Foo 1",
           {"tkKeyword '#DEFINE' 1:1@0", "tkIdentifier 'Foo' 1:9@8", "tkInteger '1' 1:13@12", "tkEnd '' 1:13@12"}},
          {"Call-Script call-scripts",
           {"tkKeyword 'Call-Script' 1:1@0", "tkIdentifier 'call-scripts' 1:13@12", "tkEnd '' 1:13@12"}},
          {"#if#endif", {"tkIdentifier '#if#endif' 1:1@0", "tkEnd '' 1:1@0"}},
      });
  // Every entry is found in any case, which exercises the binary search over
  // words with '#' and '-'.
  for (const auto& word : StandardBosTokens()) {
    std::string upper = word;
    std::string mixed = word;
    for (std::size_t i = 0; i < word.size(); ++i) {
      upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[i])));
      if (i % 2 == 0) mixed[i] = upper[i];
    }
    for (const std::string& text : {upper, mixed}) {
      scanner.Scan(text);
      ASSERT_EQ(scanner.Count(), 2) << text;
      EXPECT_EQ(scanner.Token(0)->Kind, K::tkKeyword) << text;
      EXPECT_EQ(scanner.Token(0)->Text, text);
    }
    scanner.Scan(word);
    EXPECT_EQ(scanner.Token(0)->Kind, K::tkKeyword) << word;
  }
}

TEST(ScannerKeywords, CaseSensitiveMatchesExactly) {
  TScanner scanner = PreprocessorScanner();
  scanner.SetKeywordsCaseSensitive(true);
  ExpectScans(scanner, {{"#DEFINE #define Piece piece",
                         {"tkIdentifier '#DEFINE' 1:1@0", "tkKeyword '#define' 1:9@8", "tkIdentifier 'Piece' 1:17@16",
                          "tkKeyword 'piece' 1:23@22", "tkEnd '' 1:23@22"}}});
}

TEST(ScannerKeywords, SearchFollowsSortOrderOfEitherMode) {
  // '_' and '[' sort between the upper and the lower letters, so the order of
  // the list differs between the modes; the search must follow it.
  const std::vector<std::string> words = {"a_b", "aab", "AZB", "a[b", "abc", "B", "a", "C", "_"};
  for (bool caseSensitive : {false, true}) {
    SCOPED_TRACE(caseSensitive ? "case-sensitive" : "ignoring case");
    TScanner scanner;
    scanner.SetAdditionalChars("_[");
    scanner.SetKeywords(ListOf(words));
    scanner.SetKeywordsCaseSensitive(caseSensitive);
    for (const auto& w : words) {
      scanner.Scan(w);
      EXPECT_EQ(scanner.Token(0)->Kind, K::tkKeyword) << w;
    }
    for (const std::string w : {"A_B", "AAB", "azb", "A[B", "b"}) {
      scanner.Scan(w);
      EXPECT_EQ(scanner.Token(0)->Kind, caseSensitive ? K::tkIdentifier : K::tkKeyword) << w;
    }
    for (const std::string w : {"a_c", "ab", "__", "D"}) {
      scanner.Scan(w);
      EXPECT_EQ(scanner.Token(0)->Kind, K::tkIdentifier) << w;
    }
  }
}

TEST(ScannerKeywords, ListIsASortedCopy) {
  TCsStringList source = ListOf({"turn", "Move", "piece", "move"});
  TScanner scanner;
  scanner.SetKeywords(source);
  source.Clear();
  source.Add("sleep");
  const TCsStringList& kw = scanner.Keywords();
  EXPECT_TRUE(kw.Sorted());
  ASSERT_EQ(kw.Count(), 4);
  EXPECT_EQ(kw.Get(0).substr(1), "ove");
  EXPECT_EQ(kw.Get(2), "piece");
  EXPECT_EQ(kw.Get(3), "turn");
  scanner.Scan("sleep MOVE");
  EXPECT_EQ(scanner.Token(0)->Kind, K::tkIdentifier);
  EXPECT_EQ(scanner.Token(1)->Kind, K::tkKeyword);
  // Both spellings were kept, so the case-sensitive mode still knows each.
  scanner.SetKeywordsCaseSensitive(true);
  EXPECT_TRUE(scanner.Keywords().CaseSensitive());
  EXPECT_EQ(scanner.Keywords().Get(0), "Move");
  scanner.Scan("Move move MOVE");
  EXPECT_EQ(Describe(scanner), std::vector<std::string>({"tkKeyword 'Move' 1:1@0", "tkKeyword 'move' 1:6@5",
                                                         "tkIdentifier 'MOVE' 1:11@10", "tkEnd '' 1:11@10"}));
}

// ---- identifier settings ----

TEST(ScannerIdentifiers, AllowIdentifierAndAllowFigures) {
  TScanner scanner;
  scanner.SetKeywords(ListOf({"piece"}));
  scanner.SetAllowIdentifier(false);
  ExpectScans(scanner,
              {{"foo piece 1",
                {"tkOther 'foo' 1:1@0", "tkKeyword 'piece' 1:5@4", "tkInteger '1' 1:11@10", "tkEnd '' 1:11@10"}}});
  scanner.SetAllowIdentifier(true);
  scanner.SetAllowFigures(false);
  ExpectScans(scanner, {{"ab12 c3",
                         {"tkIdentifier 'ab' 1:1@0", "tkInteger '12' 1:3@2", "tkIdentifier 'c' 1:6@5",
                          "tkInteger '3' 1:7@6", "tkEnd '' 1:7@6"}}});
}

TEST(ScannerIdentifiers, CharacterSets) {
  TScanner scanner;
  scanner.SetAdditionalChars("cba#a");
  EXPECT_EQ(scanner.AdditionalChars(), "#abc");
  scanner.SetSpecialChars(";#;");
  EXPECT_EQ(scanner.SpecialChars(), "#;");
  // Identifier characters win over special characters.
  ExpectScans(
      scanner,
      {{"#x;#", {"tkIdentifier '#x' 1:1@0", "tkSpecialChar ';' 1:3@2", "tkIdentifier '#' 1:4@3", "tkEnd '' 1:4@3"}}});
  // Setting replaces the earlier set; letters stay.
  scanner.SetAdditionalChars("_");
  ExpectScans(scanner, {{"#_a", {"tkSpecialChar '#' 1:1@0", "tkIdentifier '_a' 1:2@1", "tkEnd '' 1:2@1"}}});
  scanner.SetAdditionalChars("");
  ExpectScans(scanner, {{"Zz", {"tkIdentifier 'Zz' 1:1@0", "tkEnd '' 1:1@0"}}});
  // Identifier characters are tested before the starters.
  scanner.SetAdditionalChars("5\"");
  ExpectScans(scanner, {{"5a\"b\" 6", {"tkIdentifier '5a\"b\"' 1:1@0", "tkInteger '6' 1:7@6", "tkEnd '' 1:7@6"}}});
  // A line break as identifier character stops at the end of the input.
  scanner.SetAdditionalChars("\n");
  ExpectScans(scanner, {{"ab\ncd", {"tkIdentifier 'ab\\x0Acd' 1:1@0", "tkEnd '' 1:1@0"}},
                        {"\n", {"tkIdentifier '\\x0A' 1:1@0", "tkEnd '' 1:1@0"}}});
}

// The start state decides by a per-byte table; these pin the order of its
// tests where the sets overlap.
TEST(ScannerIdentifiers, OverlappingSetsKeepTheirOrder) {
  struct Case {
    std::string additional, special, line;
    ScanCase scan;
  };
  const std::vector<Case> cases = {
      // A run of blanks goes on over a tab that is an identifier character...
      {"\t", "", "//", {"  \tab", {"tkIdentifier 'ab' 1:4@3", "tkEnd '' 1:4@3"}}},
      // ...but one that starts a token is an identifier.
      {"\t", "", "//", {"\tab", {"tkIdentifier '\\x09ab' 1:1@0", "tkEnd '' 1:1@0"}}},
      {" ", "", "//", {"x\n y", {"tkIdentifier 'x' 1:1@0", "tkIdentifier ' y' 2:1@2", "tkEnd '' 2:1@2"}}},
      // Letters and digits win over a comment marker that starts with them.
      {"", "", "rem", {"rem x", {"tkIdentifier 'rem' 1:1@0", "tkIdentifier 'x' 1:5@4", "tkEnd '' 1:5@4"}}},
      {"", "", "1-", {"1-x", {"tkInteger '1' 1:1@0", "tkOther '-' 1:2@1", "tkIdentifier 'x' 1:3@2", "tkEnd '' 1:3@2"}}},
      // Blanks and line breaks win over a marker that starts with them.
      {"", "", " x", {"a  x", {"tkIdentifier 'a' 1:1@0", "tkIdentifier 'x' 1:4@3", "tkEnd '' 1:4@3"}}},
      {"", "", "\nx", {"a\nx", {"tkIdentifier 'a' 1:1@0", "tkIdentifier 'x' 2:1@2", "tkEnd '' 2:1@2"}}},
      // A marker's first byte that does not open it is a special or other byte.
      {"",
       "/",
       "//",
       {"/x//y", {"tkSpecialChar '/' 1:1@0", "tkIdentifier 'x' 1:2@1", "tkComment 'y' 1:5@4", "tkEnd '' 1:5@4"}}},
      // A line break that is a special character is still a line break.
      {"", "\n;", "//", {";\n;", {"tkSpecialChar ';' 1:1@0", "tkSpecialChar ';' 2:1@2", "tkEnd '' 2:1@2"}}},
      // Digits run to the end of the input, with or without a final line break.
      {"", "", "//", {"123", {"tkInteger '123' 1:1@0", "tkEnd '' 1:1@0"}}},
      {"", "", "//", {"12\n34", {"tkInteger '12' 1:1@0", "tkInteger '34' 2:1@3", "tkEnd '' 2:1@3"}}},
  };
  for (const auto& c : cases) {
    TScanner scanner;
    scanner.SetAdditionalChars(c.additional);
    scanner.SetSpecialChars(c.special);
    scanner.SetCommentLine(c.line);
    ExpectScans(scanner, {c.scan});
  }
}

TEST(ScannerKeywords, LongAndEmptyKeywords) {
  // 31 characters and more share one length class of the quick test before
  // the lookup; the lookup still tells them apart.
  const std::string k31(31, 'k');
  const std::string k32 = "K" + std::string(31, 'x');
  const std::string k40 = "k" + std::string(39, 'y');
  TScanner scanner;
  scanner.SetKeywords(ListOf({k31, k32, k40, "", "a"}));
  const std::vector<std::pair<std::string, TTokenKind>> words = {
      {k31, K::tkKeyword},
      {std::string(31, 'K'), K::tkKeyword},
      {std::string(30, 'k'), K::tkIdentifier},
      {std::string(32, 'k'), K::tkIdentifier},
      {"k" + std::string(31, 'x'), K::tkKeyword},
      {"k" + std::string(32, 'x'), K::tkIdentifier},
      {k40, K::tkKeyword},
      {"k" + std::string(39, 'z'), K::tkIdentifier},
      {"A", K::tkKeyword},
      {"b", K::tkIdentifier},
  };
  for (bool caseSensitive : {false, true}) {
    scanner.SetKeywordsCaseSensitive(caseSensitive);
    for (const auto& [word, kind] : words) {
      scanner.Scan(word);
      // These match only when case is ignored.
      const bool folds = word == "A" || word == std::string(31, 'K') || word == "k" + std::string(31, 'x');
      EXPECT_EQ(scanner.Token(0)->Kind, caseSensitive && folds ? K::tkIdentifier : kind) << word << caseSensitive;
    }
  }
}

// ---- the preprocessor's configuration ----

TEST(ScannerPreprocessor, Configuration) {
  TScanner scanner = PreprocessorScanner();
  EXPECT_EQ(scanner.AdditionalChars(), "#-_");
  EXPECT_EQ(scanner.SpecialChars(), "#()*+,-./;<=>[]{|}");
  EXPECT_EQ(scanner.CommentLine(), "//");
  EXPECT_EQ(scanner.CommentBegin(), "/*");
  EXPECT_EQ(scanner.CommentEnd(), "*/");
  EXPECT_TRUE(scanner.AllowFigures());
  EXPECT_TRUE(scanner.AllowIdentifier());
  EXPECT_FALSE(scanner.KeywordsCaseSensitive());
  EXPECT_EQ(scanner.Keywords().Count(), 34);
}

// The one-pass configuration reads exactly as the setters one by one.
TEST(ScannerPreprocessor, ConfigurationEqualsTheSetters) {
  TScanner bySetters;
  bySetters.SetAdditionalChars("#-_");
  bySetters.SetCommentBegin("/*");
  bySetters.SetCommentEnd("*/");
  bySetters.SetCommentLine("//");
  bySetters.SetKeywords(ListOf(StandardBosTokens()));
  bySetters.SetKeywordsCaseSensitive(false);
  bySetters.SetSpecialChars("#()*+,-./;<=>[]{|}");
  TScanner configured;
  configured.SetKeywordsCaseSensitive(true);
  configured.SetCommentLine(";");
  configured.ConfigureForPreprocessor(ListOf(StandardBosTokens()));

  const std::vector<std::string> pieces = {"#DEFINE", "#define", "Piece", "pIECE", "#ifDef", "call-script", "/*",
                                           "*/",      "//",      "{",     "\n",    " ",      "x9",          "Spin"};
  std::mt19937 rng(7);
  for (int round = 0; round < 500; ++round) {
    std::string input;
    for (int i = static_cast<int>(rng() % 12); i > 0; --i) input += pieces[rng() % pieces.size()];
    bySetters.Scan(input);
    configured.Scan(input);
    ASSERT_EQ(bySetters.Count(), configured.Count()) << input;
    for (int i = 0; i < bySetters.Count(); ++i) {
      ASSERT_EQ(bySetters.Token(i)->Kind, configured.Token(i)->Kind) << input;
      ASSERT_EQ(bySetters.Token(i)->Text, configured.Token(i)->Text) << input;
    }
  }
}

TEST(ScannerPreprocessor, TokenShapes) {
  TScanner scanner = PreprocessorScanner();
  ExpectScans(
      scanner,
      {
          {"x-1", {"tkIdentifier 'x-1' 1:1@0", "tkEnd '' 1:1@0"}},
          {"x - 1", {"tkIdentifier 'x' 1:1@0", "tkIdentifier '-' 1:3@2", "tkInteger '1' 1:5@4", "tkEnd '' 1:5@4"}},
          {"-5", {"tkIdentifier '-5' 1:1@0", "tkEnd '' 1:1@0"}},
          {"-speed", {"tkIdentifier '-speed' 1:1@0", "tkEnd '' 1:1@0"}},
          {"a<=b",
           {"tkIdentifier 'a' 1:1@0", "tkSpecialChar '<' 1:2@1", "tkSpecialChar '=' 1:3@2", "tkIdentifier 'b' 1:4@3",
            "tkEnd '' 1:4@3"}},
          {"a!=b",
           {"tkIdentifier 'a' 1:1@0", "tkOther '!' 1:2@1", "tkSpecialChar '=' 1:3@2", "tkIdentifier 'b' 1:4@3",
            "tkEnd '' 1:4@3"}},
          {"a&&b||c:d",
           {"tkIdentifier 'a' 1:1@0", "tkOther '&' 1:2@1", "tkOther '&' 1:3@2", "tkIdentifier 'b' 1:4@3",
            "tkSpecialChar '|' 1:5@4", "tkSpecialChar '|' 1:6@5", "tkIdentifier 'c' 1:7@6", "tkOther ':' 1:8@7",
            "tkIdentifier 'd' 1:9@8", "tkEnd '' 1:9@8"}},
          {"0x1F;", {"tkHexNumber '1F' 1:1@0", "tkSpecialChar ';' 1:5@4", "tkEnd '' 1:5@4"}},
          {"$ff", {"tkHexNumber 'ff' 1:1@0", "tkEnd '' 1:1@0"}},
          {"$g", {"tkOther '$g' 1:1@0", "tkEnd '' 1:1@0"}},
          {"1.5", {"tkFloat '1.5' 1:1@0", "tkEnd '' 1:1@0"}},
          {"1.x", {"tkInteger '1' 1:1@0", "tkSpecialChar '.' 1:2@1", "tkIdentifier 'x' 1:3@2", "tkEnd '' 1:3@2"}},
          {"1,5", {"tkFloat '1,5' 1:1@0", "tkEnd '' 1:1@0"}},
          {"0,", {"tkFloat '0,' 1:1@0", "tkEnd '' 1:1@0"}},
          // An argument list without blanks reads as one float.
          {"f(1,2)",
           {"tkIdentifier 'f' 1:1@0", "tkSpecialChar '(' 1:2@1", "tkFloat '1,2' 1:3@2", "tkSpecialChar ')' 1:6@5",
            "tkEnd '' 1:6@5"}},
          {"call-script Fire(1, 2);",
           {"tkKeyword 'call-script' 1:1@0", "tkIdentifier 'Fire' 1:13@12", "tkSpecialChar '(' 1:17@16",
            "tkInteger '1' 1:18@17", "tkSpecialChar ',' 1:19@18", "tkInteger '2' 1:21@20", "tkSpecialChar ')' 1:22@21",
            "tkSpecialChar ';' 1:23@22", "tkEnd '' 1:23@22"}},
          {"#define X \"a b\"",
           {"tkKeyword '#define' 1:1@0", "tkIdentifier 'X' 1:9@8", "tkString 'a b' 1:11@10", "tkEnd '' 1:11@10"}},
          {"{[#]}",
           {"tkSpecialChar '{' 1:1@0", "tkSpecialChar '[' 1:2@1", "tkIdentifier '#' 1:3@2", "tkSpecialChar ']' 1:4@3",
            "tkSpecialChar '}' 1:5@4", "tkEnd '' 1:5@4"}},
      });
}

// ---- OnTokenRead ----

TEST(ScannerEvents, DropStopAndEdit) {
  TScanner scanner;
  int calls = 0;
  scanner.SetOnTokenRead([&](TScanner& sender, TToken& token, bool& addToList, bool&) {
    EXPECT_EQ(&sender, &scanner);
    EXPECT_EQ(sender.Count(), calls - (calls > 1 ? 1 : 0));  // the comment (second token) is dropped
    ++calls;
    if (token.Kind == K::tkComment) addToList = false;
    if (token.Kind == K::tkIdentifier) token.Text += "!";
  });
  scanner.Scan("a // x\nb");
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(Describe(scanner),
            std::vector<std::string>({"tkIdentifier 'a!' 1:1@0", "tkIdentifier 'b!' 2:1@7", "tkEnd '' 2:1@7"}));

  // Stop ends the scan after the token, whether it is kept or not.
  for (bool keep : {true, false}) {
    scanner.SetOnTokenRead([keep](TScanner&, TToken& token, bool& addToList, bool& stop) {
      if (token.Text == "b") {
        stop = true;
        addToList = keep;
      }
    });
    scanner.Scan("a b c");
    EXPECT_EQ(scanner.Count(), keep ? 2 : 1);
    EXPECT_EQ(scanner.Token(scanner.Count() - 1)->Text, keep ? "b" : "a");
  }

  // A dropped token still gives the end token its start.
  scanner.SetOnTokenRead([](TScanner&, TToken& token, bool& addToList, bool&) { addToList = token.Kind == K::tkEnd; });
  scanner.Scan("  x  ");
  EXPECT_EQ(Describe(scanner), std::vector<std::string>({"tkEnd '' 1:3@2"}));

  // Whatever the handler makes of the end token, the scan ends there.
  scanner.SetOnTokenRead([](TScanner&, TToken& token, bool&, bool&) {
    if (token.Kind == K::tkEnd) token.Kind = K::tkOther;
  });
  scanner.Scan("x");
  ASSERT_EQ(scanner.Count(), 2);
  EXPECT_EQ(scanner.Token(1)->Kind, K::tkOther);
}

// ---- the token list ----

TEST(ScannerList, AccessAndRescan) {
  TScanner scanner;
  EXPECT_EQ(scanner.Count(), 0);
  EXPECT_EQ(scanner.Token(0), nullptr);
  scanner.Scan("a b");
  ASSERT_EQ(scanner.Count(), 3);
  EXPECT_EQ(scanner.Token(-1), nullptr);
  EXPECT_EQ(scanner.Token(3), nullptr);
  scanner.Token(1)->Text = "B";
  const TScanner& view = scanner;
  EXPECT_EQ(view.Token(1)->Text, "B");
  scanner.Scan("c");
  EXPECT_EQ(Describe(scanner), std::vector<std::string>({"tkIdentifier 'c' 1:1@0", "tkEnd '' 1:1@0"}));
  scanner.ClearTokens();
  EXPECT_EQ(scanner.Count(), 0);
  // A block comment left open by the previous scan does not carry over.
  scanner.Scan("{ open");
  scanner.Scan("x");
  EXPECT_EQ(scanner.Token(0)->Kind, K::tkIdentifier);
}

TEST(ScannerList, Defaults) {
  TScanner scanner;
  EXPECT_EQ(scanner.AdditionalChars(), "");
  EXPECT_EQ(scanner.SpecialChars(), "");
  EXPECT_EQ(scanner.CommentLine(), "//");
  EXPECT_EQ(scanner.CommentBegin(), "{");
  EXPECT_EQ(scanner.CommentEnd(), "}");
  EXPECT_TRUE(scanner.AllowFigures());
  EXPECT_TRUE(scanner.AllowIdentifier());
  EXPECT_FALSE(scanner.KeywordsCaseSensitive());
  EXPECT_EQ(scanner.Keywords().Count(), 0);
  EXPECT_TRUE(scanner.Keywords().Sorted());
  EXPECT_FALSE(scanner.OnTokenRead());
}

TEST(ScannerList, StandardLists) {
  const auto& bos = StandardBosTokens();
  ASSERT_EQ(bos.size(), 34u);
  EXPECT_EQ(bos.front(), "#endif");
  EXPECT_EQ(bos[8], "attach-unit");
  EXPECT_EQ(bos.back(), "wait-for-turn");
  EXPECT_EQ(DirectiveTokens(),
            (std::vector<std::string>{"#define", "#ifndef", "#include", "#undef", "#endif", "#else", "#ifdef", "#if"}));
  for (const auto& d : DirectiveTokens()) {
    EXPECT_EQ(std::count(bos.begin(), bos.begin() + 8, d), 1) << d;
  }
}

// ---- token files ----

TEST(ScannerTokenFiles, LoadExistingAndMissing) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("marlo_scanner_test_" + std::to_string(std::random_device{}()));
  fs::create_directories(dir);
  const fs::path file = dir / "bos.tok";
  {
    std::ofstream out(file, std::ios::binary);
    out << "piece\r\nMove\nturn\n";
  }
  TCsStringList tokens = ListOf({"old"});
  ASSERT_TRUE(LoadTokenFile(file.string(), tokens));
  EXPECT_EQ(tokens.Text(), "piece\r\nMove\r\nturn\r\n");

  TScanner scanner;
  scanner.SetKeywords(tokens);
  scanner.Scan("MOVE old");
  EXPECT_EQ(scanner.Token(0)->Kind, K::tkKeyword);
  EXPECT_EQ(scanner.Token(1)->Kind, K::tkIdentifier);

  TCsStringList kept = ListOf({"old"});
  EXPECT_FALSE(LoadTokenFile((dir / "missing.tok").string(), kept));
  EXPECT_FALSE(LoadTokenFile(dir.string(), kept));
  EXPECT_FALSE(LoadTokenFile("", kept));
  EXPECT_EQ(kept.Text(), "old\r\n");
  fs::remove_all(dir);
}

// ---- any bytes ----

// Line and column of the byte at `position`, counted the scanner's way.
std::pair<int, int> LineColumnAt(std::string_view s, int position) {
  int line = 1;
  int column = 1;
  for (int i = 0; i < position; ++i) {
    if (s[i] == '\r' || s[i] == '\n') {
      if (s[i] == '\r' && i + 1 < position && s[i + 1] == '\n') ++i;
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return {line, column};
}

TEST(ScannerRobustness, RandomBytesUnderEveryConfiguration) {
  const std::vector<std::string> pieces = {"/*", "*/", "//", "{",  "}",  "\r\n",    "\r", "\n", "0x", "$",  "\"",
                                           "'",  "0",  "1.", ",5", "ab", "#define", " ",  "\t", "-",  "\0"s};
  std::mt19937 rng(12345);
  auto makeInput = [&] {
    std::string s;
    const int n = static_cast<int>(rng() % 40);
    for (int i = 0; i < n; ++i) {
      if (rng() % 2) {
        s += pieces[rng() % pieces.size()];
      } else {
        s.push_back(static_cast<char>(rng() % 256));
      }
    }
    return s;
  };

  struct Config {
    std::string additional, special, line, begin, end;
    bool plainIdentifiers;  // identifiers are copies of the stream
  };
  const std::vector<Config> configs = {
      {"", "", "//", "{", "}", true},
      {"#-_", "#()*+,-./;<=>[]{|}", "//", "/*", "*/", true},
      {"\n\r\0 \"$'0"s, "\t\r\n", "\n", "\r", "", false},
      {"", "\n\r\0"s, "", "*", "\r\n", true},
      {"*", "", "**", "**", "**", true},
  };
  for (const auto& config : configs) {
    TScanner scanner;
    scanner.SetAdditionalChars(config.additional);
    scanner.SetSpecialChars(config.special);
    scanner.SetCommentLine(config.line);
    scanner.SetCommentBegin(config.begin);
    scanner.SetCommentEnd(config.end);
    scanner.SetKeywords(ListOf(StandardBosTokens()));
    for (int round = 0; round < 3000; ++round) {
      const std::string input = makeInput();
      SCOPED_TRACE("input: \"" + Escaped(input) + "\"");
      scanner.Scan(input);
      ASSERT_GE(scanner.Count(), 1);
      ASSERT_EQ(scanner.Token(scanner.Count() - 1)->Kind, K::tkEnd);
      int lastPosition = 0;
      for (int i = 0; i < scanner.Count(); ++i) {
        const TToken& t = *scanner.Token(i);
        if (i + 1 < scanner.Count()) {
          ASSERT_NE(t.Kind, K::tkEnd);
        }
        ASSERT_GE(t.Position, lastPosition);
        ASSERT_LE(t.Position, static_cast<int>(input.size()));
        lastPosition = t.Position;
        if (t.Kind == K::tkComment || t.Kind == K::tkEnd) continue;
        const auto [line, column] = LineColumnAt(input, t.Position);
        ASSERT_EQ(t.Line, line);
        ASSERT_EQ(t.Column, column);
        const bool copied = t.Kind == K::tkInteger || t.Kind == K::tkFloat || t.Kind == K::tkSpecialChar ||
                            ((t.Kind == K::tkIdentifier || t.Kind == K::tkKeyword) && config.plainIdentifiers);
        if (copied) {
          ASSERT_EQ(input.substr(static_cast<std::size_t>(t.Position), t.Text.size()), t.Text);
        }
      }
    }
  }
}

// Next reads token by token what Scan lists, whatever the bytes, the
// settings and the handler.
TEST(ScannerRobustness, NextGivesWhatScanLists) {
  const std::vector<std::string> pieces = {"/*",
                                           "*/",
                                           "//",
                                           "{",
                                           "}",
                                           "\r\n",
                                           "\r",
                                           "\n",
                                           "0x",
                                           "0X1f",
                                           "$",
                                           "$ff",
                                           "\"",
                                           "'",
                                           "0",
                                           "09",
                                           "1.",
                                           ",5",
                                           "1,2",
                                           "ab",
                                           "piece",
                                           "MOVE",
                                           " ",
                                           "    ",
                                           "\t",
                                           "\0"s,
                                           "#",
                                           "-",
                                           "_",
                                           "#define",
                                           "averyveryverylongname_01",
                                           "call-script"};
  std::mt19937 rng(2024);
  auto makeInput = [&] {
    std::string s;
    const int n = static_cast<int>(rng() % 50);
    for (int i = 0; i < n; ++i) {
      if (rng() % 3) {
        s += pieces[rng() % pieces.size()];
      } else {
        s.push_back(static_cast<char>(rng() % 256));
      }
    }
    return s;
  };

  struct Config {
    std::string additional, special, line, begin, end;
    bool figures, identifiers, caseSensitive;
  };
  const std::vector<Config> configs = {
      {"", "", "//", "{", "}", true, true, false},
      {"#-_", "#()*+,-./;<=>[]{|}", "//", "/*", "*/", true, true, false},
      {"\r\n_", ";\n", "#", "<", ">", true, true, true},
      {" \t$0", "\"'", "", "/*", "", false, false, false},
      {"", "\0\r"s, "\n", "\r", "*/", false, true, true},
  };
  // Drops comments, edits identifiers and stops at the second "ab", which it
  // keeps or drops; or drops everything, tkEnd included.
  int abs = 0;
  int round = 0;
  const TScanner::TTokenReadEvent handler = [&](TScanner&, TToken& token, bool& addToList, bool& stop) {
    if (round % 4 == 3 || token.Kind == K::tkComment) addToList = false;
    if (token.Kind == K::tkIdentifier) token.Text += "!";
    if (token.Text == "ab!" && ++abs == 2) {
      stop = true;
      addToList = round % 4 == 1;
    }
  };

  for (const auto& config : configs) {
    TScanner scanner;
    scanner.SetAdditionalChars(config.additional);
    scanner.SetSpecialChars(config.special);
    scanner.SetCommentLine(config.line);
    scanner.SetCommentBegin(config.begin);
    scanner.SetCommentEnd(config.end);
    scanner.SetAllowFigures(config.figures);
    scanner.SetAllowIdentifier(config.identifiers);
    scanner.SetKeywords(ListOf(StandardBosTokens()));
    scanner.SetKeywordsCaseSensitive(config.caseSensitive);
    for (round = 0; round < 3000; ++round) {
      const std::string input = makeInput();
      SCOPED_TRACE("input: \"" + Escaped(input) + "\"");
      scanner.SetOnTokenRead(round % 4 ? handler : nullptr);
      abs = 0;
      scanner.Scan(input);
      const std::vector<std::string> listed = Describe(scanner);

      abs = 0;
      scanner.Begin(input);
      std::vector<std::string> read;
      TToken token;
      token.Text = "left over";
      while (scanner.Next(token))
        read.push_back(Describe(token.Kind, token.Text, token.Line, token.Column, token.Position));
      ASSERT_EQ(read, listed);
      EXPECT_FALSE(scanner.Next(token));
    }
  }
}

}  // namespace
}  // namespace marlo::core
