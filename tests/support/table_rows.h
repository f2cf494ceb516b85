// Qt Test rows from a table file (tests/data/...): each line reads
// "tag | name | cell | cell ...", and the lines of one tag are the rows of
// one test. A cell is taken as written, or, when it starts with a double
// quote, as a quoted text with escapes (TakeQuoted); "" is an empty cell.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtTest>
#include <array>

#include "tests/support/files.h"
#include "tests/support/rows.h"

namespace marlo::test {

// Adds the column "cells" of QList<T> (T: QString from UTF-8, or QByteArray)
// and a row for each line of `tag` in the table `path`.
template <typename T = QString>
void TableRows(const char* path, std::string_view tag) {
  QTest::addColumn<QList<T>>("cells");
  for (const auto& [number, text] : TableLines(path)) {
    std::string_view rest = text;
    QList<T> cells;
    try {
      while (!rest.empty()) {
        if (!cells.isEmpty() && !rest.starts_with(" | ")) throw std::runtime_error("no \" | \" after a cell");
        if (!cells.isEmpty()) rest.remove_prefix(3);
        const std::size_t end = rest.starts_with('"') ? 0 : std::min(rest.find(" | "), rest.size());
        const std::string cell = end ? std::string(rest.substr(0, end)) : TakeQuoted(rest);
        rest.remove_prefix(end);
        cells << T(QByteArray::fromStdString(cell));
      }
    } catch (const std::exception& e) {
      qFatal("%s:%d: %s", path, number, e.what());
    }
    if (cells.size() < 2 || cells[0] != T(QByteArray(tag.data(), tag.size()))) continue;
    QTest::addRow("line %d: %s", number, cells[1].toStdString().c_str()) << cells.mid(2);
  }
}

// The N cells of the current row, as TableRows added them.
template <std::size_t N, typename T = QString>
std::array<T, N> Cells() {
  const QList<T> cells = *static_cast<QList<T>*>(QTest::qData("cells", qMetaTypeId<QList<T>>()));
  if (std::size_t(cells.size()) != N)
    qFatal("%s: %lld cells, not %zu", QTest::currentDataTag(), qlonglong(cells.size()), N);
  std::array<T, N> out;
  std::copy_n(cells.begin(), N, out.begin());
  return out;
}

// A yes-or-no cell.
inline QString YesNo(bool value) { return value ? QStringLiteral("yes") : QStringLiteral("no"); }

}  // namespace marlo::test
