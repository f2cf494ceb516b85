// The COB file: layout, writer and reader.
//
//   header (11 words) | code | script code-index table | script name-offset
//   table | piece name-offset table | name pool (zero-terminated names)
//
// All words are 32 bits, least significant byte first; every offset is a byte
// offset from the start of the file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace marlo::core {

inline constexpr std::uint32_t kCobVersion = 4;
inline constexpr std::uint32_t kCobHeaderSize = 44;

struct CobHeader {
  std::uint32_t Version = kCobVersion;
  std::uint32_t ScriptCount = 0;
  std::uint32_t PieceCount = 0;
  std::uint32_t CodeWords = 0;
  std::uint32_t StaticVarCount = 0;
  std::uint32_t Reserved = 0;
  std::uint32_t ScriptIndexTableOffset = 0;
  std::uint32_t ScriptNameTableOffset = 0;
  std::uint32_t PieceNameTableOffset = 0;
  std::uint32_t CodeOffset = kCobHeaderSize;
  std::uint32_t NamePoolOffset = 0;
};

// The little-endian word at `offset`; the caller has checked that four bytes
// are there.
std::uint32_t LoadCobWord(std::span<const std::uint8_t> bytes, std::uint64_t offset);

// The eleven header words in file order, and back.
inline constexpr std::size_t kCobHeaderWords = 11;
std::array<std::uint32_t, kCobHeaderWords> HeaderWords(const CobHeader& header);
CobHeader HeaderFromWords(const std::array<std::uint32_t, kCobHeaderWords>& words);

// What the compiler hands to the writer.
struct CobImage {
  std::vector<std::uint32_t> code;
  std::vector<std::uint32_t> scriptStarts;  // word index of each script's first instruction
  std::vector<std::string> scriptNames;     // as compiled (lower case)
  // When not empty, the script names as the file stores them (the extended
  // language keeps the source's spelling); else scriptNames with the
  // standard names respelled.
  std::vector<std::string> scriptSpellings;
  std::vector<std::string> pieceNames;
  std::uint32_t staticVarCount = 0;
};

// The 49 entry-point names the game calls, in their stored spelling.
const std::vector<std::string>& StandardScriptNames();

// The standard spelling of `name` when it is a standard name (ignoring case),
// otherwise `name` unchanged.
std::string StoredScriptName(std::string_view name);

// The complete file bytes for `image`.
std::vector<std::uint8_t> BuildCob(const CobImage& image);

// The path the `.cob` is written to: the file-name part of `outputFilename`
// (after the last '/'; on Windows also '\' or ':') with its extension
// replaced by ".cob", placed in `outputPath` (the current directory when
// empty).
std::string CobOutputPath(const std::string& outputPath, const std::string& outputFilename);

class CobFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A COB file read back. Reading never trusts the file: offsets and counts
// that point outside it raise CobFormatError.
struct CobFile {
  CobHeader header;
  std::vector<std::uint32_t> code;
  std::vector<std::uint32_t> scriptStarts;
  std::vector<std::string> scriptNames;
  std::vector<std::string> pieceNames;
};

CobFile ReadCob(std::span<const std::uint8_t> bytes);

}  // namespace marlo::core
