#include "editor/bos_syn_lexer.h"

#include <QApplication>
#include <QByteArray>
#include <memory>

namespace marlo::ide {

QColor ToQColor(TSynColor color, const QPalette& palette) {
  switch (color.kind) {
    case TSynColor::Kind::SystemWindow:
      return palette.color(QPalette::Base);
    case TSynColor::Kind::SystemWindowText:
      return palette.color(QPalette::Text);
    case TSynColor::Kind::Rgb:
      break;
  }
  return QColor(color.r, color.g, color.b);
}

QVector<editor::THighlighterStyle> SynStyles(TCustomSyn& syn, const QPalette& palette) {
  static const char* const kUnpaintedNames[kBosTokenKindCount] = {
      "comment", "identifier", "reserved word", "end of line", "number",
      "space",   "string",     "symbol",        "directive",   "unknown"};
  QVector<editor::THighlighterStyle> styles(kBosTokenKindCount);
  for (int kind = 0; kind < kBosTokenKindCount; ++kind) {
    editor::THighlighterStyle& style = styles[kind];
    const HighlightAttribute* attribute = syn.AttributeForKind(static_cast<BosTokenKind>(kind));
    if (attribute == nullptr) {
      style.description = QString::fromLatin1(kUnpaintedNames[kind]);
      style.painted = false;
      continue;
    }
    // Unknown characters share the symbol attribute but keep a name of their own.
    style.description = kind == static_cast<int>(BosTokenKind::Unknown) ? QString::fromLatin1(kUnpaintedNames[kind])
                                                                        : QString::fromStdString(attribute->Name());
    style.color = ToQColor(attribute->Foreground(), palette);
    style.paper = ToQColor(attribute->Background(), palette);
    style.bold = (attribute->Style() & fsBold) != 0;
    style.italic = (attribute->Style() & fsItalic) != 0;
    style.underline = (attribute->Style() & fsUnderline) != 0;
    style.strikeOut = (attribute->Style() & fsStrikeOut) != 0;
  }
  return styles;
}

QFont DefaultEditorFont() {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(13);
  return font;
}

editor::THighlighterLexer* NewSynLexer(TCustomSyn& syn, QObject* parent) {
  auto* lexer = new editor::THighlighterLexer(&syn, QByteArray::fromStdString(syn.LanguageName()), parent);
  const QPalette palette = QApplication::palette();
  lexer->setBaseFont(DefaultEditorFont());
  lexer->setForeground(palette.color(QPalette::Text));
  lexer->setBackground(ToQColor(kDefaultEditorBackground, palette));
  lexer->setStyles(SynStyles(syn, palette));
  lexer->setFillerStyle(static_cast<int>(BosTokenKind::Space));
  QByteArray wordChars;
  const std::bitset<256> chars = syn.IdentifierChars();
  for (int c = 1; c < 256; ++c)
    if (chars.test(static_cast<std::size_t>(c))) wordChars.append(static_cast<char>(c));
  lexer->setWordCharacters(wordChars);

  // Whichever of the two goes first, the other must no longer reach it.
  auto onDestroyed = std::make_shared<QMetaObject::Connection>();
  *onDestroyed = QObject::connect(lexer, &QObject::destroyed, [&syn, lexer] { syn.RemoveEditor(lexer); });
  syn.AddEditor(
      lexer,
      [&syn, lexer] {
        lexer->setStyles(SynStyles(syn, QApplication::palette()));
        lexer->restyle();
      },
      [lexer, onDestroyed] {
        QObject::disconnect(*onDestroyed);
        lexer->setHighlighter(nullptr);
      });
  return lexer;
}

}  // namespace marlo::ide
