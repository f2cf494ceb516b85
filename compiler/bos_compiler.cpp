// TBosCompiler: messages, the file on disk and the dump event around
// CompileText.
#include "compiler/bos_compiler.h"

#include <fstream>
#include <sstream>

#include "base/atomic_file.h"
#include "compiler/compile_text.h"

namespace marlo::core {
namespace {

std::string ErrorLine(int row, int col, const std::string& text) {
  return "[" + std::to_string(row) + ": " + std::to_string(col) + "] " + text;
}

}  // namespace

void TBosCompiler::ReportFailure(int row, int col, const std::string& text) {
  if (messageList_) messageList_->Add("Compiling file '" + sourceFile_ + "'");
  row_ = row;
  col_ = col;
  aborted_.store(true);
  errorText_ = text;
  if (messageList_) messageList_->Add(ErrorLine(row_, col_, text));
}

TBosCompiler::TBosCompiler() = default;
TBosCompiler::~TBosCompiler() = default;

void TBosCompiler::Compile() {
  if (!preProcesser_) return;
  Announce();
  Finish(CompileText(preProcesser_->Source(), Options()));
}

CompileOptions TBosCompiler::Options() {
  aborted_.store(false);
  CompileOptions options;
  options.angularConst = angularConst_;
  options.linearConst = linearConst_;
  options.recurseDepth = recurseDepth_;
  options.extended = extended_;
  options.onWarning = onWarning_;
  options.progress = progressBar_;
  options.abortFlag = &aborted_;
  return options;
}

void TBosCompiler::Announce() {
  if (messageList_) messageList_->Add("Compiling file '" + sourceFile_ + "'");
}

void TBosCompiler::Finish(const CompileOutcome& outcome) {
  auto message = [this](const std::string& line) {
    if (messageList_) messageList_->Add(line);
  };
  row_ = outcome.row;
  col_ = outcome.col;
  errorText_.clear();
  if (!outcome.ok) {
    errorText_ = outcome.errorText;
    message(ErrorLine(row_, col_, outcome.errorText));
    aborted_.store(true);
    return;
  }

  const std::vector<std::uint8_t> bytes = BuildCob(outcome.image);
  const std::string path = CobOutputPath(outputPath_, outputFilename_);
  if (std::string failure = WriteFileAtomically(path, bytes); !failure.empty()) {
    errorText_ = failure;
    message(ErrorLine(row_, col_, failure));
    aborted_.store(true);
    return;
  }
  outputFilename_ = path;

  if (onDumpFile_) {
    std::ifstream written(path, std::ios::binary);
    if (written) {
      onDumpFile_(written);
    } else {
      std::istringstream copy(std::string(bytes.begin(), bytes.end()));
      onDumpFile_(copy);
    }
  }
  message("Compile completed successfully");
}

}  // namespace marlo::core
