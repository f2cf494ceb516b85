// Helpers for Qt Test _data tables: a row from plain values on one line,
// and search options from a few letters.
#pragma once

#include <QString>
#include <QtTest>

#include "ide/search_text.h"

namespace marlo::ide::test {

inline QString Cell(const char* text) { return QString::fromUtf8(text); }
template <typename T>
const T& Cell(const T& value) {
  return value;
}
template <typename... Values>
void Row(const char* name, const Values&... values) {
  (QTest::newRow(name) << ... << Cell(values));
}

// "u" searches up, "c" matches case, "w" whole words.
inline TSearchOptions Options(const QString& flags) {
  return {!flags.contains(u'u'), flags.contains(u'c'), flags.contains(u'w')};
}

}  // namespace marlo::ide::test
