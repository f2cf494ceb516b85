#include "ide/source_window.h"

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSplitter>
#include <QTabWidget>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <span>
#include <system_error>
#include <utility>

#include "compiler/listing.h"
#include "driver/compile_source.h"
#include "driver/memory_include_files.h"
#include "driver/source_file.h"
#include "driver/source_position.h"
#include "driver/standard_tokens.h"
#include "editor/bos_syn_lexer.h"
#include "ide/find_dialogs.h"
#include "ide/reg_ini_plus.h"
#include "ide/settings.h"
#include "ide/source_search.h"
#include "preprocessor/scanner.h"
#include "ui/message_box.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace marlo::ide {
namespace {

constexpr int kEventInterval = 20;  // ms between event runs during a long command

// The column (from 1) that `column` of line `line` of `stored` shows at once
// its tabs are expanded to `tabWidth` blanks, as a source window loads it.
int ExpandedColumn(std::string_view stored, int line, int column, int tabWidth) {
  std::size_t start = 0;
  for (int current = 1; current < line && start != std::string_view::npos; ++current) {
    start = stored.find('\n', start);
    if (start != std::string_view::npos) ++start;
  }
  if (start == std::string_view::npos) return column;
  int expanded = 1;
  for (int i = 1; i < column && start + static_cast<std::size_t>(i) - 1 < stored.size(); ++i)
    expanded += stored[start + static_cast<std::size_t>(i) - 1] == '\t' ? std::max(tabWidth, 0) : 1;
  return expanded;
}

void SetEditorBytes(editor::SourceEdit& page, const std::string& text) {
  page.SetBytes(QByteArray::fromStdString(text));
}

// Lines as the window's text: every line ends with CR LF, whatever line ends
// an edit or a paste brought in.
std::string AsWindowsLines(const QByteArray& bytes) {
  std::string text;
  text.reserve(static_cast<std::size_t>(bytes.size()) + 2);
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r' || c == '\n') {
      text += "\r\n";
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      text.push_back(c);
    }
  }
  if (!text.empty() && text.back() != '\n') text += "\r\n";
  return text;
}

// Runs of `width` blanks become one tab each, scanning from the left.
std::string OptimalFill(const std::string& text, int width) {
  if (width <= 0) return text;
  std::string out;
  out.reserve(text.size());
  std::size_t run = 0;
  for (char c : text) {
    if (c == ' ') {
      if (++run == static_cast<std::size_t>(width)) {
        out.push_back('\t');
        run = 0;
      }
      continue;
    }
    out.append(run, ' ');
    run = 0;
    out.push_back(c);
  }
  out.append(run, ' ');
  return out;
}

QString WithExtension(const QString& path, const QString& extension) {
  const QFileInfo info(path);
  const QString suffix = info.suffix();
  const QString base =
      suffix.isEmpty() && !path.endsWith(QLatin1Char('.')) ? path : path.left(path.size() - suffix.size() - 1);
  return base + extension;
}

std::string Local(const QString& text) { return QFile::encodeName(text).toStdString(); }

// A new file beside `target` under a name of its own, made as any new file
// is: the umask decides its permissions.
bool CreateBeside(const QFileInfo& target, QFile& file) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    file.setFileName(target.absolutePath() + QStringLiteral("/.") + target.fileName() + u'.' +
                     QString::number(QRandomGenerator::global()->generate(), 36));
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return true;
    if (!file.exists()) return false;
  }
  return false;
}

// On the disk before it takes the target's name: a crash after the rename
// must not leave an empty file there. Empty, or what went wrong.
QString Sync(QFile& file) {
  if (!file.flush()) return file.errorString();
#ifdef Q_OS_UNIX
  if (::fsync(file.handle()) != 0) return QString::fromLocal8Bit(std::strerror(errno));
#endif
  return QString();
}

// The folder's entries on the disk too: the rename itself.
void SyncFolder(const QString& folder) {
#ifdef Q_OS_UNIX
  const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // some file systems cannot; the file itself is synced
  ::close(fd);
#else
  Q_UNUSED(folder);
#endif
}

}  // namespace

void TProgressAdapter::SetMax(std::int64_t max) {
  max_ = max;
  position_ = 0;
  bar_.setValue(0);
}

// Only noted here: the bar paints itself at once when its value changes, so
// it follows at the pace of ProcessEvents.
void TProgressAdapter::SetPosition(std::int64_t position) { position_ = position; }

