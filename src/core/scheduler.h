#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <array>
#include <functional>

#include "core/clock.h"
#include "core/entry_collection.h"
#include "core/route_state.h"

// Whether entry falls due at the local date and time `at` (to the second): its time of day must
// match; then an every-day entry is due, a weekly entry when its strWeek marks the weekday
// (position 1 Monday .. 7 Sunday), a fixed-date entry on its date only.
bool entry_is_due(const Clsdata& entry, const QDate& date, const QTime& time);

// One scheduler check for one reading of the local clock: every entry of colData due in that
// second writes its action into due[nRoute] (2 energise, 1 release), in collection order, so
// the later of two entries of a route wins. On the days the clock changes, the second is read by
// LocalOffsets' rule: the first second after a spring change also fires the entries whose times
// the change skipped (in the order of their times, before those of the second itself), and the
// second pass of an hour an autumn change repeats fires nothing. Entries whose route lies outside
// 1..16 are skipped. Writes nothing else. Returns the number of entries that fired. When
// `decided` is given, its index r receives the key of the entry that wrote route r last.
int scheduler_check(const EntryCollection& colData, const QDateTime& now, RouteStateTable& due,
                    std::array<QString, 17>* decided = nullptr);

// Timer1: runs the scheduler check once a second while enabled, into a table of its own: after a
// tick that fired, due() holds each decided route's action (0 for a route nothing decided) and
// decided() the deciding entries' keys; the switch path takes them from there.
//
// Ticks are aligned just after each second boundary (a precise single-shot timer re-armed by every
// tick), so a due entry is written early in its second. Each second is checked at most once. A
// tick that finds seconds since the previous tick that no tick covered checks them too, oldest
// first, when they lie at most kMaxCatchUpSeconds back; a larger jump forward (suspend, clock set
// ahead) or any jump backward checks the current second only. While paused() is true nothing
// fires and the seconds pass unchecked for good. Enabling (again) starts with the current second,
// never with seconds before it.
class SchedulerTimer : public QObject {
  Q_OBJECT
 public:
  static constexpr int kMaxCatchUpSeconds = 60;
  static constexpr int kAlignMs = 5;  // a tick lands this long after the second boundary

  // colData must outlive the timer. clock defaults to the PC's local clock.
  SchedulerTimer(const EntryCollection& colData, std::function<bool()> paused, Clock clock = {},
                 QObject* parent = nullptr);

  void setEnabled(bool on);
  bool isEnabled() const { return enabled_; }

  // One tick, as the timer runs it (public so tests drive time themselves).
  void Timer1_Timer();

  // Milliseconds from now to the next tick: just past the next second boundary.
  static int msUntilNextTick(const QDateTime& now);

  // For the last tick that fired: index r the action (2 energise, 1 release) decided for route r,
  // or 0, and the key of the entry that decided it, or empty.
  const RouteStateTable& due() const { return due_; }
  const std::array<QString, 17>& decided() const { return decided_; }

 signals:
  // After each tick that fired at least one entry (see due() and decided()).
  void fired(int count);
  // After a tick that found the clock further ahead than the catch-up reaches (and not paused):
  // skipped is the number of seconds between the last second checked and this one, none of which
  // was checked.
  void jumped(qint64 skipped);

 private:
  void arm();

  const EntryCollection& colData_;
  RouteStateTable due_{};
  std::function<bool()> paused_;
  Clock clock_;
  QTimer timer_;
  bool enabled_ = false;
  bool haveLast_ = false;
  qint64 lastSecond_ = 0;  // seconds since the epoch of the last second checked (or passed)
  std::array<QString, 17> decided_;
};
