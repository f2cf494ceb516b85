#include "compiler/listing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "compiler/cob_file.h"
#include "tests/support/bytes.h"
#include "tests/support/files.h"

namespace marlo::core {
namespace {

using Lines = std::vector<std::string>;

const std::string kSeparator(80, '/');

void AppendWord(std::vector<std::uint8_t>& bytes, std::uint32_t word) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
}

void PatchWord(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t word) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(word >> (8 * i));
}

Lines ListingOf(const std::vector<std::uint8_t>& bytes) {
  std::istringstream strm(std::string(bytes.begin(), bytes.end()));
  return BuildListing(strm);
}

CobImage OneScript(const std::string& name, std::vector<std::uint32_t> code) {
  CobImage image;
  image.code = std::move(code);
  image.scriptStarts = {0};
  image.scriptNames = {name};
  return image;
}

// One script "run" (PUSH_CONSTANT 0, RETURN) and one piece "p", by hand:
//   0  header: 4, 1 script, 1 piece, 3 words, 0 statics, 0,
//             index table 56, name table 60, piece table 64, code 44, pool 68
//   44 10021001 00000000 10065000
//   56 0 (start)   60 68 (name)   64 72 (piece name)
//   68 "run\0"     72 "p\0"                                  74 bytes
std::vector<std::uint8_t> RunFile() {
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t word : {4u, 1u, 1u, 3u, 0u, 0u, 56u, 60u, 64u, 44u, 68u}) AppendWord(bytes, word);
  for (std::uint32_t word : {0x10021001u, 0u, 0x10065000u, 0u, 68u, 72u}) AppendWord(bytes, word);
  for (char c : std::string("run\0p\0", 6)) bytes.push_back(static_cast<std::uint8_t>(c));
  return bytes;
}

TEST(BuildListing, NoScriptsGiveNoLines) {
  CobImage image;
  image.pieceNames = {"base", "turret"};
  EXPECT_EQ(ListingOf(BuildCob(image)), Lines{});
}

TEST(BuildListing, EachScriptEndsWhereTheNextBeginsAndTheLastAtTheCodeEnd) {
  CobImage image;
  image.code = {0x10006000, 1, 0x10021001, 0, 0x10065000, 0x10021001, 0, 0x10065000};
  image.scriptStarts = {0, 5};
  image.scriptNames = {"aimprimary", "myscript"};
  image.pieceNames = {"base", "turret"};
  const Lines expected{
      kSeparator,      "//AimPrimary", "0000:10006000", "0001:00000001", "0002:10021001", "0003:00000000",
      "0004:10065000", kSeparator,     "//myscript",    "0005:10021001", "0006:00000000", "0007:10065000",
  };
  EXPECT_EQ(ListingOf(BuildCob(image)), expected);
}

TEST(BuildListing, ShowsNamesAsStored) {
  // The file holds lower-case "aimprimary": the listing does not respell it.
  auto bytes = RunFile();
  const std::string name = "aimprimary";
  PatchWord(bytes, 60, static_cast<std::uint32_t>(bytes.size()));
  bytes.insert(bytes.end(), name.begin(), name.end());
  bytes.push_back(0);
  EXPECT_EQ(ListingOf(bytes).at(1), "//aimprimary");
}

TEST(BuildListing, WidensAddressesBeyondFourDigits) {
  std::vector<std::uint32_t> code(0x10001, 0x10022000);
  code.back() = 0x10065000;
  const Lines lines = ListingOf(BuildCob(OneScript("big", code)));
  ASSERT_EQ(lines.size(), 2u + 0x10001);
  EXPECT_EQ(lines[2 + 0xFFFF], "FFFF:10022000");
  EXPECT_EQ(lines.back(), "10000:10065000");
}

TEST(BuildListing, ReadsTheStreamFromTheStart) {
  const auto bytes = RunFile();
  std::istringstream strm(std::string(bytes.begin(), bytes.end()));
  strm.seekg(30);
  EXPECT_EQ(BuildListing(strm).size(), 5u);
}

TEST(BuildListing, DamagedFilesGiveShorterListings) {
  int rows = 0;
  for (const auto& [number, line] : marlo::test::TableLines(MARLO_TEST_DATA_DIR "/listing/damaged.txt")) {
    const std::size_t arrow = line.find(" =>");
    ASSERT_NE(arrow, std::string::npos) << "damaged.txt:" << number;
    Lines expected;
    std::istringstream lines(line.substr(arrow + 3));
    for (std::string item; std::getline(lines >> std::ws, item, '|');) {
      item.erase(item.find_last_not_of(' ') + 1);
      expected.push_back(item == "---" ? kSeparator : item);
    }
    EXPECT_EQ(ListingOf(marlo::test::Damaged(RunFile(), line.substr(0, arrow))), expected) << "damaged.txt:" << number;
    ++rows;
  }
  EXPECT_EQ(rows, 15);
}

TEST(BuildListing, HugeScriptCountInSixtyBytesFinishesAtOnce) {
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t word : {4u, 0xFFFFFFFFu, 0u, 1u, 0u, 0u, 48u, 52u, 56u, 44u, 56u}) AppendWord(bytes, word);
  for (std::uint32_t word : {0x10065000u, 0u, 56u, 0x00636261u}) AppendWord(bytes, word);  // code, start, name, "abc"
  ASSERT_EQ(bytes.size(), 60u);
  const Lines expected{kSeparator,      "//abc",         "0000:10065000", "0001:00000000",
                       "0002:00000038", "0003:00636261", kSeparator,      "//"};
  EXPECT_EQ(ListingOf(bytes), expected);
}

