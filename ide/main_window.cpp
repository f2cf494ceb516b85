#include "ide/main_window.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#if MARLO_HAVE_MULTIMEDIA
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#endif

#include "ide/command_line.h"
#include "ide/compiler_settings_dialog.h"
#include "ide/file_association.h"
#include "ide/message_window.h"
#include "ide/recent_files.h"
#include "ide/reg_ini_plus.h"
#include "ide/settings.h"
#include "ide/single_instance.h"
#include "net/contact_form.h"
#include "net/feedback_mail.h"
#include "net/web_file_info.h"
#include "ui/message_box.h"

// The icons live in the library's resources, which a static library must
// register itself.
static void InitResources() { Q_INIT_RESOURCE(marlo); }

namespace marlo::ide {
namespace {

QIcon Icon(const char* name) { return QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name))); }

// Everything up to and including the last separator or colon.
QString FolderPart(const QString& path) {
  const qsizetype cut = qMax(qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\'))),
                             path.lastIndexOf(QLatin1Char(':')));
  return path.left(cut + 1);
}

QString AbsolutePath(const QString& path) {
  return QDir::toNativeSeparators(QDir::cleanPath(QDir::current().absoluteFilePath(path)));
}

// The manual: installed beside the program, or in the source tree of a build.
QString ManualPath() {
  const QString candidates[] = {
      QCoreApplication::applicationDirPath() + QStringLiteral("/../share/doc/marlo/index.html"),
      QStringLiteral(MARLO_DOCS_INSTALL_DIR "/index.html"),
      QStringLiteral(MARLO_DOCS_SOURCE_DIR "/index.html"),
  };
  for (const QString& candidate : candidates)
    if (QFileInfo::exists(candidate)) return QFileInfo(candidate).canonicalFilePath();
  return QString();
}

}  // namespace

TForm1::TForm1(std::unique_ptr<TRegIniPlus> store, QWidget* parent)
    : QMainWindow(parent), store_(std::move(store)), messages_(std::make_unique<TMessageList>()) {
  InitResources();
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Marlo"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/marlo.svg")));
  setAcceptDrops(true);
  resize(900, 680);

  mdiArea_ = new QMdiArea(this);
  mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdiArea_);
  connect(mdiArea_, &QMdiArea::subWindowActivated, this, &TForm1::ChildActivated);

  webFileInfo_ = new net::TWebFileInfo(this);
  contactForm_ = new net::TContactForm(this);
  mail_ = new net::TFeedbackMail(contactForm_, this);
  mail_->GetAuthorEMail = [this](QString& address) {
    PrepareWebFileInfo();
    if (!webFileInfo_->GetInfo()) return false;
    address = webFileInfo_->ProductAuthorEMail();
    return true;
  };
  mail_->ShowStatus = [this](const QString& text) { SetStatusPanel(3, text); };

  mruList_ = new TMRUFileList(this);
  mruList_->Load(*store_);
  // A chosen entry goes back on top, also when its file is already open
  // (opening it then only brings its window to the front).
  connect(mruList_, &TMRUFileList::fileChosen, this, [this](const QString& path) {
    OpenSourceFile(path);
    mruList_->Add(AbsolutePath(path));
    SaveRecentFiles();
  });

  CreateMenus();
  CreateToolBars();
  CreateStatusBar();
  EnsureMessageWindow();
  ApplyEditorSettings();
}

TForm1::~TForm1() {
  try {
    mruList_->Save(*store_);
  } catch (const ERegistryError&) {
    // Already reported when the window closed; nothing to tell anyone now.
  }
  // Children go first: their compilers write into the message list.
  mdiArea_->closeAllSubWindows();
  qDeleteAll(mdiArea_->subWindowList());
}

