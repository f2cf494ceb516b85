#include "ide/message_lines.h"

namespace marlo::ide {

bool IsErrorLine(const QString& line) { return line.startsWith(QLatin1Char('[')); }

QString CompiledFileAbove(const QStringList& lines, int index) {
  for (int i = qMin(index, static_cast<int>(lines.size()) - 1); i >= 0; --i) {
    const QString& line = lines[i];
    if (line.left(6).compare(QLatin1String("compil"), Qt::CaseInsensitive) != 0) continue;
    const qsizetype quote = line.indexOf(QLatin1Char('\''));
    if (quote < 0) return line.left(line.size() - 1);
    return line.mid(quote + 1).chopped(line.size() > quote + 1 ? 1 : 0);
  }
  return QString();
}

namespace {

bool ToInteger(const QString& text, int& value, QString& error) {
  bool ok = false;
  value = text.trimmed().toInt(&ok);
  if (!ok) error = QStringLiteral("'%1' is not a valid integer value").arg(text);
  return ok;
}

}  // namespace

TErrorPosition ParseErrorPosition(const QString& line) {
  TErrorPosition position;
  qsizetype close = line.indexOf(QLatin1Char(']'));
  if (close < 0) close = line.size();
  const QString inside = line.mid(1, close - 1);
  const qsizetype colon = inside.indexOf(QLatin1Char(':'));
  const QString row = colon < 0 ? inside : inside.left(colon);
  const QString col = colon < 0 ? QString() : inside.mid(colon + 1);
  position.ok = ToInteger(row, position.line, position.error) && ToInteger(col, position.col, position.error);
  return position;
}

}  // namespace marlo::ide
