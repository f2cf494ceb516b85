// Associating *.bos files with the program, so that the desktop's file
// manager offers to open them in it and to compile them ("-c").
//
// Linux and other XDG desktops: a shared-mime-info type text/x-bos and a
// desktop entry marlo.desktop with a "Compile" action, both in the user's
// data folder ($XDG_DATA_HOME). Windows: the file type "QX Bosfile" with the
// verbs Open and Compile under the user's classes, or, when ".bos" already
// belongs to another type, the verbs "Open with Marlo" and "Compile with
// Marlo" added to that type.
#pragma once

#include <QString>

namespace marlo::ide {

// Associates *.bos with the program at `programPath`. Returns an empty
// string on success, else what went wrong.
QString AssociateFiles(const QString& programPath);

#ifdef Q_OS_WIN
// Sets, under the user's classes, the verb `verb` of `fileType` (shown as
// given; its key has blanks replaced by "_") to run `command`.
void RegisterShellVerb(const QString& fileType, const QString& verb, const QString& command);
#else
// The quoting of one argument of a desktop entry's Exec key, as written to
// the file.
QString DesktopExecArgument(const QString& argument);
#endif

}  // namespace marlo::ide
