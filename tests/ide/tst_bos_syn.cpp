// The two line highlighters as tables: a line, the range it starts in and
// the highlighter's settings give the tokens ("Kind text") and the range at
// the end of the line. Then the attributes, the keyword list and the
// notifications that keep attached editors up to date.
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "syntax/bos_syn.h"
#include "syntax/general_syn.h"

using namespace marlo::ide;

namespace {

enum Settings { kConstructed, kSourceWindow, kAnsi, kPas, kNoComments, kAssemblyPage, kAssemblyCStyle };

const char* KindName(BosTokenKind kind) {
  static const char* const kNames[] = {"Comment", "Identifier", "Key",    "Null",      "Number",
                                       "Space",   "String",     "Symbol", "Directive", "Unknown"};
  return kNames[static_cast<int>(kind)];
}

std::unique_ptr<TCustomSyn> MakeSyn(Settings settings) {
  if (settings == kAssemblyPage || settings == kAssemblyCStyle) {
    auto syn = std::make_unique<TGeneralSyn>();
    ApplyAssemblyPageSettings(*syn);
    if (settings == kAssemblyCStyle) syn->SetComments({csCStyle});
    return syn;
  }
  auto syn = std::make_unique<TBosSyn>();
  if (settings == kConstructed) return syn;
  ApplySourceWindowSettings(*syn);
  if (settings == kAnsi) syn->SetComments({csAnsiStyle});
  if (settings == kPas) syn->SetComments({csPasStyle});
  if (settings == kNoComments) syn->SetComments({});
  return syn;
}

// Scans one line the way a painting editor does and lists its tokens.
QStringList Tokens(TCustomSyn& syn, const QByteArray& line) {
  syn.SetLine(std::string_view(line.constData(), static_cast<std::size_t>(line.size())));
  QStringList tokens;
  while (!syn.AtLineEnd()) {
    if (syn.TokenLength() <= 0 || tokens.size() > 1000) {
      tokens << QStringLiteral("<no progress>");
      break;
    }
    tokens << QString::fromLatin1(KindName(syn.TokenKind())) + ' ' + QString::fromLatin1(syn.TokenText());
    syn.Next();
  }
  return tokens;
}

constexpr int kAnsiRange = static_cast<int>(BosRange::AnsiComment);
constexpr int kBraceRange = static_cast<int>(BosRange::BraceComment);
constexpr int kCRange = static_cast<int>(BosRange::CComment);
constexpr int kNormal = static_cast<int>(BosRange::Normal);

void AddColumns() {
  QTest::addColumn<int>("settings");
  QTest::addColumn<int>("startRange");
  QTest::addColumn<QByteArray>("line");
  QTest::addColumn<QStringList>("tokens");
  QTest::addColumn<int>("endRange");
}

void CheckRow() {
  QFETCH(int, settings);
  QFETCH(int, startRange);
  QFETCH(QByteArray, line);
  QFETCH(QStringList, tokens);
  QFETCH(int, endRange);
  std::unique_ptr<TCustomSyn> syn = MakeSyn(static_cast<Settings>(settings));
  syn->SetRange(startRange);
  QCOMPARE(Tokens(*syn, line), tokens);
  QCOMPARE(syn->GetRange(), endRange);
  QCOMPARE(syn->TokenKind(), BosTokenKind::Null);
  QCOMPARE(syn->TokenLength(), 0);
}

class RecordingSurface : public TSynDrawingSurface {
 public:
  void SetFillColor(TSynColor color) override { fills.push_back(color); }
  void SetTextColor(TSynColor color) override { texts.push_back(color); }
  void SetFontStyle(TFontStyles style) override { styles.push_back(style); }
  std::vector<TSynColor> fills, texts;
  std::vector<TFontStyles> styles;
};

}  // namespace

