// Listing and disassembly of COB bytes that may be damaged.
//
// Everything here goes through CobView, whose every access is bounds-checked
// in 64-bit arithmetic, so neither an offset nor a count from the file is
// ever trusted: loops run over entries that actually lie in the bytes, and
// nothing is allocated from a count read out of the file.
#include "compiler/listing.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <optional>

#include "compiler/cob_file.h"
#include "compiler/instructions.h"

namespace marlo::core {
namespace {

constexpr std::uint64_t kWordSize = 4;
constexpr std::size_t kSeparatorWidth = 80;
// The disassembly's word column holds an opcode and up to two operands.
constexpr std::size_t kWordColumnWidth = 3 * 8 + 2;

class CobView {
 public:
  explicit CobView(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::uint64_t Size() const { return bytes_.size(); }

  std::optional<std::uint32_t> WordAt(std::uint64_t offset) const {
    if (offset > bytes_.size() || bytes_.size() - offset < kWordSize) return std::nullopt;
    return LoadCobWord(bytes_, offset);
  }

  std::optional<std::uint32_t> TableEntry(std::uint32_t tableOffset, std::uint64_t index) const {
    return WordAt(tableOffset + kWordSize * index);
  }

  // Up to the first zero byte or the end of the bytes; empty outside them.
  std::string NameAt(std::uint64_t offset) const {
    if (offset >= bytes_.size()) return {};
    auto begin = bytes_.begin() + static_cast<std::ptrdiff_t>(offset);
    return std::string(begin, std::find(begin, bytes_.end(), std::uint8_t{0}));
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

std::optional<CobHeader> ReadHeader(const CobView& cob) {
  if (cob.Size() < kCobHeaderSize) return std::nullopt;
  std::array<std::uint32_t, kCobHeaderWords> words{};
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = *cob.WordAt(i * kWordSize);
  return HeaderFromWords(words);
}

// One script's code as far as it lies in the bytes.
struct ScriptCode {
  std::uint64_t index = 0;
  std::string name;
  std::uint64_t firstWord = 0;  // word index of the first word shown
  std::uint64_t offset = 0;     // its byte offset
  std::uint64_t words = 0;      // how many whole words follow there
};

// Calls `visit(const ScriptCode&)` for each script in table order, within
// the limits described in listing.h.
template <typename Visit>
void ForEachScript(const CobView& cob, const CobHeader& h, Visit visit) {
  std::uint64_t budget = cob.Size() / kWordSize;
  for (std::uint64_t i = 0; i < h.ScriptCount && budget > 0; ++i) {
    const auto start = cob.TableEntry(h.ScriptIndexTableOffset, i);
    const auto nameOffset = cob.TableEntry(h.ScriptNameTableOffset, i);
    if (!start || !nameOffset) return;

    // The code runs to the next script's start; the last script's (or one
    // whose successor's entry is missing) to the end of the code region.
    std::uint64_t endWord = h.CodeWords;
    if (i + 1 < h.ScriptCount) {
      if (auto next = cob.TableEntry(h.ScriptIndexTableOffset, i + 1)) endWord = *next;
    }

    ScriptCode code;
    code.index = i;
    code.name = cob.NameAt(*nameOffset);
    code.firstWord = *start;
    code.offset = h.CodeOffset + kWordSize * code.firstWord;
    const std::uint64_t inBytes = code.offset < cob.Size() ? (cob.Size() - code.offset) / kWordSize : 0;
    const std::uint64_t inScript = endWord > code.firstWord ? endWord - code.firstWord : 0;
    code.words = std::min({inBytes, inScript, budget});
    budget -= code.words;
    visit(code);
  }
}

std::string Hex(std::uint64_t value, int minDigits) {
  char text[24];
  std::snprintf(text, sizeof text, "%0*llX", minDigits, static_cast<unsigned long long>(value));
  return text;
}

void AddScriptHeading(std::vector<std::string>& lines, const std::string& name) {
  lines.emplace_back(kSeparatorWidth, '/');
  lines.push_back("//" + name);
}

std::vector<std::uint8_t> ReadWholeStream(std::istream& strm) {
  strm.clear();
  strm.seekg(0, std::ios::beg);
  if (!strm) strm.clear();  // not seekable: read from where it stands
  std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(strm), std::istreambuf_iterator<char>()};
  strm.clear();
  return bytes;
}

// Operand text for the disassembly.
class OperandNamer {
 public:
  OperandNamer(const CobView& cob, const CobHeader& h) : cob_(cob), h_(h) {}

  std::string Text(OperandKind kind, std::uint32_t word) const {
    switch (kind) {
      case OperandKind::Piece:
        return NameOrIndex("piece", h_.PieceNameTableOffset, h_.PieceCount, word);
      case OperandKind::Script:
        return NameOrIndex("script", h_.ScriptNameTableOffset, h_.ScriptCount, word);
      case OperandKind::Axis:
        if (word <= 2) return std::string(1, static_cast<char>('x' + word)) + "-axis";
        return "axis " + std::to_string(word);
      case OperandKind::Value:
        return std::to_string(static_cast<std::int32_t>(word));
      case OperandKind::Local:
        return "local " + std::to_string(word);
      case OperandKind::Static:
        return "static " + std::to_string(word);
      case OperandKind::Count:
        return std::to_string(word);
      case OperandKind::Target:
        return Hex(word, 4);
      case OperandKind::None:
        break;
    }
    return "0x" + Hex(word, 8);
  }

 private:
  std::string NameOrIndex(const char* kind, std::uint32_t table, std::uint32_t count, std::uint32_t index) const {
    if (index < count) {
      if (auto offset = cob_.TableEntry(table, index)) {
        std::string name = cob_.NameAt(*offset);
        if (!name.empty()) return name;
      }
    }
    return std::string(kind) + " " + std::to_string(index);
  }

  const CobView& cob_;
  const CobHeader& h_;
};

void DisassembleScript(const CobView& cob, const OperandNamer& namer, const ScriptCode& code,
                       std::vector<std::string>& lines) {
  std::uint64_t k = 0;
  while (k < code.words) {
    const std::uint32_t opcode = *cob.WordAt(code.offset + kWordSize * k);
    const InstructionInfo* info = FindInstruction(opcode);
    std::string words = Hex(opcode, 8);
    std::string text;
    std::uint64_t length = 1;
    if (!info) {
      text = ".word 0x" + Hex(opcode, 8);
    } else {
      text = std::string(info->name);
      const std::uint64_t present = std::min<std::uint64_t>(info->operandCount, code.words - k - 1);
      for (std::uint64_t j = 0; j < present; ++j) {
        const std::uint32_t operand = *cob.WordAt(code.offset + kWordSize * (k + 1 + j));
        words += " " + Hex(operand, 8);
        text += (j == 0 ? " " : ", ") + namer.Text(info->operands[j], operand);
      }
      if (present < static_cast<std::uint64_t>(info->operandCount)) text += " (truncated)";
      length += present;
    }
    words.resize(std::max(words.size(), kWordColumnWidth), ' ');
    lines.push_back(Hex(code.firstWord + k, 4) + "  " + words + "  " + text);
    k += length;
  }
}

}  // namespace

std::vector<std::string> BuildListing(std::span<const std::uint8_t> bytes) {
  std::vector<std::string> lines;
  const CobView cob(bytes);
  const auto header = ReadHeader(cob);
  if (!header) return lines;
  ForEachScript(cob, *header, [&](const ScriptCode& code) {
    AddScriptHeading(lines, code.name);
    for (std::uint64_t k = 0; k < code.words; ++k)
      lines.push_back(Hex(code.firstWord + k, 4) + ":" + Hex(*cob.WordAt(code.offset + kWordSize * k), 8));
  });
  return lines;
}

std::vector<std::string> BuildListing(std::istream& strm) {
  const auto bytes = ReadWholeStream(strm);
  return BuildListing(std::span<const std::uint8_t>(bytes));
}

std::vector<std::string> BuildDisassembly(std::span<const std::uint8_t> bytes) {
  std::vector<std::string> lines;
  const CobView cob(bytes);
  const auto header = ReadHeader(cob);
  if (!header) return lines;
  const OperandNamer namer(cob, *header);
  ForEachScript(cob, *header, [&](const ScriptCode& code) {
    AddScriptHeading(lines, code.name);
    DisassembleScript(cob, namer, code, lines);
  });
  return lines;
}

std::vector<std::string> BuildDisassembly(std::istream& strm) {
  const auto bytes = ReadWholeStream(strm);
  return BuildDisassembly(std::span<const std::uint8_t>(bytes));
}

}  // namespace marlo::core
