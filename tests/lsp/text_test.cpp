// Positions in a document's text in both encodings, and file URIs.
#include <gtest/gtest.h>

#include <string>

#include "lsp/text_document.h"
#include "lsp/uri.h"

namespace marlo::lsp {
namespace {

TEST(TextDocument, OffsetsAndPositions) {
  // Line ends CR LF, lone CR, LF; "é" is 2 bytes and 1 unit, "😀" 4 bytes and
  // 2 units; "\xFF" is no UTF-8 and counts as one of each.
  const TextDocument text("ab\r\nc\xC3\xA9\xF0\x9F\x98\x80x\rz\xFFy\n");
  struct Row {
    int line, character;
    Encoding encoding;
    std::size_t offset;
  } rows[] = {
      {0, 0, Encoding::kUtf16, 0},  {0, 2, Encoding::kUtf16, 2},  {0, 9, Encoding::kUtf16, 2},
      {1, 1, Encoding::kUtf16, 5},  {1, 2, Encoding::kUtf16, 7},  {1, 4, Encoding::kUtf16, 11},
      {1, 3, Encoding::kUtf16, 7},  {1, 3, Encoding::kUtf8, 7},   {1, 8, Encoding::kUtf8, 12},
      {2, 1, Encoding::kUtf16, 14}, {2, 2, Encoding::kUtf16, 15}, {3, 0, Encoding::kUtf16, 17},
      {9, 0, Encoding::kUtf16, 17},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(text.Offset({row.line, row.character}, row.encoding), row.offset) << row.line << ":" << row.character;
  }
  EXPECT_EQ(text.LineCount(), 4);
  EXPECT_EQ(text.PositionAt(11, Encoding::kUtf16).character, 4);
  EXPECT_EQ(text.PositionAt(11, Encoding::kUtf8).character, 7);
  EXPECT_EQ(text.Line(1), "c\xC3\xA9\xF0\x9F\x98\x80x");
}

TEST(TextDocument, Replace) {
  TextDocument text("one\ntwo\n");
  text.Replace(text.Offset({0, 1}, Encoding::kUtf16), text.Offset({1, 1}, Encoding::kUtf16), "X\r\nY");
  EXPECT_EQ(text.Text(), "oX\r\nYwo\n");
  EXPECT_EQ(text.Line(1), "Ywo");
}

TEST(Uri, FileUrisAndPaths) {
  EXPECT_EQ(PathFromUri("file:///tmp/a%20b/c%23.bos"), "/tmp/a b/c#.bos");
  EXPECT_EQ(PathFromUri("FILE://localhost/x.h"), "/x.h");
  EXPECT_EQ(PathFromUri("untitled:Untitled-1"), "");
  EXPECT_EQ(PathFromUri("file://server/share/x.h"), "");
  EXPECT_EQ(UriFromPath("/tmp/a b/c#\xC3\xA9.bos"), "file:///tmp/a%20b/c%23%C3%A9.bos");
  EXPECT_EQ(PathFromUri(UriFromPath("/tmp/100%/x?.bos")), "/tmp/100%/x?.bos");
}

}  // namespace
}  // namespace marlo::lsp
