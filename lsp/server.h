// The language server: JSON-RPC over a byte stream, the protocol's life
// cycle, the open documents, and the diagnostics of the scripts compiled
// in memory. Transport-free: bytes come from a ByteSource and frames go to
// a sink, so tests run it over in-memory streams and marlo-lsp over
// standard input and output.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "lsp/json_rpc.h"
#include "lsp/message_reader.h"
#include "lsp/workspace.h"

namespace marlo::lsp {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to `size` bytes; 0 at the end of the input.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

// Takes one framed message; false when it could not be written.
using ByteSink = std::function<bool(std::string_view frame)>;

class Server {
 public:
  explicit Server(ByteSink sink);

  // Handles one frame of `reader` (which it may ask to resync).
  void Receive(MessageReader& reader, const Frame& frame);
  // Compiles the scripts that changed and publishes what changed; the
  // caller does this whenever no further message is waiting.
  void Flush();

  bool Exited() const { return exited_; }
  // 0 after shutdown and exit, 1 otherwise (the protocol's rule).
  int ExitCode() const { return shutDown_ && !sinkFailed_ ? 0 : 1; }

 private:
  enum class State { kWaiting, kRunning, kShutDown };
  using Handler = Json (Server::*)(const Json& params);

  void Dispatch(const Incoming& message);
  void Send(const Json& message);
  void Log(int type, const std::string& text);

  Json Initialize(const Json& params);
  Json Shutdown(const Json& params);
  Json Exit(const Json& params);
  Json Ignore(const Json& params);
  Json DidOpen(const Json& params);
  Json DidChange(const Json& params);
  Json DidClose(const Json& params);
  Json DidSave(const Json& params);
  Json DidChangeConfiguration(const Json& params);
  Json DocumentSymbol(const Json& params);
  Json GoToDefinition(const Json& params);
  Json HoverAt(const Json& params);
  Json CompleteAt(const Json& params);

  const Document& DocumentOf(const Json& params);
  Position PositionOf(const Json& params) const;
  void ApplySettings(const Json& options);
  void MarkAllDirty();
  // The document and the scripts that read it at their last compile.
  void MarkDirty(const Document& document);
  Json DiagnosticJson(const struct Problem& problem);

  struct Method {
    Handler handler;
    bool request;
  };
  static const std::map<std::string, Method, std::less<>>& Methods();

  ByteSink sink_;
  bool sinkFailed_ = false;
  State state_ = State::kWaiting;
  bool shutDown_ = false;
  bool exited_ = false;
  Encoding encoding_ = Encoding::kUtf16;
  Workspace workspace_;
  // Scripts to compile again, by URI; all of them after a header or a
  // setting changed.
  std::set<std::string> dirty_;
  bool allDirty_ = false;
  bool closed_ = false;
  // Each script's diagnostics by file, and what was last sent per URI.
  std::map<std::string, std::map<std::string, Json>> results_;
  std::map<std::string, Json> published_;
  std::map<std::string, std::set<std::string>> filesRead_;  // per script, absolute
};

// Reads messages from `in` until "exit" or the input's end; returns the
// exit code.
int Serve(ByteSource& in, const ByteSink& out);

}  // namespace marlo::lsp
