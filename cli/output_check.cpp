#include "cli/output_check.h"

#include <filesystem>
#include <map>
#include <system_error>

#include "base/ascii.h"
#include "compiler/cob_file.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace marlo::cli {
namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

std::string CheckFolder(const std::string& folder) {
  std::error_code error;
  const fs::file_status status = fs::status(folder, error);
  if (!fs::exists(status)) return "output folder " + Quoted(folder) + " does not exist";
  if (!fs::is_directory(status)) return "output folder " + Quoted(folder) + " is not a folder";
#ifndef _WIN32
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return "output folder " + Quoted(folder) + " is not writable";
#endif
  return {};
}

// One spelling per place, for telling two outputs apart.
std::string PlaceOf(const std::string& path) {
  std::error_code error;
  fs::path place = fs::weakly_canonical(path, error);
  if (error) place = fs::path(path).lexically_normal();
#ifdef _WIN32
  // Windows file names ignore case (Tank.cob and tank.cob are one file), and
  // a slash and a backslash separate alike.
  return core::AsciiLowerCopy(place.make_preferred().string());
#else
  return place.string();
#endif
}

}  // namespace

std::string CheckOutputs(const Options& options) {
  if (options.preprocessOnly) return {};  // -E writes no file
  if (std::string error = CheckFolder(options.outputDir); !error.empty()) return error;

  std::map<std::string, const std::string*> firstInputOf;
  for (const std::string& input : options.files) {
    const std::string output = core::CobOutputPath(options.outputDir, input);
    std::error_code error;
    if (fs::exists(output, error) && fs::equivalent(output, input, error))
      return "the output " + Quoted(output) + " is the input " + Quoted(input) + " itself";
    const auto [entry, added] = firstInputOf.emplace(PlaceOf(output), &input);
    if (!added)
      return Quoted(*entry->second) + " and " + Quoted(input) + " would both be compiled to " + Quoted(output);
  }
  return {};
}

}  // namespace marlo::cli
