// JSON-RPC 2.0 as the language server protocol uses it: what an incoming
// message is, and the replies and notifications going out, framed.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace marlo::lsp {

using Json = nlohmann::json;

// The error codes of JSON-RPC and of the protocol.
enum ErrorCode : int {
  kParseError = -32700,
  kInvalidRequest = -32600,
  kMethodNotFound = -32601,
  kInvalidParams = -32602,
  kInternalError = -32603,
  kServerNotInitialized = -32002,
  kRequestFailed = -32803,
};

struct Incoming {
  enum class Kind { kRequest, kNotification, kResponse, kInvalid };
  Kind kind = Kind::kInvalid;
  Json id;  // requests and responses; null when it could not be read
  std::string method;
  Json params;          // null when absent
  std::string problem;  // kInvalid: why
};

// Sorts a parsed message; anything that is no request, notification or
// response is kInvalid with the reason (and its id when that is readable).
Incoming Classify(const Json& message);

// Serialized without failing on text that is not UTF-8 (a header's bytes
// reach hovers and messages): such bytes become U+FFFD.
std::string Serialize(const Json& message);
// "Content-Length: N\r\n\r\n" and the body.
std::string FrameBody(std::string_view body);

Json Response(const Json& id, Json result);
Json ErrorResponse(const Json& id, int code, std::string_view message);
Json Notification(std::string_view method, Json params);

}  // namespace marlo::lsp
