#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

// The service manager's notification protocol (sd_notify(3)): datagrams of "KEY=value" lines to the
// AF_UNIX socket named by $NOTIFY_SOCKET (a path, or an abstract name written with a leading '@').
// Without NOTIFY_SOCKET nothing is sent. The watchdog is on when WATCHDOG_USEC holds a positive
// number and WATCHDOG_PID, when set, is this process.
class ServiceNotifier {
 public:
  // Reads the environment once.
  ServiceNotifier();
  ServiceNotifier(const ServiceNotifier&) = delete;
  ServiceNotifier& operator=(const ServiceNotifier&) = delete;

  bool active() const { return !address_.isEmpty(); }
  // The watchdog's period in microseconds, 0 when off.
  qint64 watchdogUsec() const { return watchdogUsec_; }

  // READY=1 with the status line.
  void ready(const QString& status);
  // WATCHDOG=1, at most one in kMinPingMs (ticks caught up in a burst send one).
  void ping();
  // STATUS=..., only when it differs from the last one sent.
  void status(const QString& line);

  static constexpr int kMinPingMs = 500;

 private:
  bool send(const QByteArray& message) const;

  QByteArray address_;  // the socket's name; a leading '@' stands for the abstract namespace
  qint64 watchdogUsec_ = 0;
  QElapsedTimer lastPing_;
  QString status_;
};