class TstBosSyn : public QObject {
  Q_OBJECT
 private slots:
  void bosLines_data() {
    AddColumns();
    const int s = kSourceWindow;
    const int n = kNormal;
    QTest::newRow("hyphenated keyword") << s << n << QByteArray("wait-for-turn") << QStringList{"Key wait-for-turn"}
                                        << n;
    QTest::newRow("keyword in any case") << s << n << QByteArray("WAIT-FOR-TURN Wait-For-Turn")
                                         << QStringList{"Key WAIT-FOR-TURN", "Space  ", "Key Wait-For-Turn"} << n;
    QTest::newRow("no hyphens, no keyword")
        << s << n << QByteArray("WaitForTurn") << QStringList{"Identifier WaitForTurn"} << n;
    QTest::newRow("minus inside a word") << s << n << QByteArray("x-1") << QStringList{"Identifier x-1"} << n;
    QTest::newRow("statement") << s << n << QByteArray("\tturn base to y-axis <90> now;")
                               << QStringList{"Space \t", "Key turn",  "Space  ",   "Identifier base",
                                              "Space  ",  "Key to",    "Space  ",   "Identifier y-axis",
                                              "Space  ",  "Unknown <", "Number 90", "Unknown >",
                                              "Space  ",  "Key now",   "Unknown ;"}
                               << n;
    QTest::newRow("else is a keyword") << s << n << QByteArray("else static-var")
                                       << QStringList{"Key else", "Space  ", "Key static-var"} << n;
    QTest::newRow("keyword operators in any case")
        << s << n << QByteArray("and OR Not xOr")
        << QStringList{"Key and", "Space  ", "Key OR", "Space  ", "Key Not", "Space  ", "Key xOr"} << n;
    QTest::newRow("keyword operators only as whole words")
        << s << n << QByteArray("andy or-x nota")
        << QStringList{"Identifier andy", "Space  ", "Identifier or-x", "Space  ", "Identifier nota"} << n;
    QTest::newRow("leading minus") << s << n << QByteArray("-5") << QStringList{"Unknown -", "Number 5"} << n;
    QTest::newRow("exponent") << s << n << QByteArray("1.5e3") << QStringList{"Number 1.5e3"} << n;
    QTest::newRow("range dots") << s << n << QByteArray("1..5")
                                << QStringList{"Number 1", "Unknown .", "Unknown .", "Number 5"} << n;
    QTest::newRow("no sign after E") << s << n << QByteArray("2E-3x")
                                     << QStringList{"Number 2E", "Unknown -", "Number 3", "Identifier x"} << n;
    QTest::newRow("hexadecimal") << s << n << QByteArray("$1fZ") << QStringList{"Number $1f", "Identifier Z"} << n;
    QTest::newRow("dollar alone") << s << n << QByteArray("$ x") << QStringList{"Number $", "Space  ", "Identifier x"}
                                  << n;
    QTest::newRow("directive") << s << n << QByteArray("#include \"sfxtype.h\"")
                               << QStringList{"Directive #include \"sfxtype.h\""} << n;
    QTest::newRow("directive opens no comment")
        << s << n << QByteArray("  #define A /* b") << QStringList{"Space   ", "Directive #define A /* b"} << n;
    QTest::newRow("double quote runs to the end")
        << s << n << QByteArray("\"abc\" more") << QStringList{"String \"abc\" more"} << n;
    QTest::newRow("apostrophe closes a double-quoted string")
        << s << n << QByteArray("\"it's\" x") << QStringList{"String \"it'", "Identifier s", "String \" x"} << n;
    QTest::newRow("two apostrophes after the quote")
        << s << n << QByteArray("\"''a' b") << QStringList{"String \"''a'", "Space  ", "Identifier b"} << n;
    QTest::newRow("apostrophe is unknown")
        << s << n << QByteArray("'a'") << QStringList{"Unknown '", "Identifier a", "Unknown '"} << n;
    QTest::newRow("string takes the carriage return")
        << s << n << QByteArray("\"ab\rc") << QStringList{"String \"ab\r", "Identifier c"} << n;
    QTest::newRow("C comment opens") << s << n << QByteArray("/* a") << QStringList{"Comment /* a"} << kCRange;
    QTest::newRow("C comment closes") << s << kCRange << QByteArray("b */ c")
                                      << QStringList{"Comment b */", "Space  ", "Identifier c"} << n;
    QTest::newRow("C comment goes on") << s << kCRange << QByteArray("still /* open")
                                       << QStringList{"Comment still /* open"} << kCRange;
    QTest::newRow("closing at the start")
        << s << kCRange << QByteArray("*/x") << QStringList{"Comment */", "Identifier x"} << n;
    QTest::newRow("slash star slash") << s << n << QByteArray("/*/ x")
                                      << QStringList{"Comment /*/", "Space  ", "Identifier x"} << n;
    QTest::newRow("slash star star slash") << s << n << QByteArray("/**/") << QStringList{"Comment /**/"} << n;
    QTest::newRow("comment between tokens")
        << s << n << QByteArray("a/*b*/c") << QStringList{"Identifier a", "Comment /*b*/", "Identifier c"} << n;
    QTest::newRow("slash alone") << s << n << QByteArray("a / b")
                                 << QStringList{"Identifier a", "Space  ", "Symbol /", "Space  ", "Identifier b"} << n;
    QTest::newRow("line comment") << s << n << QByteArray("x; // y /* z")
                                  << QStringList{"Identifier x", "Unknown ;", "Space  ", "Comment // y /* z"} << n;
    QTest::newRow("line comment without comment styles")
        << int(kNoComments) << n << QByteArray("// text") << QStringList{"Comment // text"} << n;
    QTest::newRow("slash star without comment styles")
        << int(kNoComments) << n << QByteArray("/* x")
        << QStringList{"Symbol /", "Unknown *", "Space  ", "Identifier x"} << n;
    QTest::newRow("round bracket is a symbol")
        << s << n << QByteArray("(* x") << QStringList{"Symbol (", "Unknown *", "Space  ", "Identifier x"} << n;
    QTest::newRow("round bracket and full stop")
        << s << n << QByteArray("(.") << QStringList{"Symbol (", "Unknown ."} << n;
    QTest::newRow("brace is a symbol") << s << n << QByteArray("{ x }")
                                       << QStringList{"Symbol {", "Space  ", "Identifier x", "Space  ", "Unknown }"}
                                       << n;
    QTest::newRow("ANSI comment opens") << int(kAnsi) << n << QByteArray("x (* y")
                                        << QStringList{"Identifier x", "Space  ", "Comment (* y"} << kAnsiRange;
    QTest::newRow("ANSI comment on one line")
        << int(kAnsi) << n << QByteArray("(**) b") << QStringList{"Comment (**)", "Space  ", "Identifier b"} << n;
    QTest::newRow("ANSI search starts after the star")
        << int(kAnsi) << n << QByteArray("(*)") << QStringList{"Comment (*)"} << kAnsiRange;
    QTest::newRow("ANSI comment closes") << int(kAnsi) << kAnsiRange << QByteArray("a *) b")
                                         << QStringList{"Comment a *)", "Space  ", "Identifier b"} << n;
    QTest::newRow("round bracket with full stop")
        << int(kAnsi) << n << QByteArray("(.x") << QStringList{"Symbol (.", "Identifier x"} << n;
    QTest::newRow("round bracket alone") << int(kAnsi) << n << QByteArray("(x")
                                         << QStringList{"Symbol (", "Identifier x"} << n;
    QTest::newRow("C comment off with ANSI on")
        << int(kAnsi) << n << QByteArray("/*") << QStringList{"Symbol /", "Unknown *"} << n;
    QTest::newRow("brace comment") << int(kPas) << n << QByteArray("{ a } b")
                                   << QStringList{"Comment { a }", "Space  ", "Identifier b"} << n;
    QTest::newRow("brace comment opens") << int(kPas) << n << QByteArray("{ a") << QStringList{"Comment { a"}
                                         << kBraceRange;
    QTest::newRow("brace comment closes")
        << int(kPas) << kBraceRange << QByteArray("x} y") << QStringList{"Comment x}", "Space  ", "Identifier y"} << n;
    QTest::newRow("empty line") << s << n << QByteArray() << QStringList{} << n;
    QTest::newRow("empty line in a C comment") << s << kCRange << QByteArray() << QStringList{} << kCRange;
    QTest::newRow("empty line in an ANSI comment")
        << int(kAnsi) << kAnsiRange << QByteArray() << QStringList{} << kAnsiRange;
    QTest::newRow("line breaks are blanks")
        << s << n << QByteArray("a\r\nb\rc\nd") << QStringList{"Identifier a", "Space \r\n", "Identifier b", "Space \r",
                                                               "Identifier c", "Space \n",   "Identifier d"}
        << n;
    QTest::newRow("line break inside a comment")
        << s << n << QByteArray("/* a\r\nb */") << QStringList{"Comment /* a", "Space \r\n", "Comment b */"} << n;
    QTest::newRow("zero byte ends the line") << s << n << QByteArray("ab\0cd", 5) << QStringList{"Identifier ab"} << n;
    QTest::newRow("bytes above 127") << s << n
                                     << QByteArray(
                                            "\xC3\xA4"
                                            "1")
                                     << QStringList{QString::fromLatin1("Unknown \xC3"),
                                                    QString::fromLatin1("Unknown \xA4"), "Number 1"}
                                     << n;
    QTest::newRow("control characters are blanks")
        << s << n << QByteArray("\x01\x0b\x0c\x1fx") << QStringList{"Space \x01\x0b\x0c\x1f", "Identifier x"} << n;
    QTest::newRow("no keywords as constructed")
        << int(kConstructed) << n << QByteArray("piece /*")
        << QStringList{"Identifier piece", "Space  ", "Symbol /", "Unknown *"} << n;
    QTest::newRow("unused range value scans normally")
        << s << 0 << QByteArray("x /*") << QStringList{"Identifier x", "Space  ", "Comment /*"} << kCRange;
  }
  void bosLines() { CheckRow(); }

