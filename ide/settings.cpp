#include "ide/settings.h"

#include <QFontInfo>

namespace marlo::ide {

namespace {

const QString kSection = QString::fromLatin1(settings::kSection);

}  // namespace

QString Read(const TRegIniPlus& store, const Setting<const char*>& setting) {
  return store.ReadString(kSection, QString::fromUtf8(setting.name), QString::fromUtf8(setting.def));
}
int Read(const TRegIniPlus& store, const Setting<int>& setting) {
  return store.ReadInteger(kSection, QString::fromUtf8(setting.name), setting.def);
}
bool Read(const TRegIniPlus& store, const Setting<bool>& setting) {
  return store.ReadBool(kSection, QString::fromUtf8(setting.name), setting.def);
}
double Read(const TRegIniPlus& store, const Setting<double>& setting) {
  return store.ReadFloat(kSection, QString::fromUtf8(setting.name), setting.def);
}

void Write(TRegIniPlus& store, const Setting<const char*>& setting, const QString& value) {
  store.WriteString(kSection, QString::fromUtf8(setting.name), value);
}
void Write(TRegIniPlus& store, const Setting<int>& setting, int value) {
  store.WriteInteger(kSection, QString::fromUtf8(setting.name), value);
}
void Write(TRegIniPlus& store, const Setting<bool>& setting, bool value) {
  store.WriteBool(kSection, QString::fromUtf8(setting.name), value);
}
void Write(TRegIniPlus& store, const Setting<double>& setting, double value) {
  store.WriteFloat(kSection, QString::fromUtf8(setting.name), value);
}

CompileSettings ReadCompileSettings(const TRegIniPlus& store) {
  using namespace settings;
  return CompileSettings{
      .angular = Read(store, kAngular),
      .linear = Read(store, kLinear),
      .recurse = Read(store, kRecurse),
      .outputDir = Read(store, kOutputDir),
      .includeDirs = Read(store, kIncludeDirs),
      .definesCaseSensitive = Read(store, kDefinesCaseSensitive),
      .viewAssembly = Read(store, kViewAssembly),
      .autoSave = Read(store, kAutoSave),
      .extended = Read(store, kExtended),
  };
}

int ReadTabWidth(const TRegIniPlus& store) { return Read(store, settings::kTabWidth); }
int ReadEditorTabWidth(const TRegIniPlus& store) { return Read(store, settings::kEditorTabWidth); }
bool ReadOptimalFill(const TRegIniPlus& store) { return Read(store, settings::kOptimalFill); }
bool ReadAutoindent(const TRegIniPlus& store) { return Read(store, settings::kAutoindent); }
bool ReadBackspaceUnindents(const TRegIniPlus& store) { return Read(store, settings::kBackspaceUnindents); }
bool ReadAutoindentIgnoresEmptyLines(const TRegIniPlus& store) {
  return Read(store, settings::kAutoindentIgnoresEmptyLines);
}
QString ReadWorkingDir(const TRegIniPlus& store) { return Read(store, settings::kWorkingDir); }
void WriteWorkingDir(TRegIniPlus& store, const QString& dir) { Write(store, settings::kWorkingDir, dir); }

QColor ColorFromBgr(int bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

int BgrFromColor(const QColor& color) { return color.red() | color.green() << 8 | color.blue() << 16; }

void LoadEditorFont(const TRegIniPlus& store, QFont& font, QColor& textColor) {
  textColor = ColorFromBgr(Read(store, settings::kFontColor));
  // A size of 0 or less cannot be a point size; the font keeps its own.
  if (const int size = Read(store, settings::kFontSize); size > 0) font.setPointSize(size);
  font.setFamily(Read(store, settings::kFontName));
}

void SaveEditorFont(TRegIniPlus& store, const QFont& font, const QColor& textColor) {
  Write(store, settings::kFontColor, BgrFromColor(textColor));
  // A font sized in pixels has no point size of its own; store what it shows as.
  Write(store, settings::kFontSize, font.pointSize() > 0 ? font.pointSize() : QFontInfo(font).pointSize());
  Write(store, settings::kFontName, font.family());
}

QColor EditColor(const TRegIniPlus& store) { return ColorFromBgr(Read(store, settings::kEditColor)); }

void StoreEditColor(TRegIniPlus& store, const QColor& color) {
  Write(store, settings::kEditColor, BgrFromColor(color));
}

}  // namespace marlo::ide
