#include "station/settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include "platform/code_page.h"
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

bool SettingsStore::write(const QString& key, const QString& value, WriteFailure* why) const {
  return profile_write(path_, kSection, key, value, why);
}

bool SettingsStore::WriteOpen(const QString& value, WriteFailure* why) const {
  return write(QStringLiteral("Open"), value, why);
}
bool SettingsStore::WriteRun(const QString& value, WriteFailure* why) const {
  return write(QStringLiteral("Run"), value, why);
}

bool SettingsStore::WriteAuto(const QString& value) const {
  return write(QStringLiteral("Auto"), value);
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

QString SettingsStore::ReadAuto(const ProfileFile& f) const {
  return read(f, QStringLiteral("Auto"), QStringLiteral("1"), 1);
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
QString SettingsStore::routeKey(int route) {
  return QStringLiteral("%1").arg(route, 2, 10, QLatin1Char('0'));
}

QString SettingsStore::ReadRouteName(const ProfileFile& f, int route) const {
  return ReadRouteName(f, routeKey(route));
}

bool SettingsStore::WriteRouteName(int route, const QString& name, WriteFailure* why) const {
  if (name.isEmpty()) return profile_remove(path_, kSection, routeKey(route), why);
  return write(routeKey(route), name, why);
}

QString SettingsStore::ReadRouteName(const ProfileFile& f, const QString& key) const {
  return read(f, key, QCoreApplication::translate("SettingsStore", "未命名"), kRouteNameBytes);
}

QString SettingsStore::stored(const ProfileFile& f, const QString& key) {
  const QString missing = QStringLiteral("\x01missing");
  const QString v = f.read(kSection, key, missing, 64);
  return v == missing ? QString() : v;
}

namespace {
const QString kMqttSection = QStringLiteral("Mqtt");
const QString kLastPrefix = QStringLiteral("LastPrefix");
const QString kLastDevice = QStringLiteral("LastDevice");
constexpr int kMqttValueBytes = 1024;  // longer values are cut, as any profile value is
}  // namespace

namespace {
QString without_trailing_slashes(QString p) {
  while (p.endsWith(QLatin1Char('/'))) p.chop(1);
  return p;
}
}  // namespace

bool MqttSettings::validPrefix(const QString& prefix) {
  const QString p = without_trailing_slashes(prefix);
  return !p.isEmpty() && !p.contains(QLatin1Char('+')) && !p.contains(QLatin1Char('#')) &&
         !p.contains(QChar(0)) && !p.startsWith(QLatin1Char('/')) &&
         !p.contains(QStringLiteral("//")) && p.toUtf8().size() <= 200;
}

bool MqttSettings::prefixesValid() const {
  return (prefix.isEmpty() || validPrefix(prefix)) &&
         (discoveryPrefix.isEmpty() || validPrefix(discoveryPrefix));
}

QString MqttSettings::prefixFor(int address) const {
  return validPrefix(prefix) ? without_trailing_slashes(prefix)
                             : QStringLiteral("tavrel/%1").arg(address);
}

QString MqttSettings::discoveryPrefixInUse() const {
  return validPrefix(discoveryPrefix) ? without_trailing_slashes(discoveryPrefix)
                                      : QStringLiteral("homeassistant");
}

bool MqttSettings::operator==(const MqttSettings& o) const {
  return present == o.present && host == o.host && port == o.port && user == o.user &&
         password == o.password && tls == o.tls && caFile == o.caFile && prefix == o.prefix &&
         discovery == o.discovery && discoveryPrefix == o.discoveryPrefix && clientId == o.clientId;
}

MqttSettings SettingsStore::ReadMqtt(const ProfileFile& f) {
  const QString missing = QStringLiteral("\x01missing");
  auto value = [&](const char* key, const QString& def) {
    const QString v = f.read(kMqttSection, QLatin1String(key), missing, kMqttValueBytes);
    return v == missing ? def : v;
  };
  MqttSettings s;
  // The section counts as present when any of its keys is there.
  for (const char* key : {"Host", "Port", "User", "Password", "Tls", "CaFile", "Prefix",
                          "Discovery", "DiscoveryPrefix", "ClientId"})
    if (value(key, missing) != missing) s.present = true;
  s.host = value("Host", QString()).trimmed();
  s.user = value("User", QString());
  s.password = value("Password", QString());
  s.tls = value("Tls", QStringLiteral("0")).trimmed() == QLatin1String("1");
  s.caFile = value("CaFile", QString()).trimmed();
  bool ok = false;
  const int port = value("Port", QString()).trimmed().toInt(&ok);
  s.port = ok && port >= 1 && port <= 65535
               ? port
               : (s.tls ? MqttSettings::kDefaultTlsPort : MqttSettings::kDefaultPort);
  s.prefix = value("Prefix", QString()).trimmed();
  s.discovery = value("Discovery", QStringLiteral("1")).trimmed() != QLatin1String("0");
  s.discoveryPrefix = value("DiscoveryPrefix", QString()).trimmed();
  s.clientId = value("ClientId", QString()).trimmed();
  return s;
}

bool SettingsStore::WriteMqtt(const MqttSettings& s, WriteFailure* why) const {
  if (!s.password.isEmpty() && !profile_owner_only(path_, why)) return false;
  ProfileFile::Pairs pairs{
      {QStringLiteral("Host"), profile_quoted(s.host)},
      {QStringLiteral("Port"), QString::number(s.port)},
      {QStringLiteral("User"), profile_quoted(s.user)},
      {QStringLiteral("Password"), profile_quoted(s.password)},
      {QStringLiteral("Tls"), s.tls ? QStringLiteral("1") : QStringLiteral("0")},
      {QStringLiteral("CaFile"), profile_quoted(s.caFile)},
      {QStringLiteral("Prefix"), profile_quoted(s.prefix)},
      {QStringLiteral("Discovery"), s.discovery ? QStringLiteral("1") : QStringLiteral("0")},
      {QStringLiteral("DiscoveryPrefix"), profile_quoted(s.discoveryPrefix)}};
  if (!s.clientId.isEmpty()) pairs.append({QStringLiteral("ClientId"), profile_quoted(s.clientId)});
  const ProfileFile f = load();
  for (const QString& key : {kLastPrefix, kLastDevice}) {
    const QString v = f.read(kMqttSection, key, QString(), kMqttValueBytes);
    if (!v.isEmpty()) pairs.append({key, v});
  }
  return profile_write_section(path_, kMqttSection, pairs, why);
}

bool SettingsStore::WriteMqttLast(const QString& prefix, const QString& device) const {
  const ProfileFile f = load();
  if (ReadMqttLastPrefix(f) == prefix && ReadMqttLastDevice(f) == device) return true;
  return profile_write(path_, kMqttSection, kLastPrefix, prefix) &&
         profile_write(path_, kMqttSection, kLastDevice, device);
}

QString SettingsStore::ReadMqttLastPrefix(const ProfileFile& f) {
  return f.read(kMqttSection, kLastPrefix, QString(), kMqttValueBytes);
}

QString SettingsStore::ReadMqttLastDevice(const ProfileFile& f) {
  return f.read(kMqttSection, kLastDevice, QString(), kMqttValueBytes);
}

bool SettingsStore::storable(const ProfileFile& f, const QString& text) {
  // A line end would end the value's line.
  return !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')) &&
         decode_text(encode_text(text, f.isUtf8()), f.isUtf8()) == text;
}

void SettingsStore::keepPrivate(const MqttSettings& s) const {
  if (!s.password.isEmpty() && QFile::exists(path_)) profile_owner_only(path_);
}