void TForm1::CreateMenus() {
  fileMenu_ = menuBar()->addMenu(QStringLiteral("&File"));
  fileMenu_->addAction(QStringLiteral("&New"), this, &TForm1::NewSourceWindow);
  fileMenu_->addAction(QStringLiteral("&Open"), this, &TForm1::Open);
  reopenPlaceholder_ = fileMenu_->addAction(QStringLiteral("&Reopen"));
  reopenPlaceholder_->setEnabled(false);
  fileMenu_->addAction(QStringLiteral("&Save"), this, [this] { Forward(MSG_SAVE); });
  fileMenu_->addAction(QStringLiteral("Save &As"), this, [this] { Forward(MSG_SAVEAS); });
  printAction_ = fileMenu_->addAction(QStringLiteral("&Print..."), this, [this] { Forward(WM_PRINT); });
  printAction_->setVisible(false);
  fileMenu_->addSeparator();
  fileMenu_->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
  mruList_->AttachTo(fileMenu_, reopenPlaceholder_);

  // The active source window's own menus, shown only while one is active.
  editMenu_ = menuBar()->addMenu(QStringLiteral("&Edit"));
  auto onSource = [this](void (TSourceWindow::*command)()) {
    return [this, command] {
      if (TSourceWindow* window = ActiveSourceWindow()) (window->*command)();
    };
  };
  auto onEditor = [this](void (QsciScintilla::*command)()) {
    return [this, command] {
      if (TSourceWindow* window = ActiveSourceWindow()) (window->SourceCode()->*command)();
    };
  };
  editMenu_->addAction(QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z), this,
                       onEditor(&QsciScintilla::undo));
  editMenu_->addAction(QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X), this, onEditor(&QsciScintilla::cut));
  editMenu_->addAction(QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C), this,
                       onEditor(&QsciScintilla::copy));
  editMenu_->addAction(QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V), this,
                       onEditor(&QsciScintilla::paste));
  editMenu_->addSeparator();
  editMenu_->addAction(QStringLiteral("&Find..."), this, [this] {
    if (TSourceWindow* window = ActiveSourceWindow()) window->HandleMessage(MSG_FIND);
  });
  editMenu_->addAction(QStringLiteral("R&eplace..."), this, [this] {
    if (TSourceWindow* window = ActiveSourceWindow()) window->HandleMessage(MSG_REPLACE);
  });
  editMenu_->addAction(QStringLiteral("&Go To..."))->setEnabled(false);
  editMenu_->addSeparator();
  editMenu_->addAction(QStringLiteral("Select &All"), this, [this] {
    if (TSourceWindow* window = ActiveSourceWindow()) window->SourceCode()->selectAll(true);
  });

  QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
  options->addAction(QStringLiteral("&Font"), this, &TForm1::ChooseFont);
  options->addAction(QStringLiteral("&Window Color"), this, &TForm1::ChooseWindowColor);
  options->addAction(QStringLiteral("&Compiler Settings"), this, &TForm1::ShowCompilerSettings);
  options->addAction(QStringLiteral("Asssociate files"), this, &TForm1::AssociateFiles);

  bosMenu_ = menuBar()->addMenu(QStringLiteral("&Bos"));
  runActions_ << bosMenu_->addAction(QStringLiteral("View &Preprocessed file"), this,
                                     onSource(&TSourceWindow::PreprocessFile));
  runActions_ << bosMenu_->addAction(QStringLiteral("&Compile"), QKeySequence(Qt::Key_F9), this,
                                     onSource(&TSourceWindow::CompileFile));

  windowMenu_ = menuBar()->addMenu(QStringLiteral("&Window"));
  connect(windowMenu_, &QMenu::aboutToShow, this, &TForm1::UpdateWindowMenu);
  UpdateWindowMenu();

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->addAction(QStringLiteral("&Contents"), QKeySequence(Qt::Key_F1), this, &TForm1::ShowHelp);
  help->addAction(QStringLiteral("&About"), this, &TForm1::ShowAbout);
  help->addAction(QStringLiteral("Check for update"), this, &TForm1::CheckForUpdate);
  help->addAction(QStringLiteral("Contact Author"), this, &TForm1::ContactAuthor);

  editMenu_->menuAction()->setVisible(false);
  bosMenu_->menuAction()->setVisible(false);
}

