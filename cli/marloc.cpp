// marloc: the command-line compiler. Compiles each file given exactly as the
// IDE's Compile does and prints the message-window lines.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/compile_job.h"
#include "cli/options.h"
#include "cli/run_in_order.h"

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

}  // namespace

int main(int argc, char** argv) {
  cli::ParseResult parsed = cli::ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.ok) {
    std::cerr << "marloc: " << parsed.error << "\nUsage: marloc [options] FILE...\n"
              << "Try 'marloc --help' for more information.\n";
    return kExitUsage;
  }
  const cli::Options& options = parsed.options;
  if (options.help) {
    std::cout << cli::UsageText();
    return 0;
  }
  if (options.version) {
    std::cout << "marloc " << MARLO_VERSION << "\n";
    return 0;
  }

  bool allOk = cli::RunInOrder(
      options.files.size(), options.jobs,
      [&](std::size_t index) { return cli::CompileJob(options.files[index], options); },
      [](std::size_t, const cli::JobResult& result) { Print(result); });
  // With -E, --listing or --disasm the printed text is the product, so a
  // full disk or a closed pipe is a failure, not a quiet success.
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "marloc: cannot write to standard output\n";
    return kExitFailed;
  }
  return allOk ? 0 : kExitFailed;
}
