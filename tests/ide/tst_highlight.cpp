// The two line highlighters and the lexer that styles a QScintilla editor
// through one. The highlighters: the table of tests/data/highlight/lines.txt
// (a line, the range it starts in and the highlighter's settings give the
// tokens and the range at the end of the line), the attributes, the keyword
// list and the notifications that keep attached editors up to date. The
// lexer: style bytes are the token kinds (tests/data/ide/styles.txt),
// comments reach across lines as they are opened and closed, colours come
// from the highlighter's attributes, and either side may go away first.
#include <Qsci/qsciscintilla.h>

#include <QtTest>
#include <cstdlib>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "editor/bos_syn_lexer.h"
#include "editor/highlighter_lexer.h"
#include "syntax/bos_syn.h"
#include "syntax/general_syn.h"
#include "tests/support/files.h"
#include "tests/support/qt_table.h"

using namespace marlo::ide;
using marlo::editor::THighlighterLexer;

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
      tokens << "<no progress>";
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

long Send(QsciScintilla& editor, unsigned int message, unsigned long wParam = 0, long lParam = 0) {
  return editor.SendScintilla(message, wParam, lParam);
}

// The style of every byte of a line, break included, as one digit each.
QString LineStyles(QsciScintilla& editor, int line) {
  const long start = Send(editor, QsciScintillaBase::SCI_POSITIONFROMLINE, line);
  long end = Send(editor, QsciScintillaBase::SCI_POSITIONFROMLINE, line + 1);
  if (end < start) end = Send(editor, QsciScintillaBase::SCI_GETLENGTH);
  QString styles;
  for (long pos = start; pos < end; ++pos)
    styles += QString::number(Send(editor, QsciScintillaBase::SCI_GETSTYLEAT, static_cast<unsigned long>(pos)));
  return styles;
}

int LineRange(QsciScintilla& editor, int line) {
  return static_cast<int>(Send(editor, QsciScintillaBase::SCI_GETLINESTATE, line));
}

// Scintilla keeps colours as 0xBBGGRR.
QColor StyleColor(QsciScintilla& editor, unsigned int message, int style) {
  const long bgr = Send(editor, message, static_cast<unsigned long>(style));
  return QColor(bgr & 0xff, (bgr >> 8) & 0xff, (bgr >> 16) & 0xff);
}

// QScintilla hands Qt's font weight over negated, which SCI_STYLEGETBOLD
// does not understand.
bool Bold(QsciScintilla& editor, int style) {
  return std::abs(Send(editor, QsciScintillaBase::SCI_STYLEGETWEIGHT, static_cast<unsigned long>(style))) > 400;
}

struct Fixture {
  Fixture() {
    ApplySourceWindowSettings(syn);
    editor.setUtf8(true);
    editor.setEolMode(QsciScintilla::EolUnix);
    lexer = NewSynLexer(syn, &editor);
    editor.setLexer(lexer);
  }
  void SetText(const char* text) {
    editor.setText(QString::fromUtf8(text));
    editor.recolor();
  }
  TBosSyn syn;
  QsciScintilla editor;
  THighlighterLexer* lexer;
};

constexpr int kC = static_cast<int>(BosRange::CComment);
constexpr int kN = static_cast<int>(BosRange::Normal);

}  // namespace

