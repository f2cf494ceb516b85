#include "compiler/compile_source.h"

namespace marlo::core {

bool PreprocessTwice(TPreProcessor& preprocessor, std::string_view text, const std::string& fileName,
                     const PreprocessSettings& settings) {
  preprocessor.SetDefinesCaseSensitive(settings.definesCaseSensitive);
  preprocessor.Reset();
  preprocessor.SetIncludeDirs(settings.includeDirs);
  preprocessor.SetFileName(fileName);
  preprocessor.Execute(text);
  if (preprocessor.Failed()) return false;

  // The second pass substitutes names that the first one introduced and
  // names used above their #define, with the final define table.
  std::string first = preprocessor.Source();
  preprocessor.SetSource({});
  preprocessor.SetFileName(fileName + " (preprocessed)");
  preprocessor.Execute(first);
  preprocessor.SetFileName(fileName);
  return !preprocessor.Failed();
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

bool PreprocessAndCompile(TPreProcessor& preprocessor, TBosCompiler& compiler, std::string_view text,
                          const std::string& fileName, const PreprocessSettings& settings) {
  if (!PreprocessTwice(preprocessor, text, fileName, settings)) {
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
