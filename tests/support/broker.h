#pragma once

#include <pwd.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

// A real Mosquitto broker on a free loopback port, with one user in a password file
// (user "tavrel", password "s3cret pass"), no anonymous access and no persistence. It runs as the
// test's own user (as root it would otherwise switch to the user "mosquitto", who cannot read the
// test's folder).
class Broker {
 public:
  static constexpr const char* kUser = "tavrel";
  static constexpr const char* kPassword = "s3cret pass";

  // With tls, the listener speaks TLS with a certificate for "localhost" (not for 127.0.0.1) from
  // a certificate authority of its own, caFile() (openssl makes them), out of date with expired.
  // With acl, that is the ACL file's content.
  explicit Broker(bool tls = false, bool expired = false, const QByteArray& acl = {})
      : tls_(tls), acl_(acl) {
    addUser(QString::fromLatin1(kUser), QString::fromLatin1(kPassword), true);
    if (tls) makeCertificates(expired);
    choosePort();
  }
  // Another user in the password file (before start()).
  void addUser(const QString& user, const QString& password, bool first = false) {
    QStringList args{QStringLiteral("-b"), dir_.filePath("passwd"), user, password};
    if (first) args.prepend(QStringLiteral("-c"));
    QProcess::execute(QStringLiteral("mosquitto_passwd"), args);
  }
  ~Broker() { stop(); }

  quint16 port() const { return port_; }
  QString caFile() const { return dir_.filePath("ca.crt"); }

  // Starts the broker and waits until it listens. The first start moves to another free port
  // while the chosen one turns out to be taken (tests run side by side); a restart keeps its port.
  bool start() {
    for (int tries = port_ == started_ ? 1 : 5; tries > 0; --tries) {
      if (startOnce()) return started_ = port_, true;
      if (port_ != started_) choosePort();
    }
    return false;
  }
  // Kills the broker at once (no goodbye to anyone).
  void stop() {
    if (proc_.state() == QProcess::NotRunning) return;
    proc_.kill();
    proc_.waitForFinished(3000);
  }
  // What the broker logged so far.
  QString log() const {
    QFile f(dir_.filePath("broker.log"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
  }

 private:
  void choosePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    port_ = probe.serverPort();
    probe.close();
    QFile conf(dir_.filePath("mosquitto.conf"));
    if (conf.open(QIODevice::WriteOnly))
      conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous false\npassword_file %2\n"
                                "persistence false\nlog_dest file %3\nlog_type all\nuser %4\n")
                     .arg(port_)
                     .arg(dir_.filePath("passwd"), dir_.filePath("broker.log"),
                          QString::fromLocal8Bit(::getpwuid(::getuid())->pw_name))
                     .toUtf8());
    QFile acl(dir_.filePath("acl"));
    if (!acl_.isEmpty() && acl.open(QIODevice::WriteOnly) && acl.write(acl_) > 0)
      conf.write("acl_file " + QFile::encodeName(acl.fileName()) + '\n');
    if (tls_)
      conf.write(QStringLiteral("cafile %1\ncertfile %2\nkeyfile %3\n")
                     .arg(caFile(), dir_.filePath("server.crt"), dir_.filePath("server.key"))
                     .toUtf8());
  }

  void makeCertificates(bool expired) {
    const auto openssl = [&](const QString& args) {
      QProcess p;
      p.setWorkingDirectory(dir_.path());
      p.start(QStringLiteral("openssl"), QProcess::splitCommand(args));
      p.waitForFinished(30000);
    };
    openssl(
        QStringLiteral("req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 2 "
                       "-subj /CN=TestCA"));
    openssl(
        QStringLiteral("req -newkey rsa:2048 -nodes -keyout server.key -out server.csr "
                       "-subj /CN=localhost"));
    QFile ext(dir_.filePath("ext.cnf"));
    if (ext.open(QIODevice::WriteOnly)) ext.write("subjectAltName=DNS:localhost\n");
    ext.close();
    openssl(QStringLiteral("x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial "
                           "-out server.crt -days %1 -extfile ext.cnf")
                .arg(expired ? 0 : 2));  // 0: out of date a second later
  }

  bool startOnce() {
    QFile::remove(dir_.filePath("broker.log"));
    QString program = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (program.isEmpty()) program = QStringLiteral("/usr/sbin/mosquitto");  // not on a user's PATH
    proc_.start(program, {QStringLiteral("-c"), dir_.filePath("mosquitto.conf")});
    if (!proc_.waitForStarted(3000)) return false;
    // It logs "running" once its listener is bound; a taken port ends it instead.
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5000 && proc_.state() == QProcess::Running) {
      if (log().contains(QStringLiteral(" running"))) return true;
      QThread::msleep(10);
    }
    stop();
    return false;
  }

  bool tls_ = false;
  QByteArray acl_;
  QTemporaryDir dir_;
  quint16 port_ = 0;
  quint16 started_ = 0;  // the port it last ran on
  QProcess proc_;
};

// mosquitto_sub on every topic: each line "r topic payload" (r 1 for a retained message).
class Subscriber {
 public:
  Subscriber(quint16 port, const QStringList& topics) {
    QStringList args{QStringLiteral("-h"), QStringLiteral("127.0.0.1"),
                     QStringLiteral("-p"), QString::number(port),
                     QStringLiteral("-u"), QString::fromLatin1(Broker::kUser),
                     QStringLiteral("-P"), QString::fromLatin1(Broker::kPassword),
                     QStringLiteral("-F"), QStringLiteral("%r %t %p")};
    for (const QString& t : topics) args << QStringLiteral("-t") << t;
    proc_.start(QStringLiteral("mosquitto_sub"), args);
    proc_.waitForStarted(3000);
  }
  ~Subscriber() {
    proc_.kill();
    proc_.waitForFinished(3000);
  }
  // Every line received so far.
  QStringList lines() {
    out_ += proc_.readAllStandardOutput();
    return QString::fromUtf8(out_).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  }
  // The payloads of the messages on topic, in order.
  QStringList payloads(const QString& topic) {
    QStringList out;
    for (const QString& line : lines())
      if (line.mid(2, topic.size() + 1) == topic + QLatin1Char(' '))
        out << line.mid(2 + topic.size() + 1);
    return out;
  }
  // The payload of the last message on topic, or a null string.
  QString last(const QString& topic) {
    const QStringList all = payloads(topic);
    return all.isEmpty() ? QString() : all.last();
  }

 private:
  QProcess proc_;
  QByteArray out_;
};

// One mosquitto_pub (not retained unless asked), waited for; with perLine, each line of the
// payload is a message of its own (all sent at once).
inline void publish_once(quint16 port, const QString& topic, const QByteArray& payload,
                         bool retain = false, const QString& caFile = {}, bool perLine = false) {
  QStringList args{QStringLiteral("-h"),
                   caFile.isEmpty() ? QStringLiteral("127.0.0.1") : QStringLiteral("localhost"),
                   QStringLiteral("-p"),
                   QString::number(port),
                   QStringLiteral("-u"),
                   QString::fromLatin1(Broker::kUser),
                   QStringLiteral("-P"),
                   QString::fromLatin1(Broker::kPassword),
                   QStringLiteral("-t"),
                   topic,
                   perLine ? QStringLiteral("-l") : QStringLiteral("-s")};
  if (retain) args << QStringLiteral("-r");
  if (!caFile.isEmpty()) args << QStringLiteral("--cafile") << caFile;
  QProcess p;
  p.start(QStringLiteral("mosquitto_pub"), args);
  p.write(payload);
  p.closeWriteChannel();
  // The event loop runs meanwhile, as it would for the program.
  (void)QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 5000);
}
