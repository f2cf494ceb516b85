#include "lsp/server.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "compiler/compile_text.h"
#include "lsp/diagnostics.h"
#include "lsp/features.h"
#include "lsp/uri.h"

namespace marlo::lsp {
namespace {

// A request's params that do not fit the method; its reply is InvalidParams.
struct BadParams {
  std::string text;
};
// A request that the server's state does not allow.
struct BadRequest {
  std::string text;
};

constexpr int kMessageError = 1;
constexpr int kMessageWarning = 2;
constexpr int kSeverityError = 1;
constexpr int kSeverityWarning = 2;

bool IsNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '#';
}

}  // namespace

Server::Server(ByteSink sink) : sink_(std::move(sink)) {}

const std::map<std::string, Server::Method, std::less<>>& Server::Methods() {
  static const std::map<std::string, Method, std::less<>> methods = {
      {"initialize", {&Server::Initialize, true}},
      {"shutdown", {&Server::Shutdown, true}},
      {"textDocument/documentSymbol", {&Server::DocumentSymbol, true}},
      {"textDocument/definition", {&Server::GoToDefinition, true}},
      {"textDocument/hover", {&Server::HoverAt, true}},
      {"textDocument/completion", {&Server::CompleteAt, true}},
      {"initialized", {&Server::Ignore, false}},
      {"exit", {&Server::Exit, false}},
      {"textDocument/didOpen", {&Server::DidOpen, false}},
      {"textDocument/didChange", {&Server::DidChange, false}},
      {"textDocument/didClose", {&Server::DidClose, false}},
      {"textDocument/didSave", {&Server::DidSave, false}},
      {"workspace/didChangeConfiguration", {&Server::DidChangeConfiguration, false}},
  };
  return methods;
}

void Server::Send(const Json& message) {
  if (sinkFailed_) return;
  if (!sink_(FrameBody(Serialize(message)))) {
    sinkFailed_ = true;
    exited_ = true;  // nobody reads any more
  }
}

void Server::Log(int type, const std::string& text) {
  Send(Notification("window/logMessage", {{"type", type}, {"message", "marlo-lsp: " + text}}));
}

void Server::Receive(MessageReader& reader, const Frame& frame) {
  if (frame.kind == Frame::Kind::kBadHeader) {
    Send(ErrorResponse(nullptr, kParseError, "Parse error: " + frame.problem));
    return;
  }
  if (frame.kind == Frame::Kind::kTooLarge) {
    Send(ErrorResponse(nullptr, kInvalidRequest, "Invalid request: " + frame.problem));
    return;
  }
  const Json message = Json::parse(frame.body, nullptr, false);
  if (message.is_discarded()) {
    reader.Resync();
    Send(ErrorResponse(nullptr, kParseError, "Parse error: the body is not JSON in UTF-8"));
    return;
  }
  Dispatch(Classify(message));
}

void Server::Dispatch(const Incoming& message) {
  if (message.kind == Incoming::Kind::kInvalid) {
    Send(ErrorResponse(message.id, kInvalidRequest, "Invalid request: " + message.problem));
    return;
  }
  if (message.kind == Incoming::Kind::kResponse) return;  // this server asks nothing
  const bool request = message.kind == Incoming::Kind::kRequest;
  const auto found = Methods().find(message.method);
  const bool known = found != Methods().end() && found->second.request == request;
  if (message.method != "exit") {
    if (state_ == State::kWaiting && message.method != "initialize") {
      if (request) Send(ErrorResponse(message.id, kServerNotInitialized, "Server not initialized"));
      return;
    }
    if (state_ == State::kShutDown) {
      if (request) Send(ErrorResponse(message.id, kInvalidRequest, "Invalid request: the server was shut down"));
      return;
    }
  }
  if (!known) {
    if (request) Send(ErrorResponse(message.id, kMethodNotFound, "Method not found: " + message.method));
    return;
  }
  try {
    Json result = (this->*found->second.handler)(message.params);
    if (request) Send(Response(message.id, std::move(result)));
  } catch (const BadRequest& bad) {
    Send(ErrorResponse(message.id, kInvalidRequest, "Invalid request: " + bad.text));
  } catch (const BadParams& bad) {
    if (request)
      Send(ErrorResponse(message.id, kInvalidParams, "Invalid params: " + bad.text));
    else
      Log(kMessageError, message.method + ": " + bad.text);
  } catch (const Json::exception& error) {
    if (request)
      Send(ErrorResponse(message.id, kInvalidParams, std::string("Invalid params: ") + error.what()));
    else
      Log(kMessageError, message.method + ": " + error.what());
  } catch (const std::exception& error) {
    if (request) Send(ErrorResponse(message.id, kInternalError, std::string("Internal error: ") + error.what()));
    Log(kMessageError, message.method + " failed: " + error.what());
  }
}

// ---- life cycle -----------------------------------------------------------