void TProgressAdapter::ProcessEvents() {
  if (!timer_.isValid() || timer_.elapsed() >= kEventInterval) {
    if (max_ > 0) {
      const int percent = static_cast<int>(std::clamp<std::int64_t>(position_ * 100 / max_, 0, 100));
      if (percent != bar_.value()) bar_.setValue(percent);
    }
    QCoreApplication::processEvents();
    timer_.restart();
  }
  // Between event runs too: a compile that starts and ends between two of
  // them must still see a Cancel given while preprocessing.
  if (afterEvents_) afterEvents_();
}

TSourceWindow::TSourceWindow(ISourceWindowHost& host, int number, QWidget* parent) : QWidget(parent), host_(host) {
  pageControl_ = new QTabWidget(this);
  pageControl_->setObjectName(QStringLiteral("PageControl1"));
  sourceCode_ = new editor::SourceEdit(editor::EditorPage::Source, pageControl_);
  sourceCode_->setObjectName(QStringLiteral("SourceCode"));
  pageControl_->addTab(sourceCode_, QStringLiteral("Source"));

  auto* splitter = new QSplitter(pageControl_);
  preprocessed_ = new editor::SourceEdit(editor::EditorPage::Preprocessed, splitter);
  preprocessed_->setObjectName(QStringLiteral("preprocessed"));
  listBox1_ = new QListWidget(splitter);
  listBox1_->setObjectName(QStringLiteral("ListBox1"));
  splitter->addWidget(preprocessed_);
  splitter->addWidget(listBox1_);
  splitter->setStretchFactor(0, 1);
  splitter->setSizes({400, 185});
  pageControl_->addTab(splitter, QStringLiteral("Preprocessed"));

  disAssembler_ = new editor::SourceEdit(editor::EditorPage::Assembly, pageControl_);
  disAssembler_->setObjectName(QStringLiteral("DisAssembler"));
  pageControl_->addTab(disAssembler_, QStringLiteral("Assembly"));

  controlBar_ = new QWidget(this);
  controlBar_->setObjectName(QStringLiteral("ControlBar1"));
  label1_ = new QLabel(QStringLiteral("Status"), controlBar_);
  progressBar1_ = new QProgressBar(controlBar_);
  progressBar1_->setRange(0, 100);
  button1_ = new QPushButton(QStringLiteral("&Cancel"), controlBar_);
  button1_->setShortcut(Qt::Key_Escape);
  auto* bar = new QHBoxLayout(controlBar_);
  bar->setContentsMargins(4, 2, 4, 2);
  bar->addWidget(label1_, 1);
  bar->addWidget(progressBar1_, 2);
  bar->addWidget(button1_);
  controlBar_->hide();
  connect(button1_, &QPushButton::clicked, this, &TSourceWindow::Cancel);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(controlBar_);
  layout->addWidget(pageControl_);

  // A Cancel pressed while preprocessing reaches the compile as soon as it
  // starts (starting clears the compiler's own flag).
  progress_ = std::make_unique<TProgressAdapter>(*progressBar1_, [this] {
    if (cancelRequested_) compiler_.Abort();
  });
  preProcessor_.SetTokens(core::StandardTokenList());
  preProcessor_.SetProgressBar(progress_.get());
  compiler_.SetPreProcesser(&preProcessor_);
  compiler_.SetMessageListBox(&host_.MessageList());
  compiler_.SetProgessBar(progress_.get());
  compiler_.SetOnDumpFile([this](std::istream& cob) { ShowListing(cob); });
  connect(pageControl_, &QTabWidget::currentChanged, this, [this] {
    if (pageControl_->currentWidget() == disAssembler_) FillListing();
    ShowCaret();
  });
  compiler_.SetOnWarning(
      [this](const core::CompileWarning& warning) { ShowInformation(this, QString::fromStdString(warning.text)); });

  connect(sourceCode_, &QsciScintilla::textChanged, this, [this] { SetModified(true); });
  connect(sourceCode_, &QsciScintilla::cursorPositionChanged, this, [this] { UpdateStatus(); });
  for (editor::SourceEdit* page : {preprocessed_, disAssembler_})
    connect(page, &QsciScintilla::cursorPositionChanged, this, &TSourceWindow::ShowCaret);
  sourceCode_->installEventFilter(this);
  connect(sourceCode_, &editor::SourceEdit::InsertModeChanged, this, [this] { UpdateStatus(); });

  // One BOS highlighter colours the Source and Preprocessed pages; the
  // Assembly page has the general one.
  ApplySourceWindowSettings(bosSyn1_);
  ApplyAssemblyPageSettings(assemblySyn_);
  sourceCode_->SetHighLighter(NewSynLexer(bosSyn1_, sourceCode_));
  preprocessed_->SetHighLighter(NewSynLexer(bosSyn1_, preprocessed_));
  disAssembler_->SetHighLighter(NewSynLexer(assemblySyn_, disAssembler_));

  findDialog1_ = new TFindDialog(this);
  replaceDialog1_ = new TReplaceDialog(this);
  auto find = [this](const QString& text, const TSearchOptions& options) { SearchText(text, options); };
  connect(findDialog1_, &TFindDialog::findNext, this, find);
  connect(replaceDialog1_, &TReplaceDialog::findNext, this, find);
  connect(replaceDialog1_, &TReplaceDialog::replace, this,
          [this](const QString& text, const QString& replacement, const TSearchOptions& options) {
            ReplaceInEditor(*sourceCode_, this, text, replacement, options);
          });
  connect(replaceDialog1_, &TReplaceDialog::replaceAll, this,
          [this](const QString& text, const QString& replacement, const TSearchOptions& options) {
            ReplaceAllInEditor(*sourceCode_, this, text, replacement, options);
          });

  SetFileName(QStringLiteral("noname%1.bos").arg(number, 2, 10, QLatin1Char('0')));
  SetModified(false);
}

