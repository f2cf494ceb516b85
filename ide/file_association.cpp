#include "ide/file_association.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>

#ifdef Q_OS_WIN
#include <QSettings>
#endif

namespace marlo::ide {

#ifdef Q_OS_WIN

namespace {
QSettings& Classes() {
  static QSettings classes(QStringLiteral("HKEY_CURRENT_USER\\Software\\Classes"), QSettings::NativeFormat);
  return classes;
}
}  // namespace

void RegisterShellVerb(const QString& fileType, const QString& verb, const QString& command) {
  QString key = fileType;
  if (!key.endsWith(u'\\')) key += u'\\';
  key += QStringLiteral("shell\\") + QString(verb).replace(u' ', u'_');
  Classes().setValue(key + QStringLiteral("\\Default"), verb);
  Classes().setValue(key + QStringLiteral("\\command\\Default"), command);
}

QString AssociateFiles(const QString& programPath) {
  // The program by its fixed name in its folder, the path not quoted: the
  // program reads its command line as given and removes its own path whole.
  const QString program =
      QDir::toNativeSeparators(QFileInfo(programPath).absolutePath()) + QStringLiteral("\\marlo.exe");
  const QString open = program + QStringLiteral(" \"%1\"");
  const QString compile = program + QStringLiteral(" -c \"%1\"");
  QSettings& classes = Classes();
  const QString owner = classes.value(QStringLiteral(".bos\\Default")).toString();
  if (!owner.isEmpty() && owner != QStringLiteral("QX Bosfile")) {
    RegisterShellVerb(owner, QStringLiteral("Open with Marlo"), open);
    RegisterShellVerb(owner, QStringLiteral("Compile with Marlo"), compile);
  } else {
    classes.setValue(QStringLiteral(".bos\\Default"), QStringLiteral("QX Bosfile"));
    classes.setValue(QStringLiteral("QX Bosfile\\Default"), QStringLiteral("Bos source file"));
    RegisterShellVerb(QStringLiteral("QX Bosfile"), QStringLiteral("Open"), open);
    RegisterShellVerb(QStringLiteral("QX Bosfile"), QStringLiteral("Compile"), compile);
    classes.setValue(QStringLiteral("QX Bosfile\\QuickView\\Default"), QString());
  }
  classes.sync();
  if (classes.status() != QSettings::NoError)
    return QStringLiteral("Could not write the file association to the registry.");
  return {};
}

#else

namespace {

QString WriteFile(const QString& path, const QByteArray& content) {
  if (!QDir().mkpath(QFileInfo(path).absolutePath()))
    return QStringLiteral("Cannot create the folder %1").arg(QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
    return QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
  return {};
}

// Refreshes a desktop cache when its tool is installed; a missing tool only
// delays when the desktop sees the change.
void RunIfInstalled(const QString& tool, const QString& folder) {
  const QString program = QStandardPaths::findExecutable(tool);
  if (program.isEmpty()) return;
  QProcess process;
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process.start(program, {folder});
  if (process.waitForStarted()) process.waitForFinished(30000);
}

}  // namespace

QString DesktopExecArgument(const QString& argument) {
  static const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
  QString quoted = argument;
  quoted.replace(u'%', QStringLiteral("%%"));  // not a field code
  if (argument.isEmpty() ||
      std::any_of(argument.begin(), argument.end(), [](QChar c) { return kReserved.contains(c); })) {
    QString inner;
    for (QChar c : std::as_const(quoted)) {
      if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') inner += u'\\';
      inner += c;
    }
    quoted = u'"' + inner + u'"';
  }
  // The file's own string escapes come on top of the quoting.
  return quoted.replace(u'\\', QStringLiteral("\\\\"))
      .replace(u'\n', QStringLiteral("\\n"))
      .replace(u'\t', QStringLiteral("\\t"))
      .replace(u'\r', QStringLiteral("\\r"));
}

QString AssociateFiles(const QString& programPath) {
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (data.isEmpty()) return QStringLiteral("The user's data folder is not known.");

  const QString mime = data + QStringLiteral("/mime");
  const QByteArray package = QByteArrayLiteral(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
      "  <mime-type type=\"text/x-bos\">\n"
      "    <comment>Bos source file</comment>\n"
      "    <sub-class-of type=\"text/plain\"/>\n"
      "    <glob pattern=\"*.bos\"/>\n"
      "  </mime-type>\n"
      "</mime-info>\n");
  if (QString error = WriteFile(mime + QStringLiteral("/packages/marlo-bos.xml"), package); !error.isEmpty())
    return error;
  RunIfInstalled(QStringLiteral("update-mime-database"), mime);

  const QString program = DesktopExecArgument(QFileInfo(programPath).absoluteFilePath());
  const QString entry = QStringLiteral(
                            "[Desktop Entry]\n"
                            "Type=Application\n"
                            "Name=Marlo\n"
                            "Comment=Edit and compile BOS unit scripts\n"
                            "Icon=marlo\n"
                            "Exec=%1 %F\n"
                            "Terminal=false\n"
                            "Categories=Development;IDE;\n"
                            "MimeType=text/x-bos;\n"
                            "Actions=Compile;\n"
                            "\n"
                            "[Desktop Action Compile]\n"
                            "Name=Compile\n"
                            "Exec=%1 -c %F\n")
                            .arg(program);
  const QString applications = data + QStringLiteral("/applications");
  if (QString error = WriteFile(applications + QStringLiteral("/marlo.desktop"), entry.toUtf8()); !error.isEmpty())
    return error;
  RunIfInstalled(QStringLiteral("update-desktop-database"), applications);
  return {};
}

#endif

}  // namespace marlo::ide
