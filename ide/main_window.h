// TForm1, the main window: a multiple-document frame whose children are
// source windows and the message window. It owns what the children share
// (settings store, message list, dialogs, status bar, recent files) and
// forwards every file command to the active child as a queued call, so a
// command never runs inside another.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <deque>
#include <functional>
#include <memory>

#include "ide/source_window.h"

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QPrinter;
class QToolBar;

namespace marlo::net {
class TContactForm;
class TFeedbackMail;
class TWebFileInfo;
}  // namespace marlo::net

namespace marlo::ide {

class TMessageList;
class TMessageWindow;
class TMRUFileList;
class TRegIniPlus;
class TSingleInstance;

class TForm1 : public QMainWindow, public ISourceWindowHost {
  Q_OBJECT
 public:
  // `store` is the settings store (the user's, or a test's own); the main
  // window owns it.
  explicit TForm1(std::unique_ptr<TRegIniPlus> store, QWidget* parent = nullptr);
  ~TForm1() override;

  // ISourceWindowHost
  TRegIniPlus& Store() override { return *store_; }
  core::IMessageList& MessageList() override;
  void EnsureMessageWindow() override;
  void PlayEventSound(const QString& eventName) override;
  QString AskSaveFileName(const QString& current) override;
  void SetStatusPanel(int panel, const QString& text) override;
  QPrinter* ChoosePrinter() override;
  void RunInTurn(std::function<void()> job) override;
  void ShowSourceLine(const QString& file, int line, int column) override;

  QString StatusPanel(int panel) const;
  // Stands in for the save dialog (tests); empty restores the dialog.
  void SetSaveFileNameChooser(std::function<QString(const QString&)> chooser) { chooseSaveName_ = std::move(chooser); }
  TMessageList& Messages() { return *messages_; }
  TMessageWindow* MessageWindow() const;
  QMdiArea* MdiArea() const { return mdiArea_; }
  TMRUFileList& MRUFileList1() { return *mruList_; }
  net::TWebFileInfo& WebFileInfo1() { return *webFileInfo_; }
  net::TFeedbackMail& FeedbackMail() { return *mail_; }
  QToolBar* EditToolBar() const { return editToolBar_; }
  QMenu* EditMenu() const { return editMenu_; }
  QMenu* BosMenu() const { return bosMenu_; }
  // The active child's source window, or nullptr.
  TSourceWindow* ActiveSourceWindow() const;
  QList<TSourceWindow*> SourceWindows() const;

  TSourceWindow* NewSourceWindow();
  // Relative paths are taken from the current folder: a file has one name.
  void OpenSourceFile(const QString& path);
  // Files dropped on the window, opened from the last to the first.
  void OpenDroppedFiles(const QList<QUrl>& urls);
  // Opens (and with -c compiles) the files of a command line's text.
  void ProcessCommandLine(const QString& text);
  void ApplyEditorSettings();
  // Takes the command lines of later starts from `instance`: opens (and
  // compiles) their files, comes to the front, then lets them end.
  void ServeLaterStarts(TSingleInstance& instance);
  // Posts `message` to the active child; the message window ignores it.
  void Forward(int message);

 public slots:
  void Open();
  void ChooseFont();
  void ChooseWindowColor();
  void ShowCompilerSettings();
  void AssociateFiles();
  void Explore();
  void ShowHelp();
  void ShowAbout();
  void CheckForUpdate();
  void ContactAuthor();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateMenus();
  void SaveRecentFiles();
  void CreateToolBars();
  void CreateStatusBar();
  void ApplyEditorSettings(TSourceWindow& window);
  void ChildActivated(QMdiSubWindow* child);
  void UpdateChildCommands();
  QMdiSubWindow* AddChild(QWidget* widget);
  void UpdateWindowMenu();
  void PlaceMessageWindow();
  void PrepareWebFileInfo();
  void RunWaiting();
  static QString VersionText();

  std::unique_ptr<TRegIniPlus> store_;
  std::unique_ptr<TMessageList> messages_;
  QMdiArea* mdiArea_;
  QPointer<QMdiSubWindow> messageWindow_;
  TMRUFileList* mruList_;
  net::TWebFileInfo* webFileInfo_;
  net::TContactForm* contactForm_;
  net::TFeedbackMail* mail_;
  QMenu* fileMenu_ = nullptr;
  QMenu* editMenu_ = nullptr;
  QMenu* bosMenu_ = nullptr;
  QMenu* windowMenu_ = nullptr;
  QAction* reopenPlaceholder_ = nullptr;
  QToolBar* fileToolBar_ = nullptr;
  QToolBar* editToolBar_ = nullptr;
  QAction* pasteButton_ = nullptr;
  QAction* printAction_ = nullptr;
  std::unique_ptr<QPrinter> printer_;
  std::function<QString(const QString&)> chooseSaveName_;
  QList<QAction*> runActions_;  // compile and preprocess, in the menu and on the toolbar
  QLabel* panels_[4] = {};
  std::deque<std::function<void()>> waiting_;  // RunInTurn's jobs
  bool running_ = false;
  bool nextScheduled_ = false;
  bool shown_ = false;
};

}  // namespace marlo::ide
