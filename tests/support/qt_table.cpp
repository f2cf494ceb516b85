#include "tests/support/qt_table.h"

#include <QtTest>
#include <list>
#include <stdexcept>

#include "tests/support/files.h"
#include "tests/support/rows.h"

namespace marlo::test {

namespace {

QList<QByteArray> Cells(std::string_view text) {
  QList<QByteArray> cells;
  for (;;) {
    while (!text.empty() && text[0] == ' ') text.remove_prefix(1);
    if (text.empty() || text[0] == '#') return cells;  // the rest is a comment
    if (text[0] == '"') {
      cells << QByteArray::fromStdString(TakeQuoted(text));
      continue;
    }
    const std::size_t end = std::min(text.find(' '), text.size());
    cells << QByteArray(text.data(), qsizetype(end));
    text.remove_prefix(end);
  }
}

}  // namespace

void TableRows(const char* file, const QString& section, const QString& columns) {
  static std::list<QByteArray> names;  // Qt Test keeps the column names' pointers
  QStringList types;
  for (const QString& column : columns.split(u' ', Qt::SkipEmptyParts)) {
    const char* name = names.emplace_back(column.section(u':', 0, 0).toLatin1()).constData();
    const QString type = column.section(u':', 1);
    types << type;
    if (type == u"int")
      QTest::addColumn<int>(name);
    else if (type == u"bool")
      QTest::addColumn<bool>(name);
    else if (type == u"bytes")
      QTest::addColumn<QByteArray>(name);
    else if (type == u"list")
      QTest::addColumn<QStringList>(name);
    else
      QTest::addColumn<QString>(name);
  }
  QString current;
  for (const auto& [number, text] : TableLines(std::string(MARLO_TEST_DATA_DIR "/") + file)) {
    if (text.front() == '[' && text.back() == ']') {
      current = QString::fromStdString(text.substr(1, text.size() - 2));
      continue;
    }
    if (current != section) continue;
    QList<QByteArray> cells;
    try {
      cells = Cells(text);
    } catch (const std::runtime_error& error) {
      qFatal("%s:%d: %s", file, number, error.what());
    }
    if (cells.size() != types.size())
      qFatal("%s:%d: %d cells for %d columns", file, number, int(cells.size()), int(types.size()));
    QTestData& row = QTest::addRow("%s:%d", file, number);
    for (int i = 0; i < types.size(); ++i) {
      const QString cell = QString::fromUtf8(cells[i]);
      bool isInt = true;
      if (types[i] == u"int")
        row << cell.toInt(&isInt);
      else if (types[i] == u"bool")
        row << (cell == u"1");
      else if (types[i] == u"bytes")
        row << cells[i];
      else if (types[i] == u"list")
        row << Items(cell);
      else
        row << cell;
      if (!isInt) qFatal("%s:%d: '%s' is no number", file, number, cells[i].constData());
    }
  }
}

}  // namespace marlo::test