void TForm1::UpdateWindowMenu() {
  windowMenu_->clear();
  windowMenu_->addAction(QStringLiteral("&Cascade"), mdiArea_, &QMdiArea::cascadeSubWindows);
  // Children one above the other, or side by side.
  auto tile = [this](bool horizontally) {
    QList<QMdiSubWindow*> shown;
    for (QMdiSubWindow* child : mdiArea_->subWindowList())
      if (!child->isMinimized()) shown.append(child);
    if (shown.isEmpty()) return;
    const QRect area = mdiArea_->viewport()->rect();
    const int n = static_cast<int>(shown.size());
    for (int i = 0; i < n; ++i) {
      shown[i]->showNormal();
      shown[i]->setGeometry(horizontally ? QRect(0, area.height() * i / n, area.width(), area.height() / n)
                                         : QRect(area.width() * i / n, 0, area.width() / n, area.height()));
    }
  };
  windowMenu_->addAction(QStringLiteral("Tile &Horizontally"), this, [tile] { tile(true); });
  windowMenu_->addAction(QStringLiteral("&Tile Vertically"), this, [tile] { tile(false); });
  windowMenu_->addAction(QStringLiteral("&Minimize All"), this, [this] {
    for (QMdiSubWindow* child : mdiArea_->subWindowList()) child->showMinimized();
  });
  windowMenu_->addAction(QStringLiteral("&Arrange"), this, [this] {
    // Minimized children in a row along the bottom.
    int x = 0;
    for (QMdiSubWindow* child : mdiArea_->subWindowList()) {
      if (!child->isMinimized()) continue;
      child->move(x, mdiArea_->viewport()->height() - child->height());
      x += child->width();
    }
  });
  const QList<QMdiSubWindow*> children = mdiArea_->subWindowList();
  if (!children.isEmpty()) windowMenu_->addSeparator();
  for (int i = 0; i < children.size(); ++i) {
    QMdiSubWindow* child = children[i];
    QAction* item = windowMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(child->windowTitle()), this,
                                           [this, child] { mdiArea_->setActiveSubWindow(child); });
    item->setCheckable(true);
    item->setChecked(child == mdiArea_->currentSubWindow());
  }
}

void TForm1::CreateToolBars() {
  fileToolBar_ = addToolBar(QStringLiteral("File"));
  fileToolBar_->setObjectName(QStringLiteral("ToolBar1"));
  auto add = [](QToolBar* bar, const char* icon, const QString& hint, auto&& slot) {
    QAction* action = bar->addAction(Icon(icon), hint);
    action->setToolTip(hint);
    action->setStatusTip(hint);
    QObject::connect(action, &QAction::triggered, bar, slot);
    return action;
  };
  add(fileToolBar_, "new", QStringLiteral("New File"), [this] { NewSourceWindow(); });
  add(fileToolBar_, "open", QStringLiteral("Open File"), [this] { Open(); });
  add(fileToolBar_, "save", QStringLiteral("Save"), [this] { Forward(MSG_SAVE); });
  fileToolBar_->addSeparator();
  add(fileToolBar_, "font", QStringLiteral("Change Font"), [this] { ChooseFont(); });
  add(fileToolBar_, "color", QStringLiteral("Change Window color"), [this] { ChooseWindowColor(); });
  fileToolBar_->addSeparator();
  add(fileToolBar_, "settings", QStringLiteral("Edit Settings"), [this] { ShowCompilerSettings(); });
  add(fileToolBar_, "explore", QStringLiteral("Explore location of current file"), [this] { Explore(); });

  editToolBar_ = addToolBar(QStringLiteral("Edit"));
  editToolBar_->setObjectName(QStringLiteral("ToolBar2"));
  add(editToolBar_, "find", QStringLiteral("Find text"), [this] { Forward(MSG_FIND); });
  add(editToolBar_, "replace", QStringLiteral("Replace text"), [this] { Forward(MSG_REPLACE); });
  editToolBar_->addSeparator();
  add(editToolBar_, "copy", QStringLiteral("Copy selection to clipboard"), [this] { Forward(WM_COPY); });
  add(editToolBar_, "cut", QStringLiteral("Cut selection to clipboard"), [this] { Forward(WM_CUT); });
  pasteButton_ = add(editToolBar_, "paste", QStringLiteral("Paste from clipboard"), [this] { Forward(WM_PASTE); });
  // The Undo button has never had a command.
  add(editToolBar_, "undo", QStringLiteral("Undo"), [] {});
  editToolBar_->addSeparator();
  runActions_ << add(editToolBar_, "compile", QStringLiteral("Compile current bos file"),
                     [this] { Forward(MSG_COMPILE); });
  runActions_ << add(editToolBar_, "preprocess", QStringLiteral("View Preprocessor output of current bos file"),
                     [this] { Forward(MSG_PREPROCESS); });
  editToolBar_->hide();
  // Later, and from the formats alone: reading the clipboard's data while
  // it changes waits for its owner inside another widget's paste, which
  // then finds its data gone.
  auto* pasteCheck = new QTimer(this);
  pasteCheck->setSingleShot(true);
  pasteCheck->setInterval(0);
  connect(pasteCheck, &QTimer::timeout, this, [this] {
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    pasteButton_->setEnabled(mime && mime->hasText());
  });
  connect(QApplication::clipboard(), &QClipboard::dataChanged, pasteCheck, qOverload<>(&QTimer::start));
  pasteCheck->start();
}

