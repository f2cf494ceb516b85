// Every method and every bad input of the language server, over in-memory
// streams, on scripts and headers in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "lsp/uri.h"
#include "lsp_session.h"

namespace marlo::lsp {
namespace {

namespace fs = std::filesystem;
using testing::Session;

const std::string kMain =
    "#include \"defs.h\"\n"
    "piece base, turret;\n"
    "static-var moving;\n"
    "Fire(count)\n"
    "{\n"
    "  var shots;\n"
    "  turn turret to y-axis <90> speed SPEED;\n"
    "  move base to x-axis [1] now;\n"
    "  shots = get HEALTH;\n"
    "  moving = count;\n"
    "  call-script Fire(1);\n"
    "}\n";
const std::string kDefs = "#define SPEED <45>\n#define HEALTH 4\n#define TWICE SPEED\n";
const std::string kBadHeader = "#define OK 1\n#if FOO = 1\n#endif\n";

class LspServer : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("marlo-lsp-test-" + std::to_string(std::random_device()()));
    fs::create_directories(dir_ / "inc");
    Write("inc/defs.h", kDefs);
    Write("inc/bad.h", kBadHeader);
    Write("main.bos", kMain);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const std::string& name, const std::string& text) { std::ofstream(dir_ / name, std::ios::binary) << text; }
  std::string Uri(const std::string& name) const { return UriFromPath((dir_ / name).generic_string()); }
  Json Open(const std::string& name, const std::string& text) const {
    return {{"textDocument", {{"uri", Uri(name)}, {"languageId", "bos"}, {"version", 1}, {"text", text}}}};
  }
  Json At(const std::string& name, int line, int character) const {
    return {{"textDocument", {{"uri", Uri(name)}}}, {"position", {{"line", line}, {"character", character}}}};
  }
  Json Options() const { return {{"includeDirectories", {(dir_ / "inc").string()}}}; }

  fs::path dir_;
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

TEST_F(LspServer, Definition) {
  struct Row {
    int line, character;
    const char* file;  // "" for no result
    Json range;
  } rows[] = {
      {6, 7, "main.bos", Range(1, 12, 18)},    // piece
      {6, 35, "inc/defs.h", Range(0, 8, 13)},  // #define in the header
      {6, 40, "inc/defs.h", Range(0, 8, 13)},  // caret right after the name
      {8, 2, "main.bos", Range(5, 6, 11)},     // local
      {9, 11, "main.bos", Range(3, 5, 10)},    // parameter
      {9, 2, "main.bos", Range(2, 11, 17)},    // static
      {10, 14, "main.bos", Range(3, 0, 4)},    // script
      {0, 11, "inc/defs.h", Range(0, 0, 0)},   // the #include's file
      {6, 2, "", nullptr},                     // a keyword
  };
  Session session;
  session.Initialize(Options()).Notify("textDocument/didOpen", Open("main.bos", kMain));
  for (int i = 0; i < static_cast<int>(std::size(rows)); ++i)
    session.Request(10 + i, "textDocument/definition", At("main.bos", rows[i].line, rows[i].character));
  session.Run();
  for (int i = 0; i < static_cast<int>(std::size(rows)); ++i) {
    const Json result = session.Reply(10 + i)["result"];
    if (std::string(rows[i].file).empty()) {
      EXPECT_TRUE(result.is_null()) << i << ": " << result;
      continue;
    }
    EXPECT_EQ(result["uri"], Uri(rows[i].file)) << i;
    EXPECT_EQ(result["range"], rows[i].range) << i;
  }
}

TEST_F(LspServer, Hover) {
  struct Row {
    Json options;
    int line, character;
    const char* shows;  // "" for no hover
  } rows[] = {
      {Options(), 6, 25, "`<90>` = **16383**"},
      {Options(), 7, 23, "`[1]` = **163840**"},
      {{{"angularScale", 182}, {"linearScale", 65536}}, 6, 25, "`<90>` = **16380**"},
      {{{"linearScale", 65536}}, 7, 23, "`[1]` = **65536**"},
      {Options(), 8, 10, "**get** value number 4: read without arguments"},
      {Options(), 8, 15, "#define HEALTH 4"},
      {Options(), 6, 36, "#define SPEED <45>"},
      {Options(), 1, 13, "piece number 1"},
      {Options(), 9, 3, "static variable number 0"},
      {Options(), 9, 12, "parameter of Fire"},
      {Options(), 4, 0, ""},
  };
  for (const Row& row : rows) {
    Session session;
    session.Initialize(row.options)
        .Notify("textDocument/didOpen", Open("main.bos", kMain))
        .Request(2, "textDocument/hover", At("main.bos", row.line, row.character))
        .Run();
    const Json result = session.Reply(2)["result"];
    if (std::string(row.shows).empty()) {
      EXPECT_TRUE(result.is_null()) << result;
      continue;
    }
    const std::string shown = result.is_null() ? "" : result["contents"]["value"].get<std::string>();
    EXPECT_NE(shown.find(row.shows), std::string::npos) << row.line << ":" << row.character << " shows " << shown;
  }
}

TEST_F(LspServer, HoverShowsTheExpansionOfADefine) {
  Session session;
  session.Initialize(Options())
      .Notify("textDocument/didOpen", Open("inc/defs.h", kDefs))
      .Request(2, "textDocument/hover", At("inc/defs.h", 2, 9))
      .Run();
  EXPECT_EQ(session.Reply(2)["result"]["contents"]["value"], "```bos\n#define TWICE SPEED\n```\n\nexpands to `<45>`");
}

TEST_F(LspServer, CompletionOffersKeywordsNamesAndDefines) {
  Session session;
  session.Initialize(Options())
      .Notify("textDocument/didOpen", Open("main.bos", kMain + "#inc"))
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

TEST_F(LspServer, DocumentSymbolsListPiecesStaticsAndScripts) {
  Session session;
  session.Initialize(Options())
      .Notify("textDocument/didOpen", Open("main.bos", kMain))
      .Request(2, "textDocument/documentSymbol", {{"textDocument", {{"uri", Uri("main.bos")}}}})
      .Run();
  std::vector<std::string> outline;
  const Json symbols = session.Reply(2)["result"];
  for (const Json& symbol : symbols) {
    outline.push_back(symbol["name"].get<std::string>() + "/" + std::to_string(symbol["kind"].get<int>()));
    for (const Json& child : symbol.value("children", Json::array()))
      outline.push_back("  " + child["name"].get<std::string>());
  }
  EXPECT_EQ(outline, (std::vector<std::string>{"base/8", "turret/8", "moving/13", "Fire/12", "  count", "  shots"}));
  EXPECT_EQ(symbols[3]["range"]["end"], (Json{{"line", 11}, {"character", 1}}));
}

TEST_F(LspServer, PositionsInUtf16AndUtf8) {
  const std::string text = "/* \xC3\xA9\xF0\x9F\x98\x80 */ piece base;\nCreate()\n{\n  hide base;\n}\n";
  for (const auto& [encodings, character] : {std::pair{Json::array(), 16}, std::pair{Json{"utf-8"}, 19}}) {
    Session session;
    session.Initialize(Options(), encodings)
        .Notify("textDocument/didOpen", Open("main.bos", text))
        .Request(2, "textDocument/definition", At("main.bos", 3, 7))
        .Run();
    EXPECT_EQ(session.Reply(2)["result"]["range"], Range(0, character, character + 4)) << encodings;
  }
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
      .Notify("textDocument/didOpen", Open("main.bos", kMain))
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
