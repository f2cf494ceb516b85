#include "compiler/cob_file.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

namespace marlo::core {
namespace {

// "04 00 0a ..." -> bytes; '#' starts a comment running to the end of the line.
std::vector<std::uint8_t> HexBytes(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  std::string digits;
  bool comment = false;
  for (char c : text) {
    if (c == '\n') comment = false;
    if (c == '#') comment = true;
    if (comment || !std::isxdigit(static_cast<unsigned char>(c))) continue;
    digits += c;
    if (digits.size() == 2) {
      bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits, nullptr, 16)));
      digits.clear();
    }
  }
  return bytes;
}

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
// "myscript\0" 9 (107), "base\0" 5 (116), "turret\0" 7 (121); 128 bytes in all.
const std::vector<std::uint8_t> kTankBytes = HexBytes(R"(
  04 00 00 00   # 0   Version
  02 00 00 00   # 4   ScriptCount
  02 00 00 00   # 8   PieceCount
  08 00 00 00   # 12  CodeWords
  03 00 00 00   # 16  StaticVarCount
  00 00 00 00   # 20  Reserved
  4C 00 00 00   # 24  ScriptIndexTableOffset = 76
  54 00 00 00   # 28  ScriptNameTableOffset  = 84
  5C 00 00 00   # 32  PieceNameTableOffset   = 92
  2C 00 00 00   # 36  CodeOffset             = 44
  64 00 00 00   # 40  NamePoolOffset         = 100
  00 60 00 10   01 00 00 00                  # 44  HIDE 1
  01 10 02 10   00 00 00 00   00 50 06 10    # 52  PUSH_CONSTANT 0, RETURN
  01 10 02 10   00 00 00 00   00 50 06 10    # 64  PUSH_CONSTANT 0, RETURN
  00 00 00 00   05 00 00 00                  # 76  script starts 0, 5
  64 00 00 00   6B 00 00 00                  # 84  script names at 100, 107
  74 00 00 00   79 00 00 00                  # 92  piece names at 116, 121
  43 72 65 61 74 65 00                       # 100 "Create"
  6D 79 73 63 72 69 70 74 00                 # 107 "myscript"
  62 61 73 65 00                             # 116 "base"
  74 75 72 72 65 74 00                       # 121 "turret"
)");

TEST(BuildCob, LaysOutHeaderCodeTablesAndNames) {
  ASSERT_EQ(kTankBytes.size(), 128u);
  EXPECT_EQ(BuildCob(TankImage()), kTankBytes);
}

TEST(BuildCob, PiecesWithoutScriptsPutEveryTableRightAfterTheHeader) {
  CobImage image;
  image.pieceNames = {"base", "turret"};
  const auto expected = HexBytes(R"(
    04 00 00 00  00 00 00 00  02 00 00 00  00 00 00 00   # version, 0 scripts, 2 pieces, 0 words
    00 00 00 00  00 00 00 00                             # statics, reserved
    2C 00 00 00  2C 00 00 00  2C 00 00 00                # all three tables at 44
    2C 00 00 00  34 00 00 00                             # code at 44, pool at 44 + 4 * 2 = 52
    34 00 00 00  39 00 00 00                             # piece names at 52, 57
    62 61 73 65 00  74 75 72 72 65 74 00                 # "base", "turret"
  )");
  EXPECT_EQ(BuildCob(image), expected);
}

TEST(BuildCob, EmptyImageIsAHeaderOnly) {
  const auto expected = HexBytes(R"(
    04 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00
    2C 00 00 00  2C 00 00 00  2C 00 00 00  2C 00 00 00  2C 00 00 00
  )");
  EXPECT_EQ(BuildCob(CobImage{}), expected);
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
  struct Case {
    const char* path;
    const char* filename;
    const char* expected;         // where only '/' separates folders
    const char* expectedWindows;  // where '\' and a drive's ':' do too
  };
  const Case cases[] = {
      {"C:\\out", "D:\\src\\tank.bos", "C:\\out/D:\\src\\tank.cob", "C:\\out/tank.cob"},
      {"C:\\out", "tank", "C:\\out/tank.cob", "C:\\out/tank.cob"},  // no extension: appended
      {"C:\\out\\", "tank.bos", "C:\\out\\/tank.cob", "C:\\out\\tank.cob"},
      {"/tmp/out/", "/home/me/tank.bos", "/tmp/out/tank.cob", "/tmp/out/tank.cob"},
      {"/tmp/out", "units/tank.bos", "/tmp/out/tank.cob", "/tmp/out/tank.cob"},
      {"", "tank.bos", "./tank.cob", "./tank.cob"},  // empty directory: the current one
      {"", "", "./.cob", "./.cob"},
      {"out", "a.b/c", "out/c.cob", "out/c.cob"},  // a dot in a directory is no extension
      {"out", "a.b\\c", "out/a.cob", "out/c.cob"},
      {"out", "unit:v2.bos", "out/unit:v2.cob", "out/v2.cob"},
      {"out", "tank.old.bos", "out/tank.old.cob", "out/tank.old.cob"},  // only the last extension goes
      {"out", "tank.", "out/tank.cob", "out/tank.cob"},
      {"out", ".bos", "out/.cob", "out/.cob"},
      {"out", "units/", "out/.cob", "out/.cob"},
  };
  for (const auto& c : cases) {
#ifdef _WIN32
    const char* expected = c.expectedWindows;
#else
    const char* expected = c.expected;
#endif
    EXPECT_EQ(CobOutputPath(c.path, c.filename), expected) << c.path << " + " << c.filename;
  }
}

