#include "remote/throttle.h"

Throttle::Throttle(int intervalMs, std::function<void()> run, QObject* parent)
    : QObject(parent), run_(std::move(run)) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);  // never a little early, as a coarse timer may be
  timer_.setInterval(intervalMs);
  connect(&timer_, &QTimer::timeout, this, &Throttle::onTimeout);
}

void Throttle::request() {
  if (timer_.isActive()) {
    gathered_ = true;
    return;
  }
  timer_.start();
  run_();
}

void Throttle::reset() {
  timer_.stop();
  gathered_ = false;
}

void Throttle::onTimeout() {
  if (!gathered_) return;
  gathered_ = false;
  timer_.start();
  run_();
}