  void generalLines_data() {
    AddColumns();
    const int a = kAssemblyPage;
    const int n = kNormal;
    QTest::newRow("separator") << a << n << QByteArray("////////") << QStringList{"Comment ////////"} << n;
    QTest::newRow("code line") << a << n << QByteArray("  0010:10021001")
                               << QStringList{"Space   ", "Number 0010", "Unknown :", "Number 10021001"} << n;
    QTest::newRow("hexadecimal address") << a << n << QByteArray("000B:00000000")
                                         << QStringList{"Number 000", "Identifier B", "Unknown :", "Number 00000000"}
                                         << n;
    QTest::newRow("keyword") << a << n << QByteArray("allocate_stack x")
                             << QStringList{"Key allocate_stack", "Space  ", "Identifier x"} << n;
    QTest::newRow("no hyphen in words") << a << n << QByteArray("wait-for")
                                        << QStringList{"Identifier wait", "Unknown -", "Identifier for"} << n;
    QTest::newRow("apostrophe string") << a << n << QByteArray("'it''s' x")
                                       << QStringList{"String 'it'", "String 's'", "Space  ", "Identifier x"} << n;
    QTest::newRow("double quote is unknown")
        << a << n << QByteArray("\"a\"") << QStringList{"Unknown \"", "Identifier a", "Unknown \""} << n;
    QTest::newRow("character codes") << a << n << QByteArray("#13#10 #x")
                                     << QStringList{"String #13", "String #10", "Space  ", "Unknown #", "Identifier x"}
                                     << n;
    QTest::newRow("slash star without comment styles")
        << a << n << QByteArray("/*") << QStringList{"Symbol /", "Unknown *"} << n;
    QTest::newRow("C comment when switched on") << int(kAssemblyCStyle) << n << QByteArray("x /* y")
                                                << QStringList{"Identifier x", "Space  ", "Comment /* y"} << kCRange;
  }
  void generalLines() { CheckRow(); }

