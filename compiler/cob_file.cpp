// Writing and reading the COB file.
//
// The writer lays the regions out back to back, so every offset follows from
// the counts: the code right after the header, then the script code-index
// table, the script name-offset table, the piece name-offset table and the
// name pool. The reader takes nothing on trust: every table and name is
// checked against the file's size before it is read or allocated.
#include "compiler/cob_file.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "base/ascii.h"

namespace marlo::core {
namespace {

constexpr std::uint32_t kWordSize = 4;

// Appends `words` little-endian. The code is most of the file: on a
// little-endian machine it is copied as it is, not a byte at a time.
void AppendWords(std::vector<std::uint8_t>& out, std::span<const std::uint32_t> words) {
  if constexpr (std::endian::native == std::endian::little) {
    const std::size_t at = out.size();
    out.resize(at + words.size_bytes());
    if (!words.empty()) std::memcpy(out.data() + at, words.data(), words.size_bytes());
  } else {
    for (std::uint32_t word : words)
      for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(word >> shift));
  }
}

// Only "/" separates folders here; on Windows "\\" and a drive's ":" do too.
#ifdef _WIN32
bool IsPathDelimiter(char c) { return c == '/' || c == '\\' || c == ':'; }
bool IsFolderEnd(char c) { return c == '/' || c == '\\'; }
#else
bool IsPathDelimiter(char c) { return c == '/'; }
bool IsFolderEnd(char c) { return c == '/'; }
#endif

[[noreturn]] void Fail(const std::string& text) { throw CobFormatError(text); }

std::string Num(std::uint64_t value) { return std::to_string(value); }

// The bounds checks of ReadCob, in 64 bits so that no offset + length wraps.
class CobReader {
 public:
  explicit CobReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool Fits(std::uint64_t offset, std::uint64_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }

  std::uint32_t Word(std::uint64_t offset) const { return LoadCobWord(bytes_, offset); }

  // A table of `count` words: checked as a whole before anything is allocated,
  // so a bogus count cannot ask for more memory than the file's own size.
  std::vector<std::uint32_t> Table(const char* what, std::uint32_t offset, std::uint32_t count) const {
    if (!Fits(offset, std::uint64_t{count} * kWordSize))
      Fail(std::string(what) + " of " + Num(count) + " words at offset " + Num(offset) +
           " runs past the end of the file");
    std::vector<std::uint32_t> words(count);
    for (std::uint32_t i = 0; i < count; ++i) words[i] = Word(std::uint64_t{offset} + std::uint64_t{i} * kWordSize);
    return words;
  }