TEST(BuildListing, OverlappingScriptsCannotMultiplyTheCode) {
  // 200 scripts whose starts alternate 0 and 100 over 100 code words: read
  // literally every other script would list all the code again.
  constexpr std::uint32_t kWords = 100, kScripts = 200;
  const std::uint32_t indexTable = 44 + 4 * kWords, nameTable = indexTable + 4 * kScripts;
  const std::uint32_t pool = nameTable + 4 * kScripts;
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t word : {4u, kScripts, 0u, kWords, 0u, 0u, indexTable, nameTable, pool, 44u, pool})
    AppendWord(bytes, word);
  for (std::uint32_t i = 0; i < kWords; ++i) AppendWord(bytes, 0x10022000);
  for (std::uint32_t i = 0; i < kScripts; ++i) AppendWord(bytes, i % 2 ? kWords : 0);
  for (std::uint32_t i = 0; i < kScripts; ++i) AppendWord(bytes, pool);
  bytes.push_back('s');
  bytes.push_back(0);

  const Lines lines = ListingOf(bytes);
  std::size_t codeLines = 0;
  for (const auto& line : lines) codeLines += line[0] != '/';
  EXPECT_LE(codeLines, bytes.size() / 4);
  ASSERT_GE(lines.size(), 2u + kWords);
  EXPECT_EQ(lines[2 + kWords - 1], "0063:10022000");  // the first script is whole
}

// Random damage to real files: every run must end, and every line must keep its shape.
TEST(BuildListing, SurvivesRandomDamage) {
  CobImage image;
  image.code = {0x10001000, 0, 1, 0x10062000, 1, 2, 0x10021001, 0, 0x10065000, 0x10064000, 0, 0x10065000};
  image.scriptStarts = {0, 9};
  image.scriptNames = {"create", "loop"};
  image.pieceNames = {"base"};
  const auto original = BuildCob(image);
  const std::regex codeLine("[0-9A-F]{4,}:[0-9A-F]{8}");
  const std::uint32_t interesting[] = {0, 1, 3, 44, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFC, 0xFFFFFFFF};

  std::mt19937 random(20240601);
  for (int round = 0; round < 3000; ++round) {
    auto bytes = original;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < changes; ++i) {
      switch (random() % 3) {
        case 0:
          bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
          break;
        case 1:
          PatchWord(bytes, 4 * (random() % 11), interesting[random() % std::size(interesting)]);
          break;
        default:
          bytes.resize(random() % (bytes.size() + 1));
          if (bytes.empty()) bytes.push_back(0);
      }
    }
    const Lines listing = ListingOf(bytes);
    std::size_t codeLines = 0;
    for (const auto& line : listing) {
      if (line[0] == '/') continue;
      ++codeLines;
      ASSERT_TRUE(std::regex_match(line, codeLine)) << "round " << round << ": " << line;
    }
    EXPECT_LE(codeLines, bytes.size() / 4) << "round " << round;
    EXPECT_LE(BuildDisassembly(bytes).size(), listing.size()) << "round " << round;
  }
}

TEST(BuildDisassembly, DecodesOperandsByKind) {
  CobImage image;
  Lines expected;
  for (const auto& [number, line] : marlo::test::TableLines(MARLO_TEST_DATA_DIR "/listing/disassembly.txt")) {
    std::istringstream fields(line.starts_with("pieces:") ? line.substr(7) : line.substr(6, 26));
    if (line.starts_with("pieces:")) {
      for (std::string piece; fields >> piece;) image.pieceNames.push_back(piece);
      continue;
    }
    expected.push_back(line);
    if (line.starts_with("//") && line != kSeparator) {
      image.scriptNames.push_back(line.substr(2));
      image.scriptStarts.push_back(static_cast<std::uint32_t>(image.code.size()));
    } else if (line != kSeparator) {
      for (std::uint32_t word = 0; fields >> std::hex >> word;) image.code.push_back(word);
    }
  }
  const auto bytes = BuildCob(image);
  std::istringstream strm(std::string(bytes.begin(), bytes.end()));
  EXPECT_EQ(BuildDisassembly(strm), expected);
}

TEST(BuildDisassembly, MarksOperandsCutOffByTheEndOfTheBytes) {
  auto bytes = RunFile();
  PatchWord(bytes, 12, 0xFFFFFFFF);  // code runs to the end of the bytes
  PatchWord(bytes, 64, 0x10001000);  // the last whole word becomes MOVE
  const Lines lines = BuildDisassembly(bytes);
  ASSERT_FALSE(lines.empty());
  // "run\0" is read as the piece operand 0x006E7572, for which there is no name.
  EXPECT_EQ(lines.back(), "0005  10001000 006E7572           MOVE piece 7239026 (truncated)");
}

TEST(BuildDisassembly, ShortInputGivesNoLines) {
  EXPECT_EQ(BuildDisassembly(std::vector<std::uint8_t>(43, 0xFF)), Lines{});
}

}  // namespace
}  // namespace marlo::core
