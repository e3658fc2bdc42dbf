#include "remote/web_settings.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QStringList>
#include <array>

#include "platform/private_profile.h"

namespace {

const QString kSection = QStringLiteral("Web");
const QString kScheme = QStringLiteral("pbkdf2-sha256");
constexpr int kValueBytes = 1024;
constexpr int kSaltBytes = 16;
constexpr int kKeyBytes = 32;

QString read(const ProfileFile& f, const char* key) {
  return f.read(kSection, QLatin1String(key), QString(), kValueBytes).trimmed();
}

QByteArray derive(const QString& password, const QByteArray& salt, int rounds) {
  return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt,
                                            rounds, kKeyBytes);
}

}  // namespace

WebSettings WebSettings::read(const ProfileFile& names) {
  WebSettings s;
  bool ok = false;
  const uint port = ::read(names, "Port").toUInt(&ok);
  s.port = ok && port <= 65535 ? static_cast<quint16>(port) : 0;
  const QString address = ::read(names, "Address");
  if (!address.isEmpty()) s.address = address;
  s.certFile = ::read(names, "CertFile");
  s.keyFile = ::read(names, "KeyFile");
  s.passwordHash = ::read(names, "PasswordHash");
  return s;
}

QString web_password_hash(const QString& password, int rounds) {
  std::array<quint32, kSaltBytes / 4> words{};
  QRandomGenerator::system()->fillRange(words.data(), words.size());
  const QByteArray salt(reinterpret_cast<const char*>(words.data()), kSaltBytes);
  return QStringList{kScheme, QString::number(rounds), QString::fromLatin1(salt.toBase64()),
                     QString::fromLatin1(derive(password, salt, rounds).toBase64())}
      .join(QLatin1Char('$'));
}

bool web_password_matches(const QString& stored, const QString& password) {
  const QStringList parts = stored.split(QLatin1Char('$'));
  if (parts.size() != 4 || parts[0] != kScheme) return false;
  bool ok = false;
  const int rounds = parts[1].toInt(&ok);
  if (!ok || rounds < 1000 || rounds > 10000000) return false;
  const auto decode = [](const QString& text, int bytes) {
    const auto r =
        QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    return r && r.decoded.size() == bytes ? r.decoded : QByteArray();
  };
  const QByteArray salt = decode(parts[2], kSaltBytes);
  const QByteArray key = decode(parts[3], kKeyBytes);
  if (salt.isEmpty() || key.isEmpty()) return false;
  const QByteArray given = derive(password, salt, rounds);
  int differ = 0;
  for (int i = 0; i < kKeyBytes; ++i) differ |= given[i] ^ key[i];
  return differ == 0;
}

bool write_web_password(const QString& path, const QString& stored, WriteFailure* why) {
  return profile_owner_only(path, why) &&
         profile_write(path, kSection, QStringLiteral("PasswordHash"), stored, why);
}
