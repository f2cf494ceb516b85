#include "cli/process_guard.h"

#include "base/atomic_file.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace marlo::cli {

#ifdef _WIN32

namespace {

// Runs on a thread of its own, where locks may be taken; FALSE leaves the
// event to the next handler, the default one that ends the process.
BOOL WINAPI AwaitStop(DWORD) {
  core::RemoveTemporaryFiles();
  return FALSE;
}

}  // namespace

// The C runtime keeps the numbers 0 to 2 for the standard handles even when
// none was given, and a write to a closed pipe fails instead of ending the
// process: only Ctrl+C, Ctrl+Break and closing the console need a handler.
void GuardProcess() { ::SetConsoleCtrlHandler(&AwaitStop, TRUE); }

#else

namespace {

void OpenIfClosed(int fd) {
  if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) return;
  // open() takes the lowest free number: this one, as the lower ones are open.
  const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
  if (opened != fd && opened >= 0) ::close(opened);
}

// SIGINT and SIGTERM, less one that the process was started ignoring (a
// background job's SIGINT): that one stays ignored.
sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : {SIGINT, SIGTERM}) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) sigaddset(&set, signal);
  }
  return set;
}

// Waits for SIGINT or SIGTERM on its own thread, where locks may be taken,
// removes the temporary files and ends the process as the signal would.
void* AwaitStop(void* waited) {
  const sigset_t& set = *static_cast<const sigset_t*>(waited);
  int signal = 0;
  while (sigwait(&set, &signal) != 0) {
  }
  core::RemoveTemporaryFiles();
  ::signal(signal, SIG_DFL);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signal);
  _exit(128 + signal);
}

}  // namespace

void GuardProcess() {
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) OpenIfClosed(fd);
  ::signal(SIGPIPE, SIG_IGN);

  // Blocked here, before any other thread exists, so that every thread
  // leaves the two signals to the waiting one.
  static sigset_t set = StopSignals();  // read by the waiting thread
  if (sigismember(&set, SIGINT) == 0 && sigismember(&set, SIGTERM) == 0) return;
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &set, &previous);
  pthread_t waiter;
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (pthread_create(&waiter, &attributes, &AwaitStop, &set) != 0) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);  // no waiter: the signals act as usual
  }
  pthread_attr_destroy(&attributes);
}

#endif

}  // namespace marlo::cli
