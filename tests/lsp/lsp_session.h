// A language server session over in-memory streams: messages are framed
// into one input, the server runs until it ends, and its output is read
// back as messages.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "lsp/json_rpc.h"
#include "lsp/message_reader.h"
#include "lsp/server.h"

namespace marlo::lsp::testing {

// Gives the bytes in parts, each read stopping at the next pause, as a
// client that waits between messages.
class StringSource : public ByteSource {
 public:
  StringSource(std::string data, std::vector<std::size_t> pauses)
      : data_(std::move(data)), pauses_(std::move(pauses)) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    std::size_t end = data_.size();
    for (const std::size_t pause : pauses_)
      if (pause > at_) end = std::min(end, pause);
    const std::size_t count = std::min(size, end - at_);
    std::copy_n(data_.data() + at_, count, buffer);
    at_ += count;
    return count;
  }

 private:
  std::string data_;
  std::vector<std::size_t> pauses_;
  std::size_t at_ = 0;
};

struct Session {
  std::string input;
  std::vector<std::size_t> pauses;
  std::vector<Json> output;
  int exitCode = -1;

  Session& Raw(const std::string& bytes) {
    input += bytes;
    return *this;
  }
  // The server sees what came so far (and publishes) before the rest.
  Session& Pause() {
    pauses.push_back(input.size());
    return *this;
  }
  Session& Request(int id, const std::string& method, Json params = Json::object()) {
    return Raw(FrameBody(Json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump()));
  }
  Session& Notify(const std::string& method, Json params = Json::object()) {
    return Raw(FrameBody(Json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump()));
  }
  Session& Initialize(Json options = Json::object(), Json encodings = Json::array(), std::string rootUri = {}) {
    Json params{{"capabilities", {{"general", {{"positionEncodings", encodings}}}}},
                {"initializationOptions", options}};
    if (!rootUri.empty()) params["rootUri"] = rootUri;
    Request(1, "initialize", params);
    return Notify("initialized");
  }

  Session& Run() {
    StringSource source(input, pauses);
    std::string written;
    exitCode = Serve(source, [&written](std::string_view frame) {
      written += frame;
      return true;
    });
    MessageReader reader;
    reader.Feed(written);
    while (auto frame = reader.Next()) output.push_back(Json::parse(frame->body));
    return *this;
  }

  // The reply to request `id` (null when there is none).
  Json Reply(const Json& id) const {
    for (const Json& message : output)
      if (!message.contains("method") && message.contains("id") && message["id"] == id) return message;
    return nullptr;
  }
  // The diagnostics published for `uri`, in order.
  std::vector<Json> Published(const std::string& uri) const {
    std::vector<Json> published;
    for (const Json& message : output)
      if (message.value("method", "") == "textDocument/publishDiagnostics" && message["params"]["uri"] == uri)
        published.push_back(message["params"]["diagnostics"]);
    return published;
  }
};

}  // namespace marlo::lsp::testing
