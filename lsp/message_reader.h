// The framing of the language server protocol: a header section (lines
// "Name: value", ended by an empty line) with a Content-Length, then that
// many bytes of body. Pure: bytes go in through Feed, frames come out of
// Next, so the framing is tested and fuzzed without a process or a pipe.
//
// Bad framing never stops the reader. A header section without a usable
// Content-Length is reported and dropped; garbage before a real header
// ("xyz}Content-Length: 5") is reported and the header after it is read; a
// body above the size limit is reported and its bytes skipped as they come.
// A body that turns out not to be JSON can be handed back (Resync), and a
// following message that a too long Content-Length swallowed is found in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marlo::lsp {

// Messages above this are refused: a 50 MB document still fits, with the
// JSON escapes of its line ends.
inline constexpr std::size_t kMaxMessageBytes = std::size_t{128} << 20;
// A header section this long without its empty line is garbage.
inline constexpr std::size_t kMaxHeaderBytes = std::size_t{64} << 10;

struct Frame {
  enum class Kind { kMessage, kBadHeader, kTooLarge };
  Kind kind = Kind::kMessage;
  std::string body;     // kMessage: the body
  std::string problem;  // otherwise: what was wrong, for the error reply
};

class MessageReader {
 public:
  explicit MessageReader(std::size_t maxBody = kMaxMessageBytes) : maxBody_(maxBody) {}

  void Feed(std::string_view bytes);
  // The next complete frame, or nothing until more bytes come.
  std::optional<Frame> Next();
  // The last body was no JSON: if a header starts inside it, read on from
  // there (its bytes come before what is still buffered).
  void Resync();
  // Bytes held that do not yet form a frame.
  std::size_t Buffered() const { return buffer_.size() - start_; }

 private:
  std::optional<Frame> ReadHeader();
  void Drop(std::size_t count);

  std::size_t maxBody_;
  std::string buffer_;
  std::size_t start_ = 0;       // bytes of buffer_ already used
  std::size_t bodyLength_ = 0;  // set while a body is awaited
  bool awaitingBody_ = false;
  std::size_t skipRemaining_ = 0;  // bytes of a refused body still to skip
  // How far an incomplete header section was read, from start_: the line
  // it stopped in and how far that was searched for its end.
  std::size_t scannedLine_ = 0;
  std::size_t scannedTo_ = 0;
  bool scannedAny_ = false;
  // The last body, while Resync may still look into it.
  std::size_t lastBodyStart_ = 0;
  std::size_t lastBodyLength_ = 0;
  bool lastBodyValid_ = false;
};

}  // namespace marlo::lsp
