// Find and Replace: the matching rules on plain text ("?", the 0x20 case
// rule, whole words, both directions, where Find Next starts from a
// selection), then on a real editor whatever comes before the match and
// whatever line ends it holds, Replace and Replace All with their answers,
// and the two dialogs. The tables are in tests/data/ide/search.txt.
#include <Qsci/qsciscintilla.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

#include "ide/find_dialogs.h"
#include "ide/source_search.h"
#include "tests/support/boxes.h"
#include "tests/support/qt_table.h"

using namespace marlo::ide;
using marlo::test::Cells;
using marlo::test::TableRows;

namespace {

// "u" searches up, "c" matches case, "w" whole words.
TSearchOptions Options(const QString& flags) {
  return {!flags.contains(u'u'), flags.contains(u'c'), flags.contains(u'w')};
}

const QString kNotFound = "Search string not found";

long SelectionStart(const QsciScintilla& editor) { return editor.SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART); }

void PutCaret(QsciScintilla& editor, long position) {
  editor.SendScintilla(QsciScintilla::SCI_GOTOPOS,
                       static_cast<unsigned long>(position < 0 ? editor.length() : position));
}

// The captions of a dialog's labels and buttons, sorted, joined by "|".
QString Captions(const QWidget& dialog) {
  QStringList captions;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) captions << label->text();
  for (const QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) captions << button->text();
  captions.sort();
  return captions.join(u'|');
}

}  // namespace

class TstSearch : public QObject {
  Q_OBJECT
 private slots:
  void findMatch_data() { TableRows("ide/search.txt", "findMatch"); }
  void findMatch() {
    const auto [text, s, flags, p, sel, position, selStart] = Cells<7>();
    const TSearchMatch match = FindMatch(text, s, Options(flags), p.toInt(), sel);
    QCOMPARE(match.position, position.toInt());
    QCOMPARE(match.selStart, selStart.toInt());
    QCOMPARE(match.selLength, match.position ? s.toUcs4().size() : 0);
  }

  void findNext_data() { TableRows("ide/search.txt", "findNext"); }
  void findNext() {
    const auto [text, s, flags, selFrom, selTo, position] = Cells<6>();
    QCOMPARE(FindNext(text, s, Options(flags), selFrom.toInt(), selTo.toInt()).position, position.toInt());
  }

  void editorFind_data() { TableRows("ide/search.txt", "editorFind"); }
  void editorFind() {
    const auto [utf8, text, s, flags, caret, position, selected, selStart] = Cells<8>();
    marlo::test::BoxRecorder boxes;
    QsciScintilla editor;
    editor.setUtf8(utf8 == "1");
    editor.setText(text);
    PutCaret(editor, caret.toInt());
    QCOMPARE(SearchEditor(editor, nullptr, s, Options(flags)), position.toInt());
    QCOMPARE(boxes.Texts(), position == "0" ? QStringList{kNotFound} : QStringList());
    if (position == "0") return;
    QCOMPARE(editor.selectedText(), selected);
    QCOMPARE(SelectionStart(editor), selStart.toInt());
  }

  // Find Next walks the occurrences one by one, both ways, and focuses the editor.
  void editorFindNext() {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* other = new QLineEdit;
    auto* editor = new QsciScintilla;
    layout->addWidget(other);
    layout->addWidget(editor);
    editor->setUtf8(true);
    editor->setText("ab \u00e4b ab\r\nab\r\n");
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    other->setFocus();

    marlo::test::BoxRecorder boxes;
    QList<qsizetype> found;
    for (int i = 0; i < 3; ++i) found << SearchEditor(*editor, &window, "AB", Options(""));
    QCOMPARE(found, (QList<qsizetype>{1, 7, 11}));
    QTRY_VERIFY(editor->hasFocus());
    QCOMPARE(SearchEditor(*editor, &window, "AB", Options("")), 0);
    QCOMPARE(boxes.Texts(), QStringList{kNotFound});
    QCOMPARE(boxes.asked[0].icon, QMessageBox::Information);
    QCOMPARE(boxes.asked[0].buttons, QMessageBox::Ok);

    found.clear();
    for (int i = 0; i < 2; ++i) found << SearchEditor(*editor, &window, "ab", Options("u"));
    QCOMPARE(found, (QList<qsizetype>{7, 1}));
    QCOMPARE(SelectionStart(*editor), 0);
  }

  void editorReplace() {
    marlo::test::BoxRecorder boxes;
    QsciScintilla editor;
    editor.setUtf8(true);
    editor.setText("abc abc abc\r\n");
    editor.SendScintilla(QsciScintilla::SCI_SETSEL, 0UL, 3L);

    QVERIFY(ReplaceInEditor(editor, nullptr, "abc", "\u00e4", Options("")));
    QCOMPARE(editor.text(), "abc \u00e4 abc\r\n");
    QVERIFY(ReplaceInEditor(editor, nullptr, "abc", "\u00e4", Options("")));
    QCOMPARE(editor.text(), "abc \u00e4 \u00e4\r\n");
    QVERIFY(!ReplaceInEditor(editor, nullptr, "abc", "\u00e4", Options("")));
    QCOMPARE(boxes.Texts(), QStringList{kNotFound});
    editor.undo();
    QCOMPARE(editor.text(), "abc \u00e4 abc\r\n");

    // Upwards the caret stays before the replacement, which holds S.
    PutCaret(editor, -1);
    QVERIFY(ReplaceInEditor(editor, nullptr, "abc", "abcabc", Options("u")));
    QVERIFY(ReplaceInEditor(editor, nullptr, "abc", "abcabc", Options("u")));
    QCOMPARE(editor.text(), "abcabc \u00e4 abcabc\r\n");
  }

