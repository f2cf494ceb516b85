// Helpers for Qt Test _data tables: a row from plain values on one line, and
// a list of texts written as one, its items separated by "|".
#pragma once

#include <QString>
#include <QStringList>
#include <QtTest>

namespace marlo::test {

inline QString Cell(const char* text) { return QString::fromUtf8(text); }
template <typename T>
const T& Cell(const T& value) {
  return value;
}
template <typename... Values>
void Row(const char* name, const Values&... values) {
  (QTest::newRow(name) << ... << Cell(values));
}

// "a|b|c" as {"a", "b", "c"}; "" as no items.
inline QStringList Items(const QString& joined) { return joined.isEmpty() ? QStringList() : joined.split(u'|'); }

}  // namespace marlo::test