TSourceWindow::~TSourceWindow() {
  // A compile still running here (the program is quitting) stops at its
  // next look at the text.
  compiler_.Abort();
}

void TSourceWindow::SetFileName(const QString& path) {
  fileName_ = path;
  setWindowTitle(path);
}

void TSourceWindow::SetModified(bool flag) {
  modified_ = flag;
  setWindowTitle(fileName_);
  host_.SetStatusPanel(1, flag ? QStringLiteral("Modified") : QString());
  UpdateStatus();
  // Runs at every keystroke: a damaged setting keeps the editor as it is
  // here and is reported by the commands that need it.
  try {
    sourceCode_->SetTabWidth(ReadEditorTabWidth(host_.Store()));
    sourceCode_->SetAutoIndent(ReadAutoindent(host_.Store()));
  } catch (const ERegistryError&) {
  }
}

// The first panel shows the caret of the page in front.
editor::SourceEdit* TSourceWindow::ShownEditor() const {
  switch (pageControl_->currentIndex()) {
    case 1:
      return preprocessed_;
    case 2:
      return disAssembler_;
    default:
      return sourceCode_;
  }
}

void TSourceWindow::ShowCaret() {
  int line = 0;
  int index = 0;
  ShownEditor()->getCursorPosition(&line, &index);
  host_.SetStatusPanel(0, QStringLiteral("%1: %2").arg(line).arg(index));
}

void TSourceWindow::UpdateStatus() {
  ShowCaret();
  host_.SetStatusPanel(2, sourceCode_->InsertMode() ? QStringLiteral("Insert") : QStringLiteral("Overwrite"));
}

bool TSourceWindow::LoadFile(const QString& path) {
  SetFileName(path);
  const core::LoadResult loaded = core::LoadFile(Local(path), ReadTabWidth(host_.Store()));
  if (!loaded.ok) {
    ShowError(this, QString::fromLocal8Bit(loaded.error.c_str()));
    return false;
  }
  // Text that is not UTF-8 is kept byte for byte (shown as Latin-1).
  sourceCode_->setUtf8(QUtf8StringView(loaded.text).isValidUtf8());
  const QSignalBlocker quiet(sourceCode_);
  SetEditorBytes(*sourceCode_, loaded.text);
  SetModified(false);
  return true;
}

std::string TSourceWindow::EditorText() const { return AsWindowsLines(sourceCode_->Bytes()); }