  void editorReplaceAll_data() { TableRows("ide/search.txt", "replaceAll"); }
  void editorReplaceAll() {
    const auto [text, s, r, flags, answers, expected, questions, replaced, endsNotFound] = Cells<9>();
    QsciScintilla editor;
    editor.setUtf8(true);
    editor.setText(text);
    PutCaret(editor, flags.contains(u'u') ? -1 : 0);
    const QHash<QString, QMessageBox::StandardButton> buttons{{"Yes", QMessageBox::Yes},
                                                              {"No", QMessageBox::No},
                                                              {"YesToAll", QMessageBox::YesToAll},
                                                              {"Cancel", QMessageBox::Cancel},
                                                              {"Ok", QMessageBox::Ok}};
    marlo::test::BoxRecorder boxes;
    for (const QString& answer : answers.split(u'|')) boxes.answers << buttons.value(answer);

    QCOMPARE(ReplaceAllInEditor(editor, nullptr, s, r, Options(flags)), replaced.toInt());
    QCOMPARE(editor.text(), expected);
    QStringList texts(questions.toInt(), "Replace this ocurrance of " + s + " with " + r + "?");
    if (endsNotFound == "1") texts << kNotFound;
    QCOMPARE(boxes.Texts(), texts);
    for (int i = 0; i < questions.toInt(); ++i) {
      QCOMPARE(boxes.asked[i].icon, QMessageBox::Question);
      QCOMPARE(boxes.asked[i].buttons,
               QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel | QMessageBox::YesToAll);
    }
    editor.undo();
    QCOMPARE(editor.text(), text);
  }

  void dialogCaptions() {
    TFindDialog find;
    TReplaceDialog replace;
    QCOMPARE(find.windowTitle(), "Find");
    QCOMPARE(replace.windowTitle(), "Replace");
    QCOMPARE(Captions(find), "&Down|&Find Next|&Up|Cancel|Fi&nd what:|Match &case|Match &whole word only");
    QCOMPARE(Captions(replace),
             "&Down|&Find Next|&Replace|&Up|Cancel|Fi&nd what:|Match &case|Match &whole word only|"
             "Re&place with:|Replace &All");
    QVERIFY(!replace.isModal());
  }

  void findDialog() {
    TFindDialog dialog;
    QSignalSpy spy(&dialog, &TFindDialog::findNext);
    QCOMPARE(dialog.Options(), (TSearchOptions{true, false, false}));
    QVERIFY(!dialog.FindNextButton()->isEnabled());

    dialog.Execute();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClicks(dialog.FindEdit(), "a?c");
    QVERIFY(dialog.FindNextButton()->isEnabled());
    dialog.SetOptions({false, true, true});
    QTest::keyClick(dialog.FindEdit(), Qt::Key_Return);  // Find Next is the default button

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy[0][0].toString(), "a?c");
    QCOMPARE(spy[0][1].value<TSearchOptions>(), (TSearchOptions{false, true, true}));
    QVERIFY(dialog.isVisible());
    dialog.CancelButton()->click();
    QVERIFY(!dialog.isVisible());
  }

  // Each button waits for a search text, then reports its own command (0
  // Find Next, 1 Replace, 2 Replace All) with the texts and options.
  void replaceDialog() {
    TReplaceDialog dialog;
    QSignalSpy findNext(&dialog, &TReplaceDialog::findNext);
    QSignalSpy replace(&dialog, &TReplaceDialog::replace);
    QSignalSpy replaceAll(&dialog, &TReplaceDialog::replaceAll);
    const QList<QSignalSpy*> spies{&findNext, &replace, &replaceAll};
    const QStringList buttons{"&Find Next", "&Replace", "Replace &All"};
    const TSearchOptions options{false, false, true};
    for (int command = 0; command < 3; ++command) {
      dialog.SetFindText(QString());
      QPushButton* pushed = nullptr;
      for (QPushButton* candidate : dialog.findChildren<QPushButton*>())
        if (candidate->text() == buttons[command]) pushed = candidate;
      QVERIFY(pushed);
      QVERIFY(!pushed->isEnabled());
      dialog.SetFindText("abc");
      dialog.SetReplaceText("x");
      dialog.SetOptions(options);
      QVERIFY(pushed->isEnabled());
      pushed->click();
      for (int i = 0; i < spies.size(); ++i) QCOMPARE(spies[i]->count(), i == command ? 1 : 0);
      const QList<QVariant> args = spies[command]->takeFirst();
      QCOMPARE(args.first().toString(), "abc");
      if (command > 0) QCOMPARE(args[1].toString(), "x");
      QCOMPARE(args.last().value<TSearchOptions>(), options);
    }
  }
};

QTEST_MAIN(TstSearch)
#include "tst_search.moc"
