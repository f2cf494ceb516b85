// Qt Test _data rows read from a table file under tests/data/. A file holds
// sections, each opened by a line "[name]"; every other line that is neither
// empty nor a comment is a row of the section above it, its cells separated
// by blanks: a text in double quotes (the escapes of TakeQuoted) or a word
// without blanks; a "#" in place of a cell starts a comment, which names the
// row in failures.
#pragma once

#include <QByteArrayList>
#include <QString>
#include <QtTest>
#include <array>

#include "tests/support/rows.h"

namespace marlo::test {

// Adds the column "cells" and one row per line of `section` in
// tests/data/`file`, named "file:line" and its comment.
void TableRows(const char* file, const char* section);

// The current row's cells, bound to names: const auto [a, b] = Cells<2>().
// As QString they are read as UTF-8; as QByteArray, byte for byte.
template <std::size_t N, typename T = QString>
std::array<T, N> Cells() {
  QFETCH(QByteArrayList, cells);
  if (cells.size() != qsizetype(N)) qFatal("%d cells in a row of %d", int(cells.size()), int(N));
  std::array<T, N> named;
  for (std::size_t i = 0; i < N; ++i) {
    if constexpr (std::is_same_v<T, QString>)
      named[i] = QString::fromUtf8(cells[qsizetype(i)]);
    else
      named[i] = cells[qsizetype(i)];
  }
  return named;
}

// A yes-or-no cell.
inline QString YesNo(bool value) { return value ? QStringLiteral("yes") : QStringLiteral("no"); }

}  // namespace marlo::test
