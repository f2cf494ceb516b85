// TSourceWindow: one BOS source file in a child window of the main window,
// with its Source, Preprocessed and Assembly pages, and its own
// preprocessor and compiler, so that every window compiles on its own.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "base/hooks.h"
#include "compiler/bos_compiler.h"
#include "editor/source_edit.h"
#include "ide/search_text.h"
#include "preprocessor/pre_processor.h"
#include "syntax/bos_syn.h"
#include "syntax/general_syn.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QPrinter;
class QPushButton;
class QTabWidget;

namespace marlo::ide {

class TFindDialog;
class TRegIniPlus;
class TReplaceDialog;

// The commands between windows, by the numbers the windows have always used.
enum TWindowMessage : int {
  MSG_SAVE = 1225,
  MSG_SAVEAS = 1226,
  MSG_COMPILE = 1230,
  MSG_PREPROCESS = 1231,
  MSG_FIND = 1232,
  MSG_REPLACE = 1233,
  MSG_UNDO = 1234,
  MSG_GOTOPOSITION = 1235,
  MSG_PROGRESS = 3024,
  WM_CUT = 0x300,
  WM_COPY = 0x301,
  WM_PASTE = 0x302,
  WM_CLEAR = 0x303,
  WM_PRINT = 0x317,
};

// What a source window uses of the main window.
class ISourceWindowHost {
 public:
  virtual ~ISourceWindowHost() = default;
  virtual TRegIniPlus& Store() = 0;
  virtual core::IMessageList& MessageList() = 0;
  virtual void EnsureMessageWindow() = 0;
  virtual void PlayEventSound(const QString& eventName) = 0;
  // The save dialog; empty when the user cancels.
  virtual QString AskSaveFileName(const QString& current) = 0;
  virtual void SetStatusPanel(int panel, const QString& text) = 0;
  // The print dialog; nullptr when the user cancels.
  virtual QPrinter* ChoosePrinter() = 0;
  // Runs `job` now when no other job runs, else after the ones before it,
  // in order. Every preprocess and compile of every window is such a job,
  // so that one never runs inside another and their messages never mix.
  virtual void RunInTurn(std::function<void()> job) = 0;
  // Opens `file` (or brings its window to the front) with the caret on
  // `line` and `column` (from 1) of its Source page.
  virtual void ShowSourceLine(const QString& file, int line, int column) = 0;
};

// Drives the progress bar from the preprocessor and the compiler and lets
// window events run at most every 20 ms, so that a long compile stays
// responsive without spending its time in the event loop.
class TProgressAdapter : public core::IProgressBar {
 public:
  // `afterEvents` runs at each call, after events were let through if due.
  TProgressAdapter(QProgressBar& bar, std::function<void()> afterEvents)
      : bar_(bar), afterEvents_(std::move(afterEvents)) {}
  void SetMax(std::int64_t max) override;
  void SetPosition(std::int64_t position) override;
  void ProcessEvents() override;
  void Restart() { timer_.restart(); }

 private:
  QProgressBar& bar_;
  std::function<void()> afterEvents_;
  std::int64_t max_ = 0;
  std::int64_t position_ = 0;
  QElapsedTimer timer_;
};

class TSourceWindow : public QWidget {
  Q_OBJECT
 public:
  // `number` is the count of the main window's children, this one included,
  // minus 1: it names a new window "noname01.bos" and so on.
  TSourceWindow(ISourceWindowHost& host, int number, QWidget* parent = nullptr);
  ~TSourceWindow() override;

  QString FileName() const { return fileName_; }
  bool Modified() const { return modified_; }
  bool Busy() const { return busy_; }
  static constexpr int DefaultTabWidth = 4;

  editor::SourceEdit* SourceCode() const { return sourceCode_; }
  editor::SourceEdit* Preprocessed() const { return preprocessed_; }
  editor::SourceEdit* DisAssembler() const { return disAssembler_; }
  TBosSyn& BosSyn1() { return bosSyn1_; }
  QListWidget* ListBox1() const { return listBox1_; }
  QTabWidget* PageControl1() const { return pageControl_; }
  QWidget* ControlBar1() const { return controlBar_; }
  QPushButton* CancelButton() const { return button1_; }
  core::TPreProcessor& PreProcessor1() { return preProcessor_; }
  core::TBosCompiler& BosCompiler1() { return compiler_; }

  void SetModified(bool flag);
  void UpdateStatus();
  // False when the file could not be read (the error box was shown).
  bool LoadFile(const QString& path);
  // False when nothing was written (cancelled or failed).
  bool SaveFile();
  bool SaveFileAs();
  // These three run in turn with every other window's (ISourceWindowHost).
  void PreprocessFile();
  void CompileFile();
  // To the preprocessed text's line and column (from 0), with this window
  // in front and the Preprocessed page's editor focused.
  void GotoPosition(int col, int line);
  // To the place in the files (a header too) that the preprocessed text's
  // line and column (from 0) came from; `message` is the error's text.
  void GotoSourceLine(int col, int line, const QString& message);
  // Puts the Source page's caret on `line` and `column` (from 1), this
  // window in front and its editor focused.
  void ShowSourcePlace(int line, int column);
  void Print(QPrinter& printer);
  // Selects the next match of `text` in the Source editor; its position
  // counted from 1 in the text with CR LF line ends, or 0 ("Search string
  // not found" was shown).
  qsizetype SearchText(const QString& text, const TSearchOptions& options);
  TFindDialog* FindDialog1() const { return findDialog1_; }
  TReplaceDialog* ReplaceDialog1() const { return replaceDialog1_; }
  // The "&Cancel" button and Esc: ends a running compile with "Compile Aborted".
  void Cancel();

 signals:
  // A preprocess or compile started or ended; its commands are refused meanwhile.
  void busyChanged(bool busy);

 public slots:
  // The window messages the main window forwards.
  void HandleMessage(int message);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Run;
  void InTurn(std::function<void(TSourceWindow&)> command);
  void Preprocess();
  void Compile();
  void GoTo(int col, int line);
  editor::SourceEdit* ShownEditor() const;
  void ShowCaret();
  void SetFileName(const QString& path);
  bool BackspaceUnindent();
  void ShowProgress(const QString& label);
  void HideProgress();
  void AutoSave();
  bool RunPreprocessor();
  void ShowPreprocessed();
  void ShowListing(std::istream& cob);
  void FillListing();
  std::string EditorText() const;

  ISourceWindowHost& host_;
  QString fileName_;
  bool modified_ = false;
  bool busy_ = false;
  bool closeAfterRun_ = false;
  bool cancelRequested_ = false;

  QTabWidget* pageControl_;
  TBosSyn bosSyn1_;
  TGeneralSyn assemblySyn_;
  editor::SourceEdit* sourceCode_;
  editor::SourceEdit* preprocessed_;
  QListWidget* listBox1_;
  editor::SourceEdit* disAssembler_;
  QWidget* controlBar_;
  QLabel* label1_;
  QProgressBar* progressBar1_;
  QPushButton* button1_;
  TFindDialog* findDialog1_;
  TReplaceDialog* replaceDialog1_;
  std::unique_ptr<TProgressAdapter> progress_;

  std::vector<std::uint8_t> cob_;  // the last file compiled, listed on demand
  bool listingStale_ = false;

  core::TPreProcessor preProcessor_;
  core::TBosCompiler compiler_;
};

}  // namespace marlo::ide