// The last panel takes the rest of the bar: mail progress is shown there.
void TForm1::CreateStatusBar() {
  const int widths[3] = {65, 75, 75};
  for (int i = 0; i < 4; ++i) {
    panels_[i] = new QLabel(this);
    panels_[i]->setObjectName(QStringLiteral("Panel%1").arg(i));
    if (i < 3) panels_[i]->setFixedWidth(widths[i]);
    panels_[i]->setFrameShape(QFrame::StyledPanel);
    statusBar()->addWidget(panels_[i], i < 3 ? 0 : 1);
  }
}

void TForm1::SetStatusPanel(int panel, const QString& text) {
  if (panel >= 0 && panel < 4) panels_[panel]->setText(text);
}

QString TForm1::StatusPanel(int panel) const { return panel >= 0 && panel < 4 ? panels_[panel]->text() : QString(); }

core::IMessageList& TForm1::MessageList() { return *messages_; }

TMessageWindow* TForm1::MessageWindow() const {
  return messageWindow_ ? qobject_cast<TMessageWindow*>(messageWindow_->widget()) : nullptr;
}

QMdiSubWindow* TForm1::AddChild(QWidget* widget) {
  QMdiSubWindow* child = mdiArea_->addSubWindow(widget);
  child->setWindowIcon(windowIcon());
  return child;
}

void TForm1::EnsureMessageWindow() {
  if (messageWindow_) return;
  auto* window = new TMessageWindow(*messages_, *mdiArea_);
  QMdiSubWindow* child = AddChild(window);
  messageWindow_ = child;
  child->show();
  // Until the frame is shown its size is not final; it places the window then.
  if (shown_) PlaceMessageWindow();
}

// Along the bottom of the frame, a fifth of its height.
void TForm1::PlaceMessageWindow() {
  if (!messageWindow_) return;
  const QRect area = mdiArea_->viewport()->rect();
  const int height = qMax(80, this->height() / 5);
  messageWindow_->setGeometry(0, qMax(0, area.height() - height), qMax(200, area.width() - 4), height);
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  PlaceMessageWindow();
}

TSourceWindow* TForm1::ActiveSourceWindow() const {
  QMdiSubWindow* child = mdiArea_->currentSubWindow();
  return child ? qobject_cast<TSourceWindow*>(child->widget()) : nullptr;
}

