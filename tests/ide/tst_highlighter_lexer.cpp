// The lexer that styles a QScintilla editor through a line highlighter:
// style bytes are the token kinds, comments reach across lines as they are
// opened and closed, colours come from the highlighter's attributes, and
// either side may go away first.
#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QTest>
#include <cstdlib>
#include <memory>

#include "editor/bos_syn_lexer.h"
#include "editor/highlighter_lexer.h"
#include "syntax/bos_syn.h"
#include "syntax/general_syn.h"

using namespace marlo::ide;
using marlo::editor::THighlighterLexer;

namespace {

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

class TstHighlighterLexer : public QObject {
  Q_OBJECT
 private slots:
  // Digits: 0 comment, 1 identifier, 2 keyword, 4 number, 5 space, 6 string,
  // 7 symbol, 8 directive, 9 unknown.
  void stylesAreTokenKinds_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("styles");
    QTest::newRow("statement") << QByteArray("piece base, x-1;\n") << QStringList{"22222511119511195", ""};
    QTest::newRow("directive and string")
        << QByteArray("#define A 1\ncall-script \"s'(1);\n") << QStringList{"888888888885", "22222222222566674995", ""};
    QTest::newRow("comment over lines") << QByteArray("a /* b\nc\n*/ d\n") << QStringList{"1500005", "05", "00515", ""};
    QTest::newRow("carriage returns") << QByteArray("x\r\n\r\n$f") << QStringList{"155", "55", "44"};
    QTest::newRow("non-ASCII by bytes") << QByteArray("\xC3\xA4\xC3\xB6 12 // \xC3\xA4\n")
                                        << QStringList{"99995445000005", ""};
    QTest::newRow("zero byte") << QByteArray("ab\0cd\n", 6) << QStringList{"115555", ""};
  }
  void stylesAreTokenKinds() {
    QFETCH(QByteArray, text);
    QFETCH(QStringList, styles);
    Fixture f;
    // Appended as bytes, so that a zero byte gets in too.
    f.editor.SendScintilla(QsciScintillaBase::SCI_APPENDTEXT, static_cast<unsigned long>(text.size()),
                           text.constData());
    f.editor.recolor();
    QStringList actual;
    for (int line = 0; line < f.editor.lines(); ++line) actual << LineStyles(f.editor, line);
    QCOMPARE(actual, styles);
  }

  // Typing "/*" makes the lines below comment; typing "*/" ends it again.
  // Each line's state is the range at its start.
  void typedCommentReachesFollowingLines() {
    Fixture f;
    f.SetText("a\nb\nc\nd\n");
    QCOMPARE(LineStyles(f.editor, 2), QStringLiteral("15"));
    f.editor.setCursorPosition(1, 0);
    QTest::keyClicks(&f.editor, "/*");
    QCOMPARE(f.editor.text(1), QStringLiteral("/*b\n"));
    f.editor.recolor();
    QCOMPARE(LineStyles(f.editor, 1), QStringLiteral("0005"));
    QCOMPARE(LineStyles(f.editor, 2), QStringLiteral("05"));
    QCOMPARE(LineStyles(f.editor, 3), QStringLiteral("05"));
    QCOMPARE(LineRange(f.editor, 1), kN);
    QCOMPARE(LineRange(f.editor, 2), kC);
    QCOMPARE(LineRange(f.editor, 4), kC);

    f.editor.setCursorPosition(2, 1);
    QTest::keyClicks(&f.editor, "*/");
    f.editor.recolor();
    QCOMPARE(LineStyles(f.editor, 2), QStringLiteral("0005"));
    QCOMPARE(LineStyles(f.editor, 3), QStringLiteral("15"));
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

    f.editor.insertAt(QStringLiteral("/*"), 1, 0);
    QCOMPARE(styleLine(1), end + 2);
    QCOMPARE(LineStyles(f.editor, 4), QStringLiteral("05"));
    QCOMPARE(LineRange(f.editor, 5), kC);

    f.editor.insertAt(QStringLiteral("*/"), 2, 1);
    QCOMPARE(styleLine(2), end + 4);
    QCOMPARE(LineStyles(f.editor, 4), QStringLiteral("15"));
    QCOMPARE(LineRange(f.editor, 5), kN);

    f.editor.insertAt(QStringLiteral("x"), 3, 0);
    QCOMPARE(styleLine(3), lineStart(4));
    QCOMPARE(LineStyles(f.editor, 3), QStringLiteral("115"));
  }

