// A server of tests/ide/test_servers.py, started for a test on 127.0.0.1:
// it prints its port first and ends when its standard input closes.
#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace marlo::test {

struct TestServer {
  QProcess process;
  QByteArray output;
  quint16 port = 0;

  // Empty once the server runs, else why not: "SKIP ..." when what it needs
  // is not installed. Debian's python3 has the packages build.sh installs.
  QString Start(const QStringList& args) {
    const QString python =
        QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : QStandardPaths::findExecutable("python3");
    if (python.isEmpty()) return "SKIP python3 is not installed";
    process.start(python, QStringList{MARLO_SOURCE_DIR "/tests/ide/test_servers.py"} + args);
    for (QDeadlineTimer deadline(15000); !output.contains('\n') && !deadline.hasExpired();)
      if (process.waitForReadyRead(200)) output += process.readAllStandardOutput();
    const QByteArray first = output.left(output.indexOf('\n'));
    output.remove(0, first.size() + 1);
    port = first.startsWith("PORT ") ? first.mid(5).toUShort() : 0;
    return port ? QString() : first.isEmpty() ? "the server did not start" : QString::fromUtf8(first);
  }
  // The lines printed after the port that start with `prefix`, without it.
  QStringList Lines(const QByteArray& prefix) {
    do output += process.readAllStandardOutput();
    while (process.waitForReadyRead(100));
    QStringList lines;
    for (const QByteArray& line : output.split('\n'))
      if (line.startsWith(prefix)) lines << QString::fromUtf8(line.mid(prefix.size()).trimmed());
    return lines;
  }
  QString Url(const QString& path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path); }
  bool Stop() {
    process.closeWriteChannel();
    return process.waitForFinished(10000) || (process.kill(), process.waitForFinished(1000), false);
  }
  ~TestServer() {
    if (process.state() != QProcess::NotRunning) Stop();
  }
};

}  // namespace marlo::test
