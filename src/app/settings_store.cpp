#include "app/settings_store.h"

#include <QDir>

#include "platform/private_profile.h"

namespace {
const QString kSection = QStringLiteral("Note");
}

SettingsStore::SettingsStore(const QString& appDir)
    : path_(QDir(appDir).filePath(QStringLiteral("Name.ini"))) {}

QString SettingsStore::read(const ProfileFile& f, const QString& key, const QString& def,
                            int kept) {
  // The buffer holds the kept bytes and a terminator; the text ends at the first NUL.
  QString v = f.read(kSection, key, def, kept + 1);
  const qsizetype nul = v.indexOf(QChar(0));
  return nul < 0 ? v : v.left(nul);
}

bool SettingsStore::write(const QString& key, const QString& value) const {
  return profile_write(path_, kSection, key, value);
}

bool SettingsStore::WriteOpen(const QString& value) const {
  return write(QStringLiteral("Open"), value);
}
bool SettingsStore::WriteRun(const QString& value) const {
  return write(QStringLiteral("Run"), value);
}

bool SettingsStore::WriteRestore(const QString& value) const {
  return write(QStringLiteral("Restore"), value);
}
bool SettingsStore::WriteCom(const QString& value) const {
  return write(QStringLiteral("Com"), value);
}
bool SettingsStore::WriteID(const QString& value) const {
  return write(QStringLiteral("ID"), value);
}

QString SettingsStore::ReadOpen(const ProfileFile& f) const {
  return read(f, QStringLiteral("Open"), QStringLiteral("0"), 1);
}
QString SettingsStore::ReadRun(const ProfileFile& f) const {
  return read(f, QStringLiteral("Run"), QStringLiteral("0"), 1);
}

QString SettingsStore::ReadRestore(const ProfileFile& f) const {
  return read(f, QStringLiteral("Restore"), QStringLiteral("0"), 1);
}
QString SettingsStore::ReadCom(const ProfileFile& f) const {
  return read(f, QStringLiteral("Com"), QStringLiteral("1"), 2);
}
QString SettingsStore::ReadID(const ProfileFile& f) const {
  return read(f, QStringLiteral("ID"), QStringLiteral("1"), 2);
}
QString SettingsStore::ReadRouteName(const ProfileFile& f, const QString& key) const {
  return read(f, key, QStringLiteral("未命名"), 8);
}

QString SettingsStore::stored(const ProfileFile& f, const QString& key) {
  const QString missing = QStringLiteral("\x01missing");
  const QString v = f.read(kSection, key, missing, 64);
  return v == missing ? QString() : v;
}
