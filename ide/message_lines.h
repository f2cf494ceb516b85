// Taking compile message lines apart: which file a line belongs to and
// where an error line points.
#pragma once

#include <QString>
#include <QStringList>

namespace marlo::ide {

// An error line begins with "[".
bool IsErrorLine(const QString& line);

// The file of the nearest line at or above `index` whose first six
// characters are "compil" in any case: its text after the first "'" without
// the last character, which gives back the path of a "Compiling file '%s'"
// line. Empty when there is none.
QString CompiledFileAbove(const QStringList& lines, int index);

struct TErrorPosition {
  bool ok = false;
  int line = 0;
  int col = 0;
  QString error;  // "'%s' is not a valid integer value" when !ok
};

// The "[line: col]" of an error line; the blank after the colon is allowed.
TErrorPosition ParseErrorPosition(const QString& line);

}  // namespace marlo::ide
