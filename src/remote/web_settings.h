#pragma once

#include <QMetaType>
#include <QString>
#include <QtGlobal>

#include "platform/atomic_file.h"

class ProfileFile;

// The page's server as Name.ini's section "Web" sets it:
//   Port          the TCP port; absent or 0: no server;
//   Address       where it listens, 127.0.0.1 unless the user chose another;
//   CertFile, KeyFile   both given: HTTPS with that certificate (PEM) and key (PEM);
//   PasswordHash  the one password's salted slow hash (web_password_hash); none: no server.
struct WebSettings {
  quint16 port = 0;
  QString address = QStringLiteral("127.0.0.1");
  QString certFile;
  QString keyFile;
  QString passwordHash;

  bool enabled() const { return port != 0; }
  // The same server (the password's hash aside: each login reads it afresh).
  bool sameServer(const WebSettings& o) const {
    return port == o.port && address == o.address && certFile == o.certFile &&
           keyFile == o.keyFile && passwordHash.isEmpty() == o.passwordHash.isEmpty();
  }
  bool tls() const { return !certFile.isEmpty() && !keyFile.isEmpty(); }
  // A port that is not a number in 1..65535 reads as 0 (off).
  static WebSettings read(const ProfileFile& names);
};

// PBKDF2-HMAC-SHA256 with a random 16-byte salt and kWebHashRounds rounds, stored as
// "pbkdf2-sha256$<rounds>$<salt, base64>$<32-byte key, base64>". Slow on purpose: about a tenth
// of a second on a PC; never call it on the station's thread.
constexpr int kWebHashRounds = 120000;
QString web_password_hash(const QString& password, int rounds = kWebHashRounds);
// Whether password gives stored. A stored text of another form, with fewer than 1,000 or more
// than 10,000,000 rounds, or with a bad salt or key never matches. Compares in constant time.
bool web_password_matches(const QString& stored, const QString& password);
// Writes "PasswordHash" into section "Web" of the Name.ini at path, the file made readable by its
// owner only first.
bool write_web_password(const QString& path, const QString& stored, WriteFailure* why = nullptr);

Q_DECLARE_METATYPE(WebSettings)
