#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

// At most one run per interval: the first request runs at once and opens an interval; requests
// during it are gathered into one run when it is over, which opens the next interval.
class Throttle : public QObject {
  Q_OBJECT
 public:
  Throttle(int intervalMs, std::function<void()> run, QObject* parent = nullptr);

  void request();
  // Forgets a gathered run and ends the interval.
  void reset();

 private:
  void onTimeout();

  QTimer timer_;
  std::function<void()> run_;
  bool gathered_ = false;
};