  // `kind` is "script" or "piece"; names end at the first zero byte.
  std::string Name(const char* kind, std::size_t index, std::uint32_t offset) const {
    if (offset >= bytes_.size())
      Fail(std::string(kind) + " name offset " + Num(offset) + " of " + kind + " " + Num(index) +
           " lies outside the file");
    auto begin = bytes_.begin() + offset;
    auto zero = std::find(begin, bytes_.end(), std::uint8_t{0});
    if (zero == bytes_.end())
      Fail(std::string("name of ") + kind + " " + Num(index) + " at offset " + Num(offset) +
           " has no terminating zero byte");
    return std::string(begin, zero);
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

}  // namespace

const std::vector<std::string>& StandardScriptNames() {
  static const std::vector<std::string> names{
      "Create",           "StartMoving",       "StopMoving",       "MotionControl",   "AimPrimary",   "AimSecondary",
      "AimTertiary",      "AimFromPrimary",    "AimFromSecondary", "AimFromTertiary", "QueryPrimary", "QuerySecondary",
      "QueryTertiary",    "FirePrimary",       "FireSecondary",    "FireTertiary",    "Activate",     "Deactivate",
      "SetMaxReloadTime", "RestoreAfterDelay", "HitByWeapon",      "StartBuilding",   "StopBuilding", "TargetHeading",
      "QueryNanoPiece",   "QueryLandingPad",   "QueryBuildInfo",   "QueryTransport",  "Demo",         "BeginTransport",
      "EndTransport",     "SweetSpot",         "Killed",           "TargetCleared",   "RockUnit",     "Help",
      "HelpScale",        "SmokeUnit",         "InitState",        "RequestState",    "OpenYard",     "CloseYard",
      "StartDoorOpen",    "BoomCalc",          "BoomExtend",       "BoomReset",       "BoomToPad",    "TransportPickup",
      "TransportDrop",
  };
  return names;
}

std::string StoredScriptName(std::string_view name) {
  // Asked for every script written: the standard names are found by their
  // lower-case spelling, the first of equal spellings winning.
  static const std::unordered_map<std::string, const std::string*> byLowerCase = [] {
    std::unordered_map<std::string, const std::string*> map;
    for (const auto& standard : StandardScriptNames()) map.try_emplace(AsciiLowerCopy(standard), &standard);
    return map;
  }();
  const auto found = byLowerCase.find(AsciiLowerCopy(name));
  return found == byLowerCase.end() ? std::string(name) : *found->second;
}

std::vector<std::uint8_t> BuildCob(const CobImage& image) {
  if (image.scriptStarts.size() != image.scriptNames.size())
    throw std::invalid_argument("COB image has " + Num(image.scriptStarts.size()) + " script starts for " +
                                Num(image.scriptNames.size()) + " script names");

  // The pool in table order: script names (standard ones respelled), then piece names as they are.
  std::vector<std::string> poolNames;
  poolNames.reserve(image.scriptNames.size() + image.pieceNames.size());
  if (!image.scriptSpellings.empty()) {
    if (image.scriptSpellings.size() != image.scriptNames.size())
      throw std::invalid_argument("COB image has " + Num(image.scriptSpellings.size()) + " spellings for " +
                                  Num(image.scriptNames.size()) + " script names");
    poolNames = image.scriptSpellings;
  } else {
    for (const auto& name : image.scriptNames) poolNames.push_back(StoredScriptName(name));
  }
  poolNames.insert(poolNames.end(), image.pieceNames.begin(), image.pieceNames.end());

  // Sizes in 64 bits first: every offset must fit in a 32-bit word.
  const std::uint64_t scripts = image.scriptNames.size();
  const std::uint64_t pieces = image.pieceNames.size();
  const std::uint64_t codeWords = image.code.size();
  std::uint64_t poolSize = 0;
  for (const auto& name : poolNames) {
    if (name.find('\0') != std::string::npos) throw std::invalid_argument("COB name contains a zero byte");
    poolSize += name.size() + 1;
  }
  const std::uint64_t indexTable = kCobHeaderSize + kWordSize * codeWords;
  const std::uint64_t nameTable = indexTable + kWordSize * scripts;
  const std::uint64_t pieceTable = nameTable + kWordSize * scripts;
  const std::uint64_t namePool = pieceTable + kWordSize * pieces;
  const std::uint64_t fileSize = namePool + poolSize;
  if (fileSize > std::numeric_limits<std::uint32_t>::max())
    throw std::length_error("COB file would exceed the 32-bit offset range");

  CobHeader header;
  header.ScriptCount = static_cast<std::uint32_t>(scripts);
  header.PieceCount = static_cast<std::uint32_t>(pieces);
  header.CodeWords = static_cast<std::uint32_t>(codeWords);
  header.StaticVarCount = image.staticVarCount;
  header.ScriptIndexTableOffset = static_cast<std::uint32_t>(indexTable);
  header.ScriptNameTableOffset = static_cast<std::uint32_t>(nameTable);
  header.PieceNameTableOffset = static_cast<std::uint32_t>(pieceTable);
  header.CodeOffset = kCobHeaderSize;
  header.NamePoolOffset = static_cast<std::uint32_t>(namePool);

  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(fileSize));
  AppendWords(out, HeaderWords(header));
  AppendWords(out, image.code);
  AppendWords(out, image.scriptStarts);

