#pragma once

#include <QString>

#include "platform/private_profile.h"

// The settings file Name.ini in the application directory, section "Note":
//   "Open" (open the link at start-up), "Run" (start with the session), "Com" (port number),
//   "ID" (board address), "Restore" (restore the timetable's state at every take-over) and the
//   route names "01".."16" (edited by hand only).
// Every call reads or writes the file afresh. Readers return at most the key's length in GBK bytes
// (1 for Open/Run/Restore, 2 for Com/ID, 8 for a route name) and never fail: a missing or
// unreadable file or key gives the default ("0", "0", "1", "1", "0", "未命名"). Writers store the
// text as given and return false when the file could not be written (quitting tells that).
class SettingsStore {
 public:
  explicit SettingsStore(const QString& appDir);

  QString path() const { return path_; }

  bool WriteOpen(const QString& value) const;
  bool WriteRun(const QString& value) const;
  bool WriteCom(const QString& value) const;
  bool WriteID(const QString& value) const;
  bool WriteRestore(const QString& value) const;

  QString ReadOpen() const { return ReadOpen(load()); }
  QString ReadRun() const { return ReadRun(load()); }
  QString ReadCom() const { return ReadCom(load()); }
  QString ReadID() const { return ReadID(load()); }
  // key is "01".."16".
  QString ReadRouteName(const QString& key) const { return ReadRouteName(load(), key); }

  // The same readers on a file read once (start-up reads every key from one parse).
  ProfileFile load() const { return ProfileFile::load(path_); }
  QString ReadOpen(const ProfileFile& f) const;
  QString ReadRun(const ProfileFile& f) const;
  QString ReadCom(const ProfileFile& f) const;
  QString ReadID(const ProfileFile& f) const;
  QString ReadRestore(const ProfileFile& f) const;
  QString ReadRouteName(const ProfileFile& f, const QString& key) const;
  // The whole stored text of a key (not cut), or a null string when it is missing.
  static QString stored(const ProfileFile& f, const QString& key);

  // "Open" and "Run" are off only when the text read is exactly "0".
  static bool isOn(const QString& flagText) { return flagText != QLatin1String("0"); }

 private:
  static QString read(const ProfileFile& f, const QString& key, const QString& def, int kept);
  bool write(const QString& key, const QString& value) const;

  QString path_;
};
