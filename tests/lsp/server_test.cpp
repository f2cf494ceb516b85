// Every method and every bad input of the language server, over in-memory
// streams, on the scripts and headers of tests/data/lsp/.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "lsp/uri.h"
#include "lsp_session.h"
#include "tests/support/files.h"

namespace marlo::lsp {
namespace {

namespace fs = std::filesystem;
using testing::Session;

// main.bos, utf.bos and the headers of inc/ lie there; nothing is written.
const fs::path kRoot = MARLO_TEST_DATA_DIR "/lsp";

class LspServer : public ::testing::Test {
 protected:
  std::string Uri(const std::string& name) const { return UriFromPath((kRoot / name).generic_string()); }
  Json Open(const std::string& name, const std::string& text) const {
    return {{"textDocument", {{"uri", Uri(name)}, {"languageId", "bos"}, {"version", 1}, {"text", text}}}};
  }
  Json At(const std::string& name, int line, int character) const {
    return {{"textDocument", {{"uri", Uri(name)}}}, {"position", {{"line", line}, {"character", character}}}};
  }
  Json Options() const { return {{"includeDirectories", {(kRoot / "inc").string()}}}; }

  const std::string mainText_ = marlo::test::ReadFile(kRoot / "main.bos");
};

Json Range(int line, int from, int to) {
  return {{"start", {{"line", line}, {"character", from}}}, {"end", {{"line", line}, {"character", to}}}};
}

TEST_F(LspServer, InitializeNegotiatesThePositionEncoding) {
  for (const auto& [offered, chosen] : {std::pair{Json::array(), "utf-16"}, std::pair{Json{"utf-16"}, "utf-16"},
                                        std::pair{Json{"utf-8", "utf-16"}, "utf-8"}}) {
    Session session;
    session.Initialize(Json::object(), offered).Request(2, "shutdown").Notify("exit").Run();
    const Json result = session.Reply(1)["result"];
    EXPECT_EQ(result["capabilities"]["positionEncoding"], chosen) << offered;
    EXPECT_EQ(result["capabilities"]["textDocumentSync"]["change"], 2);
    EXPECT_EQ(result["serverInfo"]["name"], "marlo-lsp");
    EXPECT_EQ(session.exitCode, 0);
  }
}

// A request's result written short, as tests/data/lsp/requests.txt has it.
std::string Short(const Json& result, const std::string& rootUri) {
  const auto at = [](const Json& p) {
    return std::to_string(p["line"].get<int>()) + ":" + std::to_string(p["character"].get<int>());
  };
  const auto range = [&](const Json& r) { return at(r["start"]) + "-" + at(r["end"]); };
  if (result.is_null()) return "null";
  if (result.contains("uri"))
    return result["uri"].get<std::string>().substr(rootUri.size()) + " " + range(result["range"]);
  if (result.contains("contents")) return result["contents"]["value"];
  std::string text;  // document symbols
  for (const Json& symbol : result) {
    text += (text.empty() ? "" : " ") + symbol["name"].get<std::string>() + "/" +
            std::to_string(symbol["kind"].get<int>()) + " " + range(symbol["range"]);
    if (symbol.contains("children")) text += " (" + Short(symbol["children"], rootUri) + ")";
  }
  return text;
}

TEST_F(LspServer, Requests) {
  for (const marlo::test::TableLine& line : marlo::test::TableLines(kRoot / "requests.txt")) {
    std::istringstream words(line.text);
    std::string method, file;
    int row = 0, column = 0;
    char colon = 0;
    words >> method >> file >> row >> colon >> column;
    std::string rest;
    std::getline(words, rest);
    std::string_view text = rest;
    const std::string expected = marlo::test::TakeQuoted(text);
    std::istringstream extra{std::string(text)};
    Json options{{"includeDirectories", "inc"}}, encodings = Json::array();
    if (!(extra >> std::ws).eof()) extra >> options;
    if (!(extra >> std::ws).eof()) extra >> encodings;
    Session session;
    session.Initialize(options, encodings, Uri(""))
        .Notify("textDocument/didOpen", Open(file, marlo::test::ReadFile(kRoot / file)))
        .Request(2, "textDocument/" + method, At(file, row, column))
        .Run();
    EXPECT_EQ(Short(session.Reply(2)["result"], Uri("")), expected) << "requests.txt:" << line.number;
  }
}

TEST_F(LspServer, CompletionOffersKeywordsNamesAndDefines) {
  Session session;
  session.Initialize(Options())
      .Notify("textDocument/didOpen", Open("main.bos", mainText_ + "#inc"))
      .Request(2, "textDocument/completion", At("main.bos", 9, 2))
      .Request(3, "textDocument/completion", At("main.bos", 12, 4))
      .Run();
  auto labels = [&](int id) {
    std::vector<std::string> found;
    const Json items = session.Reply(id)["result"]["items"];
    for (const Json& item : items) found.push_back(item["label"]);
    return found;
  };
  const std::vector<std::string> statement = labels(2);
  for (const char* expected : {"shots", "count", "turret", "moving", "Fire", "SPEED", "HEALTH", "turn", "x-axis"})
    EXPECT_NE(std::find(statement.begin(), statement.end(), expected), statement.end()) << expected;
  const std::vector<std::string> directive = labels(3);
  EXPECT_NE(std::find(directive.begin(), directive.end(), "#include"), directive.end());
  EXPECT_EQ(std::find(directive.begin(), directive.end(), "turn"), directive.end());
}

TEST_F(LspServer, DiagnosticsFollowChangesAndLandInHeaders) {
  const std::string broken = "#include \"bad.h\"\npiece base;\nCreate()\n{\n  hide nothing;\n}\n";
  const std::string fixed = "#include \"defs.h\"\npiece base;\nCreate()\n{\n  hide base;\n}\n";
  const Json change{{"range", Range(4, 7, 14)}, {"text", "base"}};  // nothing -> base
  Session session;
  session.Initialize(Options()).Notify("textDocument/didOpen", Open("main.bos", broken)).Run();
  const std::vector<Json> header = session.Published(Uri("inc/bad.h"));
  ASSERT_EQ(header.size(), 1u);
  EXPECT_EQ(header[0][0]["message"], "Unknown Identifier FOO");
  EXPECT_EQ(header[0][0]["range"], Range(1, 0, 11));
  EXPECT_EQ(session.Published(Uri("main.bos")), std::vector<Json>{Json::array()});

  struct Step {
    Json notification;
    const char* uri;
    const char* message;  // "" for none
    int line;
  } steps[] = {
      // The open header's text stands for the file: the error goes.
      {{{"method", "textDocument/didOpen"}, {"params", Open("inc/bad.h", "#define FOO 1\n")}}, "inc/bad.h", "", 0},
      {{{"method", "textDocument/didClose"}, {"params", {{"textDocument", {{"uri", Uri("inc/bad.h")}}}}}},
       "inc/bad.h",
       "Unknown Identifier FOO",
       1},
      {{{"method", "textDocument/didChange"},
        {"params",
         {{"textDocument", {{"uri", Uri("main.bos")}, {"version", 2}}}, {"contentChanges", {{{"text", fixed}}}}}}},
       "inc/bad.h",
       "",
       0},
      {{{"method", "textDocument/didChange"},
        {"params",
         {{"textDocument", {{"uri", Uri("main.bos")}, {"version", 3}}}, {"contentChanges", {{{"text", broken}}}}}}},
       "main.bos",
       "",
       0},
      {{{"method", "textDocument/didOpen"}, {"params", Open("inc/bad.h", "\n")}},
       "main.bos",
       "Unexpected keyword or identifier 'nothing' while searching for piece or variable",
       4},
      {{{"method", "textDocument/didChange"},
        {"params", {{"textDocument", {{"uri", Uri("main.bos")}, {"version", 4}}}, {"contentChanges", {change}}}}},
       "main.bos",
       "",
       0},
  };
  Session stepped;
  stepped.Initialize(Options()).Notify("textDocument/didOpen", Open("main.bos", broken)).Pause();
  int id = 10;
  for (const Step& step : steps)
    stepped.Notify(step.notification["method"], step.notification["params"])
        .Pause()
        .Request(id++, "textDocument/documentSymbol", {{"textDocument", {{"uri", Uri("main.bos")}}}});
  stepped.Run();
  // Each step's last publication for its file comes before the next reply.
  std::vector<Json> last(std::size(steps));
  std::size_t stepIndex = 0;
  for (const Json& message : stepped.output) {
    if (message.contains("id") && message["id"].get<int>() >= 10) ++stepIndex;
    if (stepIndex < std::size(steps) && message.value("method", "") == "textDocument/publishDiagnostics" &&
        message["params"]["uri"] == Uri(steps[stepIndex].uri))
      last[stepIndex] = message["params"]["diagnostics"];
  }
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    if (std::string(steps[i].message).empty()) {
      EXPECT_EQ(last[i], Json::array()) << "step " << i;
    } else {
      ASSERT_EQ(last[i].size(), 1u) << "step " << i << ": " << last[i];
      EXPECT_EQ(last[i][0]["message"], steps[i].message) << "step " << i;
      EXPECT_EQ(last[i][0]["range"]["start"]["line"], steps[i].line) << "step " << i;
    }
  }
}

TEST_F(LspServer, SettingsChangeTheIncludeDirectoriesAndTheLanguage) {
  const std::string text = "#include \"defs.h\"\npiece base;\nCreate()\n{\n  if (1) hide base;\n}\n";
  Session session;
  session
      .Initialize(Json::object(), Json::array(), Uri(""))  // the document's folder: defs.h is not there
      .Notify("textDocument/didOpen", Open("main.bos", text))
      .Pause()
      .Notify("workspace/didChangeConfiguration", {{"settings", {{"marlo", Options()}}}})
      .Pause()
      .Notify("workspace/didChangeConfiguration",
              {{"settings", {{"includeDirectories", "inc"}, {"extended", true}, {"angularScale", -1}}}})
      .Run();
  const std::vector<Json> published = session.Published(Uri("main.bos"));
  ASSERT_EQ(published.size(), 3u);
  EXPECT_EQ(published[0][0]["message"], "Include file 'defs.h' not found");
  EXPECT_NE(published[1][0]["message"].get<std::string>().find("Syntax Error"),
            std::string::npos);            // no single statements
  EXPECT_EQ(published[2], Json::array());  // relative to the root folder, extended
}

TEST_F(LspServer, LifeCycle) {
  Session early;
  early.Request(1, "textDocument/hover", At("main.bos", 0, 0))
      .Notify("textDocument/didOpen", Open("main.bos", mainText_))
      .Initialize()
      .Request(2, "textDocument/documentSymbol", {{"textDocument", {{"uri", Uri("main.bos")}}}})
      .Request(3, "shutdown")
      .Request(4, "textDocument/hover", At("main.bos", 0, 0))
      .Notify("exit")
      .Run();
  EXPECT_EQ(early.Reply(1)["error"]["code"], -32002);
  EXPECT_EQ(early.Reply(2)["error"]["code"], -32602);  // the early didOpen was dropped
  EXPECT_TRUE(early.Reply(3)["result"].is_null());
  EXPECT_EQ(early.Reply(4)["error"]["code"], -32600);
  EXPECT_EQ(early.exitCode, 0);

  EXPECT_EQ(Session().Initialize().Notify("exit").Run().exitCode, 1);  // exit without shutdown
  EXPECT_EQ(Session().Initialize().Run().exitCode, 1);                 // the input ended
}

std::string Framed(const std::string& body) { return FrameBody(body); }

TEST_F(LspServer, BadInputGetsTheProtocolsErrorAndTheServerGoesOn) {
  const std::string hover = Json{{"jsonrpc", "2.0"}, {"id", 7}, {"method", "textDocument/hover"}}.dump();
  const std::string next = Framed(R"({"jsonrpc":"2.0","id":99,"method":"shutdown"})");
  struct Row {
    const char* name;
    std::string bytes;
    int code;
    Json id;
  } rows[] = {
      {"malformed JSON", Framed("{not json"), -32700, nullptr},
      {"Content-Length too short", "Content-Length: 5\r\n\r\n" + hover, -32700, nullptr},
      {"Content-Length too long", "Content-Length: 80\r\n\r\n{}" + next, -32700, nullptr},
      {"Content-Length not a number", "Content-Length: five\r\n\r\n{}", -32700, nullptr},
      {"no Content-Length", "Content-Type: text/plain\r\n\r\n{}", -32700, nullptr},
      {"too large", "Content-Length: 999999999999\r\n\r\n", -32600, nullptr},
      {"not UTF-8",
       Framed(R"({"jsonrpc":"2.0","id":7,"method":"x","params":{"text":"caf)"
              "\xE9"
              R"("}})"),
       -32700, nullptr},
      {"unknown method", Framed(R"({"jsonrpc":"2.0","id":7,"method":"marlo/unknown"})"), -32601, 7},
      {"no jsonrpc", Framed(R"({"id":7,"method":"shutdown"})"), -32600, 7},
      {"method not a string", Framed(R"({"jsonrpc":"2.0","id":7,"method":1})"), -32600, 7},
      {"id an object", Framed(R"({"jsonrpc":"2.0","id":{},"method":"shutdown"})"), -32600, nullptr},
      {"a batch", Framed(R"([{"jsonrpc":"2.0","id":7,"method":"shutdown"}])"), -32600, nullptr},
      {"params missing", Framed(hover), -32602, 7},
      {"document not open",
       Framed(Json{{"jsonrpc", "2.0"}, {"id", 7}, {"method", "textDocument/hover"}, {"params", At("other.bos", 0, 0)}}
                  .dump()),
       -32602, 7},
      {"initialize twice", Framed(R"({"jsonrpc":"2.0","id":7,"method":"initialize","params":{}})"), -32600, 7},
  };
  for (const Row& row : rows) {
    // A refused body's bytes are skipped as they come: nothing follows it.
    const bool tooLarge = std::string(row.name) == "too large";
    Session session;
    session.Initialize().Raw(row.bytes).Raw(tooLarge ? "" : next).Run();
    const Json error = session.Reply(row.id);
    ASSERT_TRUE(error.contains("error")) << row.name;
    EXPECT_EQ(error["error"]["code"], row.code) << row.name << ": " << error;
    EXPECT_TRUE(tooLarge || session.Reply(99).contains("result")) << row.name << ": the server stopped serving";
  }
}

TEST_F(LspServer, UnknownNotificationsAreIgnoredAndHugeDocumentsKeptUncompiled) {
  std::string huge;
  while (huge.size() < (std::size_t{50} << 20)) huge += "// a comment line of a very large script\n";
  Session session;
  session.Initialize()
      .Notify("marlo/unknown")
      .Notify("$/cancelRequest", {{"id", 1}})
      .Notify("textDocument/didOpen", Open("huge.bos", huge))
      .Request(2, "textDocument/documentSymbol", {{"textDocument", {{"uri", Uri("huge.bos")}}}})
      .Run();
  EXPECT_EQ(session.Reply(2)["result"], Json::array());
  const std::vector<Json> published = session.Published(Uri("huge.bos"));
  ASSERT_EQ(published.size(), 1u);
  EXPECT_EQ(published[0][0]["message"], "Not compiled: the document is larger than 16 MiB");
  EXPECT_EQ(published[0][0]["severity"], 2);
}

}  // namespace
}  // namespace marlo::lsp