bool TSourceWindow::SaveFile() {
  if (fileName_.left(6).toLower() == QLatin1String("noname")) {
    const QString chosen = host_.AskSaveFileName(fileName_);
    if (chosen.isEmpty()) return false;
    SetFileName(chosen);
    return SaveFile();
  }
  TRegIniPlus& store = host_.Store();
  std::string text = EditorText();
  if (ReadOptimalFill(store)) text = OptimalFill(text, ReadTabWidth(store));

  // The new text goes to a file beside the target first; only then does
  // the old file become the backup and the new one take its place.
  const QFileInfo target(fileName_);
  QFile temporary;
  const bool created = CreateBeside(target, temporary);
  auto removeTemporary = qScopeGuard([&] {
    if (created) temporary.remove();
  });
  const bool written = created && temporary.write(text.data(), static_cast<qint64>(text.size())) == qint64(text.size());
  QString failure = temporary.errorString();
  if (written) {
    if (target.exists()) temporary.setPermissions(QFile(fileName_).permissions());
    failure = Sync(temporary);
  }
  if (!written || !failure.isEmpty()) {
    ShowError(this, QStringLiteral("Cannot create file \"%1\". %2").arg(fileName_, failure));
    return false;
  }
  temporary.close();

  namespace fs = std::filesystem;
  const fs::path path = fs::path(Local(fileName_));
  const fs::path backup = fs::path(Local(WithExtension(fileName_, QStringLiteral(".bak"))));
  std::error_code error;
  const bool hadFile = fs::exists(path, error);
  if (hadFile) {
    fs::remove(backup, error);
    fs::rename(path, backup, error);
    if (error) {
      ShowError(this, QStringLiteral("Cannot rename \"%1\" to \"%2\". %3")
                          .arg(fileName_, QString::fromStdString(backup.string()),
                               QString::fromLocal8Bit(error.message().c_str())));
      return false;
    }
  }
  fs::rename(fs::path(Local(temporary.fileName())), path, error);
  if (error) {
    if (hadFile) {
      std::error_code ignored;
      fs::rename(backup, path, ignored);  // put the old file back
    }
    ShowError(this, QStringLiteral("Cannot create file \"%1\". %2")
                        .arg(fileName_, QString::fromLocal8Bit(error.message().c_str())));
    return false;
  }
  removeTemporary.dismiss();
  SyncFolder(target.absolutePath());
  SetModified(false);
  return true;
}

bool TSourceWindow::SaveFileAs() {
  const QString chosen = host_.AskSaveFileName(fileName_);
  if (chosen.isEmpty()) return false;
  SetFileName(chosen);
  return SaveFile();
}

void TSourceWindow::AutoSave() {
  if (Read(host_.Store(), settings::kAutoSave)) SaveFile();
}

void TSourceWindow::ShowProgress(const QString& label) {
  progressBar1_->setValue(0);
  controlBar_->show();
  host_.EnsureMessageWindow();
  label1_->setText(label);
  progress_->Restart();
  QCoreApplication::processEvents();
}

void TSourceWindow::HideProgress() { controlBar_->hide(); }

bool TSourceWindow::RunPreprocessor() {
  const TRegIniPlus& store = host_.Store();
  core::PreprocessSettings road;
  road.includeDirs = Local(Read(store, settings::kIncludeDirs));
  road.definesCaseSensitive = Read(store, settings::kDefinesCaseSensitive);
  road.includeBesideIncluder = Read(store, settings::kExtended);
  road.secondCore = false;
  return core::PreprocessTwice(preProcessor_, EditorText(), Local(fileName_), road);
}

void TSourceWindow::ShowPreprocessed() {
  SetEditorBytes(*preprocessed_, preProcessor_.Source());
  listBox1_->clear();
  const core::TStack& defines = preProcessor_.Defines();
  for (int i = 0; i < defines.Count(); ++i) listBox1_->addItem(QString::fromStdString(defines.Get(i)));
}

// A preprocess or compile from start to end: the window is busy (its
// commands wait their turn, Cancel reaches it), and a close asked for
// meanwhile happens after it.
class TSourceWindow::Run {
 public:
  Run(TSourceWindow& window, const QString& label) : window_(window) {
    window_.busy_ = true;
    window_.cancelRequested_ = false;
    emit window_.busyChanged(true);
    try {
      window_.AutoSave();
    } catch (...) {
      // An unreadable setting ends the command; the window must not stay busy.
      window_.busy_ = false;
      emit window_.busyChanged(false);
      throw;
    }
    window_.ShowProgress(label);
  }
  ~Run() {
    window_.HideProgress();
    window_.busy_ = false;
    emit window_.busyChanged(false);
    if (std::exchange(window_.closeAfterRun_, false)) {
      QWidget* frame = window_.parentWidget() ? window_.parentWidget() : &window_;
      QTimer::singleShot(0, frame, &QWidget::close);
    }
  }

 private:
  TSourceWindow& window_;
};

void TSourceWindow::InTurn(std::function<void(TSourceWindow&)> command) {
  host_.RunInTurn([window = QPointer<TSourceWindow>(this), command = std::move(command)] {
    if (window) command(*window);
  });
}

void TSourceWindow::PreprocessFile() { InTurn(&TSourceWindow::Preprocess); }

