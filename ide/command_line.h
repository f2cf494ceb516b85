// The text handling of the command line: what a start of the program (the
// first one or a later one handing over) asks to open and compile.
//
// The text is read as a comma-text list: items are separated by commas or by
// any character up to and including the blank; a double-quoted item may hold
// separators, and a doubled quote inside it stands for one quote.
#pragma once

#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>

namespace marlo::ide {

struct CommandLineFile {
  QString path;
  bool compile = false;  // "-c" came before this file

  friend bool operator==(const CommandLineFile&, const CommandLineFile&) = default;
};

// The items of a comma-text list.
QStringList SplitCommaText(const QString& text);

// The files named by a whole command line, in order. Every occurrence of
// `programPath` (case-sensitive) is removed first; item 0, what is left of
// the program's own name, is never a file; "-c" in any case makes all later
// files compiled.
QList<CommandLineFile> ParseCommandLine(const QString& text, const QString& programPath);

// A command-line text whose items, read back by SplitCommaText, are
// `arguments` again: items that hold separators or quotes, and empty items,
// are quoted.
QString CommandLineFromArguments(const QStringList& arguments);

// This process's whole command line: the text as the system gave it on
// Windows, else built from QCoreApplication::arguments().
QString CurrentCommandLine();

// `arguments` with every file item made absolute against `base`: item 0
// (the program), "-c" in any case, empty and absolute items stay as they are.
QStringList WithAbsolutePaths(const QStringList& arguments, const QDir& base);

// The command line a later start hands to the running program. That one
// works in another folder, so on Linux the file items are made absolute
// here; on Windows it is the text as given.
QString HandOverCommandLine();

// The program path that ParseCommandLine removes for this process.
QString CurrentProgramPath();

}  // namespace marlo::ide
