// marloc: the command-line compiler. Compiles each file given exactly as the
// IDE's Compile does and prints the message-window lines.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/compile_job.h"
#include "cli/options.h"
#include "cli/output_check.h"
#include "cli/process_guard.h"
#include "cli/run_in_order.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

namespace cli = marlo::cli;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void Print(const cli::JobResult& result) {
  for (const cli::OutputChunk& chunk : result.output) {
    std::ostream& stream = chunk.toStderr ? std::cerr : std::cout;
    stream << chunk.text;
    stream.flush();
  }
}

int UsageError(const std::string& error) {
  std::cerr << "marloc: " << error << "\nUsage: marloc [options] FILE...\n"
            << "Try 'marloc --help' for more information.\n";
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  cli::GuardProcess();
  cli::ParseResult parsed = cli::ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.ok) return UsageError(parsed.error);
  const cli::Options& options = parsed.options;
  if (options.help) {
    std::cout << cli::UsageText();
    return 0;
  }
  if (options.version) {
    std::cout << "marloc " << MARLO_VERSION << "\n";
    return 0;
  }
#ifdef _WIN32
  // The preprocessed text and the listings are the product: byte for byte as
  // on Linux, not with each LF turned into CR LF. Messages alone stay text.
  if (options.preprocessOnly || options.listing || options.disasm) _setmode(_fileno(stdout), _O_BINARY);
#endif
  for (const std::string& warning : parsed.warnings) std::cerr << "marloc: warning: " << warning << "\n";
  if (std::string error = cli::CheckOutputs(options); !error.empty()) return UsageError(error);

  bool allOk = cli::RunInOrder(
      options.files.size(), options.jobs,
      [&](std::size_t index) { return cli::CompileJob(options.files[index], options); },
      [](std::size_t, const cli::JobResult& result) { Print(result); },
      [&](std::size_t index, const std::string& what) {
        // The file fails in the usual form; the other files go on.
        cli::JobResult result;
        result.Out("Compiling file '" + options.files[index] + "'\n[0: 0] " + what + "\n");
        return result;
      });
  // With -E, --listing or --disasm the printed text is the product, so a
  // full disk or a closed pipe is a failure, not a quiet success.
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "marloc: cannot write to standard output\n";
    return kExitFailed;
  }
  return allOk ? 0 : kExitFailed;
}
