#include "compiler/cob_file.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/bytes.h"
#include "tests/support/files.h"

namespace marlo::core {
namespace {

// Two scripts, two pieces, three statics:
//   create:   HIDE turret; PUSH_CONSTANT 0; RETURN      (words 0-4)
//   myscript: PUSH_CONSTANT 0; RETURN                   (words 5-7)
CobImage TankImage() {
  CobImage image;
  image.code = {0x10006000, 1, 0x10021001, 0, 0x10065000, 0x10021001, 0, 0x10065000};
  image.scriptStarts = {0, 5};
  image.scriptNames = {"create", "myscript"};
  image.pieceNames = {"base", "turret"};
  image.staticVarCount = 3;
  return image;
}

// Worked out from the layout: 8 code words, so the index table sits at
// 44 + 32 = 76, the script name table at 76 + 8 = 84, the piece name table at
// 84 + 8 = 92 and the pool at 92 + 8 = 100. "Create\0" is 7 bytes (100),
// "myscript\0" 9 (107), "base\0" 5 (116), "turret\0" 7 (121); 128 bytes in
// all. Words are stored with their lowest byte first.
const std::vector<std::uint8_t> kTankBytes = [] {
  std::vector<std::uint8_t> bytes;
  for (const std::uint32_t word :
       {4u,          2u, 2u,          8u,   3u,          0u,  76u, 84u, 92u, 44u, 100u,  // the header
        0x10006000u, 1u, 0x10021001u, 0u,   0x10065000u,                                 // HIDE 1, return 0
        0x10021001u, 0u, 0x10065000u,                                                    // return 0
        0u,          5u, 100u,        107u, 116u,        121u})                          // script starts, name offsets
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
  for (const char c : std::string_view("Create\0myscript\0base\0turret\0", 28))
    bytes.push_back(static_cast<std::uint8_t>(c));
  return bytes;
}();

// A file without scripts, or with nothing at all: the golden compile cases
// decl/pieces and decl/empty_source.
TEST(BuildCob, LaysOutHeaderCodeTablesAndNames) {
  ASSERT_EQ(kTankBytes.size(), 128u);
  EXPECT_EQ(BuildCob(TankImage()), kTankBytes);
}

TEST(BuildCob, StoresStandardNamesInStandardSpellingButNeverPieceNames) {
  CobImage image;
  image.code = {0x10065000, 0x10065000};
  image.scriptStarts = {0, 1};
  image.scriptNames = {"AIMPRIMARY", "MyScript"};
  image.pieceNames = {"create"};
  const auto file = ReadCob(BuildCob(image));
  EXPECT_EQ(file.scriptNames, (std::vector<std::string>{"AimPrimary", "MyScript"}));
  EXPECT_EQ(file.pieceNames, std::vector<std::string>{"create"});
}

TEST(BuildCob, RejectsMismatchedScriptTables) {
  CobImage image = TankImage();
  image.scriptStarts.pop_back();
  EXPECT_THROW(BuildCob(image), std::invalid_argument);
}

TEST(StoredScriptName, MatchesStandardNamesIgnoringCase) {
  struct Case {
    const char* name;
    const char* stored;
  };
  const Case cases[] = {
      {"aimprimary", "AimPrimary"},       {"AIMPRIMARY", "AimPrimary"},
      {"AimPrimary", "AimPrimary"},       {"create", "Create"},
      {"transportdrop", "TransportDrop"}, {"querynanopiece", "QueryNanoPiece"},
      {"myscript", "myscript"},           {"aimprimary2", "aimprimary2"},
      {"aimprimar", "aimprimar"},         {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(StoredScriptName(c.name), c.stored) << c.name;
}

TEST(StoredScriptName, KnowsTheFortyNineNamesInOrder) {
  const auto& names = StandardScriptNames();
  ASSERT_EQ(names.size(), 49u);
  EXPECT_EQ(names.front(), "Create");
  EXPECT_EQ(names[4], "AimPrimary");
  EXPECT_EQ(names[32], "Killed");
  EXPECT_EQ(names.back(), "TransportDrop");
  for (const auto& name : names) {
    std::string lower;
    for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(StoredScriptName(lower), name);
  }
}

TEST(CobOutputPath, JoinsDirectoryAndFileNameWithCobExtension) {
  int rows = 0;
  for (const auto& [number, text] : marlo::test::TableLines(MARLO_TEST_DATA_DIR "/cob/output_path.txt")) {
    std::string_view line = text;
    const std::string path = marlo::test::TakeQuoted(line);
    const std::string filename = marlo::test::TakeQuoted(line);
    ASSERT_TRUE(line.starts_with(" => ")) << "output_path.txt:" << number;
    line.remove_prefix(4);
    std::string expected = marlo::test::TakeQuoted(line);
#ifdef _WIN32
    expected = marlo::test::TakeQuoted(line);
#endif
    EXPECT_EQ(CobOutputPath(path, filename), expected) << "output_path.txt:" << number;
    ++rows;
  }
  EXPECT_EQ(rows, 14);
}

TEST(ReadCob, ReadsBackWhatBuildCobWrote) {
  const CobFile file = ReadCob(kTankBytes);
  static_assert(sizeof(CobHeader) == 44, "the header is eleven words");
  EXPECT_EQ(std::memcmp(&file.header, kTankBytes.data(), 44), 0);  // little-endian, as the file
  const CobImage image = TankImage();
  EXPECT_EQ(file.code, image.code);
  EXPECT_EQ(file.scriptStarts, image.scriptStarts);
  EXPECT_EQ(file.scriptNames, (std::vector<std::string>{"Create", "myscript"}));
  EXPECT_EQ(file.pieceNames, image.pieceNames);
}

TEST(ReadCob, RejectsTruncatedAndCorruptFiles) {
  int rows = 0;
  for (const auto& [number, line] : marlo::test::TableLines(MARLO_TEST_DATA_DIR "/cob/read_errors.txt")) {
    const std::size_t arrow = line.find(" => ");
    ASSERT_NE(arrow, std::string::npos) << "read_errors.txt:" << number;
    try {
      ReadCob(marlo::test::Damaged(kTankBytes, line.substr(0, arrow)));
      ADD_FAILURE() << "read_errors.txt:" << number << ": accepted";
    } catch (const CobFormatError& e) {
      EXPECT_EQ(e.what(), line.substr(arrow + 4)) << "read_errors.txt:" << number;
    }
    ++rows;
  }
  EXPECT_EQ(rows, 16);
}

}  // namespace
}  // namespace marlo::core