Json Server::Initialize(const Json& params) {
  if (state_ != State::kWaiting) throw BadRequest{"initialize was sent twice"};
  if (!params.is_object()) throw BadParams{"expected an object"};
  const Json encodings = params.value("/capabilities/general/positionEncodings"_json_pointer, Json::array());
  encoding_ = Encoding::kUtf16;
  if (encodings.is_array() && std::find(encodings.begin(), encodings.end(), "utf-8") != encodings.end())
    encoding_ = Encoding::kUtf8;
  if (const auto folders = params.find("workspaceFolders");
      folders != params.end() && folders->is_array() && !folders->empty() && (*folders)[0].contains("uri"))
    workspace_.root = PathFromUri((*folders)[0]["uri"].get<std::string>());
  else if (const auto root = params.find("rootUri"); root != params.end() && root->is_string())
    workspace_.root = PathFromUri(root->get<std::string>());
  else if (const auto path = params.find("rootPath"); path != params.end() && path->is_string())
    workspace_.root = path->get<std::string>();
  if (const auto options = params.find("initializationOptions"); options != params.end()) ApplySettings(*options);
  state_ = State::kRunning;
  return Json{{"capabilities",
               {{"positionEncoding", encoding_ == Encoding::kUtf8 ? "utf-8" : "utf-16"},
                {"textDocumentSync", {{"openClose", true}, {"change", 2}, {"save", {{"includeText", false}}}}},
                {"documentSymbolProvider", true},
                {"definitionProvider", true},
                {"hoverProvider", true},
                {"completionProvider", {{"triggerCharacters", {"#"}}}}}},
              {"serverInfo", {{"name", "marlo-lsp"}, {"version", MARLO_VERSION}}}};
}

Json Server::Shutdown(const Json&) {
  state_ = State::kShutDown;
  shutDown_ = true;
  return nullptr;
}

Json Server::Exit(const Json&) {
  exited_ = true;
  return nullptr;
}

Json Server::Ignore(const Json&) { return nullptr; }

// ---- settings -------------------------------------------------------------

void Server::ApplySettings(const Json& given) {
  if (!given.is_object()) return;
  const Json& options = given.contains("marlo") && given["marlo"].is_object() ? given["marlo"] : given;
  Settings& settings = workspace_.settings;
  if (const auto dirs = options.find("includeDirectories"); dirs != options.end()) {
    settings.includeDirs.clear();
    settings.includeDirsGiven = !dirs->is_null();
    if (dirs->is_string()) {
      const std::string list = dirs->get<std::string>();
      for (std::size_t start = 0; start <= list.size();) {
        const std::size_t end = std::min(list.find(';', start), list.size());
        if (end > start) settings.includeDirs.push_back(list.substr(start, end - start));
        start = end + 1;
      }
    } else if (dirs->is_array()) {
      for (const Json& dir : *dirs)
        if (dir.is_string()) settings.includeDirs.push_back(dir.get<std::string>());
    }
  }
  if (const auto extended = options.find("extended"); extended != options.end() && extended->is_boolean())
    settings.extended = extended->get<bool>();
  for (const auto& [name, scale] :
       {std::pair{"angularScale", &settings.angularScale}, std::pair{"linearScale", &settings.linearScale}}) {
    const auto value = options.find(name);
    if (value == options.end()) continue;
    if (value->is_number() && core::IsValidLiteralScale(value->get<double>()))
      *scale = value->get<double>();
    else
      Log(kMessageWarning,
          std::string(name) + " must be a number above 0 and at most 1e9; kept " + std::to_string(*scale));
  }
  MarkAllDirty();
}

Json Server::DidChangeConfiguration(const Json& params) {
  if (params.is_object() && params.contains("settings")) ApplySettings(params["settings"]);
  return nullptr;
}

// ---- documents ------------------------------------------------------------

const Document& Server::DocumentOf(const Json& params) {
  const std::string uri = params.at("textDocument").at("uri").get<std::string>();
  const Document* document = workspace_.Find(uri);
  if (!document) throw BadParams{"document " + uri + " is not open"};
  return *document;
}

Position Server::PositionOf(const Json& params) const {
  const Json& position = params.at("position");
  return {position.at("line").get<int>(), position.at("character").get<int>()};
}

void Server::MarkAllDirty() { allDirty_ = true; }

void Server::MarkDirty(const Document& document) {
  if (document.IsScript()) dirty_.insert(document.uri);
  for (const auto& [uri, files] : filesRead_)
    if (files.count(document.path)) dirty_.insert(uri);
}

Json Server::DidOpen(const Json& params) {
  const Json& item = params.at("textDocument");
  Document& document = workspace_.Open(item.at("uri").get<std::string>(), item.value("languageId", ""),
                                       item.value("version", 0), item.at("text").get<std::string>());
  if (document.IsScript())
    MarkDirty(document);
  else
    MarkAllDirty();  // its text now stands for the file on disk, or a missing one
  return nullptr;
}

