// What marloc sets up before it opens any file or starts any thread, so
// that it behaves inside build scripts, pipes and parallel builds:
// - standard input, output and error that were closed are opened on the
//   null device, so that no file it writes can take their numbers;
// - a closed pipe on standard output is an error to report, not a signal
//   that kills the process;
// - SIGINT and SIGTERM remove every temporary file before the process ends.
#pragma once

namespace marlo::cli {

void GuardProcess();

}  // namespace marlo::cli
