// The main window and its source windows driven as a user would: command
// lines, opening, dropping, recent files, the message window's go-to,
// closing, a second process handing its command line over; saving byte for
// byte with its backup, failures that lose nothing, preprocessing and
// compiling with their messages and the "Extended syntax" item, Cancel and
// closing during a long compile, the keys a window handles itself, and
// printing. All under the program's own application object, which shows an
// error leaving a command and goes on.
#include <Qsci/qsciscintilla.h>
#include <sys/stat.h>

#include <QClipboard>
#include <QDesktopServices>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QtTest>
#include <optional>

#include "ide/application.h"
#include "ide/command_line.h"
#include "ide/compiler_settings_dialog.h"
#include "ide/find_dialogs.h"
#include "ide/main_window.h"
#include "ide/message_window.h"
#include "ide/recent_files.h"
#include "ide/reg_ini_plus.h"
#include "ide/single_instance.h"
#include "ide/source_window.h"
#include "tests/support/boxes.h"
#include "tests/support/qt_files.h"
#include "tests/support/qt_table.h"

using namespace marlo::ide;
using marlo::test::Cells;
using marlo::test::TableRows;

namespace {

constexpr char kGood[] = "piece base;\r\nCreate()\r\n{\r\n  show base;\r\n}\r\n";
// An error in row 4 of the preprocessed text, and one in row 5.
constexpr char kBad[] = "piece base;\r\nCreate()\r\n{\r\n  show ;\r\n}\r\n";
constexpr char kBadLater[] = "piece base;\r\nCreate()\r\n{\r\n  show base;\r\n  show ;\r\n}\r\n";

// A script of `scripts` scripts, long enough for a compile to take a while.
QByteArray LongScript(int scripts) {
  QByteArray text = "piece base;\r\nstatic-var a;\r\n";
  for (int i = 0; i < scripts; ++i)
    text += "S" + QByteArray::number(i) +
            "()\r\n{\r\n  a = a + 1 * 2 - (3 / 4);\r\n  turn base to y-axis <45> speed <10>;\r\n}\r\n";
  return text;
}

// Clipboard data that counts how often it is read.
class CountingMimeData : public QMimeData {
 public:
  explicit CountingMimeData(int& reads) : reads_(reads) {}
  QStringList formats() const override { return {"text/plain"}; }

 protected:
  QVariant retrieveData(const QString&, QMetaType) const override {
    ++reads_;
    return "text";
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
  std::unique_ptr<TForm1> form_;

  QString PathOf(const QString& name) const { return dir_.filePath(name); }
  QString Write(const QString& name, const QByteArray& bytes) { return marlo::test::WriteBytes(PathOf(name), bytes); }
  QByteArray Bytes(const QString& name) const { return marlo::test::ReadBytes(PathOf(name)); }
  TRegIniPlus& Store() { return form_->Store(); }

  // A shown main window on the settings file of the test before, writing
  // its .cob files into the test's folder.
  void NewForm() {
    form_.reset();
    form_ = std::make_unique<TForm1>(std::make_unique<TRegIniPlus>(PathOf("settings.ini")));
    Store().WriteString("Marlo", "output dir", dir_.path());
    form_->SetSaveFileNameChooser([](const QString&) { return QString(); });
    form_->show();
  }

  TSourceWindow* Open(const QString& name, const QByteArray& bytes) {
    form_->OpenSourceFile(Write(name, bytes));
    return form_->ActiveSourceWindow();
  }

  QStringList Titles() const {
    QStringList titles;
    for (QMdiSubWindow* child : form_->MdiArea()->subWindowList(QMdiArea::CreationOrder))
      titles << child->windowTitle();
    return titles;
  }

  // Checks or clears a Compiler Settings item the way the user does.
  void SetCheckItem(const QString& caption, bool checked) {
    TCompilerSettings dialog(Store());
    const QList<QListWidgetItem*> items =
        dialog.findChild<QListWidget*>("CheckListBox1")->findItems(caption, Qt::MatchExactly);
    QCOMPARE(items.size(), 1);
    items[0]->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    QTest::mouseClick(dialog.findChild<QPushButton*>("OkButton"), Qt::LeftButton);
  }

  void Key(TSourceWindow* window, int key) { QTest::keyClick(window->SourceCode(), static_cast<Qt::Key>(key)); }

  // Runs `action` from the event loop once the window's command is under
  // way (its progress has moved): a fixed delay could end before it starts.
  void OnceUnderWay(TSourceWindow* window, std::function<void()> action) {
    auto* bar = window->findChild<QProgressBar*>();
    QVERIFY(bar);
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(bar, &QProgressBar::valueChanged, this, [once, action](int value) {
      if (value <= 0) return;
      QObject::disconnect(*once);
      QTimer::singleShot(0, action);
    });
  }

 private slots:
  void init() {
    boxes_.emplace(QList<QMessageBox::StandardButton>{}, QMessageBox::No);
    QFile::remove(PathOf("settings.ini"));
    NewForm();
  }
  void cleanup() {
    form_.reset();
    boxes_.reset();
  }

  void errorLeavingACommandIsShownAndTheProgramGoesOn() {
    QPushButton failing("fails");
    QPushButton working("works");
    int worked = 0;
    QObject::connect(&failing, &QPushButton::clicked,
                     [] { throw ERegistryError("Cannot write the settings to '/x/Marlo.ini'"); });
    QObject::connect(&working, &QPushButton::clicked, [&] { ++worked; });
    QTest::mouseClick(&failing, Qt::LeftButton);
    QTest::mouseClick(&working, Qt::LeftButton);
    QTest::mouseClick(&failing, Qt::LeftButton);
    QCOMPARE(worked, 1);
    QCOMPARE(boxes_->Texts(), QStringList(2, "Cannot write the settings to '/x/Marlo.ini'"));
    QCOMPARE(boxes_->asked[0].icon, QMessageBox::Critical);
  }

  void commandLineOpensAndCompilesAfterDashC() {
    const QString a = Write("a.bos", kGood);
    const QString b = Write("b.bos", kGood);
    const QString c = Write("c.bos", kBad);
    form_->ProcessCommandLine(CommandLineFromArguments({CurrentProgramPath(), a, "-C", b, c}));

    QCOMPARE(Titles(), (QStringList{"Messages", a, b, c}));
    const QStringList lines = form_->Messages().Lines();
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QStringLiteral("Compiling file '%1'").arg(b));
    QCOMPARE(lines[1], "Compile completed successfully");
    QCOMPARE(lines[2], QStringLiteral("Compiling file '%1'").arg(c));
    QVERIFY2(lines[3].startsWith(QLatin1String("[4: ")), qPrintable(lines[3]));
    QVERIFY(!QFile::exists(PathOf("a.cob")));
    QVERIFY(QFile::exists(PathOf("b.cob")));
    QVERIFY(!QFile::exists(PathOf("c.cob")));
  }