class TstHighlight : public QObject {
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
    QCOMPARE(kRanges.value(syn->GetRange()) + (tokens.isEmpty() ? "" : ": ") + tokens.join(" | "), expected);
    QCOMPARE(syn->TokenKind(), BosTokenKind::Null);
    QCOMPARE(syn->TokenLength(), 0);
  }

  // As constructed: no comments, strings or keywords, eight attributes in
  // the window's colours, every byte but blanks and controls in words.
  void construction() {
    TBosSyn syn;
    QCOMPARE(syn.LanguageName(), std::string("BosSyn"));
    QCOMPARE(syn.Range(), BosRange::Normal);
    QVERIFY(syn.Comments().Empty() && syn.StringStyle().Empty() && syn.KeyWords().empty());
    QStringList names;
    for (int i = 0; i < syn.AttributeCount(); ++i) {
      names << QString::fromStdString(syn.AttributeAt(i)->Name());
      QCOMPARE(syn.AttributeAt(i)->Background(), TSynColor::Window());
      QCOMPARE(syn.AttributeAt(i)->Foreground(), TSynColor::WindowText());
    }
    QCOMPARE(names.join(u','), "comment,identifier,number,reserved word,space,string,symbol,directive");
    QCOMPARE(syn.AttributeAt(7), &syn.DirectiveAttri());
    QVERIFY(syn.AttributeAt(8) == nullptr && syn.AttributeAt(-1) == nullptr);
    QCOMPARE(syn.CommentAttri().Style(), fsItalic);
    QCOMPARE(syn.KeyAttri().IntegerStyle(), 1);
    QCOMPARE(syn.NumberAttri().IntegerStyle(), 0);
    const std::bitset<256> word = syn.IdentifierChars();
    QVERIFY(!word.test(' ') && !word.test('\t') && word.test('!') && word.test('-') && word.test(255));
    QCOMPARE(word.count(), std::size_t(223));

    TGeneralSyn general;
    QCOMPARE(general.AttributeCount(), 7);
    QCOMPARE(general.AttributeAt(6)->Name(), std::string("symbol"));
    QVERIFY(general.AttributeAt(7) == nullptr && general.AttributeForKind(BosTokenKind::Directive) == nullptr);
  }

  // The colours of comments, strings and directives as the editor gets them
  // are in colours().
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
    QCOMPARE(syn.KeyAttri().Foreground(), syn_colors::kWhite);
    QCOMPARE(syn.KeyAttri().Style(), TFontStyles(0));
    QCOMPARE(syn.SpaceAttri().Foreground(), TSynColor::WindowText());

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
  void stylesAreTokenKinds_data() { marlo::test::TableRows("ide/styles.txt", "styles"); }
  void stylesAreTokenKinds() {
    const auto [text, styles] = marlo::test::Cells<2>();
    const QByteArray bytes = text.toUtf8();
    Fixture f;
    // Appended as bytes, so that a zero byte gets in too.
    f.editor.SendScintilla(QsciScintillaBase::SCI_APPENDTEXT, static_cast<unsigned long>(bytes.size()),
                           bytes.constData());
    f.editor.recolor();
    QStringList actual;
    for (int line = 0; line < f.editor.lines(); ++line) actual << LineStyles(f.editor, line);
    QCOMPARE(actual.join(u'|'), styles);
  }

  // Typing "/*" makes the lines below comment; typing "*/" ends it again.
  // Each line's state is the range at its start.
  void typedCommentReachesFollowingLines() {
    Fixture f;
    f.SetText("a\nb\nc\nd\n");
    QCOMPARE(LineStyles(f.editor, 2), "15");
    f.editor.setCursorPosition(1, 0);
    QTest::keyClicks(&f.editor, "/*");
    QCOMPARE(f.editor.text(1), "/*b\n");
    f.editor.recolor();
    QCOMPARE(LineStyles(f.editor, 1), "0005");
    QCOMPARE(LineStyles(f.editor, 2), "05");
    QCOMPARE(LineStyles(f.editor, 3), "05");
    QCOMPARE(LineRange(f.editor, 1), kN);
    QCOMPARE(LineRange(f.editor, 2), kC);
    QCOMPARE(LineRange(f.editor, 4), kC);

    f.editor.setCursorPosition(2, 1);
    QTest::keyClicks(&f.editor, "*/");
    f.editor.recolor();
    QCOMPARE(LineStyles(f.editor, 2), "0005");
    QCOMPARE(LineStyles(f.editor, 3), "15");
    QCOMPARE(LineRange(f.editor, 3), kN);
    QCOMPARE(LineRange(f.editor, 4), kN);
  }

  // Styling one changed line goes on through the lines whose start range
  // it changes and stops at the first one whose stored range still holds.
  void restylingStopsAtAnUnchangedRange() {
    Fixture f;
    f.SetText("a\nb\nc\nd\ne\n");
    const auto lineStart = [&f](int line) {
      return static_cast<int>(Send(f.editor, QsciScintillaBase::SCI_POSITIONFROMLINE, line));
    };
    const auto styleLine = [&](int line) {
      f.lexer->styleText(lineStart(line), static_cast<int>(Send(f.editor, QsciScintillaBase::SCI_GETLINEENDPOSITION,
                                                                static_cast<unsigned long>(line))));
      return static_cast<int>(Send(f.editor, QsciScintillaBase::SCI_GETENDSTYLED));
    };
    const int end = f.editor.length();

    f.editor.insertAt("/*", 1, 0);
    QCOMPARE(styleLine(1), end + 2);
    QCOMPARE(LineStyles(f.editor, 4), "05");
    QCOMPARE(LineRange(f.editor, 5), kC);

    f.editor.insertAt("*/", 2, 1);
    QCOMPARE(styleLine(2), end + 4);
    QCOMPARE(LineStyles(f.editor, 4), "15");
    QCOMPARE(LineRange(f.editor, 5), kN);

    f.editor.insertAt("x", 3, 0);
    QCOMPARE(styleLine(3), lineStart(4));
    QCOMPARE(LineStyles(f.editor, 3), "115");
  }

  // Opening a comment on the first line of a long text restyles to its end,
  // and closing it brings every line back; the work per edit stays linear.
  void longDocument() {
    Fixture f;
    QByteArray text;
    for (int i = 0; i < 20000; ++i) text += "  move base to x-axis [" + QByteArray::number(i) + "] speed [1];\n";
    f.editor.setText(QString::fromLatin1(text));
    f.editor.recolor();
    QCOMPARE(LineStyles(f.editor, 19999).left(6), "552222");
    f.editor.insertAt("/*", 0, 0);
    f.editor.recolor();
    QCOMPARE(LineStyles(f.editor, 19999).left(6), "000000");
    QCOMPARE(LineRange(f.editor, 20000), kC);
    f.editor.setSelection(0, 0, 0, 2);
    f.editor.removeSelectedText();
    f.editor.recolor();
    QCOMPARE(LineStyles(f.editor, 19999).left(6), "552222");
    QCOMPARE(LineRange(f.editor, 20000), kN);
  }

  // Attribute colours and styles become the editor's style colours and
  // fonts; the Null kind and blanks past the line end take the background.
  void colours() {
    Fixture f;
    QCOMPARE(StyleColor(f.editor, QsciScintillaBase::SCI_STYLEGETBACK, 1), QColor(0, 0, 128));
    QCOMPARE(StyleColor(f.editor, QsciScintillaBase::SCI_STYLEGETFORE, 1), QColor(255, 255, 0));
    QCOMPARE(StyleColor(f.editor, QsciScintillaBase::SCI_STYLEGETFORE, 0), QColor(192, 192, 192));
    QCOMPARE(StyleColor(f.editor, QsciScintillaBase::SCI_STYLEGETFORE, 6), QColor(0, 255, 255));
    QCOMPARE(StyleColor(f.editor, QsciScintillaBase::SCI_STYLEGETFORE, 8), QColor(0, 255, 0));
    QCOMPARE(StyleColor(f.editor, QsciScintillaBase::SCI_STYLEGETFORE, 9), QColor(255, 255, 0));
    QCOMPARE(StyleColor(f.editor, QsciScintillaBase::SCI_STYLEGETBACK, QsciScintillaBase::STYLE_DEFAULT),
             QColor(0, 0, 128));
    QVERIFY(Send(f.editor, QsciScintillaBase::SCI_STYLEGETITALIC, 0) != 0);
    QVERIFY(!Bold(f.editor, 2));
    QCOMPARE(f.lexer->description(3), "end of line");
    for (int style = 0; style < 10; ++style) QVERIFY(!f.lexer->description(style).isEmpty());

    f.syn.KeyAttri().SetStyle(fsBold | fsUnderline);
    f.syn.NumberAttri().SetForeground(TSynColor::Rgb(10, 20, 30));
    QVERIFY(Bold(f.editor, 2));
    QVERIFY(Send(f.editor, QsciScintillaBase::SCI_STYLEGETUNDERLINE, 2) != 0);
    QCOMPARE(StyleColor(f.editor, QsciScintillaBase::SCI_STYLEGETFORE, 4), QColor(10, 20, 30));

    // An editor that sets its font on the lexer directly keeps it through
    // later attribute changes.
    QFont big("Monospace");
    big.setPixelSize(20);
    f.lexer->setDefaultFont(big);
    f.syn.CommentAttri().SetStyle(fsBold);
    QCOMPARE(f.lexer->font(0).pixelSize(), 20);
    QVERIFY(f.lexer->font(0).bold() && !f.lexer->font(0).italic());
    QVERIFY(Bold(f.editor, 0));

    f.lexer->setBackground(Qt::black);
    QCOMPARE(StyleColor(f.editor, QsciScintillaBase::SCI_STYLEGETBACK, QsciScintillaBase::STYLE_DEFAULT),
             QColor(Qt::black));
    QCOMPARE(StyleColor(f.editor, QsciScintillaBase::SCI_STYLEGETBACK, 1), QColor(0, 0, 128));
  }

  // A change of the highlighter's rules restyles the whole text.
  void rulesChangeRestyles() {
    Fixture f;
    f.SetText("x /* a\nb\n");
    QCOMPARE(LineStyles(f.editor, 1), "05");
    f.syn.SetComments({});
    f.editor.recolor();
    QCOMPARE(LineStyles(f.editor, 0), "1579515");
    QCOMPARE(LineStyles(f.editor, 1), "15");
    f.syn.SetKeyWords({"b"});
    f.editor.recolor();
    QCOMPARE(LineStyles(f.editor, 1), "25");
  }

  // A shown editor styles as it paints, without being asked to.
  void paintingStyles() {
    Fixture f;
    f.editor.resize(300, 200);
    f.editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.editor));
    f.editor.setText("a /* b\nc\n");
    QTRY_COMPARE(LineStyles(f.editor, 1), "05");
    f.syn.SetComments({});
    QTRY_COMPARE(LineStyles(f.editor, 1), "15");
  }

  // One highlighter serves two editors, as on the Source and Preprocessed
  // pages; each keeps its own line ranges.
  void sharedHighlighter() {
    Fixture f;
    QsciScintilla other;
    other.setLexer(NewSynLexer(f.syn, &other));
    QCOMPARE(f.syn.EditorCount(), 2);
    f.SetText("/*\na\n");
    other.setText("b\n/*\nc\n");
    other.recolor();
    f.editor.recolor();
    QCOMPARE(LineStyles(f.editor, 1), "05");
    QCOMPARE(LineStyles(other, 0), "15");
    QCOMPARE(LineStyles(other, 2), "05");
  }

  void assemblyLexer() {
    TGeneralSyn syn;
    ApplyAssemblyPageSettings(syn);
    QsciScintilla editor;
    auto* lexer = NewSynLexer(syn, &editor);
    QCOMPARE(QByteArray(lexer->language()), QByteArray("General"));
    editor.setLexer(lexer);
    editor.setText("//main\n  0011:10021001\n");
    editor.recolor();
    QCOMPARE(LineStyles(editor, 0), "0000005");
    QCOMPARE(LineStyles(editor, 1), "5544449444444445");
  }

  void eitherSideMayGoFirst() {
    auto syn = std::make_unique<TBosSyn>();
    {
      QsciScintilla editor;
      editor.setLexer(NewSynLexer(*syn, &editor));
      QCOMPARE(syn->EditorCount(), 1);
    }
    QCOMPARE(syn->EditorCount(), 0);

    QsciScintilla editor;
    auto* lexer = NewSynLexer(*syn, &editor);
    editor.setLexer(lexer);
    editor.setText("a b\n");
    editor.recolor();
    QCOMPARE(LineStyles(editor, 0), "1515");
    syn.reset();
    QVERIFY(lexer->highlighter() == nullptr);
    editor.setText("c d\n");
    editor.recolor();
    QCOMPARE(LineStyles(editor, 0), "5555");
  }
};

QTEST_MAIN(TstHighlight)
#include "tst_highlight.moc"
