#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

// A bare pseudo-terminal for tests that play the board's side byte by byte: the program's port
// opens `link`, the test writes and reads the master side directly.
class RawPty {
 public:
  explicit RawPty(const QString& link) : link_(link) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    grantpt(master_);
    unlockpt(master_);
    char name[128];
    ptsname_r(master_, name, sizeof name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY);
    termios t{};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
    QDir().mkpath(QFileInfo(link).absolutePath());
    QFile::link(QString::fromLocal8Bit(name), link);
  }
  ~RawPty() { close(); }
  void close() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    master_ = slave_ = -1;
    QFile::remove(link_);
  }
  void write(const QByteArray& b) {
    [[maybe_unused]] ssize_t n = ::write(master_, b.constData(), static_cast<size_t>(b.size()));
  }
  // Everything the program has sent since the last take().
  QByteArray received() {
    char buf[256];
    ssize_t n;
    while ((n = ::read(master_, buf, sizeof buf)) > 0) received_.append(buf, static_cast<int>(n));
    return received_;
  }
  void take() { received_.clear(); }

 private:
  QString link_;
  QByteArray received_;
  int master_ = -1;
  int slave_ = -1;
};
