// Find, Replace and Replace All on a real source editor: the selection
// lands on the right bytes whatever comes before it and whatever line ends
// the document holds, Replace goes past a selected occurrence, and Replace
// All asks, replaces and undoes as the answers say.
#include <Qsci/qsciscintilla.h>

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include "ide/source_search.h"
#include "tests/ide/test_rows.h"
#include "tests/support/boxes.h"

using marlo::ide::TSearchOptions;

namespace {

using marlo::ide::test::Options;
using marlo::ide::test::Row;

using TBoxes = marlo::test::BoxRecorder;

const QString kNotFound = QStringLiteral("Search string not found");

long SelectionStart(const QsciScintilla& editor) { return editor.SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART); }

void PutCaret(QsciScintilla& editor, long position) {
  editor.SendScintilla(QsciScintilla::SCI_GOTOPOS,
                       static_cast<unsigned long>(position < 0 ? editor.length() : position));
}

}  // namespace

class TstSourceSearch : public QObject {
  Q_OBJECT
 private slots:
  // caret: where the search starts, in bytes (-1: the end); selStart: the
  // selection found, in bytes.
  void find_data() {
    QTest::addColumn<bool>("utf8");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("s");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<int>("caret");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<int>("selStart");

    Row("after non-ASCII", true, "\u00e4\u00f6\u00fc x = abc;\r\n", "abc", "", 0, 9, "abc", 11);
    Row("line after non-ASCII", true, "\u00e4\r\nabc\r\n", "abc", "", 0, 4, "abc", 4);
    Row("LF line ends count as CR LF", true, "x\nabc\n", "abc", "", 0, 4, "abc", 2);
    Row("CR line ends count as CR LF", true, "x\rabc\r", "abc", "", 0, 4, "abc", 2);
    Row("character beyond 16 bits", true, "\U0001F600 abc", "abc", "", 0, 3, "abc", 5);
    Row("byte mode", false, "\u00e9 abc\r\n", "abc", "", 0, 3, "abc", 2);
    Row("up from the end", true, "abc \u00e4 abc\r\n", "abc", "u", -1, 7, "abc", 7);
    Row("up from the caret", true, "abc \u00e4 abc\r\n", "abc", "u", 9, 1, "abc", 0);
    Row("across CR LF", true, "ab\r\ncd\r\n", "b??c", "", 0, 2, "b\r\nc", 1);
    Row("across LF", true, "ab\ncd\n", "b??c", "", 0, 2, "b\nc", 1);
    Row("whole word", true, "foo_bar bar\r\n", "bar", "w", 0, 4, "bar", 4);
    Row("into the missing last line end", true, "xab", "b?", "", 0, 3, "b", 2);
    Row("nothing beyond the end", true, "xab", "??", "", -1, 0, "", 0);
    Row("not found", true, "abc\r\n", "abd", "", 0, 0, "", 0);
  }
  void find() {
    QFETCH(bool, utf8);
    QFETCH(QString, text);
    QFETCH(QString, s);
    QFETCH(QString, flags);
    QFETCH(int, caret);
    QFETCH(int, position);
    QFETCH(QString, selected);
    QFETCH(int, selStart);
    TBoxes boxes;
    QsciScintilla editor;
    editor.setUtf8(utf8);
    editor.setText(text);
    PutCaret(editor, caret);

    QCOMPARE(marlo::ide::SearchEditor(editor, nullptr, s, Options(flags)), position);
    QCOMPARE(boxes.Texts(), position ? QStringList() : QStringList{kNotFound});
    if (position == 0) return;
    QCOMPARE(editor.selectedText(), selected);
    QCOMPARE(SelectionStart(editor), selStart);
  }

  // Find Next walks the occurrences one by one, both ways, and focuses the editor.
  void findNext() {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* other = new QLineEdit;
    auto* editor = new QsciScintilla;
    layout->addWidget(other);
    layout->addWidget(editor);
    editor->setUtf8(true);
    editor->setText(QStringLiteral("ab \u00e4b ab\r\nab\r\n"));
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    other->setFocus();

    TBoxes boxes;
    QList<qsizetype> found;
    for (int i = 0; i < 3; ++i) found << marlo::ide::SearchEditor(*editor, &window, "AB", Options(""));
    QCOMPARE(found, (QList<qsizetype>{1, 7, 11}));
    QTRY_VERIFY(editor->hasFocus());
    QCOMPARE(marlo::ide::SearchEditor(*editor, &window, "AB", Options("")), 0);
    QCOMPARE(boxes.Texts(), QStringList{kNotFound});
    QCOMPARE(boxes.asked[0].icon, QMessageBox::Information);
    QCOMPARE(boxes.asked[0].buttons, QMessageBox::Ok);

    found.clear();
    for (int i = 0; i < 2; ++i) found << marlo::ide::SearchEditor(*editor, &window, "ab", Options("u"));
    QCOMPARE(found, (QList<qsizetype>{7, 1}));
    QCOMPARE(SelectionStart(*editor), 0);
  }

