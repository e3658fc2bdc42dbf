#pragma once

#include <QDateTime>
#include <QList>
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

// An entry that fell due, by its route and its key in the collection.
struct DueEntry {
  int route = 0;
  QString key;
  bool operator==(const DueEntry& o) const { return route == o.route && key == o.key; }
};
using DueEntries = QList<DueEntry>;

// One scheduler check for one reading of the local clock: every entry of colData due in that
// second writes its action into due[nRoute] (2 energise, 1 release), in collection order, so
// the later of two entries of a route wins. On the days the clock changes, the second is read by
// LocalOffsets' rule: the first second after a spring change also fires the entries whose times
// the change skipped (in the order of their times, before those of the second itself), and the
// second pass of an hour an autumn change repeats fires nothing. Entries whose route lies outside
// 1..16 are skipped. Writes nothing else. Returns the number of entries that fired. When
// `decided` is given, its index r receives the key of the entry that wrote route r last; when
// `each` is given, every entry that fired is appended to it, in firing order.
int scheduler_check(const EntryCollection& colData, const QDateTime& now, RouteStateTable& due,
                    std::array<QString, 17>* decided = nullptr, DueEntries* each = nullptr);

// The entries with a due reading after the wall reading `after` and before `before` (wall seconds,
// see local_offsets.h), as the clock's zone reads at `now`, one each however often it fell due,
// in collection order. An every-day or weekly entry is found however long the stretch.
DueEntries entries_due_between(const EntryCollection& colData, const QDateTime& now, qint64 after,
                               qint64 before);

// Timer1: runs the scheduler check once a second while enabled, into a table of its own: after a
// tick that fired, due() holds each decided route's action (0 for a route nothing decided) and
// decided() the deciding entries' keys; the switch path takes them from there.
//
// Ticks are aligned just after each second boundary (a precise single-shot timer re-armed by every
// tick), so a due entry is written early in its second. Each second is checked at most once. A
// tick that finds seconds since the previous tick that no tick covered checks them too, oldest
// first, when they lie at most kMaxCatchUpSeconds back; a larger jump forward (suspend, clock set
// ahead) checks the current second only. While paused() is true nothing fires and the seconds
// pass unchecked for good: the entries that fell due in them are told instead (missed()).
// Enabling (again) starts with the current second, never with seconds before it.
//
// The clock set back (an NTP correction, by hand) fires nothing a second time: a wall reading
// handled within the last kHoldSecs before the step is passed over when the clock shows it
// again, as the second pass of an autumn hour is. A change of the local zone while running (the
// zone database, /etc/localtime, TZ) moves the wall clock without moving the moment; it counts
// as a step of the wall clock by the change (forward or back) and is handled as one.
// The changes of the zone's own rules (summer time) are no steps.
class SchedulerTimer : public QObject {
  Q_OBJECT
 public:
  static constexpr int kMaxCatchUpSeconds = 60;
  static constexpr int kAlignMs = 5;  // a tick lands this long after the second boundary
  static constexpr qint64 kHoldSecs = 3600;

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
  // For the last missed(): the entries that fell due in the paused seconds (and in a jump's).
  const DueEntries& missedEntries() const { return missed_; }
  // For the last jumped() forward: the entries due in the seconds it skipped.
  const DueEntries& skippedEntries() const { return skipped_; }

 signals:
  // After each tick that fired at least one entry (see due() and decided()).
  void fired(int count);
  // After a tick that found the clock further ahead than the catch-up reaches (and not paused):
  // skipped is the number of seconds between the last second checked and this one, none of which
  // was checked (see skippedEntries()). After a tick that found the clock set back (paused or
  // not): skipped is the step, negative (-300 for a clock set back by five minutes).
  void jumped(qint64 skipped);
  // After a paused tick in whose seconds entries fell due (see missedEntries()).
  void missed();
  // At the end of every tick, whatever it found: the timetable's pulse (a service manager's
  // watchdog follows it).
  void ticked();

 private:
  void arm();
  // Whether a wall reading was handled before the clock was set back (see above).
  bool held(qint64 wall) const;

  const EntryCollection& colData_;
  RouteStateTable due_{};
  std::function<bool()> paused_;
  Clock clock_;
  QTimer timer_;
  bool enabled_ = false;
  bool haveLast_ = false;
  qint64 lastSecond_ = 0;  // seconds since the epoch of the last second checked (or passed)
  int lastOffset_ = 0;     // the zone's offset from UTC at lastSecond_, as read then
  bool haveWall_ = false;
  qint64 highWall_ = 0;  // the latest wall reading handled (wall seconds, see local_offsets.h)
  qint64 holdTo_ = 0;    // while holding_: readings up to this one were handled already
  bool holding_ = false;
  DueEntries missed_;
  DueEntries skipped_;
  std::array<QString, 17> decided_;
};
