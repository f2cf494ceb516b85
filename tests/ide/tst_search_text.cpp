// The matching rules of Find and Replace on plain text: "?" and the 0x20
// case rule, whole words, both directions, where Find Next starts from a
// selection, and the Replace All loop run over a text with a selection.
#include <QTest>

#include "ide/search_text.h"
#include "tests/ide/test_rows.h"

using marlo::ide::FindMatch;
using marlo::ide::FindNext;
using marlo::ide::RunReplaceAll;
using marlo::ide::TReplaceAnswer;
using marlo::ide::TSearchMatch;
using marlo::ide::TSearchOptions;

namespace {

using marlo::ide::test::Options;
using marlo::ide::test::Row;

TReplaceAnswer ToAnswer(const QString& word) {
  if (word == u"Yes") return TReplaceAnswer::Yes;
  if (word == u"No") return TReplaceAnswer::No;
  if (word == u"YesToAll") return TReplaceAnswer::YesToAll;
  return TReplaceAnswer::Cancel;
}

}  // namespace

class TstSearchText : public QObject {
  Q_OBJECT
 private slots:
  // Flags: "u" up (else down), "c" match case, "w" whole word.
  void findMatch_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("s");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<int>("p");
    QTest::addColumn<QString>("sel");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("selStart");

    Row("a?c finds abc", "xxabc\r\n", "a?c", "", 0, "", 3, 3);
    Row("? with match case", "aBXc\r\n", "B?c", "c", 0, "", 2, 2);
    Row("? matches a question mark", "a?c\r\n", "a?c", "c", 0, "", 1, 1);
    Row("start is p + 1", "abcabc\r\n", "abc", "", 1, "", 4, 4);
    Row("selection equal to S is hopped", "ababab\r\n", "AB", "", 2, "ab", 5, 5);
    Row("other selection is not hopped", "ababab\r\n", "ab", "", 2, "xy", 3, 3);
    Row("empty search string", "abc\r\n", "", "", 0, "", 0, 0);

    Row("case off folds letters", "x ABC\r\n", "abc", "", 0, "", 3, 3);
    Row("case on keeps letters", "x ABC\r\n", "abc", "c", 0, "", 0, 0);
    Row("text [ matches {", "a[b\r\n", "{", "", 0, "", 2, 2);
    Row("text { does not match [", "a{b\r\n", "[", "", 0, "", 0, 0);
    Row("text ` matches @", "a`b\r\n", "@", "", 0, "", 2, 2);
    Row("text @ (64) does not match `", "a@b\r\n", "`", "", 0, "", 0, 0);
    Row("text z (122) matches Z", "az\r\n", "Z", "", 0, "", 2, 2);
    Row("text ^ matches ~", "a^\r\n", "~", "", 0, "", 2, 2);
    Row("case on: [ only itself", "a[b{\r\n", "{", "c", 0, "", 4, 4);
    Row("no fold beyond ASCII", "\u00e4\r\n", "\u00c4", "", 0, "", 0, 0);

    Row("whole word not at first char", "abc def\r\n", "abc", "w", 0, "", 0, 0);
    Row("whole word before CR", "abc def\r\n", "def", "w", 0, "", 4, 5);
    Row("underscore separates", "a_foo_b\r\n", "foo", "w", 0, "", 2, 3);
    Row("hyphen joins", "a-foo-b foo\r\n", "foo", "w", 0, "", 8, 9);
    Row("digits join", " foo1 foo\r\n", "foo", "w", 0, "", 6, 7);
    Row("whole word up passes over", " foo foox\r\n", "foo", "wu", 11, "", 1, 2);

    Row("up: last match ending by start", "ab ab ab\r\n", "ab", "u", 8, "", 7, 7);
    Row("up: match must end at start", "abcabc\r\n", "abc", "u", 5, "", 1, 1);
    Row("up: selection hopped", "ab ab ab\r\n", "ab", "u", 8, "ab", 4, 4);
    Row("up: nothing before start", "abc\r\n", "abc", "u", 2, "", 0, 0);