  void openingAnOpenPathIgnoringCaseDoesNotReload() {
    const QString path = Write("same.bos", "first\r\n");
    form_->OpenSourceFile(path);
    Write("same.bos", "second\r\n");
    form_->NewSourceWindow();
    form_->OpenSourceFile(path.toUpper());
    QCOMPARE(form_->SourceWindows().size(), 2);
    QCOMPARE(form_->ActiveSourceWindow()->FileName(), path);
    QCOMPARE(form_->ActiveSourceWindow()->SourceCode()->text(), "first\r\n");
  }

  void relativePathsBecomeAbsolute_data() { TableRows("ide/windows.txt", "relativePaths"); }
  void relativePathsBecomeAbsolute() {
    const auto [given] = Cells<1>();
    const QString path = Write("rel.bos", kGood);
    const QString folder = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    form_->ProcessCommandLine(CommandLineFromArguments({CurrentProgramPath(), given}));
    QDir::setCurrent(folder);
    QCOMPARE(Titles(), (QStringList{"Messages", path}));
    QCOMPARE(form_->MRUFileList1().Items().value(0), path);
    form_->OpenSourceFile(path);
    QCOMPARE(form_->SourceWindows().size(), 1);
  }

  // While one compile runs, a request from anywhere waits for its end; one
  // cancelled meanwhile ends at once.
  void requestsDuringACompileWaitTheirTurn_data() { TableRows("ide/windows.txt", "requests"); }
  void requestsDuringACompileWaitTheirTurn() {
    const auto [from] = Cells<1>();
    const QString a = Write("a.bos", kGood);
    const QString b = Write("b.bos", kBad);
    TSingleInstance instance(PathOf("unused"));
    form_->ServeLaterStarts(instance);
    form_->OpenSourceFile(b);
    form_->OpenSourceFile(a);
    TSourceWindow* windowA = form_->ActiveSourceWindow();
    bool answered = false;
    // At the compile's first look at events.
    QTimer::singleShot(0, form_.get(), [&] {
      if (from == "window") {
        form_->SourceWindows()[0]->CompileFile();
      } else if (from == "menu") {
        form_->MdiArea()->setActiveSubWindow(form_->MdiArea()->subWindowList(QMdiArea::CreationOrder)[1]);
        form_->BosMenu()->actions()[1]->trigger();
      } else {
        emit instance.commandLineReceived(CommandLineFromArguments({CurrentProgramPath(), "-c", b}),
                                          [&] { answered = true; });
      }
    });
    windowA->CompileFile();
    const QStringList first = {QStringLiteral("Compiling file '%1'").arg(a), "Compile completed successfully"};
    QCOMPARE(form_->Messages().Lines(), first);
    QVERIFY(!answered);
    QTRY_COMPARE(form_->Messages().Lines().size(), 4);
    QCOMPARE(form_->Messages().Lines()[2], QStringLiteral("Compiling file '%1'").arg(b));
    QTRY_COMPARE(answered, from == "later start");
  }

