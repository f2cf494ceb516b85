// The scanner: the tables of tests/data/scanner/tables.txt (inputs and the
// tokens they give under each setting), then what tables cannot show: the
// keyword search, the token handler, the list, token files, and random
// bytes under many settings.
#include "preprocessor/scanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "preprocessor/token_reader.h"
#include "tests/support/files.h"

namespace marlo::core {
namespace {

using K = TTokenKind;
using marlo::test::Escaped;
using namespace std::string_literals;

// One token as "kind 'text' line:column@position", non-printable bytes as \xNN.
std::string Describe(const TToken& t) {
  return std::string(TokenKindName(t.Kind)) + " '" + Escaped(t.Text) + "' " + std::to_string(t.Line) + ":" +
         std::to_string(t.Column) + "@" + std::to_string(t.Position);
}

std::vector<std::string> Describe(const TScanner& scanner) {
  std::vector<std::string> out;
  for (int i = 0; i < scanner.Count(); ++i) out.push_back(Describe(*scanner.Token(i)));
  return out;
}

TCsStringList ListOf(const std::vector<std::string>& items) {
  TCsStringList list;
  for (const auto& s : items) list.Add(s);
  return list;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string word; std::getline(in, word, separator);) words.push_back(word);
  return words;
}

// The settings of tables.txt; `value` is null for a setting without "=".
using Setting = void (*)(TScanner&, const std::string* value);
const std::map<std::string, Setting> kSettings = {
    {"preprocessor",
     [](TScanner& s, const std::string* v) {
       s.ConfigureForPreprocessor(ListOf(v ? Split(*v, ',') : StandardBosTokens()));
     }},
    {"keywords", [](TScanner& s, const std::string* v) { s.SetKeywords(ListOf(Split(v ? *v : "", ','))); }},
    {"additional", [](TScanner& s, const std::string* v) { s.SetAdditionalChars(v ? *v : ""); }},
    {"special", [](TScanner& s, const std::string* v) { s.SetSpecialChars(v ? *v : ""); }},
    {"line", [](TScanner& s, const std::string* v) { s.SetCommentLine(v ? *v : ""); }},
    {"begin", [](TScanner& s, const std::string* v) { s.SetCommentBegin(v ? *v : ""); }},
    {"end", [](TScanner& s, const std::string* v) { s.SetCommentEnd(v ? *v : ""); }},
    {"case-sensitive", [](TScanner& s, const std::string*) { s.SetKeywordsCaseSensitive(true); }},
    {"identifiers", [](TScanner& s, const std::string*) { s.SetAllowIdentifier(true); }},
    {"no-identifiers", [](TScanner& s, const std::string*) { s.SetAllowIdentifier(false); }},
    {"figures", [](TScanner& s, const std::string*) { s.SetAllowFigures(true); }},
    {"no-figures", [](TScanner& s, const std::string*) { s.SetAllowFigures(false); }},
};

// Applies the settings of a "scanner:" or "set:" line, in order.
void Configure(TScanner& scanner, std::string_view settings) {
  const std::regex name(" *([a-z-]+)(=?)");
  std::cmatch match;
  while (std::regex_search(settings.data(), settings.data() + settings.size(), match, name,
                           std::regex_constants::match_continuous)) {
    const auto setting = kSettings.find(match[1]);
    if (setting == kSettings.end()) throw std::runtime_error("unknown setting '" + match[1].str() + "'");
    settings.remove_prefix(match.length(0));
    const std::string value = match.length(2) ? marlo::test::TakeQuoted(settings) : "";
    setting->second(scanner, match.length(2) ? &value : nullptr);
  }
  if (settings.find_first_not_of(' ') != std::string_view::npos)
    throw std::runtime_error("cannot read '" + std::string(settings) + "'");
}

TEST(Scanner, Tables) {
  TScanner scanner;
  int scans = 0;
  for (const auto& [number, text] : marlo::test::TableLines(MARLO_TEST_DATA_DIR "/scanner/tables.txt")) {
    SCOPED_TRACE("tables.txt:" + std::to_string(number));
    std::string_view line = text;
    try {
      if (line.starts_with("scanner:")) scanner = TScanner();
      if (line.starts_with("scanner:") || line.starts_with("set:")) {
        Configure(scanner, line.substr(line.find(':') + 1));
        continue;
      }
      scanner.Scan(marlo::test::TakeQuoted(line));
      if (!line.starts_with(" => ")) throw std::runtime_error("no ' => ' after the input");
      std::vector<std::string> expected;
      const std::string tokens(line.substr(4));
      const std::regex separator(R"( \| (?=tk))");
      for (std::sregex_token_iterator it(tokens.begin(), tokens.end(), separator, -1), end; it != end; ++it)
        expected.push_back(*it);
      EXPECT_EQ(Describe(scanner), expected);
      ++scans;
    } catch (const std::runtime_error& e) {
      FAIL() << "broken line: " << e.what();
    }
  }
  EXPECT_EQ(scans, 138);
}

// ---- keywords ----

// Every entry of the standard list is found in any case, which exercises the
// binary search over words with '#' and '-' (the search's other shapes are in
// tables.txt).
TEST(ScannerKeywords, StandardWordsInAnyCase) {
  TScanner scanner;
  scanner.ConfigureForPreprocessor(ListOf(StandardBosTokens()));
  for (const auto& word : StandardBosTokens()) {
    std::string upper = word;
    std::string mixed = word;
    for (std::size_t i = 0; i < word.size(); ++i) {
      upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[i])));
      if (i % 2 == 0) mixed[i] = upper[i];
    }
    for (const std::string& text : {word, upper, mixed}) {
      scanner.Scan(text);
      ASSERT_EQ(scanner.Count(), 2) << text;
      EXPECT_EQ(scanner.Token(0)->Kind, K::tkKeyword) << text;
      EXPECT_EQ(scanner.Token(0)->Text, text);
    }
  }
}

