// fuzz_lsp_reader: Any bytes through the language server's message reader, as
// marlo-lsp reads standard input: fed whole and in pieces whose sizes come
// from the input, both must give the same frames. Each body is parsed and
// sorted as a JSON-RPC message, and a body that is no JSON is handed back
// (Resync) as the server does. The reader never holds more than it was
// given, and no frame is larger than its limit.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/entry.h"
#include "lsp/json_rpc.h"
#include "lsp/message_reader.h"

namespace {

using marlo::fuzz::Bytes;
using marlo::fuzz::PropertyViolation;
using marlo::lsp::Frame;
using marlo::lsp::MessageReader;

// A small limit, so that refused bodies are reached.
constexpr std::size_t kMaxBody = 512;

std::vector<std::string> Read(std::string_view input, std::uint8_t piece) {
  MessageReader reader(kMaxBody);
  std::vector<std::string> frames;
  std::size_t fed = 0;
  for (std::size_t at = 0; at < input.size();) {
    const std::size_t size = piece == 0 ? input.size() : 1 + (at * 7 + piece) % (2u * piece);
    const std::string_view part = input.substr(at, size);
    reader.Feed(part);
    fed += part.size();
    at += part.size();
    while (auto frame = reader.Next()) {
      if (frame->kind != Frame::Kind::kMessage) {
        frames.push_back("!" + frame->problem);
        continue;
      }
      if (frame->body.size() > kMaxBody) throw PropertyViolation("a body above the limit was read");
      const marlo::lsp::Json message = marlo::lsp::Json::parse(frame->body, nullptr, false);
      if (message.is_discarded()) reader.Resync();
      const marlo::lsp::Incoming sorted = marlo::lsp::Classify(message);
      frames.push_back(frame->body + "|" + std::to_string(static_cast<int>(sorted.kind)) + sorted.method);
    }
    if (reader.Buffered() > fed) throw PropertyViolation("the reader holds more bytes than it was given");
  }
  return frames;
}

std::string RunLspReader(Bytes data) {
  if (data.empty()) return {};
  const std::string_view input(reinterpret_cast<const char*>(data.data()) + 1, data.size() - 1);
  const std::vector<std::string> whole = Read(input, 0);
  if (Read(input, data[0]) != whole) throw PropertyViolation("pieces gave other frames than the whole input");
  return std::to_string(whole.size()) + " frames";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return marlo::fuzz::Guarded(RunLspReader, data, size);
}
