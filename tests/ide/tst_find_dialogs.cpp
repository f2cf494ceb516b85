// The Find and Replace dialogs: their captions, the commands they report
// with the text and options set, and buttons that wait for a search text.
#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "ide/find_dialogs.h"

using marlo::ide::TFindDialog;
using marlo::ide::TReplaceDialog;
using marlo::ide::TSearchOptions;

namespace {

QStringList Captions(const QWidget& dialog) {
  QStringList captions;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) captions << label->text();
  for (const QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) captions << button->text();
  captions.sort();
  return captions;
}

}  // namespace

class TstFindDialogs : public QObject {
  Q_OBJECT
 private slots:
  void captions() {
    TFindDialog find;
    QCOMPARE(find.windowTitle(), QStringLiteral("Find"));
    QStringList expected{"Fi&nd what:", "Match &whole word only", "Match &case", "&Up", "&Down", "&Find Next",
                         "Cancel"};
    expected.sort();
    QCOMPARE(Captions(find), expected);

    TReplaceDialog replace;
    QCOMPARE(replace.windowTitle(), QStringLiteral("Replace"));
    expected << "Re&place with:"
             << "&Replace"
             << "Replace &All";
    expected.sort();
    QCOMPARE(Captions(replace), expected);
    QVERIFY(!replace.isModal());
  }

  void findNext() {
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
    QCOMPARE(spy[0][0].toString(), QStringLiteral("a?c"));
    QCOMPARE(spy[0][1].value<TSearchOptions>(), (TSearchOptions{false, true, true}));
    QVERIFY(dialog.isVisible());
    dialog.CancelButton()->click();
    QVERIFY(!dialog.isVisible());
  }

  // Each button reports its own command (0 Find Next, 1 Replace, 2 Replace
  // All) with the texts and options.
  void replace_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("command");
    QTest::newRow("find next") << QStringLiteral("&Find Next") << 0;
    QTest::newRow("replace") << QStringLiteral("&Replace") << 1;
    QTest::newRow("replace all") << QStringLiteral("Replace &All") << 2;
  }
  void replace() {
    QFETCH(QString, button);
    QFETCH(int, command);
    TReplaceDialog dialog;
    QSignalSpy findNext(&dialog, &TReplaceDialog::findNext);
    QSignalSpy replace(&dialog, &TReplaceDialog::replace);
    QSignalSpy replaceAll(&dialog, &TReplaceDialog::replaceAll);
    const QList<QSignalSpy*> spies{&findNext, &replace, &replaceAll};
    QPushButton* pushed = nullptr;
    for (QPushButton* candidate : dialog.findChildren<QPushButton*>())
      if (candidate->text() == button) pushed = candidate;
    QVERIFY(pushed);
    QVERIFY(!pushed->isEnabled());

    dialog.SetFindText("abc");
    dialog.SetReplaceText("x");
    const TSearchOptions options{false, false, true};
    dialog.SetOptions(options);
    QVERIFY(pushed->isEnabled());
    pushed->click();
    for (int i = 0; i < spies.size(); ++i) QCOMPARE(spies[i]->count(), i == command ? 1 : 0);
    const QList<QVariant> args = spies[command]->at(0);
    QCOMPARE(args.first().toString(), QStringLiteral("abc"));
    if (command > 0) QCOMPARE(args[1].toString(), QStringLiteral("x"));
    QCOMPARE(args.last().value<TSearchOptions>(), options);
  }
};

QTEST_MAIN(TstFindDialogs)
#include "tst_find_dialogs.moc"