QList<TSourceWindow*> TForm1::SourceWindows() const {
  QList<TSourceWindow*> windows;
  for (QMdiSubWindow* child : mdiArea_->subWindowList(QMdiArea::CreationOrder))
    if (auto* window = qobject_cast<TSourceWindow*>(child->widget())) windows.append(window);
  return windows;
}

TSourceWindow* TForm1::NewSourceWindow() {
  const int number = static_cast<int>(mdiArea_->subWindowList().size());
  auto* window = new TSourceWindow(*this, number);
  connect(window, &TSourceWindow::busyChanged, this, &TForm1::UpdateChildCommands);
  connect(window->PageControl1(), &QTabWidget::currentChanged, this, &TForm1::UpdateChildCommands);
  QMdiSubWindow* child = AddChild(window);
  ApplyEditorSettings(*window);
  child->resize(qMax(400, mdiArea_->width() * 3 / 4), qMax(300, mdiArea_->height() * 2 / 3));
  child->show();
  mdiArea_->setActiveSubWindow(child);
  return window;
}

void TForm1::OpenSourceFile(const QString& given) {
  const QString path = AbsolutePath(given);
  for (QMdiSubWindow* child : mdiArea_->subWindowList(QMdiArea::CreationOrder)) {
    if (child->windowTitle().compare(path, Qt::CaseInsensitive) == 0) {
      child->showNormal();
      mdiArea_->setActiveSubWindow(child);
      return;
    }
  }
  TSourceWindow* window = NewSourceWindow();
  window->LoadFile(path);
  mruList_->Add(path);
  SaveRecentFiles();
}

void TForm1::ShowSourceLine(const QString& file, int line, int column) {
  OpenSourceFile(file);
  if (TSourceWindow* window = ActiveSourceWindow()) window->ShowSourcePlace(line, column);
}

void TForm1::SaveRecentFiles() {
  // Reported, not thrown: the files of the same Open or command line still
  // open, and quitting still quits.
  try {
    mruList_->Save(*store_);
  } catch (const ERegistryError& error) {
    ShowError(this, QString::fromUtf8(error.what()));
  }
}

void TForm1::ProcessCommandLine(const QString& text) {
  for (const CommandLineFile& file : ParseCommandLine(text, CurrentProgramPath())) {
    if (file.path.isEmpty()) continue;  // an empty quoted pair names no file
    OpenSourceFile(file.path);
    if (file.compile) {
      if (TSourceWindow* window = ActiveSourceWindow()) window->CompileFile();
    }
  }
}

void TForm1::ServeLaterStarts(TSingleInstance& instance) {
  // In turn with the compiles already asked for; its own compiles come
  // after it, and the answer after them.
  connect(&instance, &TSingleInstance::commandLineReceived, this,
          [this](const QString& text, const TSingleInstance::Reply& reply) {
            RunInTurn([this, text, reply] {
              EnsureMessageWindow();
              ProcessCommandLine(text);
              RunInTurn([this, reply] {
                showNormal();
                raise();
                activateWindow();
                reply();
              });
            });
          });
}

void TForm1::RunInTurn(std::function<void()> job) {
  waiting_.push_back(std::move(job));
  if (!running_ && !nextScheduled_) RunWaiting();
}

// One job; the next one starts from the event loop, after this one's
// caller has returned.
void TForm1::RunWaiting() {
  nextScheduled_ = false;
  if (running_ || waiting_.empty()) return;
  const std::function<void()> job = std::move(waiting_.front());
  waiting_.pop_front();
  running_ = true;
  const auto next = qScopeGuard([this] {
    running_ = false;
    if (!waiting_.empty() && !nextScheduled_) {
      nextScheduled_ = true;
      QTimer::singleShot(0, this, &TForm1::RunWaiting);
    }
  });
  job();
}

void TForm1::Forward(int message) {
  QMdiSubWindow* child = mdiArea_->currentSubWindow();
  if (!child) return;
  QPointer<TSourceWindow> window = qobject_cast<TSourceWindow*>(child->widget());
  if (!window) return;
  QMetaObject::invokeMethod(
      window, [window, message] { window->HandleMessage(message); }, Qt::QueuedConnection);
}

