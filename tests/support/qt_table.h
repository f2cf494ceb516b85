// Qt Test _data rows read from a table file under tests/data/. A file holds
// sections, each opened by a line "[name]"; every other line that is neither
// empty nor a comment is a row of the section above it, its cells separated
// by blanks: a text in double quotes (the escapes of TakeQuoted, the bytes
// read as UTF-8) or a word without blanks; a "#" in place of a cell starts
// a comment.
#pragma once

#include <QStringList>
#include <QtTest>
#include <array>

namespace marlo::test {

// Adds the column "cells" and one row per line of `section` in
// tests/data/`file`, named "file:line".
void TableRows(const char* file, const char* section);

// The current row's cells, bound to names: const auto [a, b] = Cells<2>().
template <std::size_t N>
std::array<QString, N> Cells() {
  QFETCH(QStringList, cells);
  if (cells.size() != qsizetype(N)) qFatal("%d cells in a row of %d", int(cells.size()), int(N));
  std::array<QString, N> named;
  std::copy(cells.begin(), cells.end(), named.begin());
  return named;
}

}  // namespace marlo::test
