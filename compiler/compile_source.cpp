#include "compiler/compile_source.h"

namespace marlo::core {

bool PreprocessTwice(TPreProcessor& preprocessor, std::string text, const std::string& fileName,
                     const PreprocessSettings& settings) {
  preprocessor.SetDefinesCaseSensitive(settings.definesCaseSensitive);
  preprocessor.Reset();
  preprocessor.SetIncludeDirs(settings.includeDirs);
  preprocessor.SetFileName(fileName);
  if (!preprocessor.Process(text)) return false;
  text = std::string();

  // The second pass substitutes names that the first one introduced and
  // names used above their #define, with the final define table.
  const std::string first = preprocessor.TakeSource();
  preprocessor.SetFileName(fileName + " (preprocessed)");
  const bool ok = preprocessor.Process(first);
  preprocessor.SetFileName(fileName);
  return ok;
}

void EndOfText(const std::string& text, int& row, int& col) {
  row = 0;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++row;
      lineStart = i + 1;
    }
  }
  col = static_cast<int>(text.size() - lineStart);
}

bool PreprocessAndCompile(TPreProcessor& preprocessor, TBosCompiler& compiler, std::string text,
                          const std::string& fileName, const PreprocessSettings& settings) {
  if (!PreprocessTwice(preprocessor, std::move(text), fileName, settings)) {
    int row = 0;
    int col = 0;
    EndOfText(preprocessor.Source(), row, col);
    compiler.ReportFailure(row, col, preprocessor.Error().Describe());
    return false;
  }
  compiler.Compile();
  return !compiler.CompileAborted();
}

}  // namespace marlo::core
