#pragma once

#include <QString>

#include "platform/private_profile.h"

// The connection to an MQTT broker, section "Mqtt" of Name.ini. Absent (or with an empty Host)
// nothing of it runs.
struct MqttSettings {
  static constexpr int kDefaultPort = 1883;
  static constexpr int kDefaultTlsPort = 8883;  // where the section has no Port and Tls is on
  bool present = false;                         // the section exists
  QString host;
  int port = kDefaultPort;
  QString user;
  QString password;
  bool tls = false;         // TLS, checked against the authority in caFile, or the system's
  QString caFile;           // the certificate (PEM) of an authority of one's own
  QString prefix;           // as stored; empty means "tavrel/<board address>"
  bool discovery = true;    // Home Assistant discovery configs
  QString discoveryPrefix;  // as stored; empty means "homeassistant"
  QString clientId;         // as stored; empty means mqtt_client_id's (mqtt_discovery.h)

  bool enabled() const { return present && !host.isEmpty(); }
  // The topic prefix in use: the stored one without a trailing '/', or the default when none is
  // stored or the stored one cannot be a topic prefix (see validPrefix).
  QString prefixFor(int address) const;
  // Home Assistant's prefix in use, by the same rule ("homeassistant" by default).
  QString discoveryPrefixInUse() const;
  // Whether a prefix (trailing '/'s aside) can be a topic prefix: not empty, no '+', '#' or NUL,
  // no empty level ("a//b", "/a"), at most 200 bytes.
  static bool validPrefix(const QString& prefix);
  // Whether both stored prefixes are empty or valid (the bridge runs only then).
  bool prefixesValid() const;
  bool operator==(const MqttSettings& o) const;
  bool operator!=(const MqttSettings& o) const { return !(*this == o); }
};

// The settings file Name.ini in the application directory, section "Note":
//   "Open" (open the link at start-up), "Run" (start with the session), "Com" (port number),
//   "ID" (board address), "Restore" (restore the timetable's state at every take-over), "Auto"
//   ("0" while a user has paused the timetable) and the route names "01".."16"; section "Mqtt"
//   holds the broker connection (MqttSettings), written as a whole by the broker's dialog.
// Every call reads or writes the file afresh. Readers return at most the key's length in GBK bytes
// (1 for Open/Run/Restore, 2 for Com/ID, 8 for a route name) and never fail: a missing or
// unreadable file or key gives the default ("0", "0", "1", "1", "0", and "未命名" as the user reads
// it, translated). Writers store the
// text as given and return false when the file could not be written (quitting tells that); those
// whose failure is told say why in why, when given.
class SettingsStore {
 public:
  static constexpr int kRouteNameBytes = 8;  // what the name's reader keeps, in GBK bytes

  explicit SettingsStore(const QString& appDir);

  QString path() const { return path_; }

  bool WriteOpen(const QString& value, WriteFailure* why = nullptr) const;
  bool WriteRun(const QString& value, WriteFailure* why = nullptr) const;
  bool WriteCom(const QString& value) const;
  bool WriteID(const QString& value) const;
  bool WriteRestore(const QString& value) const;
  // "Auto": "0" while the timetable is paused by a user, "1" once resumed; missing in files made
  // before, which read as not paused.
  bool WriteAuto(const QString& value) const;
  // Route 1..16's name under its key "01".."16", in the file's own encoding; an empty name removes
  // the key, so the route reads "未命名" again.
  bool WriteRouteName(int route, const QString& name, WriteFailure* why = nullptr) const;
  // Writes the section "Mqtt" as a whole (keys Host, Port, User, Password, Tls, CaFile, Prefix,
  // Discovery, DiscoveryPrefix, ClientId), keeping what the broker bridge remembers there
  // (below). Each value reads back exactly as given: one with blanks around it or in quotes is
  // written in quotes (profile_quoted).
  // With a password the file is made readable by its owner only (mode 0600) before the password
  // is written, so it is never readable by others, not even for a moment.
  bool WriteMqtt(const MqttSettings& s, WriteFailure* why = nullptr) const;
  // What the broker bridge last published under: the topic prefix ("LastPrefix") and the
  // discovery configs' "<discovery prefix>/<device id>" ("LastDevice", empty without discovery).
  // Written only when it changes.
  bool WriteMqttLast(const QString& prefix, const QString& device) const;
  static QString ReadMqttLastPrefix(const ProfileFile& f);
  static QString ReadMqttLastDevice(const ProfileFile& f);
  // While a password is stored, takes read and write rights from group and others (a file copied
  // or edited by hand). Does nothing otherwise.
  void keepPrivate(const MqttSettings& s) const;
  // Whether text survives a write to file f as it is (a GBK file cannot hold every character).
  static bool storable(const ProfileFile& f, const QString& text);

  QString ReadOpen() const { return ReadOpen(load()); }
  QString ReadRun() const { return ReadRun(load()); }
  QString ReadCom() const { return ReadCom(load()); }
  QString ReadID() const { return ReadID(load()); }
  // Route 1..16's key, "01".."16".
  static QString routeKey(int route);
  // key is "01".."16".
  QString ReadRouteName(const QString& key) const { return ReadRouteName(load(), key); }

  // The same readers on a file read once (start-up reads every key from one parse).
  ProfileFile load() const { return ProfileFile::load(path_); }
  QString ReadOpen(const ProfileFile& f) const;
  QString ReadRun(const ProfileFile& f) const;
  QString ReadCom(const ProfileFile& f) const;
  QString ReadID(const ProfileFile& f) const;
  QString ReadRestore(const ProfileFile& f) const;
  QString ReadAuto(const ProfileFile& f) const;
  QString ReadRouteName(const ProfileFile& f, const QString& key) const;
  QString ReadRouteName(const ProfileFile& f, int route) const;  // route 1..16: key "01".."16"
  // Section "Mqtt": missing keys take their defaults; a Port that is missing or not 1..65535 gives
  // 1883, or 8883 with Tls; Tls is on only for "1", Discovery off only for "0".
  static MqttSettings ReadMqtt(const ProfileFile& f);
  // The whole stored text of a key (not cut), or a null string when it is missing.
  static QString stored(const ProfileFile& f, const QString& key);

  // "Open" and "Run" are off only when the text read is exactly "0".
  static bool isOn(const QString& flagText) { return flagText != QLatin1String("0"); }

 private:
  static QString read(const ProfileFile& f, const QString& key, const QString& def, int kept);
  bool write(const QString& key, const QString& value, WriteFailure* why = nullptr) const;

  QString path_;
};