  void droppedFilesOpenInReverseOrder() {
    const QString one = Write("one.bos", kGood);
    const QString two = Write("two.bos", kGood);
    const QString three = Write("three.bos", kGood);
    form_->OpenDroppedFiles({QUrl::fromLocalFile(one), QUrl::fromLocalFile(two), QUrl::fromLocalFile(three)});
    QCOMPARE(Titles(), (QStringList{"Messages", three, two, one}));
    QCOMPARE(form_->ActiveSourceWindow()->FileName(), one);
  }

  void recentFilesSurviveARestart() {
    QStringList paths;
    for (int i = 0; i < 6; ++i) {
      paths << Write(QStringLiteral("r%1.bos").arg(i), kGood);
      form_->OpenSourceFile(paths.last());
    }
    QCOMPARE(form_->MRUFileList1().Items(), (QStringList{paths[5], paths[4], paths[3], paths[2], paths[1]}));
    // Choosing an entry opens it again, or brings its open window to the
    // front; either way it goes back on top.
    form_->SourceWindows()[2]->parentWidget()->close();
    form_->MRUFileList1().ReopenMenu()->actions().value(3)->trigger();  // r2, closed
    QCOMPARE(form_->ActiveSourceWindow()->FileName(), paths[2]);
    form_->MRUFileList1().ReopenMenu()->actions().value(4)->trigger();  // r1, open
    QCOMPARE(form_->ActiveSourceWindow()->FileName(), paths[1]);
    const QStringList items{paths[1], paths[2], paths[5], paths[4], paths[3]};
    QCOMPARE(form_->MRUFileList1().Items(), items);
    QCOMPARE(form_->SourceWindows().size(), 6);
    NewForm();
    QCOMPARE(form_->MRUFileList1().Items(), items);
  }

  // The header an error lies in opens at the error's line and column, tabs
  // shown expanded; the script's own error goes to its Source page.
  void goToSourceLineOpensTheFileItLiesIn() {
    Store().WriteString("Marlo", "Include dirs", dir_.path() + "/");
    const QString header = Write("parts.h", "piece base;\r\nhelper ()\r\n{\r\n\tsleep x;\r\n}\r\n");
    Open("uses.bos", "#include \"parts.h\"\r\ncreate ()\r\n{\r\n}\r\n")->CompileFile();
    TMessageWindow* messages = form_->MessageWindow();
    messages->SelectRow(1);
    QVERIFY(messages->PopupMenu1()->actions()[1]->isEnabled());
    messages->GotoSourceLine();
    QTRY_COMPARE(form_->SourceWindows().size(), 2);
    TSourceWindow* opened = form_->ActiveSourceWindow();
    QCOMPARE(opened->windowTitle(), header);
    // Line 4; "x" after a tab (4 blanks in the editor) and "sleep ".
    QCOMPARE(opened->SourceCode()->CaretLine(), 4);
    QCOMPARE(opened->SourceCode()->CaretColumn(), 11);
    QCOMPARE(form_->focusWidget(), opened->SourceCode());
  }

  void gotoErrorFindsTheFileOfEachCompile() {
    Open("first.bos", kBad)->CompileFile();
    Open("second.bos", kBadLater)->CompileFile();
    const QString first = PathOf("first.bos"), second = PathOf("second.bos");
    QCOMPARE(form_->Messages().Lines().size(), 4);

    TMessageWindow* messages = form_->MessageWindow();
    QVERIFY(messages);
    form_->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(messages->parentWidget()));
    messages->SelectRow(0);
    QVERIFY(!messages->PopupMenu1()->actions()[0]->isEnabled());  // not an error line
    messages->GotoError();
    QVERIFY(boxes_->asked.isEmpty());

    messages->SelectRow(3);
    QVERIFY(messages->PopupMenu1()->actions()[0]->isEnabled());
    messages->GotoError();
    // The windows before the right one are named, the message window first.
    QCOMPARE(boxes_->Texts(), (QStringList{QStringLiteral("Messages is not \n%1").arg(second),
                                           QStringLiteral("%1 is not \n%2").arg(first, second)}));
    // The jump itself runs after the list's handler has returned.
    const auto lineOf = [](TSourceWindow* window) { return window->Preprocessed()->CaretLine() - 1; };
    TSourceWindow* target = form_->SourceWindows()[1];
    QTRY_COMPARE(target->PageControl1()->currentIndex(), 1);
    QTRY_COMPARE(lineOf(target), 5);
    // The window comes to the front with its menus, its editor focused.
    QCOMPARE(form_->ActiveSourceWindow(), target);
    QCOMPARE(form_->focusWidget(), target->Preprocessed());