  void replace() {
    TBoxes boxes;
    QsciScintilla editor;
    editor.setUtf8(true);
    editor.setText(QStringLiteral("abc abc abc\r\n"));
    editor.SendScintilla(QsciScintilla::SCI_SETSEL, 0UL, 3L);

    QVERIFY(marlo::ide::ReplaceInEditor(editor, nullptr, "abc", "\u00e4", Options("")));
    QCOMPARE(editor.text(), QStringLiteral("abc \u00e4 abc\r\n"));
    QVERIFY(marlo::ide::ReplaceInEditor(editor, nullptr, "abc", "\u00e4", Options("")));
    QCOMPARE(editor.text(), QStringLiteral("abc \u00e4 \u00e4\r\n"));
    QVERIFY(!marlo::ide::ReplaceInEditor(editor, nullptr, "abc", "\u00e4", Options("")));
    QCOMPARE(boxes.Texts(), QStringList{kNotFound});
    editor.undo();
    QCOMPARE(editor.text(), QStringLiteral("abc \u00e4 abc\r\n"));

    // Upwards the caret stays before the replacement, which holds S.
    PutCaret(editor, -1);
    QVERIFY(marlo::ide::ReplaceInEditor(editor, nullptr, "abc", "abcabc", Options("u")));
    QVERIFY(marlo::ide::ReplaceInEditor(editor, nullptr, "abc", "abcabc", Options("u")));
    QCOMPARE(editor.text(), QStringLiteral("abcabc \u00e4 abcabc\r\n"));
  }

  void replaceAll_data() {
    QTest::addColumn<QString>("flags");
    QTest::addColumn<QList<QMessageBox::StandardButton>>("answers");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("questions");
    QTest::addColumn<bool>("endsNotFound");

    using B = QMessageBox;
    Row("yes no yes", "", QList<B::StandardButton>{B::Yes, B::No, B::Yes}, "\u00e4 x abc\r\n\u00e4\r\n", 3, true);
    Row("yes to all", "", QList<B::StandardButton>{B::YesToAll}, "\u00e4 x \u00e4\r\n\u00e4\r\n", 1, true);
    Row("no, yes to all", "", QList<B::StandardButton>{B::No, B::YesToAll}, "abc x \u00e4\r\n\u00e4\r\n", 2, true);
    Row("cancel", "", QList<B::StandardButton>{B::Yes, B::Cancel}, "\u00e4 x abc\r\nabc\r\n", 2, false);
    Row("dismissed", "", QList<B::StandardButton>{B::Ok}, "abc x abc\r\nabc\r\n", 1, false);
    Row("up", "u", QList<B::StandardButton>{B::Yes, B::Yes, B::No}, "abc x \u00e4\r\n\u00e4\r\n", 3, true);
  }
  void replaceAll() {
    QFETCH(QString, flags);
    QFETCH(QList<QMessageBox::StandardButton>, answers);
    QFETCH(QString, expected);
    QFETCH(int, questions);
    QFETCH(bool, endsNotFound);
    const QString original = QStringLiteral("abc x abc\r\nabc\r\n");
    QsciScintilla editor;
    editor.setUtf8(true);
    editor.setText(original);
    PutCaret(editor, flags.contains(u'u') ? -1 : 0);
    TBoxes boxes(answers);

    marlo::ide::ReplaceAllInEditor(editor, nullptr, "abc", "\u00e4", Options(flags));
    QCOMPARE(editor.text(), expected);
    QStringList texts(questions, QStringLiteral("Replace this ocurrance of abc with \u00e4?"));
    if (endsNotFound) texts << kNotFound;
    QCOMPARE(boxes.Texts(), texts);
    for (int i = 0; i < questions; ++i) {
      QCOMPARE(boxes.asked[i].icon, QMessageBox::Question);
      QCOMPARE(boxes.asked[i].buttons,
               QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel | QMessageBox::YesToAll);
    }
    editor.undo();
    QCOMPARE(editor.text(), original);
  }
};

QTEST_MAIN(TstSourceSearch)
#include "tst_source_search.moc"
