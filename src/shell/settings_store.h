#pragma once

#include <QString>

// The settings file Name.ini in the application directory, section "Note":
//   "Open" (open the link at start-up), "Run" (start with the session), "Com" (port number),
//   "ID" (board address) and the route names "01".."16" (edited by hand only).
// Every call reads or writes the file afresh. Readers return at most the key's length in GBK bytes
// (1 for Open/Run, 2 for Com/ID, 8 for a route name) and never fail: a missing or unreadable file
// or key gives the default ("0", "0", "1", "1", "未命名"). Writers store the text as given and
// return false when the file could not be written; callers may ignore that.
class SettingsStore {
 public:
  explicit SettingsStore(const QString& appDir);

  QString path() const { return path_; }

  bool WriteOpen(const QString& value) const;
  bool WriteRun(const QString& value) const;
  bool WriteCom(const QString& value) const;
  bool WriteID(const QString& value) const;

  QString ReadOpen() const;
  QString ReadRun() const;
  QString ReadCom() const;
  QString ReadID() const;
  // key is "01".."16".
  QString ReadRouteName(const QString& key) const;

  // "Open" and "Run" are off only when the text read is exactly "0".
  static bool isOn(const QString& flagText) { return flagText != QLatin1String("0"); }

 private:
  QString read(const QString& key, const QString& def, int kept) const;
  bool write(const QString& key, const QString& value) const;

  QString path_;
};
