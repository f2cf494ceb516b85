// Whole files for the desktop program's tests.
#pragma once

#include <QByteArray>
#include <QString>

namespace marlo::test {

// The bytes of a file, or "<missing>" when it cannot be read.
QByteArray ReadBytes(const QString& path);

// Writes `bytes` as the whole file (the test stops when it cannot) and
// returns the path.
QString WriteBytes(const QString& path, const QByteArray& bytes);

}  // namespace marlo::test
