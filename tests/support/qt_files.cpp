#include "tests/support/qt_files.h"

#include <QFile>
#include <QtGlobal>

namespace marlo::test {

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
    qFatal("cannot write %s", qPrintable(path));
  return path;
}

}  // namespace marlo::test
