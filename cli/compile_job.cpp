#include "cli/compile_job.h"

#include <exception>
#include <filesystem>
#include <istream>

#include "base/atomic_file.h"
#include "base/hooks.h"
#include "cli/dependency_file.h"
#include "compiler/bos_compiler.h"
#include "compiler/listing.h"
#include "driver/compile_source.h"
#include "driver/source_file.h"
#include "driver/source_position.h"
#include "driver/standard_tokens.h"
#include "preprocessor/pre_processor.h"
#include "preprocessor/scanner.h"

namespace marlo::cli {
namespace {

// The message window of the IDE, as lines of standard output.
class MessageLines : public core::IMessageList {
 public:
  explicit MessageLines(JobResult& result) : result_(result) {}
  void Add(const std::string& line) override { result_.Out(line + "\n"); }

 private:
  JobResult& result_;
};

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += '\n';
  }
  return text;
}

// Maps the compile's error and warnings to the files and lines the author
// has open, as lines editors and build tools read. The Source rows are
// needed for the columns: when the compile let them go, the file is
// preprocessed once more (only a failed or warned compile pays for this).
void ReportLocated(const std::string& path, const Options& options, const core::PreprocessSettings& settings,
                   core::TPreProcessor& compiled, const std::vector<core::CompileWarning>& warnings,
                   const core::TBosCompiler* failed, JobResult& result) {
  core::TPreProcessor again;
  core::TPreProcessor* mapped = &compiled;
  if (!settings.keepSource) {
    core::LoadResult reloaded = core::LoadFile(path, options.tabWidth);
    if (reloaded.ok) {
      again.SetTokens(core::StandardTokenList());
      core::PreprocessSettings keep = settings;
      keep.keepSource = true;
      keep.secondCore = false;
      core::PreprocessTwice(again, std::move(reloaded.text), path, keep);
      mapped = &again;
    }
  }
  std::vector<core::SourcePlace> places;
  for (const core::CompileWarning& warning : warnings) places.push_back({warning.row, warning.col, {}});
  if (failed) places.push_back({failed->Row(), failed->Col(), failed->ErrorText()});
  const std::vector<core::SourcePosition> where =
      core::FindSourcePositions(*mapped, places, options.tabWidth, core::DiskIncludeFiles());
  for (std::size_t i = 0; i < warnings.size(); ++i)
    result.Err(core::LocatedLine(where[i], "warning", warnings[i].text) + "\n");
  if (failed) result.Err(core::LocatedLine(where.back(), "error", failed->ErrorText()) + "\n");
}

// Writes the dependency file of a compile that wrote `cob`; an error line
// when that fails.
std::string WriteDependencies(const std::string& path, const Options& options, const std::string& cob,
                              const core::TPreProcessor& preprocessor) {
  std::vector<std::string> inputs{path};
  inputs.insert(inputs.end(), preprocessor.FilesRead().begin(), preprocessor.FilesRead().end());
  const std::string target = std::filesystem::path(cob).lexically_normal().generic_string();
  const std::string rules = DependencyRules(target, inputs, options.phonyHeaders);
  const std::string depfile = options.dependencyPath.empty() ? cob + ".d" : options.dependencyPath;
  return core::WriteFileAtomically(depfile, std::vector<std::uint8_t>(rules.begin(), rules.end()));
}

}  // namespace

JobResult CompileJob(const std::string& path, const Options& options) {
  JobResult result;
  MessageLines messages(result);
  try {
    core::LoadResult loaded = core::LoadFile(path, options.tabWidth);
    if (!loaded.ok && options.preprocessOnly) {
      result.Err(path + ": error: " + loaded.error + "\n");
      return result;
    }
    if (!loaded.ok) {
      // Shaped like the compiler's own lines so that tools reading the
      // messages need no special case.
      messages.Add("Compiling file '" + path + "'");
      messages.Add("[0: 0] " + loaded.error);
      return result;
    }

    core::TPreProcessor preprocessor;
    preprocessor.SetTokens(core::StandardTokenList());
    preprocessor.SetOnWarning([&](const std::string& text) { result.Err(path + ": warning: " + text + "\n"); });
    core::PreprocessSettings settings;
    settings.includeDirs = options.includeDirs;
    settings.definesCaseSensitive = !options.definesIgnoreCase;
    settings.includeBesideIncluder = options.extended;
    settings.keepSource = options.preprocessOnly;  // only -E shows the text
    // Several files share the cores as -j says; a single file may use two.
    settings.secondCore = options.files.size() == 1;

    if (options.preprocessOnly) {
      const bool ok = core::PreprocessTwice(preprocessor, std::move(loaded.text), path, settings);
      result.Out(preprocessor.Source());
      if (!ok) result.Err(path + ": error: " + preprocessor.Error().Describe() + "\n");
      result.ok = ok;
      return result;
    }

    core::TBosCompiler compiler;
    compiler.SetPreProcesser(&preprocessor);
    compiler.SetMessageListBox(&messages);
    compiler.SetOutputPath(options.outputDir);
    compiler.SetOutputFilename(path);
    compiler.SetSourceFile(path);
    compiler.SetAngularConst(options.angularConst);
    compiler.SetLinearConst(options.linearConst);
    compiler.SetRecurseDepth(options.recurseDepth);
    compiler.SetExtended(options.extended);
    std::vector<core::CompileWarning> warnings;
    compiler.SetOnWarning([&](const core::CompileWarning& warning) { warnings.push_back(warning); });

    // The listings are built while the written file is still open, and shown
    // after the success line.
    std::string listings;
    if (options.listing || options.disasm) {
      compiler.SetOnDumpFile([&](std::istream& strm) {
        if (options.listing) {
          listings += JoinLines(core::BuildListing(strm));
          strm.clear();
          strm.seekg(0);
        }
        if (options.disasm) listings += JoinLines(core::BuildDisassembly(strm));
      });
    }

    result.ok = core::PreprocessAndCompile(preprocessor, compiler, std::move(loaded.text), path, settings);
    if (!result.ok && preprocessor.Failed()) {
      const core::SourcePosition where = core::FindErrorPosition(preprocessor, preprocessor.Error());
      result.Err(core::LocatedLine(where, "error", preprocessor.Error().text) + "\n");
    } else if (!result.ok || !warnings.empty()) {
      ReportLocated(path, options, settings, preprocessor, warnings, result.ok ? nullptr : &compiler, result);
    }
    if (result.ok && options.dependencyFile) {
      if (std::string failure = WriteDependencies(path, options, compiler.OutputFilename(), preprocessor);
          !failure.empty()) {
        messages.Add("[0: 0] " + failure);
        result.ok = false;
      }
    }
    if (result.ok && !listings.empty()) result.Out(std::move(listings));
  } catch (const std::exception& error) {
    // Nothing should get here; if it does, the file still fails in the usual form.
    result.ok = false;
    if (result.output.empty()) messages.Add("Compiling file '" + path + "'");
    messages.Add(std::string("[0: 0] ") + error.what());
  }
  return result;
}

}  // namespace marlo::cli
