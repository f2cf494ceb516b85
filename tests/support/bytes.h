// A file's bytes damaged as a table row says: "KEEP OFFSET=WORD ..." keeps
// the first KEEP bytes, then writes each WORD (32 bits, little-endian,
// decimal or 0x hexadecimal) at byte OFFSET.
#pragma once

#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace marlo::test {

inline std::vector<std::uint8_t> Damaged(std::vector<std::uint8_t> bytes, const std::string& how) {
  std::istringstream in(how);
  std::size_t keep = 0;
  if (!(in >> keep) || keep > bytes.size()) throw std::runtime_error("no byte count to keep: '" + how + "'");
  bytes.resize(keep);
  for (std::string patch; in >> patch;) {
    const std::size_t offset = std::stoul(patch.substr(0, patch.find('=')));
    const auto word = static_cast<std::uint32_t>(std::stoull(patch.substr(patch.find('=') + 1), nullptr, 0));
    for (std::size_t i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<std::uint8_t>(word >> (8 * i));
  }
  return bytes;
}

}  // namespace marlo::test
