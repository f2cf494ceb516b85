#include "ide/command_line.h"

#include <QCoreApplication>
#include <QDir>
#include <algorithm>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace marlo::ide {
namespace {

bool IsBlank(QChar c) { return c.unicode() <= u' '; }
bool IsSeparator(QChar c) { return IsBlank(c) || c == u','; }

QString Trimmed(const QString& text) {
  qsizetype first = 0, last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.mid(first, last - first);
}

}  // namespace

QStringList SplitCommaText(const QString& text) {
  QStringList items;
  const qsizetype n = text.size();
  qsizetype i = 0;
  const auto skipBlanks = [&] {
    while (i < n && IsBlank(text[i])) ++i;
  };
  skipBlanks();
  while (i < n) {
    QString item;
    if (text[i] == u'"') {
      // Up to the closing quote (or the end); "" stands for one quote.
      for (++i; i < n; ++i) {
        if (text[i] == u'"' && (++i == n || text[i] != u'"')) break;
        item += text[i];
      }
    } else {
      const qsizetype start = i;
      while (i < n && !IsSeparator(text[i])) ++i;
      item = text.mid(start, i - start);
    }
    items << item;
    skipBlanks();
    // One comma, with the blanks around it, is one separator; two commas
    // enclose an empty item.
    if (i < n && text[i] == u',') {
      ++i;
      skipBlanks();
    }
  }
  return items;
}

QList<CommandLineFile> ParseCommandLine(const QString& text, const QString& programPath) {
  QString rest = text;
  if (!programPath.isEmpty()) {
    // Item 0 stands for the program's own path; quoted, its removal leaves
    // the empty item "". Unquoted at the start (as the desktop and the
    // second start's own text give it), its removal would leave nothing and
    // make the first file item 0, lost. Such a path counts as item 0 too, so
    // that the file opens.
    qsizetype at = 0;
    while (at < rest.size() && IsBlank(rest[at])) ++at;
    const qsizetype after = at + programPath.size();
    if (QStringView(rest).sliced(at).startsWith(programPath) && (after == rest.size() || IsSeparator(rest[after])))
      rest.replace(at, programPath.size(), QStringLiteral("\"\""));
    rest.remove(programPath, Qt::CaseSensitive);
  }
  QStringList items = SplitCommaText(Trimmed(rest));

  QList<CommandLineFile> files;
  bool compile = false;
  for (qsizetype i = 1; i < items.size(); ++i) {
    // Every "-c" is the switch, also a repeated or a trailing one: none of
    // them is a file.
    if (items[i].toLower() == QStringLiteral("-c")) {
      compile = true;
      continue;
    }
    files.append({items[i], compile});
  }
  return files;
}

QString CommandLineFromArguments(const QStringList& arguments) {
  QStringList quoted;
  for (const QString& argument : arguments) {
    const bool plain = !argument.isEmpty() && std::none_of(argument.begin(), argument.end(),
                                                           [](QChar c) { return IsSeparator(c) || c == u'"'; });
    quoted << (plain ? argument
                     : u'"' + QString(argument).replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"');
  }
  return quoted.join(u' ');
}

QString CurrentCommandLine() {
#ifdef Q_OS_WIN
  // The text as given, so that an unquoted program path with blanks is
  // removed whole instead of being split.
  return QString::fromWCharArray(GetCommandLineW());
#else
  return CommandLineFromArguments(QCoreApplication::arguments());
#endif
}

QStringList WithAbsolutePaths(const QStringList& arguments, const QDir& base) {
  QStringList result = arguments;
  for (qsizetype i = 1; i < result.size(); ++i) {
    const QString& item = result[i];
    if (item.isEmpty() || item.toLower() == QStringLiteral("-c") || QDir::isAbsolutePath(item)) continue;
    result[i] = QDir::toNativeSeparators(QDir::cleanPath(base.absoluteFilePath(item)));
  }
  return result;
}

QString HandOverCommandLine() {
#ifdef Q_OS_WIN
  return CurrentCommandLine();
#else
  return CommandLineFromArguments(WithAbsolutePaths(QCoreApplication::arguments(), QDir::current()));
#endif
}

QString CurrentProgramPath() { return QDir::toNativeSeparators(QCoreApplication::applicationFilePath()); }

}  // namespace marlo::ide
