#include "lsp/message_reader.h"

#include <algorithm>
#include <charconv>

namespace marlo::lsp {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

// Where "content-length" starts in `text` at or after `from`, any case.
std::size_t FindContentLength(std::string_view text, std::size_t from) {
  constexpr std::string_view kName = "content-length";
  for (std::size_t at = from; at + kName.size() <= text.size(); ++at)
    if (EqualsIgnoringCase(text.substr(at, kName.size()), kName)) return at;
  return std::string_view::npos;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

Frame Problem(Frame::Kind kind, std::string text) { return Frame{kind, {}, std::move(text)}; }

// Bytes kept when garbage without line ends is thrown away: the start of a
// "Content-Length" that the next bytes may complete.
constexpr std::size_t kKeptTail = 16;

}  // namespace

void MessageReader::Feed(std::string_view bytes) {
  if (skipRemaining_ > 0 && start_ == buffer_.size()) {
    const std::size_t skipped = std::min(skipRemaining_, bytes.size());
    skipRemaining_ -= skipped;
    bytes.remove_prefix(skipped);
  }
  // Used bytes go before new ones come, except a body Resync may still want.
  const std::size_t keepFrom = lastBodyValid_ ? std::min(start_, lastBodyStart_) : start_;
  if (keepFrom > 0 && (keepFrom == buffer_.size() || keepFrom >= 4096)) {
    buffer_.erase(0, keepFrom);
    start_ -= keepFrom;
    if (lastBodyValid_) lastBodyStart_ -= keepFrom;
  }
  buffer_.append(bytes);
}

void MessageReader::Drop(std::size_t count) {
  start_ += std::min(count, Buffered());
  scannedLine_ = scannedTo_ = 0;
  scannedAny_ = false;
}

std::optional<Frame> MessageReader::Next() {
  lastBodyValid_ = false;
  if (skipRemaining_ > 0) {
    const std::size_t skipped = std::min(skipRemaining_, Buffered());
    Drop(skipped);
    skipRemaining_ -= skipped;
    if (skipRemaining_ > 0) return std::nullopt;
  }
  if (!awaitingBody_) {
    if (std::optional<Frame> problem = ReadHeader()) return problem;
    if (!awaitingBody_) return std::nullopt;
  }
  if (Buffered() < bodyLength_) return std::nullopt;
  Frame frame;
  frame.body.assign(buffer_, start_, bodyLength_);
  lastBodyStart_ = start_;
  lastBodyLength_ = bodyLength_;
  lastBodyValid_ = true;
  Drop(bodyLength_);
  awaitingBody_ = false;
  return frame;
}

void MessageReader::Resync() {
  if (!lastBodyValid_) return;
  const std::string_view body(buffer_.data() + lastBodyStart_, lastBodyLength_);
  const std::size_t at = FindContentLength(body, 1);
  lastBodyValid_ = false;
  if (at == std::string_view::npos) return;
  start_ = lastBodyStart_ + at;
  awaitingBody_ = false;
  skipRemaining_ = 0;
  scannedLine_ = scannedTo_ = 0;
  scannedAny_ = false;
}

// Reads a header section; sets awaitingBody_ when it names a usable length.
// Returns a frame only for a problem.
std::optional<Frame> MessageReader::ReadHeader() {
  std::string_view held;
  std::size_t sectionEnd = std::string_view::npos;
  while (sectionEnd == std::string_view::npos) {
    held = std::string_view(buffer_.data() + start_, Buffered());
    // Lines already read while the section was incomplete are not read again.
    bool any = scannedAny_;
    bool blankDropped = false;
    for (std::size_t lineStart = scannedLine_; sectionEnd == std::string_view::npos && !blankDropped;) {
      const std::size_t lineEnd = held.find('\n', std::max(lineStart, scannedTo_));
      if (lineEnd == std::string_view::npos || lineEnd > kMaxHeaderBytes) {
        if (held.size() <= kMaxHeaderBytes) {  // more may come
          scannedLine_ = lineStart;
          scannedTo_ = held.size();
          scannedAny_ = any;
          return std::nullopt;
        }
        Drop(held.size() - kKeptTail);
        return Problem(Frame::Kind::kBadHeader, "header longer than " + std::to_string(kMaxHeaderBytes) + " bytes");
      }
      std::string_view line = held.substr(lineStart, lineEnd - lineStart);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.empty() && !any) {
        Drop(lineEnd + 1);  // blank lines between messages
        blankDropped = true;
      } else if (line.empty()) {
        sectionEnd = lineEnd + 1;
      }
      any = true;
      lineStart = lineEnd + 1;
    }
  }

  const std::string_view section = held.substr(0, sectionEnd);
  std::string problem;
  std::optional<std::uint64_t> length;
  for (std::size_t from = 0; from < section.size() && problem.empty();) {
    const std::size_t end = section.find('\n', from);
    std::string_view line = section.substr(from, end - from);
    from = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      problem = "header line without ':'";
      break;
    }
    if (!EqualsIgnoringCase(Trim(line.substr(0, colon)), "content-length")) continue;  // Content-Type, ...
    const std::string_view value = Trim(line.substr(colon + 1));
    std::uint64_t parsed = 0;
    const auto [last, error] = std::from_chars(value.data(), value.data() + value.size(), parsed);
    if (value.empty() || error != std::errc() || last != value.data() + value.size() || value[0] == '-' ||
        value[0] == '+')
      problem = "Content-Length '" + std::string(value.substr(0, 32)) + "' is not a number of bytes";
    else if (length && *length != parsed)
      problem = "two different Content-Length headers";
    length = parsed;
  }
  if (problem.empty() && !length) problem = "header without Content-Length";
  if (!problem.empty()) {
    // Garbage joined to the front of a real header: report it, keep the header.
    const std::size_t real = FindContentLength(section, 1);
    Drop(real == std::string_view::npos ? sectionEnd : real);
    return Problem(Frame::Kind::kBadHeader, problem);
  }
  Drop(sectionEnd);
  if (*length > maxBody_) {
    skipRemaining_ = *length;
    const std::size_t skipped = std::min<std::size_t>(skipRemaining_, Buffered());
    Drop(skipped);
    skipRemaining_ -= skipped;
    return Problem(Frame::Kind::kTooLarge, "message of " + std::to_string(*length) + " bytes; at most " +
                                               std::to_string(maxBody_) + " are read");
  }
  bodyLength_ = static_cast<std::size_t>(*length);
  awaitingBody_ = true;
  return std::nullopt;
}

}  // namespace marlo::lsp
