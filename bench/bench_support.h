#pragma once
// What the benchmarks share: waiting on the event loop, and the percentiles they print.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <vector>

// Runs the event loop until done or ms have passed; it sleeps between events (a tick of 5 ms
// wakes it to look at the clock).
inline bool wait_for(const std::function<bool()>& done, qint64 ms) {
  QElapsedTimer t;
  t.start();
  QTimer tick;
  tick.start(5);
  while (!done() && t.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return done();
}

// The q-quantile (0..1) of sorted, non-empty figures.
inline double quantile(const std::vector<double>& sorted, double q) {
  return sorted[std::min(sorted.size() - 1, size_t(q * sorted.size()))];
}