Json Server::DidChange(const Json& params) {
  Document* document = workspace_.Find(params.at("textDocument").at("uri").get<std::string>());
  if (!document) throw BadParams{"the document is not open"};
  for (const Json& change : params.at("contentChanges")) {
    const std::string& text = change.at("text").get_ref<const std::string&>();
    if (!change.contains("range")) {
      document->text.SetText(text);
      continue;
    }
    const Json& range = change.at("range");
    const Position from{range.at("start").at("line").get<int>(), range.at("start").at("character").get<int>()};
    const Position to{range.at("end").at("line").get<int>(), range.at("end").at("character").get<int>()};
    document->text.Replace(document->text.Offset(from, encoding_), document->text.Offset(to, encoding_), text);
  }
  document->version = params["textDocument"].value("version", document->version);
  workspace_.Changed(*document);
  MarkDirty(*document);
  return nullptr;
}

Json Server::DidClose(const Json& params) {
  const std::string uri = params.at("textDocument").at("uri").get<std::string>();
  const Document* document = workspace_.Find(uri);
  if (!document) return nullptr;
  MarkDirty(*document);  // its includers read the disk again
  workspace_.Close(uri);
  results_.erase(uri);
  filesRead_.erase(uri);
  dirty_.erase(uri);
  published_.try_emplace(uri, Json::array());
  closed_ = true;  // its files' diagnostics go
  return nullptr;
}

Json Server::DidSave(const Json&) {
  MarkAllDirty();  // a saved header may be read from the disk by others
  return nullptr;
}

// ---- diagnostics ----------------------------------------------------------

Json Server::DiagnosticJson(const Problem& problem) {
  std::shared_ptr<const IndexedFile> file = workspace_.Indexed(problem.path);
  const TextDocument empty;
  const TextDocument& text = file ? file->text : empty;
  const int line = problem.line - 1;
  const std::string_view content = text.Line(line);
  std::size_t begin = std::min<std::size_t>(static_cast<std::size_t>(problem.column - 1), content.size());
  std::size_t end = begin;
  if (problem.wholeLine) {
    begin = std::min(content.find_first_not_of(" \t"), content.size());
    end = content.size();
  } else {
    while (end < content.size() && IsNameByte(content[end])) ++end;
    if (end == begin && end < content.size()) ++end;
  }
  const std::size_t start = text.LineStart(line);
  return Json{{"range", RangeJson(text, start + begin, start + end, encoding_)},
              {"severity", problem.error ? kSeverityError : kSeverityWarning},
              {"source", "marlo"},
              {"message", problem.message}};
}

void Server::Flush() {
  if (state_ != State::kRunning || (dirty_.empty() && !allDirty_ && !closed_)) return;
  std::set<std::string> compiled;
  for (const auto& [uri, document] : workspace_.Documents()) {
    if (!document.IsScript() || (!allDirty_ && !dirty_.count(uri))) continue;
    Compiled result = CompileDocument(workspace_, document);
    std::map<std::string, Json> byFile{{document.path, Json::array()}};
    for (const Problem& problem : result.problems) byFile[problem.path].push_back(DiagnosticJson(problem));
    results_[uri] = std::move(byFile);
    filesRead_[uri] = std::move(result.filesRead);
    compiled.insert(uri);
  }
  dirty_.clear();
  allDirty_ = false;
  closed_ = false;

  // A header's diagnostics are those of every open script that includes it.
  std::map<std::string, Json> merged;
  for (const auto& [uri, byFile] : results_)
    for (const auto& [path, diagnostics] : byFile) {
      Json& into = merged.try_emplace(workspace_.UriOf(path), Json::array()).first->second;
      for (const Json& diagnostic : diagnostics)
        if (std::find(into.begin(), into.end(), diagnostic) == into.end()) into.push_back(diagnostic);
    }
  for (const auto& [uri, diagnostics] : published_) merged.try_emplace(uri, Json::array());
  for (auto& [uri, diagnostics] : merged) {
    Json& last = published_[uri];
    if (last == diagnostics && !compiled.count(uri)) continue;
    last = diagnostics;
    Json params{{"uri", uri}, {"diagnostics", diagnostics}};
    if (const Document* document = workspace_.Find(uri)) params["version"] = document->version;
    Send(Notification("textDocument/publishDiagnostics", std::move(params)));
  }
}

// ---- requests on a document -----------------------------------------------

Json Server::DocumentSymbol(const Json& params) { return DocumentSymbols(workspace_, DocumentOf(params), encoding_); }

Json Server::GoToDefinition(const Json& params) {
  return Definition(workspace_, DocumentOf(params), PositionOf(params), encoding_);
}

Json Server::HoverAt(const Json& params) {
  return Hover(workspace_, DocumentOf(params), PositionOf(params), encoding_);
}

Json Server::CompleteAt(const Json& params) {
  return Completion(workspace_, DocumentOf(params), PositionOf(params), encoding_);
}

int Serve(ByteSource& in, const ByteSink& out) {
  Server server(out);
  MessageReader reader;
  std::vector<char> buffer(std::size_t{1} << 16);
  for (;;) {
    while (std::optional<Frame> frame = reader.Next()) {
      server.Receive(reader, *frame);
      if (server.Exited()) return server.ExitCode();
    }
    server.Flush();
    if (server.Exited()) return server.ExitCode();
    const std::size_t read = in.Read(buffer.data(), buffer.size());
    if (read == 0) return 1;  // the client went away without "exit"
    reader.Feed(std::string_view(buffer.data(), read));
  }
}

}  // namespace marlo::lsp