    boxes_->asked.clear();
    messages->SelectRow(1);
    messages->GotoError();
    QCOMPARE(boxes_->asked.size(), 1);
    QTRY_COMPARE(lineOf(form_->SourceWindows()[0]), 4);

    // Closing the message window before the jump has run loses nothing.
    target->Preprocessed()->setCursorPosition(0, 0);
    messages->SelectRow(3);
    messages->GotoError();
    messages->parentWidget()->close();
    QTRY_COMPARE(lineOf(target), 5);
  }

  void closedMessageWindowLosesNothing() {
    TSourceWindow* window = Open("m.bos", kGood);
    window->CompileFile();
    form_->MessageWindow()->parentWidget()->close();
    QTRY_VERIFY(form_->MessageWindow() == nullptr);
    window->CompileFile();
    QVERIFY(form_->MessageWindow());
    QCOMPARE(form_->MessageWindow()->ListBox1()->model()->rowCount(), 4);
  }

  void forwardedCommandsRunAfterTheCurrentEvent() {
    Open("f.bos", kGood);
    form_->Forward(MSG_COMPILE);
    QVERIFY(form_->Messages().Lines().isEmpty());
    QTRY_COMPARE(form_->Messages().Lines().size(), 2);
  }

  void secondToolbarAppearsOnFirstActivationAndStays() {
    QVERIFY(form_->EditToolBar()->isHidden());
    TSourceWindow* window = form_->NewSourceWindow();
    QCOMPARE(window->FileName(), "noname01.bos");
    QVERIFY(!form_->EditToolBar()->isHidden());
    window->parentWidget()->close();
    QVERIFY(!form_->EditToolBar()->isHidden());
  }

  void closingAsksForModifiedWindowsAndCancelStops() {
    TSourceWindow* window = form_->NewSourceWindow();
    window->SourceCode()->setText("changed");
    QVERIFY(window->Modified());
    boxes_->answers << QMessageBox::Cancel;
    QVERIFY(!form_->close());
    QCOMPARE(boxes_->Texts(), QStringList{window->FileName() + " has changed.  Save changes?"});
    boxes_->answers << QMessageBox::No;
    QVERIFY(form_->close());
  }

  // The menu bar, the File, Options, Bos and Help menus (shortcuts in
  // brackets) and the tool tips of both toolbars are those of
  // tests/data/ide/menus.txt; the status bar's panels have their widths.
  void menusToolbarsAndPanelsAsGiven() {
    QStringList lines{QString()}, bar, hints;
    for (QAction* action : form_->menuBar()->actions()) {
      bar << action->text();
      if (!QStringList{"&File", "&Options", "&Bos", "&Help"}.contains(action->text())) continue;
      QStringList items;
      for (QAction* item : action->menu()->actions())
        if (!item->isSeparator() && item->isVisible())
          items << item->text() + (item->shortcut().isEmpty() ? "" : " (" + item->shortcut().toString() + ")");
      lines << action->text() + ": " + items.join(" | ");
    }
    for (QToolBar* toolbar : form_->findChildren<QToolBar*>())
      for (QAction* action : toolbar->actions())
        if (!action->isSeparator()) hints << action->toolTip();
    lines[0] = bar.join(u' ');
    lines << "tool tips: " + hints.join(" | ") << QString();
    const QByteArray expected = marlo::test::ReadBytes(MARLO_SOURCE_DIR "/tests/data/ide/menus.txt");
    QCOMPARE(lines.join(u'\n'), QString::fromUtf8(expected.mid(expected.indexOf("\n\n") + 2)));
    QList<int> widths;
    for (int i = 0; i < 4; ++i) widths << form_->findChild<QLabel*>(QStringLiteral("Panel%1").arg(i))->width();
    QCOMPARE(widths.mid(0, 3), (QList<int>{65, 75, 75}));
    QVERIFY2(widths[3] > form_->width() / 2, "the last panel takes the rest of the bar");
  }

