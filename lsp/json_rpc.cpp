#include "lsp/json_rpc.h"

namespace marlo::lsp {

Incoming Classify(const Json& message) {
  Incoming in;
  if (!message.is_object()) {
    in.problem = message.is_array() ? "batches are not supported" : "a message must be a JSON object";
    return in;
  }
  const auto id = message.find("id");
  const bool hasId = id != message.end();
  if (hasId && (id->is_string() || id->is_number_integer())) in.id = *id;
  const auto version = message.find("jsonrpc");
  if (version == message.end() || *version != "2.0") {
    in.problem = "\"jsonrpc\" must be \"2.0\"";
    return in;
  }
  if (hasId && !id->is_string() && !id->is_number_integer() && !id->is_null()) {
    in.problem = "\"id\" must be a number or a string";
    return in;
  }
  const auto method = message.find("method");
  if (method == message.end()) {
    if (hasId && (message.contains("result") || message.contains("error"))) {
      in.kind = Incoming::Kind::kResponse;
      return in;
    }
    in.problem = "no \"method\"";
    return in;
  }
  if (!method->is_string()) {
    in.problem = "\"method\" must be a string";
    return in;
  }
  in.method = method->get<std::string>();
  if (const auto params = message.find("params"); params != message.end()) {
    if (!params->is_object() && !params->is_array()) {
      in.problem = "\"params\" must be an object or an array";
      return in;
    }
    in.params = *params;
  }
  in.kind = hasId ? Incoming::Kind::kRequest : Incoming::Kind::kNotification;
  if (hasId && id->is_null()) {
    in.kind = Incoming::Kind::kInvalid;
    in.problem = "\"id\" must be a number or a string";
  }
  return in;
}

std::string Serialize(const Json& message) { return message.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string FrameBody(std::string_view body) {
  std::string frame = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  frame += body;
  return frame;
}

Json Response(const Json& id, Json result) {
  return Json{{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}};
}

Json ErrorResponse(const Json& id, int code, std::string_view message) {
  return Json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

Json Notification(std::string_view method, Json params) {
  return Json{{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
}

}  // namespace marlo::lsp
