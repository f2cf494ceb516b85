// Qt Test _data rows read from a table file under tests/data/. A file holds
// sections, each opened by a line "[name]"; every other line that is neither
// empty nor a comment is a row of the section above it, one cell per column,
// separated by blanks: a text in double quotes (the escapes of TakeQuoted,
// the bytes read as UTF-8) or a word without blanks; a "#" in place of a
// cell starts a comment.
#pragma once

#include <QString>

namespace marlo::test {

// Adds the columns, written "name" for a QString or "name:int",
// "name:bool" (0 or 1), "name:bytes" (a QByteArray), "name:list" (a
// QStringList, its items separated by "|"), and one row per line of
// `section` in tests/data/`file`, named "file:line".
void TableRows(const char* file, const QString& section, const QString& columns);

}  // namespace marlo::test
