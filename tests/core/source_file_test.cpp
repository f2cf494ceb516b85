// A source file read as the source window reads it: the table of
// tests/data/source/normalize.txt, then files on disk.
#include "driver/source_file.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/files.h"

namespace marlo::core {
namespace {

TEST(NormalizeSourceText, Table) {
  int rows = 0;
  for (const auto& [number, text] : marlo::test::TableLines(MARLO_TEST_DATA_DIR "/source/normalize.txt")) {
    std::string_view line = text;
    const std::string bytes = marlo::test::TakeQuoted(line);
    const std::size_t arrow = line.find(" => ");
    ASSERT_NE(arrow, std::string_view::npos) << "normalize.txt:" << number;
    const int tabWidth = std::stoi(std::string(line.substr(0, arrow)));
    line.remove_prefix(arrow + 4);
    EXPECT_EQ(NormalizeSourceText(bytes, tabWidth), marlo::test::TakeQuoted(line)) << "normalize.txt:" << number;
    ++rows;
  }
  EXPECT_EQ(rows, 21);
}

TEST(LoadFile, ReadsAndNormalizesOrNamesPathAndReason) {
  const marlo::test::ScratchDir dir("marloc_load");
  LoadResult result = LoadFile(dir.Write("a.bos", "x\ty\rz\n" + std::string(100000, 'q')).string(), 2);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.text, "x  y\r\nz\r\n" + std::string(100000, 'q') + "\r\n");
  EXPECT_EQ(result.error, "");
  result = LoadFile(dir.Write("empty.bos", "").string(), 4);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.text, "");

  const std::string missing = (dir / "missing.bos").string();
  result = LoadFile(missing, 4);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.text, "");
  EXPECT_EQ(result.error, "Cannot read file '" + missing + "': No such file or directory");
  result = LoadFile(dir.path().string(), 4);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "Cannot read file '" + dir.path().string() + "': Is a directory");
}

}  // namespace
}  // namespace marlo::core