void TForm1::ApplyEditorSettings() {
  for (TSourceWindow* window : SourceWindows()) ApplyEditorSettings(*window);
}

void TForm1::ApplyEditorSettings(TSourceWindow& window) {
  QFont font;
  QColor color;
  LoadEditorFont(*store_, font, color);
  editor::SourceEdit* editor = window.SourceCode();
  editor->SetFont(font);
  editor->SetFontColor(color);
  editor->SetColor(EditColor(*store_));
}

void TForm1::ChildActivated(QMdiSubWindow* child) {
  auto* window = child ? qobject_cast<TSourceWindow*>(child->widget()) : nullptr;
  UpdateChildCommands();
  if (!window) return;
  window->SetModified(window->Modified());
  editToolBar_->show();
}

// The source window's menus show while one is active; on its Preprocessed
// page they are disabled, and its compile commands while it runs one.
void TForm1::UpdateChildCommands() {
  const TSourceWindow* window = ActiveSourceWindow();
  editMenu_->menuAction()->setVisible(window != nullptr);
  bosMenu_->menuAction()->setVisible(window != nullptr);
  printAction_->setVisible(window != nullptr);
  const bool onPreprocessed = window && window->PageControl1()->currentIndex() == 1;
  editMenu_->setEnabled(window && !onPreprocessed);
  bosMenu_->setEnabled(window && !onPreprocessed);
  for (QAction* action : runActions_) action->setEnabled(!window || !window->Busy());
}

void TForm1::Open() {
  const QStringList files =
      QFileDialog::getOpenFileNames(this, QStringLiteral("Open"), ReadWorkingDir(*store_),
                                    QStringLiteral("Bos Script Files (*.bos);;Header files (*.h)"));
  if (files.isEmpty()) return;
  for (const QString& file : files) OpenSourceFile(file);
  WriteWorkingDir(*store_, FolderPart(files.first()));
}