  // Paste follows the clipboard's formats; its data is never read for it,
  // least of all while the clipboard changes.
  void pasteFollowsTheClipboardsFormats() {
    QAction* paste = form_->EditToolBar()->actions()[5];
    QCOMPARE(paste->toolTip(), "Paste from clipboard");
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
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "Open");
    form_->ShowHelp();
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(catcher.urls.size(), 1);
    QCOMPARE(catcher.urls[0].fragment(), "contents");
    QVERIFY(marlo::test::ReadBytes(catcher.urls[0].toLocalFile()).contains("id=\"contents\""));
  }

  void updateCheckReadsTheProductPageSetting() {
    // Nothing listens on port 1 of this machine: the check fails at once.
    Store().WriteString("Marlo", "Product Page", "http://127.0.0.1:1/marlo.html");
    form_->CheckForUpdate();
    QCOMPARE(boxes_->asked.size(), 1);
    QVERIFY2(boxes_->asked[0].text.startsWith("Get Info failed due to:\n"), qPrintable(boxes_->asked[0].text));
  }

  // A settings file that cannot be written is reported; it neither stops the
  // files of the same command line from opening nor the program from closing.
  void unwritableSettingsAreReportedNotFatal() {
    form_ = std::make_unique<TForm1>(std::make_unique<TRegIniPlus>("/proc/marlo-test/Marlo.ini"));
    const QString a = Write("a.bos", kGood);
    const QString b = Write("b.bos", kGood);
    form_->ProcessCommandLine(CommandLineFromArguments({CurrentProgramPath(), a, b}));
    QCOMPARE(Titles(), (QStringList{"Messages", a, b}));
    QCOMPARE(boxes_->asked.size(), 2);
    QCOMPARE(boxes_->asked[0].icon, QMessageBox::Critical);
    QCOMPARE(boxes_->asked[0].text, "Cannot write the settings to '/proc/marlo-test/Marlo.ini'");
    QVERIFY(form_->close());
  }

  void secondStartHandsOverItsCommandLine() {
    const QString marlo = qEnvironmentVariable("MARLO_TEST_MARLO");
    if (marlo.isEmpty()) QSKIP("MARLO_TEST_MARLO names no program");
    const QString name = PathOf("instance/Marloiac");
    TSingleInstance first(name);
    QVERIFY(first.Listen());
    form_->ServeLaterStarts(first);
    const QString path = Write("handed over.bos", kGood);

    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("MARLO_INSTANCE", name);
    second.setProcessEnvironment(environment);
    // The name is relative to the second start's folder, not to ours.
    second.setWorkingDirectory(dir_.path());
    second.start(marlo, {"-c", "handed over.bos"});
    QVERIFY(second.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 30000);
    QCOMPARE(second.exitCode(), 0);
    // The second start ended only after the compile had run here.
    QCOMPARE(Titles(), (QStringList{"Messages", path}));
    QCOMPARE(form_->Messages().Lines(),
             (QStringList{QStringLiteral("Compiling file '%1'").arg(path), "Compile completed successfully"}));
  }

  void saveKeepsABackupAndFillsBlanksWithTabs() {
    TSourceWindow* window = Open("a.bos", "        x\r\n");
    QCOMPARE(window->SourceCode()->text(), "        x\r\n");
    window->SourceCode()->insertAt("y\r\n", 1, 0);
    QVERIFY(window->Modified());
    QVERIFY(window->SaveFile());
    QVERIFY(!window->Modified());
    QCOMPARE(Bytes("a.bos"), QByteArray("\t\tx\r\ny\r\n"));
    QCOMPARE(Bytes("a.bak"), QByteArray("        x\r\n"));
    window->SourceCode()->insertAt("   z\r\n", 2, 0);
    QVERIFY(window->SaveFile());
    QCOMPARE(Bytes("a.bos"), QByteArray("\t\tx\r\ny\r\n   z\r\n"));
    QCOMPARE(Bytes("a.bak"), QByteArray("\t\tx\r\ny\r\n"));
    // Loading expands the tabs again; a width of 0 removes them.
    window->parentWidget()->close();
    QCOMPARE(Open("a.bos", Bytes("a.bos"))->SourceCode()->text(), "        x\r\ny\r\n   z\r\n");
    Store().WriteInteger("Marlo", "tab width", 0);
    QCOMPARE(Open("b.bos", "\tq\t\r\n")->SourceCode()->text(), "q\r\n");
  }

  // A new file gets the permissions the umask leaves; a file saved again
  // keeps its own.
  void savedFilePermissions_data() { TableRows("ide/windows.txt", "permissions"); }
  void savedFilePermissions() {
    const auto [mask, existing, mode] = Cells<3>();
    const QString path = PathOf("mode.bos");
    QFile::remove(path);
    if (existing != "-1") {
      Write("mode.bos", "old\r\n");
      QCOMPARE(chmod(QFile::encodeName(path).constData(), mode_t(existing.toInt(nullptr, 8))), 0);
    }
    const mode_t saved = ::umask(mode_t(mask.toInt(nullptr, 8)));
    form_->SetSaveFileNameChooser([&](const QString&) { return path; });
    const bool ok = form_->NewSourceWindow()->SaveFileAs();
    ::umask(saved);
    QVERIFY(ok);
    struct stat info {};
    QCOMPARE(stat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(int(info.st_mode & 0777), mode.toInt(nullptr, 8));
  }

  // The new text is on the disk before it takes the file's name, and the
  // rename after it (seen with strace, where it is installed).
  void saveSyncsBeforeTheRename() {
    if (qEnvironmentVariableIsSet("MARLO_TRACED")) {
      Open("sync.bos", "old\r\n")->SourceCode()->setText("new\r\n");
      QVERIFY(form_->ActiveSourceWindow()->SaveFile());
      return;
    }
    if (QStandardPaths::findExecutable("strace").isEmpty()) QSKIP("needs strace");
    QProcess traced;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("MARLO_TRACED", "1");
    traced.setProcessEnvironment(environment);
    const QString log = PathOf("strace.log");
    traced.start("strace", {"-f", "-y", "-e", "trace=fsync,fdatasync,rename,renameat,renameat2", "-o", log,
                            QCoreApplication::applicationFilePath(), "saveSyncsBeforeTheRename"});
    QVERIFY(traced.waitForFinished(60000));
    QFile file(log);
    if (traced.exitCode() != 0 || !file.open(QIODevice::ReadOnly)) QSKIP("strace cannot trace here");
    const QStringList lines = QString::fromLocal8Bit(file.readAll()).split(u'\n');
    const auto find = [&](const QString& pattern, qsizetype from) {
      for (qsizetype i = from; i < lines.size(); ++i)
        if (lines[i].contains(QRegularExpression(pattern))) return i;
      return qsizetype(-1);
    };
    const qsizetype syncFile = find(R"(fsync\(\d+<.*/\.sync\.bos\.\w+>\))", 0);
    const qsizetype rename = find(R"(rename.*/\.sync\.bos\.\w+".*/sync\.bos")", 0);
    const QString folder = QRegularExpression(R"(<(.*)/\.sync)").match(lines.value(syncFile)).captured(1);
    const qsizetype syncFolder = find("fsync\\(\\d+<" + QRegularExpression::escape(folder) + ">\\)", rename + 1);
    QVERIFY2(syncFile >= 0 && syncFile < rename && rename < syncFolder, qPrintable(lines.join(u'\n')));
  }

  void unchangedTextAndOddBytesRoundTrip() {
    Store().WriteBool("Marlo", "Optimal fill", false);
    static const char kOdd[] = "caf\xe9 \xff\xfe x\r\nline two\r\n";
    const QByteArray bytes(kOdd, sizeof kOdd - 1);
    TSourceWindow* window = Open("latin.bos", bytes);
    QVERIFY(window->SaveFile());
    QCOMPARE(Bytes("latin.bos"), bytes);
    const QByteArray utf8 = QStringLiteral("größe = 1;\r\n").toUtf8();
    QVERIFY(Open("utf8.bos", utf8)->SaveFile());
    QCOMPARE(Bytes("utf8.bos"), utf8);
  }

  void failedSaveLosesNothing() {
    TSourceWindow* window = Open("keep.bos", "old\r\n");
    window->SourceCode()->setText("new\r\n");
    // A target whose folder does not exist cannot be written.
    form_->SetSaveFileNameChooser([this](const QString&) { return PathOf("missing/folder/keep.bos"); });
    QVERIFY(!window->SaveFileAs());
    QCOMPARE(boxes_->asked.size(), 1);
    QVERIFY2(boxes_->Texts()[0].startsWith("Cannot create file"), qPrintable(boxes_->Texts()[0]));
    QVERIFY(window->Modified());
    QCOMPARE(Bytes("keep.bos"), QByteArray("old\r\n"));

    // A folder nobody may create files in, root included.
    form_->SetSaveFileNameChooser([](const QString&) { return "/proc/keep.bos"; });
    window->SourceCode()->setText("newer\r\n");
    QVERIFY(!window->SaveFileAs());
    QVERIFY(window->Modified());
    QCOMPARE(boxes_->asked.size(), 2);

    if (geteuid() == 0) QSKIP("folder permissions do not hold for root");
    QDir(dir_.path()).mkdir("locked");
    const QString locked = PathOf("locked/l.bos");
    form_->SetSaveFileNameChooser([&](const QString&) { return locked; });
    QVERIFY(window->SaveFileAs());
    QFile::setPermissions(PathOf("locked"), QFile::ReadOwner | QFile::ExeOwner);
    window->SourceCode()->setText("newest\r\n");
    QVERIFY(!window->SaveFile());
    QFile::setPermissions(PathOf("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(Bytes("locked/l.bos"), QByteArray("newer\r\n"));
    QVERIFY(window->Modified());
  }

  void unnamedWindowCompilesAfterACancelledSaveDialog() {
    TSourceWindow* window = form_->NewSourceWindow();
    window->SourceCode()->setText("piece base;\r\nCreate()\r\n{\r\n}\r\n");
    window->CompileFile();
    QVERIFY(window->Modified());
    QVERIFY(QFile::exists(PathOf(window->FileName().replace(".bos", ".cob"))));
  }

  void preprocessAndCompileFromTheMenuAndF9() {
    Write("inc.h", "#define SPEED <5>\r\n");
    Store().WriteString("Marlo", "Include dirs", dir_.path() + "/");
    TSourceWindow* window = Open(
        "c.bos", "#include \"inc.h\"\r\npiece base;\r\nCreate()\r\n{\r\n  turn base to x-axis SPEED now;\r\n}\r\n");
    form_->BosMenu()->actions()[0]->trigger();  // View Preprocessed file
    QCOMPARE(window->ListBox1()->count(), 1);
    QCOMPARE(window->ListBox1()->item(0)->text(), "SPEED= < 5 >");
    QVERIFY(window->Preprocessed()->text().contains("<5>"));
    QVERIFY(form_->Messages().Lines().isEmpty());

    QTest::keyClick(form_.get(), Qt::Key_F9);
    QCOMPARE(form_->Messages().Lines(),
             (QStringList{"Compiling file '" + window->FileName() + "'", "Compile completed successfully"}));
    QCOMPARE(window->PageControl1()->currentIndex(), 0);
    window->PageControl1()->setCurrentIndex(2);
    QVERIFY(window->DisAssembler()->text().startsWith(QString(80, '/')));
    window->PageControl1()->setCurrentIndex(0);

    // On the Preprocessed page the window's menus are disabled.
    window->PageControl1()->setCurrentIndex(1);
    QVERIFY(!form_->BosMenu()->isEnabled());
    QVERIFY(!form_->EditMenu()->isEnabled());
    window->PageControl1()->setCurrentIndex(2);
    QVERIFY(form_->BosMenu()->isEnabled());
  }

  void preprocessingErrorsReachTheUser() {
    TSourceWindow* window = Open("e.bos", "piece base;\r\n#include \"nowhere.h\"\r\n");
    window->PreprocessFile();
    QCOMPARE(form_->Messages().Lines().size(), 1);
    QVERIFY2(form_->Messages().Lines()[0].contains("Include file 'nowhere.h' not found"),
             qPrintable(form_->Messages().Lines()[0]));
    QCOMPARE(form_->StatusPanel(3), "Preprocessing failed");
    window->CompileFile();
    QCOMPARE(form_->Messages().Lines()[2], form_->Messages().Lines()[0]);
  }

  void extendedSyntaxItem_data() { TableRows("ide/windows.txt", "extended"); }
  // The window is open before the item changes: the compile reads it then.
  void extendedSyntaxItem() {
    const auto [script, checked, lastLine, preprocesses] = Cells<4>();
    const bool extended = checked == "1";
    Write("beside.h", "piece a;\n");
    QFile::remove(PathOf("ext.cob"));
    TSourceWindow* window = Open("ext.bos", script.toUtf8());
    Store().WriteBool("Marlo", "Extended syntax", !extended);
    SetCheckItem("Extended syntax", extended);
    window->CompileFile();
    const QString last = form_->Messages().Lines().last();
    QVERIFY2(last.contains(lastLine), qPrintable(last));
    QCOMPARE(QFile::exists(PathOf("ext.cob")), extended);
    window->PreprocessFile();
    QCOMPARE(form_->StatusPanel(3).isEmpty(), preprocesses == "1");
  }

  // The second compile asked for meanwhile waits for the first one's end.
  void cancelEndsALongCompileAndASecondOneWaits() {
    TSourceWindow* window = Open("long.bos", LongScript(40000));
    bool disabledWhileRunning = false;
    OnceUnderWay(window, [&] {
      disabledWhileRunning = !form_->BosMenu()->actions()[1]->isEnabled();
      window->CompileFile();
      QTest::mouseClick(window->CancelButton(), Qt::LeftButton);
    });
    window->CompileFile();
    QVERIFY(disabledWhileRunning);
    const QStringList lines = form_->Messages().Lines();
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[1].endsWith("Compile Aborted"), qPrintable(lines[1]));
    QVERIFY(form_->BosMenu()->actions()[1]->isEnabled());
    QVERIFY(!QFile::exists(PathOf("long.cob")));
    QTRY_COMPARE_WITH_TIMEOUT(form_->Messages().Lines().size(), 4, 30000);
    QCOMPARE(form_->Messages().Lines()[3], "Compile completed successfully");
  }

  void closingDuringACompileEndsItCleanly() {
    TSourceWindow* window = Open("closing.bos", LongScript(40000));
    QPointer<QMdiSubWindow> frame = qobject_cast<QMdiSubWindow*>(window->parentWidget());
    OnceUnderWay(window, [frame] {
      if (frame) frame->close();
    });
    window->CompileFile();
    QVERIFY2(form_->Messages().Lines().last().endsWith("Compile Aborted"),
             qPrintable(form_->Messages().Lines().join(" / ")));
    QTRY_VERIFY(frame.isNull());
    QVERIFY(form_->SourceWindows().isEmpty());
  }

  // Kept open by the save question's Cancel, the window stays open after
  // later commands too.
  void aCloseRefusedAfterACompileDoesNotComeBack() {
    Store().WriteBool("Marlo", "Auto save source on compile", false);
    TSourceWindow* window = Open("kept.bos", LongScript(40000));
    QPointer<QMdiSubWindow> frame = qobject_cast<QMdiSubWindow*>(window->parentWidget());
    window->SourceCode()->insertAt("// edited\r\n", 0, 0);
    boxes_->otherwise = QMessageBox::Cancel;
    OnceUnderWay(window, [frame] {
      if (frame) frame->close();
    });
    window->CompileFile();
    QTest::qWait(50);
    QVERIFY(!frame.isNull());

    QVERIFY(window->SaveFile());
    window->PreprocessFile();
    QTest::qWait(50);
    QVERIFY(!frame.isNull());
  }

  void quittingDuringACompileEndsItFirst() {
    TSourceWindow* window = Open("quit.bos", LongScript(40000));
    bool closedAtOnce = true;
    OnceUnderWay(window, [&] { closedAtOnce = form_->close(); });
    window->CompileFile();
    QVERIFY(!closedAtOnce);
    QVERIFY2(form_->Messages().Lines().last().endsWith("Compile Aborted"),
             qPrintable(form_->Messages().Lines().join(" / ")));
    QTRY_VERIFY(!form_->isVisible());
  }

  // The first status panel shows the caret of the page in front; a go-to
  // beyond the text stops at its last line.
  void statusShowsTheCaretOfThePageInFront() {
    TSourceWindow* window = Open("caret.bos", kGood);
    window->PreprocessFile();
    window->SourceCode()->setCursorPosition(2, 1);
    window->Preprocessed()->setCursorPosition(1, 3);
    window->PageControl1()->setCurrentIndex(1);
    QCOMPARE(form_->StatusPanel(0), "1: 3");
    window->PageControl1()->setCurrentIndex(0);
    QCOMPARE(form_->StatusPanel(0), "2: 1");
    window->GotoPosition(0, 2);
    QCOMPARE(form_->StatusPanel(0), "2: 0");
    window->GotoPosition(3, 1000);
    QCOMPARE(window->PageControl1()->currentIndex(), 1);
    QCOMPARE(window->Preprocessed()->CaretLine(), window->Preprocessed()->lines());
  }

  void backspaceUnindentsAndF1Answers() {
    TSourceWindow* window = Open("k.bos", "        x\r\nab\r\n");
    QsciScintilla* editor = window->SourceCode();
    editor->setFocus();
    editor->setCursorPosition(0, 8);
    Key(window, Qt::Key_Backspace);
    QCOMPARE(editor->text(0), "    x\r\n");
    editor->setCursorPosition(0, 0);
    Key(window, Qt::Key_Backspace);
    QCOMPARE(editor->text(0), "    x\r\n");
    editor->setCursorPosition(1, 2);
    Key(window, Qt::Key_Backspace);
    QCOMPARE(editor->text(1), "a\r\n");
    Store().WriteBool("Marlo", "Backspace unindents", false);
    editor->setCursorPosition(0, 4);
    Key(window, Qt::Key_Backspace);
    QCOMPARE(editor->text(0), "   x\r\n");

    Key(window, Qt::Key_F1);
    QCOMPARE(boxes_->Texts(), QStringList{"help on the way!"});
  }

  // Find searches the Source page (the rules are tst_search's); the
  // window shows its dialogs; the Preprocessed page keeps its text under
  // every key while its bookmarks work.
  void findReplaceAndKeysOnEachPage() {
    TSourceWindow* window = Open("f.bos", "speed = Speed_x + speed;\r\n");
    QCOMPARE(window->SearchText("speed", TSearchOptions{true, true, true}), 18);
    QCOMPARE(window->SourceCode()->selectedText(), "speed");
    window->HandleMessage(MSG_REPLACE);
    QVERIFY(window->ReplaceDialog1()->isVisible());

    window->PreprocessFile();
    window->PageControl1()->setCurrentIndex(1);
    marlo::editor::SourceEdit* preprocessed = window->Preprocessed();
    preprocessed->setFocus();
    const QString before = preprocessed->text();
    preprocessed->setCursorPosition(0, 0);
    QTest::keyClick(preprocessed, Qt::Key_7, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(preprocessed, Qt::Key_Down);
    QTest::keyClick(preprocessed, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(preprocessed, Qt::Key_Return);
    QTest::keyClick(preprocessed, Qt::Key_7, Qt::ControlModifier);
    QCOMPARE(preprocessed->CaretLine(), 1);
    QCOMPARE(preprocessed->text(), before);
  }

  void printsThePlainText() {
    TSourceWindow* window = Open("p.bos", "piece base;\r\n");
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(PathOf("p.pdf"));
    window->Print(printer);
    QVERIFY(QFileInfo(PathOf("p.pdf")).size() > 500);
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  TestMainWindow test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_main_window.moc"
