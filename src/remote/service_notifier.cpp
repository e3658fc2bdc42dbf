#include "remote/service_notifier.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

ServiceNotifier::ServiceNotifier() {
  address_ = qgetenv("NOTIFY_SOCKET");
  if (address_.size() < 2 || (address_[0] != '/' && address_[0] != '@')) address_.clear();
  bool ok = false;
  const qint64 usec = qEnvironmentVariable("WATCHDOG_USEC").toLongLong(&ok);
  const QByteArray pid = qgetenv("WATCHDOG_PID");
  const bool ours = pid.isEmpty() || pid.toLongLong() == static_cast<qint64>(::getpid());
  watchdogUsec_ = active() && ok && usec > 0 && ours ? usec : 0;
}

bool ServiceNotifier::send(const QByteArray& message) const {
  sockaddr_un sa{};
  if (!active() || static_cast<size_t>(address_.size()) >= sizeof sa.sun_path) return false;
  sa.sun_family = AF_UNIX;
  std::memcpy(sa.sun_path, address_.constData(), static_cast<size_t>(address_.size()));
  if (sa.sun_path[0] == '@') sa.sun_path[0] = '\0';
  const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) +
                                                  static_cast<size_t>(address_.size()));
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  const ssize_t n = ::sendto(fd, message.constData(), static_cast<size_t>(message.size()),
                             MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sa), length);
  ::close(fd);
  return n == message.size();
}

void ServiceNotifier::ready(const QString& line) {
  status_ = line;
  send("READY=1\nSTATUS=" + line.toUtf8());
}

void ServiceNotifier::ping() {
  if (watchdogUsec_ <= 0) return;
  if (lastPing_.isValid() && lastPing_.elapsed() < kMinPingMs) return;
  lastPing_.start();
  send(QByteArrayLiteral("WATCHDOG=1"));
}

void ServiceNotifier::status(const QString& line) {
  if (line == status_) return;
  status_ = line;
  send("STATUS=" + line.toUtf8());
}
