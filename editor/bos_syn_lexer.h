// The glue between the source window's highlighters and its editors: a
// QScintilla lexer that scans through a TBosSyn or TGeneralSyn and paints
// each token kind with that highlighter's attribute colours and styles.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QVector>

#include "editor/highlighter_lexer.h"
#include "syntax/custom_syn.h"

class QObject;

namespace marlo::ide {

QColor ToQColor(TSynColor color, const QPalette& palette);

// One style per token kind, style number = kind value; the Null kind and
// kinds the highlighter has no attribute for are left unpainted.
QVector<editor::THighlighterStyle> SynStyles(TCustomSyn& syn, const QPalette& palette);

// The font and background the editors of a source window start with.
QFont DefaultEditorFont();
inline constexpr TSynColor kDefaultEditorBackground = syn_colors::kNavy;

// A lexer that styles its editor through `syn`, with the default editor
// font and background (change them with setBaseFont and setBackground).
// Several lexers may share one highlighter. A change of any of syn's
// attributes or properties restyles every such lexer; once syn is gone its
// lexers style nothing.
editor::THighlighterLexer* NewSynLexer(TCustomSyn& syn, QObject* parent = nullptr);

}  // namespace marlo::ide
