#include "ide/reg_ini_plus.h"

#include <QByteArray>
#include <QVariant>
#include <QtEndian>
#include <algorithm>
#include <bit>
#include <cstdint>

namespace marlo::ide {

namespace {

QString Join(const QString& group, const QString& name) { return group.isEmpty() ? name : group + u'/' + name; }

// The stored spelling of `name` among `names`, or `name` itself when none matches.
QString Matching(const QStringList& names, const QString& name) {
  const auto found = std::find_if(names.begin(), names.end(), [&](const QString& candidate) {
    return candidate.compare(name, Qt::CaseInsensitive) == 0;
  });
  return found != names.end() ? *found : name;
}

[[noreturn]] void InvalidType(const QString& name) {
  throw ERegistryError(QStringLiteral("Invalid data type for '%1'").arg(name).toStdString());
}

#ifdef Q_OS_WIN
constexpr QSettings::Format kUserFormat = QSettings::NativeFormat;  // the registry
#else
constexpr QSettings::Format kUserFormat = QSettings::IniFormat;
#endif

bool IsBinary(const QVariant& value) { return value.typeId() == QMetaType::QByteArray; }

// Only the user's own values count, as in HKEY_CURRENT_USER, and the file is
// written through a temporary file and a rename, never in place.
std::unique_ptr<QSettings> Prepared(std::unique_ptr<QSettings> settings) {
  settings->setFallbacksEnabled(false);
  settings->setAtomicSyncRequired(true);
  return settings;
}

}  // namespace

TRegIniPlus::TRegIniPlus()
    : settings_(Prepared(std::make_unique<QSettings>(kUserFormat, QSettings::UserScope, QStringLiteral("Orvane"),
                                                     QStringLiteral("Marlo")))) {}

TRegIniPlus::TRegIniPlus(const QString& path)
    : settings_(Prepared(std::make_unique<QSettings>(path, QSettings::IniFormat))) {}

TRegIniPlus::~TRegIniPlus() = default;

QString TRegIniPlus::FileName() const { return settings_->fileName(); }

// Sections, like registry keys, are matched ignoring case one level at a time.
QString TRegIniPlus::GroupOf(const QString& section) const {
  QString group;
  for (const QString& part : QString(section).replace(u'\\', u'/').split(u'/', Qt::SkipEmptyParts)) {
    settings_->beginGroup(group);
    const QStringList groups = settings_->childGroups();
    settings_->endGroup();
    group = Join(group, Matching(groups, part));
  }
  return group;
}

QString TRegIniPlus::KeyOf(const QString& section, const QString& name) const {
  const QString group = GroupOf(section);
  settings_->beginGroup(group);
  const QStringList keys = settings_->childKeys();
  settings_->endGroup();
  return Join(group, Matching(keys, name));
}

QVariant TRegIniPlus::Value(const QString& section, const QString& name) const {
  return settings_->value(KeyOf(section, name));
}

void TRegIniPlus::Put(const QString& key, const QVariant& value) {
  Recover();
  settings_->setValue(key, value);
  Flush();
}

// QSettings keeps the first error for the life of the object, so a store that
// once failed starts afresh before the next change: its status then tells
// about that change alone.
void TRegIniPlus::Recover() {
  if (settings_->status() == QSettings::NoError) return;
  const QString path = settings_->fileName();
  const QSettings::Format format = settings_->format();
  settings_.reset();
  settings_ = Prepared(std::make_unique<QSettings>(path, format));
}

void TRegIniPlus::Flush() {
  settings_->sync();
  switch (settings_->status()) {
    case QSettings::NoError:
      return;
    case QSettings::AccessError:
      throw ERegistryError(QStringLiteral("Cannot write the settings to '%1'").arg(FileName()).toStdString());
    case QSettings::FormatError:
      throw ERegistryError(
          QStringLiteral("The settings file '%1' is not in a readable format").arg(FileName()).toStdString());
  }
}

QString TRegIniPlus::ReadString(const QString& section, const QString& name, const QString& def) const {
  const QVariant value = Value(section, name);
  if (!value.isValid()) return def;
  if (IsBinary(value)) InvalidType(name);
  return value.toString();
}

void TRegIniPlus::WriteString(const QString& section, const QString& name, const QString& value) {
  Put(KeyOf(section, name), value);
}

// An INI file gives every number back as text, the registry as a number;
// both convert here.
int TRegIniPlus::ReadInteger(const QString& section, const QString& name, int def) const {
  const QVariant value = Value(section, name);
  if (!value.isValid()) return def;
  if (IsBinary(value)) InvalidType(name);
  bool ok = false;
  const int number = value.typeId() == QMetaType::QString ? value.toString().toInt(&ok, 10) : value.toInt(&ok);
  return ok ? number : def;
}

void TRegIniPlus::WriteInteger(const QString& section, const QString& name, int value) {
  const QString key = KeyOf(section, name);
  if (settings_->value(key).typeId() == QMetaType::QString)
    Put(key, QString::number(value));
  else
    Put(key, value);
}

bool TRegIniPlus::ReadBool(const QString& section, const QString& name, bool def) const {
  return ReadInteger(section, name, def ? 1 : 0) != 0;
}

void TRegIniPlus::WriteBool(const QString& section, const QString& name, bool value) {
  WriteString(section, name, value ? QStringLiteral("1") : QStringLiteral("0"));
}

double TRegIniPlus::ReadFloat(const QString& section, const QString& name, double def) const {
  const QVariant value = Value(section, name);
  if (!value.isValid()) return def;
  const QByteArray bytes = value.toByteArray();
  if (!IsBinary(value) || bytes.size() != sizeof(double)) InvalidType(name);
  return std::bit_cast<double>(qFromLittleEndian<std::uint64_t>(bytes.constData()));
}

void TRegIniPlus::WriteFloat(const QString& section, const QString& name, double value) {
  QByteArray bytes(sizeof(double), '\0');
  qToLittleEndian(std::bit_cast<std::uint64_t>(value), bytes.data());
  Put(KeyOf(section, name), bytes);
}

bool TRegIniPlus::ValueExists(const QString& section, const QString& name) const {
  return settings_->contains(KeyOf(section, name));
}

void TRegIniPlus::DeleteKey(const QString& section, const QString& name) {
  const QString key = KeyOf(section, name);
  if (!settings_->contains(key)) return;
  Recover();
  settings_->remove(key);
  Flush();
}

QStringList TRegIniPlus::ReadSection(const QString& section) const {
  settings_->beginGroup(GroupOf(section));
  const QStringList keys = settings_->childKeys();
  settings_->endGroup();
  return keys;
}

void TRegIniPlus::EraseSection(const QString& section) {
  const QString group = GroupOf(section);
  if (group.isEmpty()) return;  // never the whole store
  Recover();
  settings_->remove(group);
  Flush();
}

}  // namespace marlo::ide
