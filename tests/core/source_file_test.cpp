#include "driver/source_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/files.h"

namespace marlo::core {
namespace {

using namespace std::string_literals;

struct NormalizeCase {
  const char* name;
  std::string bytes;
  int tabWidth;
  std::string text;
};

class NormalizeSource : public testing::TestWithParam<NormalizeCase> {};

TEST_P(NormalizeSource, Text) {
  const NormalizeCase& c = GetParam();
  EXPECT_EQ(NormalizeSourceText(c.bytes, c.tabWidth), c.text);
}

const NormalizeCase kNormalize[] = {
    {"Empty", "", 4, ""},
    {"OneLineNoEnd", "abc", 4, "abc\r\n"},
    {"OneLineWithLf", "abc\n", 4, "abc\r\n"},
    {"OneLineWithCrLf", "abc\r\n", 4, "abc\r\n"},
    {"OneLineWithCr", "abc\r", 4, "abc\r\n"},
    {"MixedLineEnds", "a\nb\r\nc\rd", 4, "a\r\nb\r\nc\r\nd\r\n"},
    {"LfCrIsTwoLineEnds", "a\n\rb", 4, "a\r\n\r\nb\r\n"},
    {"CrCrLf", "a\r\r\nb", 4, "a\r\n\r\nb\r\n"},
    {"OnlyLineEnd", "\n", 4, "\r\n"},
    {"BlankLinesKept", "\n\n\nx\n\n", 4, "\r\n\r\n\r\nx\r\n\r\n"},
    {"LoneCrAtEnd", "\r", 4, "\r\n"},
    {"NulBytesKept", "a\0b\n\0"s, 4, "a\0b\r\n\0\r\n"s},
    {"TabExpanded", "\tx\ty\n", 4, "    x    y\r\n"},
    {"TabWidthTwo", "\t\t;", 2, "    ;\r\n"},
    {"TabWidthOne", "a\tb", 1, "a b\r\n"},
    {"TabWidthZeroRemoves", "\ta\t\tb\t", 0, "ab\r\n"},
    {"TabWidthNegativeRemoves", "a\tb", -5, "ab\r\n"},
    {"TabsAreNotColumnStops", "ab\tc", 4, "ab    c\r\n"},
    {"OnlyATab", "\t", 3, "   \r\n"},
    {"OtherBytesUntouched", "\x01\xff \x7f\f\v", 4, "\x01\xff \x7f\f\v\r\n"},
    {"BosScript", "piece base;\ncreate ()\n{\n\thide base;\n}\n", 4,
     "piece base;\r\ncreate ()\r\n{\r\n    hide base;\r\n}\r\n"},
};

INSTANTIATE_TEST_SUITE_P(LoadFile, NormalizeSource, testing::ValuesIn(kNormalize),
                         [](const testing::TestParamInfo<NormalizeCase>& row) { return row.param.name; });

class LoadFileOnDisk : public testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) { return dir_.Write(name, bytes).string(); }
  marlo::test::ScratchDir dir_{"marloc_load"};
};

TEST_F(LoadFileOnDisk, ReadsAndNormalizes) {
  std::string path = Write("a.bos", "x\ty\rz\n"s + std::string(100000, 'q'));
  LoadResult result = LoadFile(path, 2);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.text, "x  y\r\nz\r\n" + std::string(100000, 'q') + "\r\n");
  EXPECT_EQ(result.error, "");
}

TEST_F(LoadFileOnDisk, EmptyFileGivesEmptyText) {
  LoadResult result = LoadFile(Write("empty.bos", ""), 4);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.text, "");
}

TEST_F(LoadFileOnDisk, MissingFileNamesPathAndReason) {
  std::string path = (dir_ / "missing.bos").string();
  LoadResult result = LoadFile(path, 4);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.text, "");
  EXPECT_EQ(result.error, "Cannot read file '" + path + "': No such file or directory");
}

TEST_F(LoadFileOnDisk, DirectoryIsAnError) {
  LoadResult result = LoadFile(dir_.path().string(), 4);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "Cannot read file '" + dir_.path().string() + "': Is a directory");
}

}  // namespace
}  // namespace marlo::core