void TSourceWindow::CompileFile() { InTurn(&TSourceWindow::Compile); }

void TSourceWindow::GotoPosition(int col, int line) {
  InTurn([col, line](TSourceWindow& window) { window.GoTo(col, line); });
}

void TSourceWindow::GotoSourceLine(int col, int line, const QString& message) {
  InTurn([col, line, text = message.toStdString()](TSourceWindow& window) {
    if (!window.RunPreprocessor()) return;
    // The editor's text stands for this file; headers are read from disk.
    const core::DiskIncludeFiles disk;
    core::MemoryIncludeFiles files(&disk);
    files.Add(window.preProcessor_.FileName(), window.EditorText());
    const core::SourcePosition where = core::FindSourcePosition(window.preProcessor_, line, col, 0, files, text);
    if (where.file.empty()) return;
    // A header was read as stored, tabs and all; its window shows them expanded.
    int column = where.column;
    if (where.file != window.preProcessor_.FileName()) {
      std::string stored;
      std::string reason;
      if (disk.Read(where.file, stored, reason))
        column = ExpandedColumn(stored, where.line, where.column, ReadTabWidth(window.host_.Store()));
    }
    window.host_.ShowSourceLine(QString::fromStdString(where.file), where.line, column);
  });
}

void TSourceWindow::ShowSourcePlace(int line, int column) {
  if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) {
    frame->raise();
    if (QMdiArea* area = frame->mdiArea()) area->setActiveSubWindow(frame);
  }
  pageControl_->setCurrentIndex(0);
  sourceCode_->SetCaretPosition(line, column);
  sourceCode_->ensureCursorVisible();
  sourceCode_->setFocus();
  ShowCaret();
}

void TSourceWindow::Preprocess() {
  if (busy_) return;
  const Run run(*this, QStringLiteral("Preprocessing file %1").arg(fileName_));
  const bool ok = RunPreprocessor();
  ShowPreprocessed();
  host_.SetStatusPanel(3, QString());
  if (!ok) {
    // The line a compile would show, and a note where the user looks now.
    int row = 0;
    int col = 0;
    preProcessor_.SourceEnd(row, col);
    host_.MessageList().Add("[" + std::to_string(row) + ": " + std::to_string(col) + "] " +
                            preProcessor_.Error().Describe());
    host_.SetStatusPanel(3, QStringLiteral("Preprocessing failed"));
  }
}

void TSourceWindow::Compile() {
  if (busy_) return;
  const Run run(*this, QStringLiteral("Compiling file %1").arg(fileName_));
  CompileSettings settings;
  try {
    settings = ReadCompileSettings(host_.Store());
  } catch (const ERegistryError& error) {
    ShowError(this, QString::fromUtf8(error.what()));
    return;
  }
  compiler_.SetAngularConst(settings.angular);
  compiler_.SetLinearConst(settings.linear);
  compiler_.SetRecurseDepth(settings.recurse);
  compiler_.SetOutputPath(Local(settings.outputDir));
  compiler_.SetOutputFilename(Local(WithExtension(fileName_, QStringLiteral(".cob"))));
  compiler_.SetSourceFile(Local(fileName_));
  compiler_.SetExtended(settings.extended);
  core::PreprocessSettings road;
  road.includeDirs = Local(settings.includeDirs);
  road.definesCaseSensitive = settings.definesCaseSensitive;
  road.includeBesideIncluder = settings.extended;
  road.secondCore = false;
  core::PreprocessAndCompile(preProcessor_, compiler_, EditorText(), Local(fileName_), road);
  ShowPreprocessed();
  host_.PlayEventSound(compiler_.CompileAborted() ? QStringLiteral("MarloCompileError")
                                                  : QStringLiteral("MarloCompileDone"));
  if (settings.viewAssembly && !compiler_.CompileAborted()) pageControl_->setCurrentWidget(disAssembler_);
}

qsizetype TSourceWindow::SearchText(const QString& text, const TSearchOptions& options) {
  return SearchEditor(*sourceCode_, this, text, options);
}

void TSourceWindow::Cancel() {
  cancelRequested_ = true;
  compiler_.Abort();
}

// The listing of a large file takes long to build and to show, so the
// file is kept and listed when the Assembly page is looked at.
void TSourceWindow::ShowListing(std::istream& cob) {
  cob_.assign(std::istreambuf_iterator<char>(cob), std::istreambuf_iterator<char>());
  listingStale_ = true;
  if (pageControl_->currentWidget() == disAssembler_) FillListing();
}