  void construction() {
    TBosSyn syn;
    QCOMPARE(syn.LanguageName(), std::string("BosSyn"));
    QCOMPARE(syn.Range(), BosRange::Normal);
    QVERIFY(syn.Comments().Empty());
    QVERIFY(syn.StringStyle().Empty());
    QVERIFY(syn.KeyWords().empty());
    QCOMPARE(syn.AttributeCount(), 8);
    const char* const names[] = {"comment", "identifier", "number", "reserved word",
                                 "space",   "string",     "symbol", "directive"};
    for (int i = 0; i < 8; ++i) {
      QVERIFY(syn.AttributeAt(i) != nullptr);
      QCOMPARE(syn.AttributeAt(i)->Name(), std::string(names[i]));
      QCOMPARE(syn.AttributeAt(i)->Background(), TSynColor::Window());
      QCOMPARE(syn.AttributeAt(i)->Foreground(), TSynColor::WindowText());
    }
    QCOMPARE(syn.AttributeAt(7), &syn.DirectiveAttri());
    QVERIFY(syn.AttributeAt(8) == nullptr);
    QVERIFY(syn.AttributeAt(-1) == nullptr);
    QCOMPARE(syn.CommentAttri().Style(), fsItalic);
    QCOMPARE(syn.KeyAttri().IntegerStyle(), 1);
    QCOMPARE(syn.NumberAttri().IntegerStyle(), 0);
    const std::bitset<256> word = syn.IdentifierChars();
    QVERIFY(!word.test(' ') && !word.test('\t') && word.test('!') && word.test('-') && word.test(255));
    QCOMPARE(word.count(), std::size_t(223));

    TGeneralSyn general;
    QCOMPARE(general.AttributeCount(), 7);
    QCOMPARE(general.AttributeAt(6)->Name(), std::string("symbol"));
    QVERIFY(general.AttributeAt(7) == nullptr);
    QVERIFY(general.AttributeForKind(BosTokenKind::Directive) == nullptr);
  }

