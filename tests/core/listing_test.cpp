#include "compiler/listing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "compiler/cob_file.h"

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

TEST(BuildListing, ReturnZeroScriptShowsSixWords) {
  const auto bytes = BuildCob(OneScript("create", {0x10021001, 0, 0x10065000, 0x10021001, 0, 0x10065000}));
  const Lines expected{kSeparator,      "//Create",      "0000:10021001", "0001:00000000",
                       "0002:10065000", "0003:10021001", "0004:00000000", "0005:10065000"};
  EXPECT_EQ(ListingOf(bytes), expected);
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

// Each case changes RunFile() and gives the whole listing expected.
TEST(BuildListing, DamagedFilesGiveShorterListings) {
  struct Patch {
    std::size_t offset;
    std::uint32_t word;
  };
  struct Case {
    const char* what;
    std::size_t keep;
    std::vector<Patch> patches;
    Lines expected;
  };
  const std::string code0 = "0000:10021001", code1 = "0001:00000000", code2 = "0002:10065000";
  const Case cases[] = {
      {"intact", 74, {}, {kSeparator, "//run", code0, code1, code2}},
      {"empty", 0, {}, {}},
      {"half a header", 20, {}, {}},
      {"43 bytes", 43, {}, {}},
      {"header only", 44, {}, {}},
      {"name table entry missing", 60, {}, {}},
      {"name beyond the end", 64, {}, {kSeparator, "//", code0, code1, code2}},
      {"name without zero byte", 70, {}, {kSeparator, "//ru", code0, code1, code2}},
      {"name table far away", 74, {{28, 0xFFFFFFF0}}, {}},
      {"index table far away", 74, {{24, 0xFFFFFFFC}}, {}},
      {"code far away", 74, {{36, 0xFFFFFFF0}}, {kSeparator, "//run"}},
      {"start inside", 74, {{56, 2}}, {kSeparator, "//run", code2}},
      {"start far away", 74, {{56, 0xFFFFFFFF}}, {kSeparator, "//run"}},
      // The code runs on to the end of the bytes; the two bytes of "p\0" make no word.
      {"huge CodeWords",
       74,
       {{12, 0xFFFFFFFF}},
       {kSeparator, "//run", code0, code1, code2, "0003:00000000", "0004:00000044", "0005:00000048", "0006:006E7572"}},
      // Script i + 1's start is read from the name table and so on, until an
      // entry leaves the bytes.
      {"huge ScriptCount",
       74,
       {{4, 0xFFFFFFFF}},
       {kSeparator, "//run", code0, code1, code2, "0003:00000000", "0004:00000044", "0005:00000048", "0006:006E7572",
        kSeparator, "//p", kSeparator, "//"}},
  };
  for (const auto& c : cases) {
    auto bytes = RunFile();
    bytes.resize(c.keep);
    for (const auto& patch : c.patches) PatchWord(bytes, patch.offset, patch.word);
    EXPECT_EQ(ListingOf(bytes), c.expected) << c.what;
  }
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

// Pieces base, flare; scripts create (word 0) and fire (word 0x17).
CobImage DisassemblyImage() {
  CobImage image;
  image.code = {
      0x10001000, 0,          1,  // 00 MOVE base, y-axis
      0x10003000, 1,          0,  // 03 SPIN flare, x-axis
      0x10006000, 1,              // 06 HIDE flare
      0x10021001, 0xFFFFFFFD,     // 08 PUSH_CONSTANT -3
      0x10021002, 1,              // 0A PUSH_LOCAL local 1
      0x10062000, 1,          2,  // 0C CALL_SCRIPT fire, 2
      0x10066000, 0x14,           // 0F JUMP_IF_FALSE 0014
      0x12345678,                 // 11 no opcode
      0x10023004, 0,              // 12 POP_STATIC static 0
      0x10065000,                 // 14 RETURN
      0x10001000, 1,              // 15 MOVE flare, cut off by the next script
      0x10011000, 0,          2,  // 17 WAIT_FOR_TURN base, z-axis
      0x10002000, 7,          5,  // 1A TURN with a piece and an axis that do not exist
      0x10061000, 9,          0,  // 1D START_SCRIPT with a script that does not exist
      0x10021001, 0,              // 20 PUSH_CONSTANT 0
      0x10065000,                 // 22 RETURN
  };
  image.scriptStarts = {0, 0x17};
  image.scriptNames = {"create", "fire"};
  image.pieceNames = {"base", "flare"};
  image.staticVarCount = 1;
  return image;
}

TEST(BuildDisassembly, DecodesOperandsByKind) {
  const Lines expected{
      kSeparator,
      "//Create",
      "0000  10001000 00000000 00000001  MOVE base, y-axis",
      "0003  10003000 00000001 00000000  SPIN flare, x-axis",
      "0006  10006000 00000001           HIDE flare",
      "0008  10021001 FFFFFFFD           PUSH_CONSTANT -3",
      "000A  10021002 00000001           PUSH_LOCAL local 1",
      "000C  10062000 00000001 00000002  CALL_SCRIPT fire, 2",
      "000F  10066000 00000014           JUMP_IF_FALSE 0014",
      "0011  12345678                    .word 0x12345678",
      "0012  10023004 00000000           POP_STATIC static 0",
      "0014  10065000                    RETURN",
      "0015  10001000 00000001           MOVE flare (truncated)",
      kSeparator,
      "//fire",
      "0017  10011000 00000000 00000002  WAIT_FOR_TURN base, z-axis",
      "001A  10002000 00000007 00000005  TURN piece 7, axis 5",
      "001D  10061000 00000009 00000000  START_SCRIPT script 9, 0",
      "0020  10021001 00000000           PUSH_CONSTANT 0",
      "0022  10065000                    RETURN",
  };
  const auto bytes = BuildCob(DisassemblyImage());
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
