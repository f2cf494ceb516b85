// A source window inside the real main window: saving byte for byte with
// its backup, failures that lose nothing, preprocessing and compiling with
// their messages and the "Extended syntax" item, Cancel and closing during
// a long compile, the keys the window handles itself, and printing.
#include <Qsci/qsciscintilla.h>
#include <sys/stat.h>

#include <QFile>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <optional>

#include "ide/compiler_settings_dialog.h"
#include "ide/find_dialogs.h"
#include "ide/main_window.h"
#include "ide/message_window.h"
#include "ide/reg_ini_plus.h"
#include "ide/source_window.h"
#include "tests/support/boxes.h"
#include "tests/support/qt_files.h"

using namespace marlo::ide;

class TestSourceWindow : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::optional<marlo::test::BoxRecorder> boxes_;
  std::unique_ptr<TForm1> form_;

  QString PathOf(const QString& name) const { return dir_.filePath(name); }

  QString Write(const QString& name, const QByteArray& bytes) { return marlo::test::WriteBytes(PathOf(name), bytes); }
  QByteArray Bytes(const QString& name) const { return marlo::test::ReadBytes(PathOf(name)); }

  TRegIniPlus& Store() { return form_->Store(); }

  TSourceWindow* Open(const QString& name, const QByteArray& bytes) {
    form_->OpenSourceFile(Write(name, bytes));
    return form_->ActiveSourceWindow();
  }

  // A script of `scripts` scripts, long enough for a compile to take a while.
  static QByteArray LongScript(int scripts) {
    QByteArray text = "piece base;\r\nstatic-var a;\r\n";
    for (int i = 0; i < scripts; ++i)
      text += "S" + QByteArray::number(i) +
              "()\r\n{\r\n  a = a + 1 * 2 - (3 / 4);\r\n  turn base to y-axis <45> speed <10>;\r\n}\r\n";
    return text;
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

 private slots:
  void init() {
    boxes_.emplace(QList<QMessageBox::StandardButton>{}, QMessageBox::No);
    QFile::remove(PathOf("settings.ini"));
    form_ = std::make_unique<TForm1>(std::make_unique<TRegIniPlus>(PathOf("settings.ini")));
    Store().WriteString("Marlo", "output dir", dir_.path());
    form_->SetSaveFileNameChooser([](const QString&) { return QString(); });
    form_->show();
  }
  void cleanup() {
    form_.reset();
    boxes_.reset();
  }

  void saveKeepsABackupAndFillsBlanksWithTabs() {
    TSourceWindow* window = Open("a.bos", "        x\r\n");
    QCOMPARE(window->SourceCode()->text(), QStringLiteral("        x\r\n"));
    window->SourceCode()->insertAt(QStringLiteral("y\r\n"), 1, 0);
    QVERIFY(window->Modified());
    QVERIFY(window->SaveFile());
    QVERIFY(!window->Modified());
    QCOMPARE(Bytes("a.bos"), QByteArray("\t\tx\r\ny\r\n"));
    QCOMPARE(Bytes("a.bak"), QByteArray("        x\r\n"));
    window->SourceCode()->insertAt(QStringLiteral("   z\r\n"), 2, 0);
    QVERIFY(window->SaveFile());
    QCOMPARE(Bytes("a.bos"), QByteArray("\t\tx\r\ny\r\n   z\r\n"));
    QCOMPARE(Bytes("a.bak"), QByteArray("\t\tx\r\ny\r\n"));
    // Loading expands the tabs again; a width of 0 removes them.
    form_->OpenSourceFile(PathOf("a.bos").toUpper());  // the same window
    window->parentWidget()->close();
    QCOMPARE(Open("a.bos", Bytes("a.bos"))->SourceCode()->text(), QStringLiteral("        x\r\ny\r\n   z\r\n"));
    Store().WriteInteger("Marlo", "tab width", 0);
    QCOMPARE(Open("b.bos", "\tq\t\r\n")->SourceCode()->text(), QStringLiteral("q\r\n"));
  }

  // A new file gets the permissions the umask leaves; a file saved again
  // keeps its own.
  void savedFilePermissions_data() {
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("existing");  // -1: a new file
    QTest::addColumn<int>("mode");
    QTest::newRow("new, 022") << 022 << -1 << 0644;
    QTest::newRow("new, 027") << 027 << -1 << 0640;
    QTest::newRow("new, 077") << 077 << -1 << 0600;
    QTest::newRow("existing") << 022 << 0640 << 0640;
  }
  void savedFilePermissions() {
    QFETCH(int, umask);
    QFETCH(int, existing);
    QFETCH(int, mode);
    const QString path = PathOf("mode.bos");
    QFile::remove(path);
    if (existing >= 0) {
      Write("mode.bos", "old\r\n");
      QCOMPARE(chmod(QFile::encodeName(path).constData(), mode_t(existing)), 0);
    }
    const mode_t saved = ::umask(mode_t(umask));
    form_->SetSaveFileNameChooser([&](const QString&) { return path; });
    const bool ok = form_->NewSourceWindow()->SaveFileAs();
    ::umask(saved);
    QVERIFY(ok);
    struct stat info {};
    QCOMPARE(stat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(int(info.st_mode & 0777), mode);
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
    window->SourceCode()->setText(QStringLiteral("new\r\n"));
    // A target whose folder does not exist cannot be written.
    form_->SetSaveFileNameChooser([this](const QString&) { return PathOf("missing/folder/keep.bos"); });
    QVERIFY(!window->SaveFileAs());
    QCOMPARE(boxes_->asked.size(), 1);
    QVERIFY2(boxes_->Texts()[0].startsWith("Cannot create file"), qPrintable(boxes_->Texts()[0]));
    QVERIFY(window->Modified());
    QCOMPARE(Bytes("keep.bos"), QByteArray("old\r\n"));

    // A folder nobody may create files in, root included.
    form_->SetSaveFileNameChooser([](const QString&) { return QStringLiteral("/proc/keep.bos"); });
    window->SourceCode()->setText(QStringLiteral("newer\r\n"));
    QVERIFY(!window->SaveFileAs());
    QVERIFY(window->Modified());
    QCOMPARE(boxes_->asked.size(), 2);

    if (geteuid() == 0) QSKIP("folder permissions do not hold for root");
    QDir(dir_.path()).mkdir("locked");
    const QString locked = PathOf("locked/l.bos");
    form_->SetSaveFileNameChooser([&](const QString&) { return locked; });
    QVERIFY(window->SaveFileAs());
    QFile::setPermissions(PathOf("locked"), QFile::ReadOwner | QFile::ExeOwner);
    window->SourceCode()->setText(QStringLiteral("newest\r\n"));
    QVERIFY(!window->SaveFile());
    QFile::setPermissions(PathOf("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(Bytes("locked/l.bos"), QByteArray("newer\r\n"));
    QVERIFY(window->Modified());
  }

  void unnamedWindowCompilesAfterACancelledSaveDialog() {
    TSourceWindow* window = form_->NewSourceWindow();
    window->SourceCode()->setText(QStringLiteral("piece base;\r\nCreate()\r\n{\r\n}\r\n"));
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
    QCOMPARE(window->ListBox1()->item(0)->text(), QStringLiteral("SPEED= < 5 >"));
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
    QCOMPARE(form_->StatusPanel(3), QStringLiteral("Preprocessing failed"));
    window->CompileFile();
    QCOMPARE(form_->Messages().Lines()[2], form_->Messages().Lines()[0]);
  }

  void extendedSyntaxItem_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("extended");
    QTest::addColumn<QString>("lastLine");
    QTest::addColumn<bool>("preprocesses");  // View Preprocessed file alone
    const QByteArray withElse = "piece a;\nCreate()\n{\n if (1) { hide a; } else { show a; }\n}\n";
    const QByteArray includeBeside = "#include \"beside.h\"\nCreate()\n{\n hide a;\n}\n";
    const QString done = QStringLiteral("Compile completed successfully");
    QTest::newRow("else, off") << withElse << false << "Syntax Error 'else'" << true;
    QTest::newRow("else, on") << withElse << true << done << true;
    QTest::newRow("include beside, off") << includeBeside << false << "Include file 'beside.h' not found" << false;
    QTest::newRow("include beside, on") << includeBeside << true << done << true;
  }
  // The window is open before the item changes: the compile reads it then.
  void extendedSyntaxItem() {
    QFETCH(QByteArray, script);
    QFETCH(bool, extended);
    QFETCH(QString, lastLine);
    QFETCH(bool, preprocesses);
    Write("beside.h", "piece a;\n");
    QFile::remove(PathOf("ext.cob"));
    TSourceWindow* window = Open("ext.bos", script);
    Store().WriteBool("Marlo", "Extended syntax", !extended);
    SetCheckItem("Extended syntax", extended);
    window->CompileFile();
    const QString last = form_->Messages().Lines().last();
    QVERIFY2(last.contains(lastLine), qPrintable(last));
    QCOMPARE(QFile::exists(PathOf("ext.cob")), extended);
    window->PreprocessFile();
    QCOMPARE(form_->StatusPanel(3).isEmpty(), preprocesses);
  }

  // The second compile asked for meanwhile waits for the first one's end.
  void cancelEndsALongCompileAndASecondOneWaits() {
    TSourceWindow* window = Open("long.bos", LongScript(40000));
    bool disabledWhileRunning = false;
    QTimer::singleShot(30, this, [&] {
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
    QCOMPARE(form_->Messages().Lines()[3], QStringLiteral("Compile completed successfully"));
  }

  void closingDuringACompileEndsItCleanly() {
    TSourceWindow* window = Open("closing.bos", LongScript(40000));
    QPointer<QMdiSubWindow> frame = qobject_cast<QMdiSubWindow*>(window->parentWidget());
    QTimer::singleShot(30, frame, &QWidget::close);
    window->CompileFile();
    QVERIFY(form_->Messages().Lines().last().endsWith("Compile Aborted"));
    QTRY_VERIFY(frame.isNull());
    QVERIFY(form_->SourceWindows().isEmpty());
  }

  // Kept open by the save question's Cancel, the window stays open after
  // later commands too.
  void aCloseRefusedAfterACompileDoesNotComeBack() {
    Store().WriteBool("Marlo", "Auto save source on compile", false);
    TSourceWindow* window = Open("kept.bos", LongScript(40000));
    QPointer<QMdiSubWindow> frame = qobject_cast<QMdiSubWindow*>(window->parentWidget());
    window->SourceCode()->insertAt(QStringLiteral("// edited\r\n"), 0, 0);
    boxes_->otherwise = QMessageBox::Cancel;
    QTimer::singleShot(30, frame, &QWidget::close);
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
    QTimer::singleShot(30, form_.get(), [&] { closedAtOnce = form_->close(); });
    window->CompileFile();
    QVERIFY(!closedAtOnce);
    QVERIFY(form_->Messages().Lines().last().endsWith("Compile Aborted"));
    QTRY_VERIFY(!form_->isVisible());
  }

  void gotoPositionClampsToTheLastLine() {
    TSourceWindow* window = Open("g.bos", "piece base;\r\nCreate()\r\n{\r\n}\r\n");
    window->GotoPosition(3, 1000);
    int line = 0;
    int col = 0;
    window->Preprocessed()->getCursorPosition(&line, &col);
    QCOMPARE(line, window->Preprocessed()->lines() - 1);
    QCOMPARE(window->PageControl1()->currentIndex(), 1);
  }

  // The first status panel shows the caret of the page in front.
  void statusShowsTheCaretOfThePageInFront() {
    TSourceWindow* window = Open("caret.bos", "piece base;\r\nCreate()\r\n{\r\n}\r\n");
    window->PreprocessFile();
    window->SourceCode()->setCursorPosition(2, 1);
    window->Preprocessed()->setCursorPosition(1, 3);
    window->PageControl1()->setCurrentIndex(1);
    QCOMPARE(form_->StatusPanel(0), QStringLiteral("1: 3"));
    window->PageControl1()->setCurrentIndex(0);
    QCOMPARE(form_->StatusPanel(0), QStringLiteral("2: 1"));
    window->GotoPosition(0, 2);
    QCOMPARE(form_->StatusPanel(0), QStringLiteral("2: 0"));
  }

  void backspaceUnindentsAndF1Answers() {
    TSourceWindow* window = Open("k.bos", "        x\r\nab\r\n");
    QsciScintilla* editor = window->SourceCode();
    editor->setFocus();
    editor->setCursorPosition(0, 8);
    Key(window, Qt::Key_Backspace);
    QCOMPARE(editor->text(0), QStringLiteral("    x\r\n"));
    editor->setCursorPosition(0, 0);
    Key(window, Qt::Key_Backspace);
    QCOMPARE(editor->text(0), QStringLiteral("    x\r\n"));
    editor->setCursorPosition(1, 2);
    Key(window, Qt::Key_Backspace);
    QCOMPARE(editor->text(1), QStringLiteral("a\r\n"));
    Store().WriteBool("Marlo", "Backspace unindents", false);
    editor->setCursorPosition(0, 4);
    Key(window, Qt::Key_Backspace);
    QCOMPARE(editor->text(0), QStringLiteral("   x\r\n"));

    Key(window, Qt::Key_F1);
    QCOMPARE(boxes_->Texts(), QStringList{"help on the way!"});
  }

  void findAndReplaceThroughTheWindow() {
    TSourceWindow* window = Open("f.bos", "speed = Speed_x + speed;\r\n");
    const TSearchOptions wholeWordMatchCase{true, true, true};
    // The first word has no character before it, "Speed_x" differs in case:
    // the last one is found, the position being that of the blank before it.
    QCOMPARE(window->SearchText("speed", wholeWordMatchCase), 18);
    QCOMPARE(window->SourceCode()->selectedText(), QStringLiteral("speed"));
    QCOMPARE(window->SearchText("speed", wholeWordMatchCase), 0);
    QCOMPARE(boxes_->Texts(), QStringList{"Search string not found"});
    window->SourceCode()->setCursorPosition(0, 0);
    QCOMPARE(window->SearchText("SPEED", TSearchOptions{true, false, false}), 1);
    boxes_->asked.clear();
    window->HandleMessage(MSG_REPLACE);
    QVERIFY(window->ReplaceDialog1()->isVisible());
  }

  void keysOnEachPage() {
    TSourceWindow* window = Open("keys.bos", "piece base;\r\nCreate()\r\n{\r\n}\r\n");
    window->PreprocessFile();
    marlo::editor::SourceEdit* source = window->SourceCode();
    source->setFocus();
    source->setCursorPosition(1, 0);
    QTest::keyClick(source, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(source->text(1), QStringLiteral("{\r\n"));
    window->PageControl1()->setCurrentIndex(1);
    marlo::editor::SourceEdit* preprocessed = window->Preprocessed();
    preprocessed->setFocus();
    const QString before = preprocessed->text();
    preprocessed->setCursorPosition(2, 0);
    QTest::keyClick(preprocessed, Qt::Key_7, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(preprocessed, Qt::Key_Down);
    QTest::keyClick(preprocessed, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(preprocessed, Qt::Key_Return);
    QTest::keyClick(preprocessed, Qt::Key_7, Qt::ControlModifier);
    QCOMPARE(preprocessed->CaretLine(), 3);
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

QTEST_MAIN(TestSourceWindow)
#include "tst_source_window.moc"
