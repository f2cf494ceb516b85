// The user's settings: every value of the section "Marlo" with the default
// of each place that reads it. Nothing is cached; each command reads what it
// needs when it runs, so a change takes effect at the next command.
//
// One name may appear twice below with different defaults (or spellings):
// the compile and the Compiler Settings dialog, for example, disagree on the
// default of "Angular", and a never-stored value is offered by the dialog with
// the dialog's default. Names are matched ignoring case, so "Tab width" and
// "tab width" are one value.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <array>

#include "ide/reg_ini_plus.h"

namespace marlo::ide {

template <typename T>
struct Setting {
  const char* name;
  T def;
};

namespace settings {

inline constexpr char kSection[] = "Marlo";

#ifdef Q_OS_WIN
inline constexpr char kCurrentDir[] = ".\\";
#else
inline constexpr char kCurrentDir[] = "./";
#endif

// Preprocess and compile.
inline constexpr Setting<double> kAngular{"Angular", 182.04444444};
inline constexpr Setting<double> kLinear{"Linear", 163840.0};
inline constexpr Setting<int> kRecurse{"recurse", 200};
inline constexpr Setting<const char*> kOutputDir{"output dir", kCurrentDir};
inline constexpr Setting<const char*> kIncludeDirs{"Include dirs", ""};
inline constexpr Setting<bool> kDefinesCaseSensitive{"Case sensitive #defines", true};
inline constexpr Setting<bool> kAutoSave{"Auto save source on compile", true};
inline constexpr Setting<bool> kViewAssembly{"View Assembly", false};
// Off by default: the classic language is what older scripts were written for.
inline constexpr Setting<bool> kExtended{"Extended syntax", false};

// Load and save.
inline constexpr Setting<int> kTabWidth{"tab width", 4};
inline constexpr Setting<bool> kOptimalFill{"optimal fill", true};

// The source editor.
inline constexpr Setting<int> kEditorTabWidth{"Tab width", 4};
inline constexpr Setting<bool> kAutoindent{"Autoindent", true};
inline constexpr Setting<bool> kBackspaceUnindents{"backspace unindents", true};
inline constexpr Setting<bool> kAutoindentIgnoresEmptyLines{"Autoindent ignores empty lines", true};
inline constexpr Setting<int> kFontColor{"font color", 0x00FFFF};  // yellow
inline constexpr Setting<int> kFontSize{"font size", 11};
inline constexpr Setting<const char*> kFontName{"font name", "Courier New"};
inline constexpr Setting<int> kEditColor{"edit color", 0x800000};  // navy

// Help > Check for update and Contact Author. The built-in addresses are
// placeholders under the reserved .example domain until the product has
// its own; a user or a test points them elsewhere.
inline constexpr Setting<const char*> kProductPage{"Product Page", "http://www.orvane.example/marlo/marlo.html"};
inline constexpr Setting<const char*> kProxyHost{"Proxy Host", ""};
inline constexpr Setting<int> kProxyPort{"Proxy Port", 80};
inline constexpr Setting<const char*> kAuthorEMail{"Author EMail", "marlo-feedback@orvane.example"};
inline constexpr Setting<int> kSmtpPort{"SMTP Port", 25};
inline constexpr Setting<int> kSmtpTimeOut{"SMTP TimeOut", 2000};
inline constexpr Setting<const char*> kSmtpUserID{"SMTP UserID", ""};

// File > Open: the folder the dialog starts in.
inline constexpr Setting<const char*> kWorkingDir{"Working dir", ""};

// The Compiler Settings dialog, in the order its "&Ok" stores them.
inline constexpr Setting<double> kDialogAngular{"Angular", 182.0};
inline constexpr Setting<double> kDialogLinear{"Linear", 163840.0};
inline constexpr Setting<int> kDialogRecurse{"Recurse", 200};
inline constexpr Setting<const char*> kDialogOutputDir{"output dir", kCurrentDir};
inline constexpr Setting<const char*> kDialogIncludeDirs{"Include dirs", kCurrentDir};
inline constexpr Setting<int> kDialogTabWidth{"tab width", 4};
// The check list: each item's caption is its value name.
inline constexpr std::array<Setting<bool>, 8> kDialogChecks{{
    {"Case sensitive #defines", true},
    {"Auto save source on compile", true},
    {"Autoindent", true},
    {"Backspace unindents", true},
    {"Autoindent ignores empty lines", true},
    {"Optimal fill", true},
    {"View Assembly", true},
    {"Extended syntax", false},
}};

}  // namespace settings

// Typed access to one setting of the section "Marlo".
QString Read(const TRegIniPlus& store, const Setting<const char*>& setting);
int Read(const TRegIniPlus& store, const Setting<int>& setting);
bool Read(const TRegIniPlus& store, const Setting<bool>& setting);
double Read(const TRegIniPlus& store, const Setting<double>& setting);
void Write(TRegIniPlus& store, const Setting<const char*>& setting, const QString& value);
void Write(TRegIniPlus& store, const Setting<int>& setting, int value);
void Write(TRegIniPlus& store, const Setting<bool>& setting, bool value);
void Write(TRegIniPlus& store, const Setting<double>& setting, double value);

// What a preprocess or compile run reads (the compile defaults).
struct CompileSettings {
  double angular;
  double linear;
  int recurse;
  QString outputDir;
  QString includeDirs;  // ";"-separated
  bool definesCaseSensitive;
  bool viewAssembly;
  bool autoSave;
  bool extended;
};
// Throws ERegistryError when "Angular" or "Linear" is not an 8-byte float.
CompileSettings ReadCompileSettings(const TRegIniPlus& store);

// Load and save: tab expansion and optimal fill.
int ReadTabWidth(const TRegIniPlus& store);
bool ReadOptimalFill(const TRegIniPlus& store);

// The source editor.
int ReadEditorTabWidth(const TRegIniPlus& store);
bool ReadAutoindent(const TRegIniPlus& store);
bool ReadBackspaceUnindents(const TRegIniPlus& store);
bool ReadAutoindentIgnoresEmptyLines(const TRegIniPlus& store);

QString ReadWorkingDir(const TRegIniPlus& store);
void WriteWorkingDir(TRegIniPlus& store, const QString& dir);

// Colours are stored as integers 0x00BBGGRR.
QColor ColorFromBgr(int bgr);
int BgrFromColor(const QColor& color);

// The source editor's font: "font color", "font size" (points) and "font name".
void LoadEditorFont(const TRegIniPlus& store, QFont& font, QColor& textColor);
// Writes "font color", "font size" and "font name", in that order.
void SaveEditorFont(TRegIniPlus& store, const QFont& font, const QColor& textColor);
// The source editor's background, "edit color".
QColor EditColor(const TRegIniPlus& store);
void StoreEditColor(TRegIniPlus& store, const QColor& color);

}  // namespace marlo::ide
