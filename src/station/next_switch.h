#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <array>
#include <functional>
#include <optional>

#include "core/clock.h"
#include "core/due_moments.h"
#include "core/entry_collection.h"

// The next switch of every route, for the window's line and the broker's next topics. Worked out
// again after the entries changed (invalidate(); the next read works them out, and changed()
// follows from the event loop, once however many changes came together), and checked once a
// second against the clock: worked out again only when a moment named has passed, the clock went
// back, or an hour has gone by.
class NextSwitch : public QObject {
  Q_OBJECT
 public:
  static constexpr int kCheckMs = 1000;
  static constexpr int kRecheckSecs = 3600;

  // colData must outlive the service.
  NextSwitch(const EntryCollection& colData, Clock clock, QObject* parent = nullptr);

  // Route 1..16's next switch, or none (also for a route outside the table).
  std::optional<RouteSwitch> next(int route) const;

  // The entries changed.
  void invalidate();
  // The clock's check (the timer runs it once a second).
  void check();

 signals:
  // After any route's next switch changed.
  void changed();

 private:
  void work(const QDateTime& now) const;

  const EntryCollection& colData_;
  Clock clock_;
  QTimer timer_;
  mutable bool valid_ = false;
  mutable std::array<std::optional<RouteSwitch>, 17> next_;
  mutable QDateTime earliest_;  // the earliest moment named, invalid for none
  mutable QDateTime worked_;    // when they were last worked out
  bool announcing_ = false;     // changed() is on its way
};
