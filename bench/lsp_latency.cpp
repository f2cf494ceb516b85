// How long marlo-lsp takes from a change of a 2,000-line script to its
// diagnostics: the real server as a child process over pipes, the unit of
// the micro-benchmarks (bench_text) on disk with its header, and edits
// that alternately break and mend a line, so that both a failing and a
// whole compile are timed.
//
//   marlo_lsp_latency PATH_TO_MARLO_LSP [EDITS]     (40 edits)
//
// Prints the median, 90th percentile and largest time, over all edits and
// over those that mend (the whole unit compiled); exit status 1 when a
// median is above 100 ms or the server misbehaves.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_text.h"
#include "lsp/json_rpc.h"
#include "lsp/message_reader.h"
#include "lsp/uri.h"

namespace {

using marlo::lsp::Json;
namespace fs = std::filesystem;

class Child {
 public:
  explicit Child(const std::string& path) {
    int toChild[2];
    int fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      ::dup2(toChild[0], 0);
      ::dup2(fromChild[1], 1);
      ::close(toChild[1]);
      ::close(fromChild[0]);
      ::execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
      std::_Exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    in_ = toChild[1];
    out_ = fromChild[0];
  }
  ~Child() {
    ::close(in_);
    ::close(out_);
    ::waitpid(pid_, nullptr, 0);
  }

  void Send(const Json& message) {
    const std::string frame = marlo::lsp::FrameBody(message.dump());
    for (std::size_t at = 0; at < frame.size();) {
      const ssize_t written = ::write(in_, frame.data() + at, frame.size() - at);
      if (written <= 0) throw std::runtime_error("the server stopped reading");
      at += static_cast<std::size_t>(written);
    }
  }
  Json Receive() {
    for (;;) {
      if (auto frame = reader_.Next()) return Json::parse(frame->body);
      char buffer[65536];
      const ssize_t got = ::read(out_, buffer, sizeof buffer);
      if (got <= 0) throw std::runtime_error("the server ended");
      reader_.Feed(std::string_view(buffer, static_cast<std::size_t>(got)));
    }
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  marlo::lsp::MessageReader reader_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: marlo_lsp_latency PATH_TO_MARLO_LSP [EDITS]\n");
    return 2;
  }
  const int edits = argc > 2 ? std::max(2, std::atoi(argv[2])) : 40;
  const marlo::bench::BenchText text = marlo::bench::MakeBenchText(2000);
  const fs::path dir = fs::temp_directory_path() / ("marlo-lsp-latency-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / marlo::bench::BenchText::kHeaderName, std::ios::binary) << text.header;
  const std::string uri = marlo::lsp::UriFromPath((dir / "unit.bos").string());

  // The edit: a piece name in "hide flare;" of Create, spoilt and mended.
  const std::size_t at = text.main.find("hide flare;");
  int line = 0;
  for (std::size_t i = 0; i < at; ++i) line += text.main[i] == '\n';
  const int character = static_cast<int>(at - text.main.rfind('\n', at) - 1) + 5;

  std::vector<double> times;
  std::vector<double> mended;
  int status = 0;
  try {
    Child server(argv[1]);
    server.Send(
        {{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}, {"params", {{"capabilities", Json::object()}}}});
    server.Receive();
    server.Send({{"jsonrpc", "2.0"}, {"method", "initialized"}, {"params", Json::object()}});
    auto waitFor = [&](int version) {
      for (;;) {
        const Json message = server.Receive();
        if (message.value("method", "") == "textDocument/publishDiagnostics" && message["params"]["uri"] == uri &&
            message["params"].value("version", -1) == version)
          return message["params"]["diagnostics"];
      }
    };
    server.Send(
        {{"jsonrpc", "2.0"},
         {"method", "textDocument/didOpen"},
         {"params", {{"textDocument", {{"uri", uri}, {"languageId", "bos"}, {"version", 1}, {"text", text.main}}}}}});
    if (!waitFor(1).empty()) throw std::runtime_error("the unit does not compile");
    for (int version = 2; version < 2 + edits; ++version) {
      const bool spoil = version % 2 == 0;
      const Json range{{"start", {{"line", line}, {"character", character}}},
                       {"end", {{"line", line}, {"character", character + (spoil ? 5 : 6)}}}};
      const auto start = std::chrono::steady_clock::now();
      server.Send({{"jsonrpc", "2.0"},
                   {"method", "textDocument/didChange"},
                   {"params",
                    {{"textDocument", {{"uri", uri}, {"version", version}}},
                     {"contentChanges", {{{"range", range}, {"text", spoil ? "flarex" : "flare"}}}}}}});
      const Json diagnostics = waitFor(version);
      times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
      if (!spoil) mended.push_back(times.back());
      if (diagnostics.empty() == spoil) throw std::runtime_error("unexpected diagnostics " + diagnostics.dump());
    }
    server.Send({{"jsonrpc", "2.0"}, {"id", 2}, {"method", "shutdown"}});
    server.Receive();
    server.Send({{"jsonrpc", "2.0"}, {"method", "exit"}});
  } catch (const std::exception& error) {
    std::fprintf(stderr, "marlo_lsp_latency: %s\n", error.what());
    status = 1;
  }
  fs::remove_all(dir);
  if (status != 0) return status;

  std::printf("script: 2000 lines, %zu bytes; %d edits, change to diagnostics (limit: median 100 ms)\n",
              text.main.size(), edits);
  double worst = 0;
  for (auto [name, list] : {std::pair{"all edits", &times}, std::pair{"mending edits", &mended}}) {
    std::sort(list->begin(), list->end());
    const double median = (*list)[list->size() / 2];
    worst = std::max(worst, median);
    std::printf("%-14s median %.1f ms, 90th percentile %.1f ms, largest %.1f ms\n", name, median,
                (*list)[list->size() * 9 / 10], list->back());
  }
  return worst <= 100.0 ? 0 : 1;
}
