// Find, Replace and Replace All run on a source editor: the matching rules
// of search_text.h applied to the editor's text, the found text selected,
// and the program's boxes for "not found" and for the Replace All question.
#pragma once

#include <QString>

#include "ide/search_text.h"

class QsciScintilla;
class QWidget;

namespace marlo::ide {

// Find Next: searches from the editor's selection; selects the occurrence
// found and gives the editor the focus, or shows "Search string not found"
// over `parent`. Returns the position of the match (from 1), or 0.
qsizetype SearchEditor(QsciScintilla& editor, QWidget* parent, const QString& s, const TSearchOptions& options);

// Replace: searches as Find Next does and replaces the occurrence found by
// `r` as one undo step. So with S already selected the next occurrence is
// the one replaced. The caret is left on the side of the replacement where
// the search goes on. False when nothing was found.
bool ReplaceInEditor(QsciScintilla& editor, QWidget* parent, const QString& s, const QString& r,
                     const TSearchOptions& options);

// Replace All: asks "Replace this ocurrance of S with R?" (Yes, No, Cancel,
// Yes to All) for every occurrence until Yes to All, and ends with "Search
// string not found" unless cancelled. All its replacements undo as one step.
// Returns how many occurrences were replaced.
int ReplaceAllInEditor(QsciScintilla& editor, QWidget* parent, const QString& s, const QString& r,
                       const TSearchOptions& options);

}  // namespace marlo::ide