TEST(ScannerKeywords, ListIsACopyKeepingEverySpelling) {
  TCsStringList source = ListOf({"turn", "Move", "piece", "move"});
  TScanner scanner;
  scanner.SetKeywords(source);
  source.Clear();
  source.Add("sleep");
  scanner.Scan("sleep MOVE");
  EXPECT_EQ(scanner.Token(0)->Kind, K::tkIdentifier);
  EXPECT_EQ(scanner.Token(1)->Kind, K::tkKeyword);
  // Both spellings were kept, so the case-sensitive mode still knows each.
  scanner.SetKeywordsCaseSensitive(true);
  EXPECT_TRUE(scanner.Keywords().CaseSensitive());
  scanner.Scan("Move move MOVE");
  EXPECT_EQ(Describe(scanner), std::vector<std::string>({"tkKeyword 'Move' 1:1@0", "tkKeyword 'move' 1:6@5",
                                                         "tkIdentifier 'MOVE' 1:11@10", "tkEnd '' 1:11@10"}));
}

// ---- settings and lists ----

// The preprocessor's configuration is checked in the random test, against
// its setters one by one.
TEST(ScannerSettings, Defaults) {
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

TEST(ScannerSettings, StandardLists) {
  const auto& bos = StandardBosTokens();
  ASSERT_EQ(bos.size(), 34u);
  EXPECT_EQ(bos.front(), "#endif");
  EXPECT_EQ(bos[8], "attach-unit");
  EXPECT_EQ(bos.back(), "wait-for-turn");
  EXPECT_EQ(DirectiveTokens(),
            (std::vector<std::string>{"#define", "#ifndef", "#include", "#undef", "#endif", "#else", "#ifdef", "#if"}));
  for (const auto& d : DirectiveTokens()) EXPECT_EQ(std::count(bos.begin(), bos.begin() + 8, d), 1) << d;
}

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

TEST(ScannerTokenFiles, LoadExistingAndMissing) {
  const marlo::test::ScratchDir dir("marlo_scanner_test");
  const std::string file = dir.Write("bos.tok", "piece\r\nMove\nturn\n").string();
  TCsStringList tokens = ListOf({"old"});
  ASSERT_TRUE(LoadTokenFile(file, tokens));
  EXPECT_EQ(tokens.Text(), "piece\r\nMove\r\nturn\r\n");

  TScanner scanner;
  scanner.SetKeywords(tokens);
  scanner.Scan("MOVE old");
  EXPECT_EQ(scanner.Token(0)->Kind, K::tkKeyword);
  EXPECT_EQ(scanner.Token(1)->Kind, K::tkIdentifier);

  TCsStringList kept = ListOf({"old"});
  EXPECT_FALSE(LoadTokenFile((dir / "missing.tok").string(), kept));
  EXPECT_FALSE(LoadTokenFile(dir.path().string(), kept));
  EXPECT_FALSE(LoadTokenFile("", kept));
  EXPECT_EQ(kept.Text(), "old\r\n");
}

// ---- token readers ----

std::vector<std::string> ReadAll(TokenReader& reader) {
  std::vector<std::string> tokens;
  for (TToken token; reader.Next(token);) tokens.push_back(Describe(token));
  return tokens;
}

TEST(TokenReader, ScanningOnASecondThreadGivesTheSameTokens) {
  TScanner tokens;
  tokens.ConfigureForPreprocessor(ListOf(StandardBosTokens()));
  for (const std::string& text : {std::string(), std::string("x"), std::string("/* open\n comment"),
                                  std::string(30000, 'a') + " b 0x1F $g 'q' \"s\"\r\n// c\n"}) {
    std::string longText;
    for (int i = 0; i < 3000; ++i) longText += text + " call-script  f" + std::to_string(i) + " (1, 2);\n";
    for (const std::string* input : {&text, &std::as_const(longText)}) {
      ScannerReader direct(tokens, *input);
      ThreadedTokenReader threaded(std::make_unique<ScannerReader>(tokens, *input));
      EXPECT_EQ(ReadAll(direct), ReadAll(threaded)) << input->size();
    }
  }
}

TEST(TokenReader, StoppingEarlyEndsTheScanningThread) {
  const std::string word(5 << 20, 'x');
  const std::string text = word + " y z";
  ThreadedTokenReader reader(std::make_unique<ScannerReader>(TScanner(), text));
  TToken token;
  ASSERT_TRUE(reader.Next(token));
  EXPECT_EQ(token.Text.size(), word.size());
  // Destroyed here with tokens unread: must not hang.
}

// A source that fails after `tokens` tokens, as a scanner out of memory would.
class FailingReader : public TokenReader {
 public:
  explicit FailingReader(int tokens) : left_(tokens) {}
  bool Next(TToken& token) override {
    if (left_-- == 0) throw std::bad_alloc();
    token.Text = "x";
    return true;
  }

 private:
  int left_;
};

TEST(TokenReader, AFailureOnTheScanningThreadReachesTheReader) {
  ThreadedTokenReader reader(std::make_unique<FailingReader>(5000));
  TToken token;
  int read = 0;
  EXPECT_THROW(while (reader.Next(token))++ read, std::bad_alloc);
  EXPECT_LE(read, 5000);  // the batch under way when it failed is lost
}

// ---- any bytes ----

// Random inputs of pieces and bytes under many settings. A plain scan keeps
// its invariants: one tkEnd, at the end; positions that never go back (lines
// and columns are in the tables); the text of numbers, special characters
// and (where identifiers are plain runs of the input) words copied from the
// input. The preprocessor's one-pass configuration reads as its setters one
// by one. And Next reads token by token what Scan lists, whatever the
// handler does.
TEST(ScannerRobustness, RandomInputsUnderManySettings) {
  const std::vector<std::string> pieces = Split(
      "/*|*/|//|{|}|\r\n|\r|\n|0x|0X1f|$|$ff|\"|'|0|09|1.|,5|1,2|ab|x9|Spin|piece|Piece|pIECE|MOVE|#|-|_|#define|"
      "#DEFINE|#ifDef| |    |\t|\0|call-script|averyveryverylongname_01"s,
      '|');
  struct Settings {
    std::string additional, special, line, begin, end;
    bool figures, identifiers, caseSensitive;
    bool plainIdentifiers;  // identifiers are copies of the input
  };
  const std::vector<Settings> settings = {
      {"", "", "//", "{", "}", true, true, false, true},
      {"#-_", "#()*+,-./;<=>[]{|}", "//", "/*", "*/", true, true, false, true},  // the preprocessor's (checked)
      {"\n\r\0 \"$'0"s, "\t\r\n", "\n", "\r", "", true, true, false, false},
      {"", "\n\r\0"s, "", "*", "\r\n", true, true, false, true},
      {"*", "", "**", "**", "**", true, true, false, true},
      {"\r\n_", ";\n", "#", "<", ">", true, true, true, false},
      {" \t$0", "\"'", "", "/*", "", false, false, false, false},
      {"", "\0\r"s, "\n", "\r", "*/", false, true, true, true},
  };
  TScanner preprocessor;
  // Settings its configuration must undo.
  preprocessor.SetKeywordsCaseSensitive(true);
  preprocessor.SetCommentLine(";");
  preprocessor.SetAllowFigures(false);
  preprocessor.SetAllowIdentifier(false);
  preprocessor.SetAdditionalChars("$");
  preprocessor.ConfigureForPreprocessor(ListOf(StandardBosTokens()));

  std::mt19937 rng(2024);
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
  for (const Settings& s : settings) {
    TScanner scanner;
    scanner.SetAdditionalChars(s.additional);
    scanner.SetSpecialChars(s.special);
    scanner.SetCommentLine(s.line);
    scanner.SetCommentBegin(s.begin);
    scanner.SetCommentEnd(s.end);
    scanner.SetAllowFigures(s.figures);
    scanner.SetAllowIdentifier(s.identifiers);
    scanner.SetKeywords(ListOf(StandardBosTokens()));
    scanner.SetKeywordsCaseSensitive(s.caseSensitive);
    for (round = 0; round < 3000; ++round) {
      std::string input;
      for (int n = static_cast<int>(rng() % 48); n > 0; --n) {
        if (rng() % 3) {
          input += pieces[rng() % pieces.size()];
        } else {
          input.push_back(static_cast<char>(rng() % 256));
        }
      }
      SCOPED_TRACE("input: \"" + Escaped(input) + "\"");
      scanner.SetOnTokenRead(nullptr);
      scanner.Scan(input);
      ASSERT_GE(scanner.Count(), 1);
      int lastPosition = 0;
      for (int i = 0; i < scanner.Count(); ++i) {
        const TToken& t = *scanner.Token(i);
        ASSERT_EQ(t.Kind == K::tkEnd, i + 1 == scanner.Count());
        ASSERT_GE(t.Position, lastPosition);
        ASSERT_LE(t.Position, static_cast<int>(input.size()));
        lastPosition = t.Position;
        if (t.Kind == K::tkComment || t.Kind == K::tkEnd) continue;
        const bool copied = t.Kind == K::tkInteger || t.Kind == K::tkFloat || t.Kind == K::tkSpecialChar ||
                            ((t.Kind == K::tkIdentifier || t.Kind == K::tkKeyword) && s.plainIdentifiers);
        if (copied) {
          ASSERT_EQ(input.substr(static_cast<std::size_t>(t.Position), t.Text.size()), t.Text);
        }
      }
      if (&s == &settings[1]) {
        const std::vector<std::string> bySetters = Describe(scanner);
        preprocessor.Scan(input);
        ASSERT_EQ(Describe(preprocessor), bySetters);
      }

      scanner.SetOnTokenRead(round % 4 ? handler : nullptr);
      abs = 0;
      scanner.Scan(input);
      const std::vector<std::string> listed = Describe(scanner);
      abs = 0;
      scanner.Begin(input);
      std::vector<std::string> read;
      TToken token;
      token.Text = "left over";
      while (scanner.Next(token)) read.push_back(Describe(token));
      ASSERT_EQ(read, listed);
      EXPECT_FALSE(scanner.Next(token));
    }
  }
}

}  // namespace
}  // namespace marlo::core