    Row("lines count CR LF", "one\r\ntwo\r\nthree\r\n", "three", "", 0, "", 11, 11);
    Row("? matches CR and LF", "one\r\ntwo\r\n", "e??t", "", 0, "", 3, 3);
    Row("whole word at line start", "x\r\nfoo\r\n", "foo", "w", 0, "", 3, 4);
    Row("code points count once", "\U0001F600 abc\r\n", "?abc", "", 0, "", 2, 2);
  }
  void findMatch() {
    QFETCH(QString, text);
    QFETCH(QString, s);
    QFETCH(QString, flags);
    QFETCH(int, p);
    QFETCH(QString, sel);
    QFETCH(int, position);
    QFETCH(int, selStart);
    const TSearchMatch match = FindMatch(text, s, Options(flags), p, sel);
    QCOMPARE(match.position, position);
    QCOMPARE(match.selStart, selStart);
    QCOMPARE(match.selLength, position ? s.toUcs4().size() : 0);
  }

  // Find Next from a selection (characters selFrom + 1 .. selTo).
  void findNext_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("s");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<int>("selFrom");
    QTest::addColumn<int>("selTo");
    QTest::addColumn<int>("position");

    Row("down: next one right after", "abab\r\n", "ab", "", 0, 2, 3);
    Row("up: previous one right before", "abab\r\n", "ab", "u", 2, 4, 1);
    Row("down: selected only one", "x ab\r\n", "AB", "", 2, 4, 0);
    Row("up: selected only one", "x ab\r\n", "ab", "u", 2, 4, 0);
    Row("wildcard: next after", "abcadc\r\n", "a?c", "", 0, 3, 4);
    Row("wildcard: up before", "abcadc\r\n", "a?c", "u", 3, 6, 1);
    Row("wildcard: selected only one", "abc\r\n", "a?c", "", 0, 3, 0);
    Row("0x20 rule: selected only one", "[x\r\n", "{X", "", 0, 2, 0);
    Row("whole word: shared separator", " ab ab \r\n", "ab", "w", 1, 3, 4);
    Row("whole word up: shared separator", " ab ab \r\n", "ab", "wu", 4, 6, 1);
    Row("caret only, down", "abab\r\n", "ab", "", 2, 2, 3);
    Row("caret only, up", "abab\r\n", "ab", "u", 2, 2, 1);
    Row("other selection is left behind", "xaby ab\r\n", "ab", "", 0, 4, 6);
    Row("from end of text up", "ab\r\nab\r\n", "ab", "u", 8, 8, 5);
  }
  void findNext() {
    QFETCH(QString, text);
    QFETCH(QString, s);
    QFETCH(QString, flags);
    QFETCH(int, selFrom);
    QFETCH(int, selTo);
    QFETCH(int, position);
    QCOMPARE(FindNext(text, s, Options(flags), selFrom, selTo).position, position);
  }

  // Replace All over a text with a selection, replacing the way the editor
  // does: the caret ends past the replacement in the search direction.
  void replaceAll_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("s");
    QTest::addColumn<QString>("r");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("replaced");

    const QString text = QStringLiteral("a.a.a\r\n");
    Row("yes each", text, "a", "bb", "", QStringList{"Yes", "Yes", "Yes"}, "bb.bb.bb\r\n", 3, 3);
    Row("yes no yes", text, "a", "bb", "", QStringList{"Yes", "No", "Yes"}, "bb.a.bb\r\n", 3, 2);
    Row("yes to all first", text, "a", "bb", "", QStringList{"YesToAll"}, "bb.bb.bb\r\n", 1, 3);
    Row("no then yes to all", text, "a", "bb", "", QStringList{"No", "YesToAll"}, "a.bb.bb\r\n", 2, 2);
    Row("cancel stops", text, "a", "bb", "", QStringList{"Yes", "Cancel"}, "bb.a.a\r\n", 2, 1);
    Row("no to all", text, "a", "bb", "", QStringList{"No", "No", "No"}, text, 3, 0);
    Row("up from the end", text, "a", "bb", "u", QStringList{"Yes", "Yes", "No"}, "a.bb.bb\r\n", 3, 2);
    Row("replacement holds S", text, "a", "aa", "", QStringList{"YesToAll"}, "aa.aa.aa\r\n", 1, 3);
    Row("replacement holds S, up", text, "a", "aa", "u", QStringList{"YesToAll"}, "aa.aa.aa\r\n", 1, 3);
    Row("whole word misses the first", "ab abc ab\r\n", "ab", "X", "w", QStringList{"YesToAll"}, "ab abc X\r\n", 1, 1);
    Row("empty replacement", "x--y--z\r\n", "--", "", "", QStringList{"YesToAll"}, "xyz\r\n", 1, 2);
  }
  void replaceAll() {
    QFETCH(QString, text);
    QFETCH(QString, s);
    QFETCH(QString, r);
    QFETCH(QString, flags);
    QFETCH(QStringList, answers);
    QFETCH(QString, expected);
    QFETCH(int, asked);
    QFETCH(int, replaced);
    const TSearchOptions options = Options(flags);
    // All ASCII, so characters and UTF-16 units agree.
    qsizetype selFrom = options.down ? 0 : text.size();
    qsizetype selTo = selFrom;
    TSearchMatch match;
    int questions = 0;
    const int count = RunReplaceAll(
        [&] {
          match = FindNext(text, s, options, selFrom, selTo);
          selFrom = match.selStart - 1;
          selTo = selFrom + match.selLength;
          return match.Found();
        },
        [&] { return questions < answers.size() ? ToAnswer(answers[questions++]) : TReplaceAnswer::Cancel; },
        [&] {
          text.replace(selFrom, selTo - selFrom, r);
          selTo = options.down ? selFrom + r.size() : selFrom;
          selFrom = selTo;
        });
    QCOMPARE(text, expected);
    QCOMPARE(questions, asked);
    QCOMPARE(count, replaced);
  }

  void question() {
    QCOMPARE(marlo::ide::ReplaceQuestion(QStringLiteral("%1"), QStringLiteral("b")),
             QStringLiteral("Replace this ocurrance of %1 with b?"));
  }
};

QTEST_APPLESS_MAIN(TstSearchText)
#include "tst_search_text.moc"