void TSourceWindow::FillListing() {
  if (!listingStale_) return;
  listingStale_ = false;
  const std::vector<std::string> lines = core::BuildListing(std::span<const std::uint8_t>(cob_));
  std::string text;
  for (const std::string& line : lines) text.append(line).append("\r\n");
  SetEditorBytes(*disAssembler_, text);
}

void TSourceWindow::GoTo(int col, int line) {
  // The active child, not only the top one: its menus and caret come with it.
  if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) {
    frame->raise();
    if (QMdiArea* area = frame->mdiArea()) area->setActiveSubWindow(frame);
  }
  pageControl_->setCurrentIndex(1);
  Preprocess();
  // The editor counts from 1 and keeps the caret within the text.
  preprocessed_->SetCaretPosition(line + 1, col + 1);
  preprocessed_->ensureCursorVisible();
  preprocessed_->setFocus();
  ShowCaret();
}

void TSourceWindow::HandleMessage(int message) {
  switch (message) {
    case MSG_SAVE:
      SaveFile();
      break;
    case MSG_SAVEAS:
      SaveFileAs();
      break;
    case MSG_COMPILE:
      CompileFile();
      break;
    case MSG_PREPROCESS:
      PreprocessFile();
      break;
    case MSG_FIND:
      findDialog1_->Execute();
      break;
    case MSG_REPLACE:
      replaceDialog1_->Execute();
      break;
    case MSG_UNDO:
      sourceCode_->undo();
      break;
    case WM_CUT:
      sourceCode_->cut();
      break;
    case WM_COPY:
      sourceCode_->copy();
      break;
    case WM_PASTE:
      sourceCode_->paste();
      break;
    case WM_CLEAR:
      sourceCode_->removeSelectedText();
      break;
    case WM_PRINT:
      if (QPrinter* printer = host_.ChoosePrinter()) Print(*printer);
      break;
    default:
      break;
  }
}

// Plain text, one source line after another, in the editor's font.
void TSourceWindow::Print(QPrinter& printer) {
  QTextDocument document;
  document.setDefaultFont(sourceCode_->font());
  document.setPlainText(QString::fromUtf8(QByteArray::fromStdString(EditorText())));
  document.print(&printer);
}

// The window sees the Source editor's keys first: Backspace may unindent,
// and F1 answers here.
bool TSourceWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched != sourceCode_ || event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
    ShowInformation(this, QStringLiteral("help on the way!"));
    return true;
  }
  if (key->key() == Qt::Key_Backspace && key->modifiers() == Qt::NoModifier && !sourceCode_->isReadOnly() &&
      Read(host_.Store(), settings::kBackspaceUnindents))
    return BackspaceUnindent();
  return QWidget::eventFilter(watched, event);
}

// Up to a tab width of blanks left of the caret go at once; with anything
// printable among them the editor deletes one character as usual. At the
// start of a line nothing happens: lines are not joined.
bool TSourceWindow::BackspaceUnindent() {
  QsciScintilla& editor = *sourceCode_;
  if (editor.hasSelectedText()) return false;
  const long caret = editor.SendScintilla(QsciScintilla::SCI_GETCURRENTPOS);
  const long line = editor.SendScintilla(QsciScintilla::SCI_LINEFROMPOSITION, static_cast<unsigned long>(caret));
  const long lineStart = editor.SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
  const long k = std::max<long>(0, std::min<long>(ReadEditorTabWidth(host_.Store()), caret - lineStart));
  const QByteArray left = editor.bytes(static_cast<int>(caret - k), static_cast<int>(caret)).left(k);
  for (char c : left)
    if (static_cast<unsigned char>(c) > ' ') return false;
  if (k > 0) {
    editor.SendScintilla(QsciScintilla::SCI_SETSEL, static_cast<unsigned long>(caret - k), caret);
    editor.removeSelectedText();
  }
  return true;
}

void TSourceWindow::closeEvent(QCloseEvent* event) {
  if (busy_) {
    // Stop the running command first; the window closes when it has ended.
    Cancel();
    closeAfterRun_ = true;
    event->ignore();
    return;
  }
  if (modified_) {
    const auto answer =
        ShowBox(this, QMessageBox::Question, QStringLiteral("%1 has changed.  Save changes?").arg(fileName_),
                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::Cancel || (answer == QMessageBox::Yes && !SaveFile())) {
      event->ignore();
      return;
    }
  }
  event->accept();
}

}  // namespace marlo::ide
