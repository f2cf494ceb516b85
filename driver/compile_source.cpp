#include "driver/compile_source.h"

#include <vector>

#include "driver/compile_thread.h"

namespace marlo::core {

namespace {

// The first pass; the second one is the caller's, so that it can watch it.
bool FirstPass(TPreProcessor& preprocessor, std::string text, const std::string& fileName,
               const PreprocessSettings& settings) {
  preprocessor.SetDefinesCaseSensitive(settings.definesCaseSensitive);
  preprocessor.Reset();
  preprocessor.SetIncludeDirs(settings.includeDirs);
  preprocessor.SetIncludeBesideIncluder(settings.includeBesideIncluder);
  preprocessor.SetFileName(fileName);
  preprocessor.SetParallelScan(settings.secondCore);
  const bool ok = preprocessor.Process(text);
  preprocessor.SetParallelScan(false);
  return ok;
}

// The second pass substitutes names that the first one introduced and
// names used above their #define, with the final define table.
bool SecondPass(TPreProcessor& preprocessor, const std::string& fileName) {
  const std::string first = preprocessor.TakeSource();
  preprocessor.SetFileName(fileName + " (preprocessed)");
  const bool ok = preprocessor.ProcessAgain(first);
  preprocessor.SetFileName(fileName);
  return ok;
}

void ReportPreprocessFailure(const TPreProcessor& preprocessor, TBosCompiler& compiler) {
  int row = 0;
  int col = 0;
  preprocessor.SourceEnd(row, col);
  compiler.ReportFailure(row, col, preprocessor.Error().Describe());
}

}  // namespace

bool PreprocessTwice(TPreProcessor& preprocessor, std::string text, const std::string& fileName,
                     const PreprocessSettings& settings) {
  return FirstPass(preprocessor, std::move(text), fileName, settings) && SecondPass(preprocessor, fileName);
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
  // The compiler reads what this preprocessor makes, whatever it was linked to.
  compiler.SetPreProcesser(&preprocessor);
  if (!FirstPass(preprocessor, std::move(text), fileName, settings)) {
    ReportPreprocessFailure(preprocessor, compiler);
    return false;
  }
  // A progress display lets window events run, which must happen on this
  // thread: then, or with one core only, the compile follows the second
  // pass here.
  if (compiler.ProgessBar() || !settings.secondCore) {
    if (!SecondPass(preprocessor, fileName)) {
      ReportPreprocessFailure(preprocessor, compiler);
      return false;
    }
    compiler.Compile();
    return !compiler.CompileAborted();
  }

  // Otherwise the compiler reads the second pass's output on another thread
  // while it is written. Its warnings wait until the compile is announced,
  // and if the pass fails its result is dropped.
  CompileOptions options = compiler.Options();
  std::vector<CompileWarning> warnings;
  options.onWarning = [&warnings](const CompileWarning& warning) { warnings.push_back(warning); };
  TextStream stream;
  CompileOutcome outcome;
  bool ok = false;
  {
    CompileThread reader([&] { outcome = CompileStream(stream, options); });
    // However the pass ends, even by an exception, the stream is closed
    // before the reader is joined (this is destroyed first), so the
    // reader never waits for text that cannot come.
    struct Release {
      TPreProcessor& preprocessor;
      TextStream& stream;
      ~Release() {
        preprocessor.SetOutputStream(nullptr);
        preprocessor.SetKeepSource(true);
        stream.Close();
      }
    } release{preprocessor, stream};
    preprocessor.SetOutputStream(&stream);
    preprocessor.SetKeepSource(settings.keepSource);
    ok = SecondPass(preprocessor, fileName);
    stream.Close();
    reader.Join();
  }

  if (!ok) {
    ReportPreprocessFailure(preprocessor, compiler);
    return false;
  }
  compiler.Announce();
  if (compiler.OnWarning())
    for (const CompileWarning& warning : warnings) compiler.OnWarning()(warning);
  compiler.Finish(outcome);
  return !compiler.CompileAborted();
}

}  // namespace marlo::core
