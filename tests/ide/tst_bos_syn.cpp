// The two line highlighters: the table of tests/data/highlight/lines.txt (a
// line, the range it starts in and the highlighter's settings give the
// tokens and the range at the end of the line), then the attributes, the
// keyword list and the notifications that keep attached editors up to date.
#include <QTest>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "syntax/bos_syn.h"
#include "syntax/general_syn.h"
#include "tests/support/files.h"

using namespace marlo::ide;

namespace {

const char* KindName(BosTokenKind kind) {
  static const char* const kNames[] = {"Comment", "Identifier", "Key",    "Null",      "Number",
                                       "Space",   "String",     "Symbol", "Directive", "Unknown"};
  return kNames[static_cast<int>(kind)];
}

// The highlighters of tests/data/highlight/lines.txt by their names there.
const QStringList kSettings = {"constructed", "source", "ansi", "pas", "no-comments", "assembly", "assembly-c"};
std::unique_ptr<TCustomSyn> MakeSyn(const QString& settings) {
  if (settings.startsWith(QLatin1String("assembly"))) {
    auto syn = std::make_unique<TGeneralSyn>();
    ApplyAssemblyPageSettings(*syn);
    if (settings == QLatin1String("assembly-c")) syn->SetComments({csCStyle});
    return syn;
  }
  auto syn = std::make_unique<TBosSyn>();
  if (settings == QLatin1String("constructed")) return syn;
  ApplySourceWindowSettings(*syn);
  if (settings == QLatin1String("ansi")) syn->SetComments({csAnsiStyle});
  if (settings == QLatin1String("pas")) syn->SetComments({csPasStyle});
  if (settings == QLatin1String("no-comments")) syn->SetComments({});
  return syn;
}

const QStringList kRanges = {"none", "ansi", "brace", "c", "normal"};  // by their numbers

// Scans one line the way a painting editor does and lists its tokens as
// "Kind 'text'", bytes outside printable ASCII as \xNN.
QStringList Tokens(TCustomSyn& syn, const QByteArray& line) {
  syn.SetLine(std::string_view(line.constData(), static_cast<std::size_t>(line.size())));
  QStringList tokens;
  while (!syn.AtLineEnd()) {
    if (syn.TokenLength() <= 0 || tokens.size() > 1000) {
      tokens << QStringLiteral("<no progress>");
      break;
    }
    tokens << QString::fromStdString(std::string(KindName(syn.TokenKind())) + " '" +
                                     marlo::test::Escaped(syn.TokenText()) + "'");
    syn.Next();
  }
  return tokens;
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
  // Each line of tests/data/highlight/lines.txt, scanned from its start
  // range: the range at its end and the tokens.
  void lines_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("expected");
    const std::regex row(R"(([a-z-]+) ([a-z]+) (".*") => ([a-z]+(: .*)?))");
    for (const auto& [number, text] : marlo::test::TableLines(MARLO_SOURCE_DIR "/tests/data/highlight/lines.txt")) {
      std::smatch match;
      if (!std::regex_match(text, match, row) || !kSettings.contains(QString::fromStdString(match[1])))
        qFatal("lines.txt:%d: cannot read the line", number);
      const std::string quotedLine = match.str(3);
      std::string_view quoted = quotedLine;
      const std::string line = marlo::test::TakeQuoted(quoted);
      QTest::addRow("lines.txt:%d", number) << QString::fromStdString(match[1]) << QString::fromStdString(match[2])
                                            << QByteArray::fromStdString(line) << QString::fromStdString(match[4]);
    }
  }
  void lines() {
    QFETCH(QString, settings);
    QFETCH(QString, start);
    QFETCH(QByteArray, line);
    QFETCH(QString, expected);
    std::unique_ptr<TCustomSyn> syn = MakeSyn(settings);
    QVERIFY(kRanges.contains(start));
    syn->SetRange(static_cast<int>(kRanges.indexOf(start)));
    const QStringList tokens = Tokens(*syn, line);
    QCOMPARE(kRanges.value(syn->GetRange()) + (tokens.isEmpty() ? "" : ": ") + tokens.join(QStringLiteral(" | ")),
             expected);
    QCOMPARE(syn->TokenKind(), BosTokenKind::Null);
    QCOMPARE(syn->TokenLength(), 0);
  }

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
    QCOMPARE(Tokens(syn, "'a'"), (QStringList{"Unknown '''", "Identifier 'a'", "Unknown '''"}));
  }

  void keyWords() {
    TBosSyn syn;
    syn.SetKeyWords({"while", "Move", "MOVE", "a-b", "ZZ", "move"});
    QCOMPARE(syn.KeyWords(), (std::vector<std::string>{"A-B", "MOVE", "WHILE", "ZZ"}));
    QCOMPARE(Tokens(syn, "mOvE a-b zz a whil").join(u'|'),
             QStringLiteral("Key 'mOvE'|Space ' '|Key 'a-b'|Space ' '|Key 'zz'|Space ' '|Identifier 'a'|Space ' '|"
                            "Identifier 'whil'"));
    syn.SetKeyWords({});
    QCOMPARE(Tokens(syn, "move"), QStringList{"Identifier 'move'"});
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