QString TForm1::AskSaveFileName(const QString& current) {
  if (chooseSaveName_) return chooseSaveName_(current);
  QFileDialog dialog(this, QStringLiteral("Save As"), current, QStringLiteral("Bos script files (*.bos)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("bos"));
  return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

QPrinter* TForm1::ChoosePrinter() {
  if (!printer_) printer_ = std::make_unique<QPrinter>();
  QPrintDialog dialog(printer_.get(), this);
  return dialog.exec() == QDialog::Accepted ? printer_.get() : nullptr;
}

void TForm1::ChooseFont() {
  bool ok = false;
  const QFont font = QFontDialog::getFont(&ok, this);
  if (!ok) return;
  QFont stored;
  QColor color;
  LoadEditorFont(*store_, stored, color);
  SaveEditorFont(*store_, font, color);
  ApplyEditorSettings();
}

void TForm1::ChooseWindowColor() {
  const QColor color = QColorDialog::getColor(EditColor(*store_), this);
  if (!color.isValid()) return;
  StoreEditColor(*store_, color);
  ApplyEditorSettings();
}

void TForm1::ShowCompilerSettings() {
  TCompilerSettings dialog(*store_, this);
  dialog.exec();
}

void TForm1::AssociateFiles() {
  const QString error = marlo::ide::AssociateFiles(QCoreApplication::applicationFilePath());
  if (!error.isEmpty()) ShowError(this, error);
}

void TForm1::Explore() {
  const TSourceWindow* window = ActiveSourceWindow();
  const QString folder = FolderPart(window ? window->FileName() : QString());
  QDesktopServices::openUrl(QUrl::fromLocalFile(folder.isEmpty() ? QDir::currentPath() : folder));
}

void TForm1::ShowHelp() {
  const QString manual = ManualPath();
  if (manual.isEmpty()) {
    ShowError(this, QStringLiteral("The manual (index.html) was not found."));
    return;
  }
  QUrl url = QUrl::fromLocalFile(manual);
  url.setFragment(QStringLiteral("contents"));
  if (!QDesktopServices::openUrl(url))
    ShowError(this, QStringLiteral("No program to show the manual was found. It is the file %1").arg(manual));
}

void TForm1::ShowAbout() {
  ShowBox(this, QMessageBox::Information,
          QStringLiteral("The Marlo\r\nVersion %1\r\n\r\nThe compiler and editor for BOS unit scripts of Stratagon.\r\n"
                         "Free software without any warranty.")
              .arg(QStringLiteral(MARLO_VERSION)));
}

// The running version in the form the product page compares: four numbers.
QString TForm1::VersionText() {
  QStringList parts = QStringLiteral(MARLO_VERSION).split(QLatin1Char('.'));
  while (parts.size() < 4) parts << QStringLiteral("0");
  return parts.join(QLatin1Char('.'));
}

// Settings are read at each use, so a changed address takes effect at once.
void TForm1::PrepareWebFileInfo() {
  webFileInfo_->SetHomeURL(Read(*store_, settings::kProductPage));
  webFileInfo_->SetProxyHost(Read(*store_, settings::kProxyHost));
  webFileInfo_->SetProxyPort(Read(*store_, settings::kProxyPort));
  webFileInfo_->SetCurrentVersion(VersionText());
}

void TForm1::CheckForUpdate() {
  PrepareWebFileInfo();
  if (!webFileInfo_->GetInfo())
    ShowBox(this, QMessageBox::Warning, QStringLiteral("Get Info failed due to:\r") + webFileInfo_->LastError());
  else
    webFileInfo_->CheckForUpdate();
}

void TForm1::ContactAuthor() {
  mail_->NMSMTP1.Port = Read(*store_, settings::kSmtpPort);
  mail_->NMSMTP1.TimeOut = Read(*store_, settings::kSmtpTimeOut);
  mail_->DefaultAuthorEMail = Read(*store_, settings::kAuthorEMail);
  mail_->UserIdOverride = Read(*store_, settings::kSmtpUserID);
  mail_->Version = VersionText();
  mail_->ContactAuthor();
}

void TForm1::PlayEventSound(const QString& eventName) {
#if MARLO_HAVE_MULTIMEDIA
  const QString file = store_->ReadString(QStringLiteral("Sounds"), eventName, QString());
  if (file.isEmpty() || !QFileInfo::exists(file)) return;
  static const bool haveOutput = !QMediaDevices::audioOutputs().isEmpty();
  if (!haveOutput) return;
  auto* effect = new QSoundEffect(this);
  effect->setSource(QUrl::fromLocalFile(file));
  effect->play();
  // A finished effect may still report playing; it goes after a while.
  QTimer::singleShot(30000, effect, &QObject::deleteLater);
#else
  Q_UNUSED(eventName);
#endif
}

void TForm1::closeEvent(QCloseEvent* event) {
  // A running compile stops first, and each one waiting its turn when it
  // starts. Closing is tried again later.
  bool busy = false;
  for (TSourceWindow* window : SourceWindows()) {
    if (window->Busy()) {
      window->Cancel();
      busy = true;
    }
  }
  if (busy) {
    event->ignore();
    QTimer::singleShot(50, this, &QWidget::close);
    return;
  }
  // Each source window may refuse (its save question's Cancel).
  for (TSourceWindow* window : SourceWindows()) {
    if (!window->parentWidget()->close()) {
      event->ignore();
      return;
    }
  }
  // Settings that cannot be written must not keep the program open.
  SaveRecentFiles();
  event->accept();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  OpenDroppedFiles(event->mimeData()->urls());
  event->acceptProposedAction();
}

void TForm1::OpenDroppedFiles(const QList<QUrl>& urls) {
  for (qsizetype i = urls.size() - 1; i >= 0; --i)
    if (urls[i].isLocalFile()) OpenSourceFile(QDir::toNativeSeparators(urls[i].toLocalFile()));
}

}  // namespace marlo::ide
