// The main window driven as a user would: command lines, opening, dropping,
// recent files, the message window's go-to, closing, and a second process
// handing its command line over.
#include <Qsci/qsciscintilla.h>

#include <QClipboard>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QToolBar>
#include <QUrl>
#include <QtTest>
#include <optional>

#include "ide/command_line.h"
#include "ide/main_window.h"
#include "ide/message_window.h"
#include "ide/recent_files.h"
#include "ide/reg_ini_plus.h"
#include "ide/single_instance.h"
#include "tests/support/boxes.h"
#include "tests/support/qt_files.h"

using namespace marlo::ide;

namespace {

constexpr char kGood[] = "piece base;\r\nCreate()\r\n{\r\n  show base;\r\n}\r\n";
// An error in row 4 of the preprocessed text, and one in row 5.
constexpr char kBad[] = "piece base;\r\nCreate()\r\n{\r\n  show ;\r\n}\r\n";
constexpr char kBadLater[] = "piece base;\r\nCreate()\r\n{\r\n  show base;\r\n  show ;\r\n}\r\n";

// Clipboard data that counts how often it is read.
class CountingMimeData : public QMimeData {
 public:
  explicit CountingMimeData(int& reads) : reads_(reads) {}
  QStringList formats() const override { return {QStringLiteral("text/plain")}; }

 protected:
  QVariant retrieveData(const QString&, QMetaType) const override {
    ++reads_;
    return QStringLiteral("text");
  }

