// TRegIniPlus: the program's settings store, an ini-style view (section,
// value name, default) over QSettings: the registry on Windows, an INI file
// elsewhere. Value names are matched without regard to case on every
// platform, as registry names are. Types follow the registry's rules:
// integers are numbers unless a string value of that name already exists,
// Booleans are the strings "0" and "1", and a float is an 8-byte binary
// value (the IEEE 754 double, least significant byte first); reading a
// float from a value of another type or size raises ERegistryError
// "Invalid data type for '<name>'".
//
// A section may name a subsection after a backslash ("Marlo\MRU Items").
//
// Every write is flushed at once, and one that cannot be stored raises
// ERegistryError. QSettings writes the file through a temporary file and a
// rename, so a crash never leaves it half written.
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <stdexcept>

namespace marlo::ide {

class ERegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TRegIniPlus {
 public:
  // The user's store: organisation "Orvane", application "Marlo".
  TRegIniPlus();
  // A store in the INI file `path` (tests, portable use).
  explicit TRegIniPlus(const QString& path);
  ~TRegIniPlus();
  TRegIniPlus(const TRegIniPlus&) = delete;
  TRegIniPlus& operator=(const TRegIniPlus&) = delete;

  QString ReadString(const QString& section, const QString& name, const QString& def) const;
  void WriteString(const QString& section, const QString& name, const QString& value);
  int ReadInteger(const QString& section, const QString& name, int def) const;
  void WriteInteger(const QString& section, const QString& name, int value);
  bool ReadBool(const QString& section, const QString& name, bool def) const;
  void WriteBool(const QString& section, const QString& name, bool value);
  // Throws ERegistryError when the value exists with another type or size.
  double ReadFloat(const QString& section, const QString& name, double def) const;
  void WriteFloat(const QString& section, const QString& name, double value);

  bool ValueExists(const QString& section, const QString& name) const;
  void DeleteKey(const QString& section, const QString& name);
  // Value names of a section, in the store's order.
  QStringList ReadSection(const QString& section) const;
  // Removes a section with all its values and subsections.
  void EraseSection(const QString& section);

  // Where the store lives (a file path, or the registry path on Windows).
  QString FileName() const;

 private:
  // The stored group for `section`, each level matched ignoring case.
  QString GroupOf(const QString& section) const;
  // The stored key for `name` in `section`: an existing name that matches
  // ignoring case, else section/name as given.
  QString KeyOf(const QString& section, const QString& name) const;
  QVariant Value(const QString& section, const QString& name) const;
  // Sets `key` and flushes; throws ERegistryError when the store cannot be written.
  void Put(const QString& key, const QVariant& value);
  void Recover();
  void Flush();

  std::unique_ptr<QSettings> settings_;
};

}  // namespace marlo::ide