  void sourceWindowSettings() {
    TBosSyn syn;
    ApplySourceWindowSettings(syn);
    QCOMPARE(syn.KeyWords().size(), std::size_t(42));
    QCOMPARE(syn.KeyWords().front(), std::string("ACCELERATE"));
    QCOMPARE(syn.KeyWords()[2], std::string("AND"));
    QCOMPARE(syn.KeyWords()[25], std::string("SET-SIGNAL-MASK"));
    QCOMPARE(syn.KeyWords().back(), std::string("XOR"));
    QVERIFY(syn.Comments() == CommentStyles{csCStyle});
    QVERIFY(syn.StringStyle() == StringStyles{ssCStyle});
    for (int i = 0; i < syn.AttributeCount(); ++i) QCOMPARE(syn.AttributeAt(i)->Background(), syn_colors::kNavy);
    QCOMPARE(syn.CommentAttri().Foreground(), syn_colors::kSilver);
    QCOMPARE(syn.CommentAttri().Style(), fsItalic);
    QCOMPARE(syn.KeyAttri().Foreground(), syn_colors::kWhite);
    QCOMPARE(syn.KeyAttri().Style(), TFontStyles(0));
    QCOMPARE(syn.SpaceAttri().Foreground(), TSynColor::WindowText());
    QCOMPARE(syn.DirectiveAttri().Foreground(), syn_colors::kLime);
    QCOMPARE(syn.StringAttri().Foreground(), syn_colors::kAqua);

    // The dispatch table was built before the string style was stored.
    syn.SetStringStyle({ssPasStyle});
    QCOMPARE(Tokens(syn, "'a'"), (QStringList{"Unknown '", "Identifier a", "Unknown '"}));
  }

  void keyWords() {
    TBosSyn syn;
    syn.SetKeyWords({"while", "Move", "MOVE", "a-b", "ZZ", "move"});
    QCOMPARE(syn.KeyWords(), (std::vector<std::string>{"A-B", "MOVE", "WHILE", "ZZ"}));
    QCOMPARE(Tokens(syn, "mOvE a-b zz a whil"), (QStringList{"Key mOvE", "Space  ", "Key a-b", "Space  ", "Key zz",
                                                             "Space  ", "Identifier a", "Space  ", "Identifier whil"}));
    syn.SetKeyWords({});
    QCOMPARE(Tokens(syn, "move"), QStringList{"Identifier move"});
  }

  // Every change reaches each attached editor once; an editor that was
  // attached twice counts once, and one that left hears nothing.
  void editorsAreTold() {
    auto syn = std::make_unique<TBosSyn>();
    int repaintsA = 0, repaintsB = 0, releasedA = 0;
    int a = 0, b = 0;
    syn->AddEditor(
        &a, [&] { ++repaintsA; }, [&] { ++releasedA; });
    syn->AddEditor(&a, [&] { repaintsA += 100; });
    syn->AddEditor(&b, [&] { ++repaintsB; });
    QCOMPARE(syn->EditorCount(), 2);

    syn->CommentAttri().SetForeground(syn_colors::kLime);
    syn->DirectiveAttri().SetIntegerStyle(fsBold | fsUnderline);
    syn->SetComments({csPasStyle});
    syn->SetKeyWords({"X"});
    syn->SetStringStyle({});
    QCOMPARE(repaintsA, 5);
    QCOMPARE(repaintsB, 5);
    QCOMPARE(syn->DirectiveAttri().Style(), TFontStyles(fsBold | fsUnderline));

    syn->CommentAttri().SetForeground(syn_colors::kLime);  // unchanged: no repaint
    QCOMPARE(repaintsA, 5);

    syn->RemoveEditor(&b);
    syn->NumberAttri().SetBackground(syn_colors::kAqua);
    QCOMPARE(repaintsA, 6);
    QCOMPARE(repaintsB, 5);
    syn.reset();
    QCOMPARE(releasedA, 1);
  }

  // While a surface is attached, each token sets its attribute's colours;
  // the end of the line leaves them as they were.
  void drawingSurface() {
    TBosSyn syn;
    ApplySourceWindowSettings(syn);
    RecordingSurface surface;
    syn.SetDrawingSurface(&surface);
    syn.SetLine("x ;/*c");
    while (!syn.AtLineEnd()) syn.Next();
    using namespace syn_colors;
    const std::vector<TSynColor> texts{kYellow, TSynColor::WindowText(), kYellow, kSilver};
    QVERIFY(surface.texts == texts);
    QCOMPARE(surface.fills.size(), std::size_t(4));
    QVERIFY(surface.styles == (std::vector<TFontStyles>{0, 0, 0, fsItalic}));
    syn.SetDrawingSurface(nullptr);
    syn.SetLine("y");
    QCOMPARE(surface.texts.size(), std::size_t(4));
  }
};

QTEST_APPLESS_MAIN(TstBosSyn)
#include "tst_bos_syn.moc"
