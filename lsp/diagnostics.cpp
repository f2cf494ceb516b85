#include "lsp/diagnostics.h"

#include "compiler/compile_text.h"
#include "driver/compile_source.h"
#include "driver/source_file.h"
#include "driver/source_position.h"
#include "driver/standard_tokens.h"

namespace marlo::lsp {
namespace {

Problem Located(const Document& document, const core::SourcePosition& where, bool error, std::string message) {
  Problem problem;
  problem.error = error;
  problem.message = std::move(message);
  if (where.file.empty() || where.line < 1) {
    problem.path = document.path;  // somewhere in the text: its start
    return problem;
  }
  problem.path = AbsolutePath(where.file);
  problem.line = where.line;
  problem.column = std::max(where.column, 1);
  return problem;
}

}  // namespace

Compiled CompileDocument(const Workspace& workspace, const Document& document) {
  Compiled compiled;
  std::vector<Problem>& problems = compiled.problems;
  const Settings& settings = workspace.settings;
  if (document.text.Text().size() > kMaxAnalysedBytes) {
    problems.push_back(
        {document.path, 1, 1, false, false,
         "Not compiled: the document is larger than " + std::to_string(kMaxAnalysedBytes >> 20) + " MiB"});
    return compiled;
  }
  core::TPreProcessor preprocessor;
  preprocessor.SetTokens(core::StandardTokenList());
  preprocessor.SetIncludeFiles(&workspace.Files());
  core::PreprocessSettings preprocess;
  preprocess.includeDirs = workspace.IncludeDirs(document);
  preprocess.includeBesideIncluder = settings.extended;
  preprocess.secondCore = false;
  if (!core::PreprocessTwice(preprocessor, core::NormalizeSourceText(document.text.Text(), kTabWidth), document.path,
                             preprocess)) {
    const core::PreprocessError& error = preprocessor.Error();
    Problem problem = Located(document, core::FindErrorPosition(preprocessor, error), true, error.text);
    problem.wholeLine = true;
    problems.push_back(std::move(problem));
    for (const std::string& file : preprocessor.FilesRead()) compiled.filesRead.insert(AbsolutePath(file));
    return compiled;
  }
  for (const std::string& file : preprocessor.FilesRead()) compiled.filesRead.insert(AbsolutePath(file));

  core::CompileOptions options;
  options.angularConst = settings.angularScale;
  options.linearConst = settings.linearScale;
  options.extended = settings.extended;
  std::vector<core::CompileWarning> warnings;
  options.onWarning = [&warnings](const core::CompileWarning& warning) { warnings.push_back(warning); };
  const core::CompileOutcome outcome = core::CompileText(preprocessor.Source(), options);
  std::vector<core::SourcePlace> places;
  for (const core::CompileWarning& warning : warnings) places.push_back({warning.row, warning.col, {}});
  if (!outcome.ok) places.push_back({outcome.row, outcome.col, {}});
  const std::vector<core::SourcePosition> where =
      core::FindSourcePositions(preprocessor, places, kTabWidth, workspace.Files());
  for (std::size_t i = 0; i < warnings.size(); ++i)
    problems.push_back(Located(document, where[i], false, warnings[i].text));
  if (!outcome.ok) problems.push_back(Located(document, where.back(), true, outcome.errorText));
  return compiled;
}

}  // namespace marlo::lsp
