// marlo-lsp: the language server for BOS scripts, over standard input and
// output.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "lsp/server.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>

#include <csignal>
#endif

namespace {

class StandardInput : public marlo::lsp::ByteSource {
 public:
  std::size_t Read(char* buffer, std::size_t size) override {
    for (;;) {
#ifdef _WIN32
      const int got = _read(0, buffer, static_cast<unsigned>(size));
#else
      const ssize_t got = ::read(0, buffer, size);
#endif
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) return 0;
    }
  }
};

bool WriteOut(std::string_view frame) {
  return std::fwrite(frame.data(), 1, frame.size(), stdout) == frame.size() && std::fflush(stdout) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--version") {
      std::printf("marlo-lsp %s\n", MARLO_VERSION);
      return 0;
    }
    if (arg == "--help" || arg == "-h") {
      std::printf(
          "usage: marlo-lsp [--stdio]\n"
          "The language server of BOS scripts: the Language Server Protocol over standard input and output.\n"
          "Settings come from the client (initializationOptions, workspace/didChangeConfiguration):\n"
          "includeDirectories, extended, angularScale, linearScale.\n");
      return 0;
    }
    if (arg != "--stdio") {
      std::fprintf(stderr, "marlo-lsp: unknown option '%s' (try --help)\n", argv[i]);
      return 2;
    }
  }
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#else
  std::signal(SIGPIPE, SIG_IGN);  // a client that goes away ends the loop, not the process
#endif
  StandardInput in;
  return marlo::lsp::Serve(in, WriteOut);
}