 private:
  int& reads_;
};

// Takes the URLs the program hands to the desktop.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void Open(const QUrl& url) { urls << url; }
};

}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::optional<marlo::test::BoxRecorder> boxes_;

  QString Write(const QString& name, const QByteArray& text) {
    return marlo::test::WriteBytes(dir_.filePath(name), text);
  }

  std::unique_ptr<TForm1> NewForm() {
    auto store = std::make_unique<TRegIniPlus>(dir_.filePath(QStringLiteral("settings.ini")));
    store->WriteString(QStringLiteral("Marlo"), QStringLiteral("output dir"), dir_.filePath(QStringLiteral("out")));
    store->WriteBool(QStringLiteral("Marlo"), QStringLiteral("Auto save source on compile"), false);
    QDir(dir_.path()).mkpath(QStringLiteral("out"));
    return std::make_unique<TForm1>(std::move(store));
  }

  static QStringList Titles(TForm1& form) {
    QStringList titles;
    for (QMdiSubWindow* child : form.MdiArea()->subWindowList(QMdiArea::CreationOrder)) titles << child->windowTitle();
    return titles;
  }

 private slots:
  void init() { boxes_.emplace(); }
  void cleanup() { boxes_.reset(); }

  void commandLineOpensAndCompilesAfterDashC() {
    auto form = NewForm();
    const QString a = Write(QStringLiteral("a.bos"), kGood);
    const QString b = Write(QStringLiteral("b.bos"), kGood);
    const QString c = Write(QStringLiteral("c.bos"), kBad);
    form->ProcessCommandLine(CommandLineFromArguments({CurrentProgramPath(), a, QStringLiteral("-C"), b, c}));

    QCOMPARE(Titles(*form), (QStringList{QStringLiteral("Messages"), a, b, c}));
    const QStringList lines = form->Messages().Lines();
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QStringLiteral("Compiling file '%1'").arg(b));
    QCOMPARE(lines[1], QStringLiteral("Compile completed successfully"));
    QCOMPARE(lines[2], QStringLiteral("Compiling file '%1'").arg(c));
    QVERIFY2(lines[3].startsWith(QLatin1String("[4: ")), qPrintable(lines[3]));
    QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("out/a.cob"))));
    QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("out/b.cob"))));
    QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("out/c.cob"))));
  }

  void openingAnOpenPathIgnoringCaseDoesNotReload() {
    auto form = NewForm();
    const QString path = Write(QStringLiteral("same.bos"), "first\r\n");
    form->OpenSourceFile(path);
    Write(QStringLiteral("same.bos"), "second\r\n");
    form->NewSourceWindow();
    form->OpenSourceFile(path.toUpper());
    QCOMPARE(form->SourceWindows().size(), 2);
    QCOMPARE(form->ActiveSourceWindow()->FileName(), path);
    QCOMPARE(form->ActiveSourceWindow()->SourceCode()->text(), QStringLiteral("first\r\n"));
  }

  void relativePathsBecomeAbsolute_data() {
    QTest::addColumn<QString>("given");
    QTest::newRow("plain") << "rel.bos";
    QTest::newRow("dot") << "./rel.bos";
    QTest::newRow("up and down") << "sub/../rel.bos";
  }
  void relativePathsBecomeAbsolute() {
    QFETCH(QString, given);
    auto form = NewForm();
    const QString path = Write(QStringLiteral("rel.bos"), kGood);
    const QString folder = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    form->ProcessCommandLine(CommandLineFromArguments({CurrentProgramPath(), given}));
    QDir::setCurrent(folder);
    QCOMPARE(Titles(*form), (QStringList{QStringLiteral("Messages"), path}));
    QCOMPARE(form->MRUFileList1().Items().value(0), path);
    form->OpenSourceFile(path);
    QCOMPARE(form->SourceWindows().size(), 1);
  }

  // While one compile runs, a request from anywhere waits for its end.
  void requestsDuringACompileWaitTheirTurn_data() {
    QTest::addColumn<QString>("from");
    QTest::newRow("window") << "window";
    QTest::newRow("menu") << "menu";
    QTest::newRow("later start") << "later start";
  }
  void requestsDuringACompileWaitTheirTurn() {
    QFETCH(QString, from);
    auto form = NewForm();
    const QString a = Write(QStringLiteral("a.bos"), kGood);
    const QString b = Write(QStringLiteral("b.bos"), kBad);
    TSingleInstance instance(dir_.filePath(QStringLiteral("unused")));
    form->ServeLaterStarts(instance);
    form->OpenSourceFile(b);
    form->OpenSourceFile(a);
    TSourceWindow* windowA = form->ActiveSourceWindow();
    bool answered = false;
    // At the compile's first look at events.
    QTimer::singleShot(0, form.get(), [&] {
      if (from == "window") {
        form->SourceWindows()[0]->CompileFile();
      } else if (from == "menu") {
        form->MdiArea()->setActiveSubWindow(form->MdiArea()->subWindowList(QMdiArea::CreationOrder)[1]);
        form->BosMenu()->actions()[1]->trigger();
      } else {
        emit instance.commandLineReceived(CommandLineFromArguments({CurrentProgramPath(), "-c", b}),
                                          [&] { answered = true; });
      }
    });
    windowA->CompileFile();
    const QStringList first = {QStringLiteral("Compiling file '%1'").arg(a),
                               QStringLiteral("Compile completed successfully")};
    QCOMPARE(form->Messages().Lines(), first);
    QVERIFY(!answered);
    QTRY_COMPARE(form->Messages().Lines().size(), 4);
    QCOMPARE(form->Messages().Lines()[2], QStringLiteral("Compiling file '%1'").arg(b));
    QTRY_COMPARE(answered, from == "later start");
  }

  void droppedFilesOpenInReverseOrder() {
    auto form = NewForm();
    const QString one = Write(QStringLiteral("one.bos"), kGood);
    const QString two = Write(QStringLiteral("two.bos"), kGood);
    const QString three = Write(QStringLiteral("three.bos"), kGood);
    form->OpenDroppedFiles({QUrl::fromLocalFile(one), QUrl::fromLocalFile(two), QUrl::fromLocalFile(three)});
    QCOMPARE(Titles(*form), (QStringList{QStringLiteral("Messages"), three, two, one}));
    QCOMPARE(form->ActiveSourceWindow()->FileName(), one);
  }

  void recentFilesKeepFiveMostRecentFirstAndSurviveARestart() {
    QStringList paths;
    {
      auto form = NewForm();
      for (int i = 0; i < 7; ++i) {
        paths << Write(QStringLiteral("r%1.bos").arg(i), kGood);
        form->OpenSourceFile(paths.last());
      }
      QCOMPARE(form->MRUFileList1().Items(), (QStringList{paths[6], paths[5], paths[4], paths[3], paths[2]}));
      // Choosing an entry opens it again, or brings its open window to the
      // front; either way it goes back on top.
      form->SourceWindows()[3]->parentWidget()->close();
      form->MRUFileList1().ReopenMenu()->actions().value(3)->trigger();  // r3, closed
      QCOMPARE(form->ActiveSourceWindow()->FileName(), paths[3]);
      form->MRUFileList1().ReopenMenu()->actions().value(4)->trigger();  // r2, open
      QCOMPARE(form->ActiveSourceWindow()->FileName(), paths[2]);
      QCOMPARE(form->MRUFileList1().Items(), (QStringList{paths[2], paths[3], paths[6], paths[5], paths[4]}));
      QCOMPARE(form->SourceWindows().size(), 7);
    }
    auto again = NewForm();
    QCOMPARE(again->MRUFileList1().Items(), (QStringList{paths[2], paths[3], paths[6], paths[5], paths[4]}));
  }

  // The header an error lies in opens at the error's line and column, tabs
  // shown expanded; the script's own error goes to its Source page.
  void goToSourceLineOpensTheFileItLiesIn() {
    auto form = NewForm();
    form->Store().WriteString(QStringLiteral("Marlo"), QStringLiteral("Include dirs"), dir_.path() + "/");
    const QString header = Write(QStringLiteral("parts.h"), "piece base;\r\nhelper ()\r\n{\r\n\tsleep x;\r\n}\r\n");
    const QString main = Write(QStringLiteral("uses.bos"), "#include \"parts.h\"\r\ncreate ()\r\n{\r\n}\r\n");
    form->OpenSourceFile(main);
    form->ActiveSourceWindow()->CompileFile();
    TMessageWindow* messages = form->MessageWindow();
    messages->SelectRow(1);
    QVERIFY(messages->PopupMenu1()->actions()[1]->isEnabled());
    messages->GotoSourceLine();
    QTRY_COMPARE(form->SourceWindows().size(), 2);
    TSourceWindow* opened = form->ActiveSourceWindow();
    QCOMPARE(opened->windowTitle(), header);
    int line = -1;
    int col = -1;
    opened->SourceCode()->getCursorPosition(&line, &col);
    // Line 4 from 1; "x" after a tab (4 blanks in the editor) and "sleep ".
    QCOMPARE(line, 3);
    QCOMPARE(col, 10);
    QCOMPARE(form->focusWidget(), opened->SourceCode());
  }

  void gotoErrorFindsTheFileOfEachCompile() {
    auto form = NewForm();
    const QString first = Write(QStringLiteral("first.bos"), kBad);
    const QString second = Write(QStringLiteral("second.bos"), kBadLater);
    form->OpenSourceFile(first);
    form->ActiveSourceWindow()->CompileFile();
    form->OpenSourceFile(second);
    form->ActiveSourceWindow()->CompileFile();
    const QStringList lines = form->Messages().Lines();
    QCOMPARE(lines.size(), 4);

    TMessageWindow* messages = form->MessageWindow();
    QVERIFY(messages);
    form->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(messages->parentWidget()));
    messages->SelectRow(0);
    QVERIFY(!messages->PopupMenu1()->actions()[0]->isEnabled());  // not an error line
    messages->GotoError();
    QVERIFY(boxes_->asked.isEmpty());

    messages->SelectRow(3);
    QVERIFY(messages->PopupMenu1()->actions()[0]->isEnabled());
    messages->GotoError();
    // The windows before the right one are named, the message window first.
    QCOMPARE(boxes_->asked.size(), 2);
    QCOMPARE(boxes_->asked[0].text, QStringLiteral("Messages is not \n%1").arg(second));
    QCOMPARE(boxes_->asked[1].text, QStringLiteral("%1 is not \n%2").arg(first, second));
    // The jump itself runs after the list's handler has returned.
    const auto lineOf = [](TSourceWindow* window) {
      int line = -1;
      int col = -1;
      window->Preprocessed()->getCursorPosition(&line, &col);
      return line;
    };
    TSourceWindow* target = form->SourceWindows()[1];
    QTRY_COMPARE(target->PageControl1()->currentIndex(), 1);
    QTRY_COMPARE(lineOf(target), 5);
    // The window comes to the front with its menus, its editor focused.
    QCOMPARE(form->ActiveSourceWindow(), target);
    QCOMPARE(form->focusWidget(), target->Preprocessed());

    boxes_->asked.clear();
    messages->SelectRow(1);
    messages->GotoError();
    QCOMPARE(boxes_->asked.size(), 1);
    QTRY_COMPARE(lineOf(form->SourceWindows()[0]), 4);

    // Closing the message window before the jump has run loses nothing.
    target->Preprocessed()->setCursorPosition(0, 0);
    messages->SelectRow(3);
    messages->GotoError();
    messages->parentWidget()->close();
    QTRY_COMPARE(lineOf(target), 5);
  }

  void closedMessageWindowLosesNothing() {
    auto form = NewForm();
    const QString path = Write(QStringLiteral("m.bos"), kGood);
    form->OpenSourceFile(path);
    form->ActiveSourceWindow()->CompileFile();
    form->MessageWindow()->parentWidget()->close();
    QTRY_VERIFY(form->MessageWindow() == nullptr);
    form->ActiveSourceWindow()->CompileFile();
    QVERIFY(form->MessageWindow());
    QCOMPARE(form->MessageWindow()->ListBox1()->model()->rowCount(), 4);
  }

  void forwardedCommandsRunAfterTheCurrentEvent() {
    auto form = NewForm();
    form->OpenSourceFile(Write(QStringLiteral("f.bos"), kGood));
    form->Forward(MSG_COMPILE);
    QVERIFY(form->Messages().Lines().isEmpty());
    QTRY_COMPARE(form->Messages().Lines().size(), 2);
  }

  void secondToolbarAppearsOnFirstActivationAndStays() {
    auto form = NewForm();
    form->show();
    QVERIFY(form->EditToolBar()->isHidden());
    TSourceWindow* window = form->NewSourceWindow();
    QCOMPARE(window->FileName(), QStringLiteral("noname01.bos"));
    QVERIFY(!form->EditToolBar()->isHidden());
    window->parentWidget()->close();
    QVERIFY(!form->EditToolBar()->isHidden());
  }

  void closingAsksForModifiedWindowsAndCancelStops() {
    auto form = NewForm();
    form->show();
    TSourceWindow* window = form->NewSourceWindow();
    window->SourceCode()->setText(QStringLiteral("changed"));
    QVERIFY(window->Modified());
    boxes_->answers << QMessageBox::Cancel;
    QVERIFY(!form->close());
    QCOMPARE(boxes_->asked.size(), 1);
    QCOMPARE(boxes_->asked[0].text, QStringLiteral("%1 has changed.  Save changes?").arg(window->FileName()));
    boxes_->answers << QMessageBox::No;
    QVERIFY(form->close());
  }

  void menusToolbarsAndPanelsAsGiven() {
    auto form = NewForm();
    auto captions = [](QMenu* menu) {
      QStringList texts;
      for (QAction* action : menu->actions())
        if (!action->isSeparator() && action->isVisible()) texts << action->text();
      return texts;
    };
    QStringList bar;
    QList<QMenu*> menus;
    for (QAction* action : form->menuBar()->actions()) {
      bar << action->text();
      menus << action->menu();
    }
    QCOMPARE(bar, (QStringList{"&File", "&Edit", "&Options", "&Bos", "&Window", "&Help"}));
    QCOMPARE(captions(menus[0]), (QStringList{"&New", "&Open", "&Reopen", "&Save", "Save &As", "E&xit"}));
    QCOMPARE(captions(menus[2]), (QStringList{"&Font", "&Window Color", "&Compiler Settings", "Asssociate files"}));
    QCOMPARE(captions(menus[3]), (QStringList{"View &Preprocessed file", "&Compile"}));
    QCOMPARE(captions(menus[5]), (QStringList{"&Contents", "&About", "Check for update", "Contact Author"}));
    QCOMPARE(menus[5]->actions()[0]->shortcut(), QKeySequence(Qt::Key_F1));
    QCOMPARE(menus[3]->actions()[1]->shortcut(), QKeySequence(Qt::Key_F9));

    QStringList hints;
    for (QToolBar* toolbar : form->findChildren<QToolBar*>())
      for (QAction* action : toolbar->actions())
        if (!action->isSeparator()) hints << action->toolTip();
    QCOMPARE(hints, (QStringList{"New File", "Open File", "Save", "Change Font", "Change Window color", "Edit Settings",
                                 "Explore location of current file", "Find text", "Replace text",
                                 "Copy selection to clipboard", "Cut selection to clipboard", "Paste from clipboard",
                                 "Undo", "Compile current bos file", "View Preprocessor output of current bos file"}));
    form->show();
    QList<int> widths;
    for (int i = 0; i < 4; ++i) widths << form->findChild<QLabel*>(QStringLiteral("Panel%1").arg(i))->width();
    QCOMPARE(widths.mid(0, 3), (QList<int>{65, 75, 75}));
    QVERIFY2(widths[3] > form->width() / 2, "the last panel takes the rest of the bar");
  }

  // Paste follows the clipboard's formats; its data is never read for it,
  // least of all while the clipboard changes.
  void pasteFollowsTheClipboardsFormats() {
    auto form = NewForm();
    QAction* paste = form->EditToolBar()->actions()[5];
    QCOMPARE(paste->toolTip(), QStringLiteral("Paste from clipboard"));
    QApplication::clipboard()->clear();
    QTRY_VERIFY(!paste->isEnabled());
    int reads = 0;
    QApplication::clipboard()->setMimeData(new CountingMimeData(reads));
    QCOMPARE(reads, 0);
    QTRY_VERIFY(paste->isEnabled());
    QCOMPARE(reads, 0);
    QApplication::clipboard()->clear();
  }

  // On a real X server, a clipboard owner that answers one request and
  // goes away (xclip -loops 1) while a text box pastes. Runs this test again
  // on a virtual X server when one can be had.
  void pasteWhileTheClipboardOwnerLeaves() {
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
      auto form = NewForm();
      QTextEdit edit;
      edit.show();
      for (int round = 0; round < 5; ++round) {
        QSignalSpy owned(QApplication::clipboard(), &QClipboard::dataChanged);
        QProcess owner;
        owner.start("sh", {"-c", "echo hello | xclip -selection clipboard -loops 1"});
        QVERIFY(owned.wait(10000));
        QTest::qWait(50);  // a paste in the same moment fails in Qt itself
        edit.paste();
        owner.waitForFinished(3000);
      }
      QVERIFY(edit.toPlainText().contains("hello"));
      return;
    }
    if (QStandardPaths::findExecutable("xvfb-run").isEmpty() || QStandardPaths::findExecutable("xclip").isEmpty())
      QSKIP("needs xvfb-run and xclip");
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "xcb");
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start("xvfb-run", {"-a", QCoreApplication::applicationFilePath(), "pasteWhileTheClipboardOwnerLeaves"});
    QVERIFY(run.waitForFinished(60000));
    const QByteArray output = run.readAll();
    if (output.contains("Xvfb failed to start")) QSKIP("no virtual X server");
    QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0, output.left(2000).constData());
  }

  void helpOpensTheManualAtItsContents() {
    auto form = NewForm();
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
    form->ShowHelp();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(catcher.urls.size(), 1);
    QCOMPARE(catcher.urls[0].fragment(), QStringLiteral("contents"));
    QVERIFY(marlo::test::ReadBytes(catcher.urls[0].toLocalFile()).contains("id=\"contents\""));
  }

  void updateCheckReadsTheProductPageSetting() {
    auto form = NewForm();
    // Nothing listens on port 1 of this machine: the check fails at once.
    form->Store().WriteString("Marlo", "Product Page", "http://127.0.0.1:1/marlo.html");
    form->CheckForUpdate();
    QCOMPARE(boxes_->asked.size(), 1);
    QVERIFY2(boxes_->asked[0].text.startsWith("Get Info failed due to:\n"), qPrintable(boxes_->asked[0].text));
  }

  // A settings file that cannot be written is reported; it neither stops the
  // files of the same command line from opening nor the program from closing.
  void unwritableSettingsAreReportedNotFatal() {
    auto form = std::make_unique<TForm1>(std::make_unique<TRegIniPlus>(QStringLiteral("/proc/marlo-test/Marlo.ini")));
    const QString a = Write(QStringLiteral("a.bos"), kGood);
    const QString b = Write(QStringLiteral("b.bos"), kGood);
    form->ProcessCommandLine(CommandLineFromArguments({CurrentProgramPath(), a, b}));
    QCOMPARE(Titles(*form), (QStringList{QStringLiteral("Messages"), a, b}));
    QCOMPARE(boxes_->asked.size(), 2);
    QCOMPARE(boxes_->asked[0].icon, QMessageBox::Critical);
    QCOMPARE(boxes_->asked[0].text, QStringLiteral("Cannot write the settings to '/proc/marlo-test/Marlo.ini'"));
    QVERIFY(form->close());
    form.reset();
  }

  void secondStartHandsOverItsCommandLine() {
    const QString marlo = qEnvironmentVariable("MARLO_TEST_MARLO");
    if (marlo.isEmpty()) QSKIP("MARLO_TEST_MARLO names no program");
    auto form = NewForm();
    const QString name = dir_.filePath(QStringLiteral("instance/Marloiac"));
    TSingleInstance first(name);
    QVERIFY(first.Listen());
    form->ServeLaterStarts(first);
    const QString path = Write(QStringLiteral("handed over.bos"), kGood);

    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MARLO_INSTANCE"), name);
    second.setProcessEnvironment(environment);
    // The name is relative to the second start's folder, not to ours.
    second.setWorkingDirectory(dir_.path());
    second.start(marlo, {QStringLiteral("-c"), QStringLiteral("handed over.bos")});
    QVERIFY(second.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 30000);
    QCOMPARE(second.exitCode(), 0);
    // The second start ended only after the compile had run here.
    QCOMPARE(Titles(*form), (QStringList{QStringLiteral("Messages"), path}));
    QCOMPARE(form->Messages().Lines(), (QStringList{QStringLiteral("Compiling file '%1'").arg(path),
                                                    QStringLiteral("Compile completed successfully")}));
  }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