  // Opening a comment on the first line of a long text restyles to its end,
  // and closing it brings every line back; the work per edit stays linear.
  void longDocument() {
    Fixture f;
    QByteArray text;
    for (int i = 0; i < 20000; ++i) text += "  move base to x-axis [" + QByteArray::number(i) + "] speed [1];\n";
    f.editor.setText(QString::fromLatin1(text));
    f.editor.recolor();
    QCOMPARE(LineStyles(f.editor, 19999).left(6), QStringLiteral("552222"));
    f.editor.insertAt(QStringLiteral("/*"), 0, 0);
    f.editor.recolor();
    QCOMPARE(LineStyles(f.editor, 19999).left(6), QStringLiteral("000000"));
    QCOMPARE(LineRange(f.editor, 20000), kC);
    f.editor.setSelection(0, 0, 0, 2);
    f.editor.removeSelectedText();
    f.editor.recolor();
    QCOMPARE(LineStyles(f.editor, 19999).left(6), QStringLiteral("552222"));
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
    QCOMPARE(f.lexer->description(3), QStringLiteral("end of line"));
    for (int style = 0; style < 10; ++style) QVERIFY(!f.lexer->description(style).isEmpty());

    f.syn.KeyAttri().SetStyle(fsBold | fsUnderline);
    f.syn.NumberAttri().SetForeground(TSynColor::Rgb(10, 20, 30));
    QVERIFY(Bold(f.editor, 2));
    QVERIFY(Send(f.editor, QsciScintillaBase::SCI_STYLEGETUNDERLINE, 2) != 0);
    QCOMPARE(StyleColor(f.editor, QsciScintillaBase::SCI_STYLEGETFORE, 4), QColor(10, 20, 30));

    // An editor that sets its font on the lexer directly keeps it through
    // later attribute changes.
    QFont big(QStringLiteral("Monospace"));
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
    QCOMPARE(LineStyles(f.editor, 1), QStringLiteral("05"));
    f.syn.SetComments({});
    f.editor.recolor();
    QCOMPARE(LineStyles(f.editor, 0), QStringLiteral("1579515"));
    QCOMPARE(LineStyles(f.editor, 1), QStringLiteral("15"));
    f.syn.SetKeyWords({"b"});
    f.editor.recolor();
    QCOMPARE(LineStyles(f.editor, 1), QStringLiteral("25"));
  }

  // A shown editor styles as it paints, without being asked to.
  void paintingStyles() {
    Fixture f;
    f.editor.resize(300, 200);
    f.editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.editor));
    f.editor.setText(QStringLiteral("a /* b\nc\n"));
    QTRY_COMPARE(LineStyles(f.editor, 1), QStringLiteral("05"));
    f.syn.SetComments({});
    QTRY_COMPARE(LineStyles(f.editor, 1), QStringLiteral("15"));
  }

  // One highlighter serves two editors, as on the Source and Preprocessed
  // pages; each keeps its own line ranges.
  void sharedHighlighter() {
    Fixture f;
    QsciScintilla other;
    other.setLexer(NewSynLexer(f.syn, &other));
    QCOMPARE(f.syn.EditorCount(), 2);
    f.SetText("/*\na\n");
    other.setText(QStringLiteral("b\n/*\nc\n"));
    other.recolor();
    f.editor.recolor();
    QCOMPARE(LineStyles(f.editor, 1), QStringLiteral("05"));
    QCOMPARE(LineStyles(other, 0), QStringLiteral("15"));
    QCOMPARE(LineStyles(other, 2), QStringLiteral("05"));
  }

  void assemblyLexer() {
    TGeneralSyn syn;
    ApplyAssemblyPageSettings(syn);
    QsciScintilla editor;
    auto* lexer = NewSynLexer(syn, &editor);
    QCOMPARE(QByteArray(lexer->language()), QByteArray("General"));
    editor.setLexer(lexer);
    editor.setText(QStringLiteral("//main\n  0011:10021001\n"));
    editor.recolor();
    QCOMPARE(LineStyles(editor, 0), QStringLiteral("0000005"));
    QCOMPARE(LineStyles(editor, 1), QStringLiteral("5544449444444445"));
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
    editor.setText(QStringLiteral("a b\n"));
    editor.recolor();
    QCOMPARE(LineStyles(editor, 0), QStringLiteral("1515"));
    syn.reset();
    QVERIFY(lexer->highlighter() == nullptr);
    editor.setText(QStringLiteral("c d\n"));
    editor.recolor();
    QCOMPARE(LineStyles(editor, 0), QStringLiteral("5555"));
  }
};

QTEST_MAIN(TstHighlighterLexer)
#include "tst_highlighter_lexer.moc"
