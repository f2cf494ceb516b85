// The framing, fed whole and one byte at a time: both must give the same
// frames.
#include "lsp/message_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace marlo::lsp {
namespace {

std::string Framed(const std::string& body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Frames as text: a body as it is, a problem as "!problem".
std::vector<std::string> Read(const std::string& input, std::size_t chunk, std::size_t maxBody) {
  MessageReader reader(maxBody);
  std::vector<std::string> frames;
  for (std::size_t at = 0; at < input.size(); at += chunk) {
    reader.Feed(std::string_view(input).substr(at, chunk));
    while (auto frame = reader.Next()) {
      frames.push_back(frame->kind == Frame::Kind::kMessage ? frame->body : "!" + frame->problem);
      if (frame->kind == Frame::Kind::kMessage && frame->body.starts_with("bad")) reader.Resync();
    }
  }
  return frames;
}

struct Row {
  const char* name;
  std::string input;
  std::vector<std::string> frames;
  std::size_t maxBody = kMaxMessageBytes;
};

TEST(MessageReader, Frames) {
  const std::string longHeader(kMaxHeaderBytes + 100, 'x');
  const std::vector<Row> rows = {
      {"one", Framed("{}"), {"{}"}},
      {"two", Framed("[1]") + Framed("{\"a\":2}"), {"[1]", "{\"a\":2}"}},
      {"empty body", Framed(""), {""}},
      {"any case, other headers, LF only",
       "content-type: application/vscode-jsonrpc; charset=utf-8\ncontent-LENGTH:  2 \n\n{}",
       {"{}"}},
      {"blank lines between", "\r\n\r\n" + Framed("{}") + "\r\n" + Framed("[]"), {"{}", "[]"}},
      {"not a number",
       "Content-Length: 1x\r\n\r\n" + Framed("{}"),
       {"!Content-Length '1x' is not a number of bytes", "{}"}},
      {"negative", "Content-Length: -2\r\n\r\n", {"!Content-Length '-2' is not a number of bytes"}},
      {"missing", "Content-Type: x\r\n\r\n" + Framed("{}"), {"!header without Content-Length", "{}"}},
      {"line without colon", "hello\r\n\r\n" + Framed("{}"), {"!header line without ':'", "{}"}},
      {"two lengths", "Content-Length: 2\r\nContent-Length: 3\r\n\r\n{}", {"!two different Content-Length headers"}},
      {"garbage before a header", "xyz}}" + Framed("{}"), {"!header without Content-Length", "{}"}},
      {"too short, the rest is garbage",
       "Content-Length: 3\r\n\r\nbad}}" + Framed("{}"),
       {"bad", "!header without Content-Length", "{}"}},
      {"too long swallows the next header",
       "Content-Length: 25\r\n\r\nbad" + Framed("{\"a\":1}"),
       {"badContent-Length: 7\r\n\r\n{", "{\"a\":1}"}},
      {"too large, skipped",
       "Content-Length: 10\r\n\r\n0123456789" + Framed("{}"),
       {"!message of 10 bytes; at most 4 are read", "{}"},
       4},
      {"header without end", longHeader, {"!header longer than 65536 bytes"}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Read(row.input, row.input.size(), row.maxBody), row.frames) << row.name << ", whole";
    EXPECT_EQ(Read(row.input, 1, row.maxBody), row.frames) << row.name << ", byte by byte";
  }
}

}  // namespace
}  // namespace marlo::lsp