TEST(ReadCob, ReadsBackWhatBuildCobWrote) {
  const CobFile file = ReadCob(kTankBytes);
  EXPECT_EQ(file.header.Version, 4u);
  EXPECT_EQ(file.header.ScriptCount, 2u);
  EXPECT_EQ(file.header.PieceCount, 2u);
  EXPECT_EQ(file.header.CodeWords, 8u);
  EXPECT_EQ(file.header.StaticVarCount, 3u);
  EXPECT_EQ(file.header.ScriptIndexTableOffset, 76u);
  EXPECT_EQ(file.header.ScriptNameTableOffset, 84u);
  EXPECT_EQ(file.header.PieceNameTableOffset, 92u);
  EXPECT_EQ(file.header.CodeOffset, 44u);
  EXPECT_EQ(file.header.NamePoolOffset, 100u);
  const CobImage image = TankImage();
  EXPECT_EQ(file.code, image.code);
  EXPECT_EQ(file.scriptStarts, image.scriptStarts);
  EXPECT_EQ(file.scriptNames, (std::vector<std::string>{"Create", "myscript"}));
  EXPECT_EQ(file.pieceNames, image.pieceNames);
}

TEST(ReadCob, RejectsTruncatedAndCorruptFiles) {
  struct Case {
    const char* what;
    std::size_t keep;     // bytes of kTankBytes kept
    std::size_t patchAt;  // word to overwrite (byte offset), or npos
    std::uint32_t patch;
    const char* message;
  };
  constexpr auto kNone = std::string::npos;
  const Case cases[] = {
      {"empty", 0, kNone, 0, "COB header truncated"},
      {"43 bytes", 43, kNone, 0, "COB header truncated"},
      {"header only", 44, kNone, 0, "name pool offset 100 lies outside the file"},
      {"code cut", 60, 40, 44, "code region of 8 words at offset 44 runs past the end of the file"},
      {"pool cut", 100, kNone, 0, "script name offset 100 of script 0 lies outside the file"},
      {"last name cut", 127, kNone, 0, "name of piece 1 at offset 121 has no terminating zero byte"},
      {"version", 128, 0, 5, "unsupported COB version 5"},
      {"huge CodeWords", 128, 12, 0xFFFFFFFF,
       "code region of 4294967295 words at offset 44 runs past the end of the file"},
      {"huge ScriptCount", 128, 4, 0xFFFFFFFF,
       "script code-index table of 4294967295 words at offset 76 runs past the end of the file"},
      {"huge PieceCount", 128, 8, 0x40000000,
       "piece name-offset table of 1073741824 words at offset 92 runs past the end of the file"},
      {"index table at the top", 128, 24, 0xFFFFFFFC,
       "script code-index table of 2 words at offset 4294967292 runs past the end of the file"},
      {"name table past end", 128, 28, 124,
       "script name-offset table of 2 words at offset 124 runs past the end of the file"},
      {"pool offset", 128, 40, 129, "name pool offset 129 lies outside the file"},
      {"script name offset", 128, 88, 1234, "script name offset 1234 of script 1 lies outside the file"},
      {"piece name offset", 128, 92, 128, "piece name offset 128 of piece 0 lies outside the file"},
      {"script start", 128, 80, 8, "code index 8 of script 1 lies outside the code region of 8 words"},
  };
  for (const auto& c : cases) {
    std::vector<std::uint8_t> bytes(kTankBytes.begin(), kTankBytes.begin() + c.keep);
    if (c.patchAt != kNone)
      for (int i = 0; i < 4; ++i) bytes[c.patchAt + i] = static_cast<std::uint8_t>(c.patch >> (8 * i));
    try {
      ReadCob(bytes);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const CobFormatError& e) {
      EXPECT_STREQ(e.what(), c.message) << c.what;
    }
  }
}

TEST(ReadCob, AcceptsAFileWithoutScripts) {
  CobImage image;
  image.pieceNames = {"base"};
  const auto file = ReadCob(BuildCob(image));
  EXPECT_TRUE(file.code.empty());
  EXPECT_TRUE(file.scriptNames.empty());
  EXPECT_EQ(file.pieceNames, std::vector<std::string>{"base"});
}

}  // namespace
}  // namespace marlo::core
