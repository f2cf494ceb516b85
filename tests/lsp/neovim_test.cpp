// A real client: headless Neovim with its built-in LSP client runs
// marlo-lsp on a script whose included header has an error, and asks for
// the definitions of a piece and of a #define. Skipped without nvim.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "lsp/json_rpc.h"
#include "lsp/uri.h"

namespace marlo::lsp {
namespace {

namespace fs = std::filesystem;

// Neovim 0.8 has vim.lsp.start; Debian 12's 0.7 starts and attaches by hand.
constexpr const char* kScript = R"lua(
local dir, server, out = ...
local seen = {}
vim.lsp.handlers["textDocument/publishDiagnostics"] = function(_, params) seen[params.uri] = params.diagnostics end
vim.cmd("edit " .. vim.fn.fnameescape(dir .. "/main.bos"))
local buf = vim.api.nvim_get_current_buf()
local config = {name = "marlo", cmd = {server}, root_dir = dir, init_options = {includeDirectories = {"inc"}}}
local client
if vim.lsp.start then
  client = vim.lsp.start(config)
else
  client = vim.lsp.start_client(config)
  vim.lsp.buf_attach_client(buf, client)
end
local header = vim.uri_from_fname(dir .. "/inc/parts.h")
vim.wait(20000, function() return seen[header] ~= nil and #seen[header] > 0 end, 20)
local function definition(line, character)
  local params = {textDocument = {uri = vim.uri_from_bufnr(buf)}, position = {line = line, character = character}}
  for _, reply in pairs(vim.lsp.buf_request_sync(buf, "textDocument/definition", params, 10000) or {}) do
    if reply.result then return reply.result end
  end
  return vim.NIL
end
local result = {header = header, diagnostics = seen[header] or vim.NIL, piece = definition(4, 8), define = definition(4, 25)}
local file = io.open(out, "w")
file:write(vim.fn.json_encode(result))
file:close()
vim.lsp.stop_client(client)
vim.cmd("qa!")
)lua";

TEST(Neovim, DiagnosticsInAHeaderAndDefinitions) {
#ifdef _WIN32
  GTEST_SKIP() << "run where a POSIX shell starts nvim";
#endif
  if (std::system("command -v nvim >/dev/null 2>&1") != 0) GTEST_SKIP() << "nvim is not installed";
  const fs::path dir = fs::temp_directory_path() / ("marlo-nvim-" + std::to_string(std::random_device()()));
  fs::create_directories(dir / "inc");
  std::ofstream(dir / "main.bos") << "#include \"parts.h\"\npiece base, turret;\nCreate()\n{\n"
                                     "  turn turret to y-axis ANGLE speed <10>;\n}\n";
  std::ofstream(dir / "inc/parts.h") << "#define ANGLE <90>\n#if BROKEN = 1\n#endif\n";
  std::ofstream(dir / "test.lua") << kScript;
  const fs::path out = dir / "result.json";
  const std::string command = "cd '" + dir.string() + "' && XDG_CACHE_HOME='" + dir.string() + "' XDG_STATE_HOME='" +
                              dir.string() + "' timeout 90 nvim --headless -u NONE -i NONE --noplugin " +
                              "-c \"lua loadfile('test.lua')('" + dir.string() + "', '" + MARLO_LSP_PATH + "', '" +
                              out.string() + "')\" >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  std::ifstream in(out);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  fs::remove_all(dir);
  ASSERT_FALSE(text.empty()) << "nvim wrote no result (status " << status << ")";
  const Json result = Json::parse(text);

  EXPECT_EQ(result["header"], UriFromPath((dir / "inc/parts.h").string()));
  ASSERT_EQ(result["diagnostics"].size(), 1u) << result;
  EXPECT_EQ(result["diagnostics"][0]["message"], "Unknown Identifier BROKEN");
  EXPECT_EQ(result["diagnostics"][0]["range"]["start"]["line"], 1);
  EXPECT_EQ(result["piece"]["uri"], UriFromPath((dir / "main.bos").string())) << result;
  EXPECT_EQ(result["piece"]["range"]["start"], (Json{{"line", 1}, {"character", 12}}));
  EXPECT_EQ(result["define"]["uri"], result["header"]) << result;
  EXPECT_EQ(result["define"]["range"]["start"], (Json{{"line", 0}, {"character", 8}}));
}

}  // namespace
}  // namespace marlo::lsp