  // Both name-offset tables together: each entry is the running pool position.
  std::vector<std::uint32_t> nameOffsets;
  nameOffsets.reserve(poolNames.size());
  std::uint32_t nameOffset = header.NamePoolOffset;
  for (const auto& name : poolNames) {
    nameOffsets.push_back(nameOffset);
    nameOffset += static_cast<std::uint32_t>(name.size() + 1);
  }
  AppendWords(out, nameOffsets);
  for (const auto& name : poolNames) {
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
  }
  return out;
}

std::string CobOutputPath(const std::string& outputPath, const std::string& outputFilename) {
  std::string path = outputPath.empty() ? std::string(".") : outputPath;
  if (!IsFolderEnd(path.back())) path += '/';

  const auto delimiter = std::find_if(outputFilename.rbegin(), outputFilename.rend(), IsPathDelimiter);
  const std::string fileName(delimiter.base(), outputFilename.end());
  const auto dot = fileName.rfind('.');
  path += dot == std::string::npos ? fileName : fileName.substr(0, dot);
  return path + ".cob";
}

std::uint32_t LoadCobWord(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
  std::uint32_t word = 0;
  for (int i = 3; i >= 0; --i) word = (word << 8) | bytes[static_cast<std::size_t>(offset) + i];
  return word;
}

std::array<std::uint32_t, kCobHeaderWords> HeaderWords(const CobHeader& h) {
  return {h.Version,
          h.ScriptCount,
          h.PieceCount,
          h.CodeWords,
          h.StaticVarCount,
          h.Reserved,
          h.ScriptIndexTableOffset,
          h.ScriptNameTableOffset,
          h.PieceNameTableOffset,
          h.CodeOffset,
          h.NamePoolOffset};
}

CobHeader HeaderFromWords(const std::array<std::uint32_t, kCobHeaderWords>& w) {
  return CobHeader{w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8], w[9], w[10]};
}

CobFile ReadCob(std::span<const std::uint8_t> bytes) {
  CobReader reader(bytes);
  if (!reader.Fits(0, kCobHeaderSize)) Fail("COB header truncated");

  CobFile file;
  std::array<std::uint32_t, kCobHeaderWords> words{};
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = reader.Word(i * kWordSize);
  file.header = HeaderFromWords(words);
  const CobHeader& h = file.header;

  // Only the layout this writer produces is understood.
  if (h.Version != kCobVersion) Fail("unsupported COB version " + Num(h.Version));
  if (h.NamePoolOffset > bytes.size()) Fail("name pool offset " + Num(h.NamePoolOffset) + " lies outside the file");

  file.code = reader.Table("code region", h.CodeOffset, h.CodeWords);
  file.scriptStarts = reader.Table("script code-index table", h.ScriptIndexTableOffset, h.ScriptCount);
  const auto scriptNameOffsets = reader.Table("script name-offset table", h.ScriptNameTableOffset, h.ScriptCount);
  const auto pieceNameOffsets = reader.Table("piece name-offset table", h.PieceNameTableOffset, h.PieceCount);

  for (std::size_t i = 0; i < file.scriptStarts.size(); ++i)
    if (file.scriptStarts[i] >= h.CodeWords)
      Fail("code index " + Num(file.scriptStarts[i]) + " of script " + Num(i) + " lies outside the code region of " +
           Num(h.CodeWords) + " words");

  file.scriptNames.reserve(scriptNameOffsets.size());
  for (std::size_t i = 0; i < scriptNameOffsets.size(); ++i)
    file.scriptNames.push_back(reader.Name("script", i, scriptNameOffsets[i]));
  file.pieceNames.reserve(pieceNameOffsets.size());
  for (std::size_t i = 0; i < pieceNameOffsets.size(); ++i)
    file.pieceNames.push_back(reader.Name("piece", i, pieceNameOffsets[i]));
  return file;
}

}  // namespace marlo::core
