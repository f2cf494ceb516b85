// TBosCompiler: compiles the preprocessed text of its linked preprocessor
// into one COB file.
//
// The owner sets the properties, calls Compile, and reads CompileAborted,
// Row and Col afterwards. Messages go to the message list: one "Compiling
// file" line, then either "Compile completed successfully" or one
// "[row: col] text" error line.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "base/cs_string_list.h"
#include "base/hooks.h"
#include "compiler/compile_text.h"

namespace marlo::core {

class TBosCompiler {
 public:
  TBosCompiler();
  ~TBosCompiler();
  TBosCompiler(const TBosCompiler&) = delete;
  TBosCompiler& operator=(const TBosCompiler&) = delete;

  ISourceHolder* PreProcesser() const { return preProcesser_; }
  void SetPreProcesser(ISourceHolder* holder) { preProcesser_ = holder; }

  IMessageList* MessageListBox() const { return messageList_; }
  void SetMessageListBox(IMessageList* list) { messageList_ = list; }

  // Kept for the owner; the compile does not read it.
  const TCsStringList& TokenList() const { return tokenList_; }
  void SetTokenList(const TCsStrings& list) { tokenList_.Assign(list); }

  double AngularConst() const { return angularConst_; }
  void SetAngularConst(double value) { angularConst_ = value; }
  double LinearConst() const { return linearConst_; }
  void SetLinearConst(double value) { linearConst_ = value; }
  int RecurseDepth() const { return recurseDepth_; }
  void SetRecurseDepth(int value) { recurseDepth_ = value; }

  bool Extended() const { return extended_; }
  void SetExtended(bool value) { extended_ = value; }

  bool CompileAborted() const { return aborted_.load(); }
  bool AbortedCompile() const { return aborted_.load(); }
  int Row() const { return row_; }
  int Col() const { return col_; }
  // The text of the last compile's error line ("" after a success).
  const std::string& ErrorText() const { return errorText_; }

  const std::string& OutputPath() const { return outputPath_; }
  void SetOutputPath(std::string path) { outputPath_ = std::move(path); }
  const std::string& OutputFilename() const { return outputFilename_; }
  void SetOutputFilename(std::string name) { outputFilename_ = std::move(name); }
  const std::string& SourceFile() const { return sourceFile_; }
  void SetSourceFile(std::string file) { sourceFile_ = std::move(file); }

  IProgressBar* ProgessBar() const { return progressBar_; }
  void SetProgessBar(IProgressBar* bar) { progressBar_ = bar; }

  void SetOnDumpFile(TDumpFileEvent handler) { onDumpFile_ = std::move(handler); }
  void SetOnWarning(TCompileWarningEvent handler) { onWarning_ = std::move(handler); }

  void Compile();

  // The steps of Compile, for a caller that runs the compile itself, for
  // example on another thread while the text is still being produced:
  // the options from the properties (CompileAborted cleared), the first
  // message line, and the rest (error line, or file, dump and success line).
  CompileOptions Options();
  void Announce();
  void Finish(const CompileOutcome& outcome);
  const TCompileWarningEvent& OnWarning() const { return onWarning_; }
  // Reports a failure that happened before the compile could start (the
  // preprocessor stopped): the usual "Compiling file" line and one error
  // line at `row`, `col`; CompileAborted is set and no file is written.
  void ReportFailure(int row, int col, const std::string& text);
  // Safe to call from a progress hook or another thread; a running compile
  // stops at its next look at the text with "Compile Aborted".
  void Abort() { aborted_.store(true); }

 private:
  ISourceHolder* preProcesser_ = nullptr;
  IMessageList* messageList_ = nullptr;
  TCsStringList tokenList_;
  double angularConst_ = 182.04444444;
  double linearConst_ = 163840.0;
  int recurseDepth_ = 200;
  bool extended_ = false;
  std::atomic<bool> aborted_{false};
  int row_ = 0;
  int col_ = 0;
  std::string errorText_;
  std::string outputPath_;
  std::string outputFilename_;
  std::string sourceFile_;
  IProgressBar* progressBar_ = nullptr;
  TDumpFileEvent onDumpFile_;
  TCompileWarningEvent onWarning_;
};

}  // namespace marlo::core
