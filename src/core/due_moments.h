#pragma once

#include <QDateTime>
#include <optional>

#include "core/entry_collection.h"
#include "core/local_offsets.h"
#include "core/route_state.h"

// When entries fall due, in the PC's local time, exactly as the scheduler check fires them: on
// the days its recurrence names, at the moment its time of day falls due by LocalOffsets' rule (a
// time the spring change skips at the first second after the change, a time the autumn change
// repeats once, at its first occurrence).

// How far back and ahead every-day and weekly entries are looked at. A fixed date counts however
// far it lies.
constexpr int kDueLookDays = 8;

// The moment (seconds since the epoch) at which entry falls due on local date d, or nullopt when
// it does not fall due that day. offsets must hold d (LocalOffsets::holdsDay). An entry whose
// route lies outside 1..16 or whose time of day is impossible never falls due.
std::optional<qint64> due_on(const Clsdata& entry, const QDate& d, const LocalOffsets& offsets);

// The latest moment not after `at` at which entry falls due, or nullopt when there is none: an
// every-day or weekly entry looks back kDueLookDays days at most, a fixed-date entry looks at its
// date.
std::optional<QDateTime> last_due_moment(const Clsdata& entry, const QDateTime& at);

// The earliest moment after `at` (to the second) at which entry falls due, or nullopt: an every-day
// or weekly entry looks kDueLookDays days ahead at most.
std::optional<QDateTime> next_due_moment(const Clsdata& entry, const QDateTime& at);

// A route's switch at one moment: what the scheduler leaves in nState when that second is checked.
// Among entries due in the same second the one with the later time of day wins (only the first
// second after a spring change holds several), then the later one in collection order.
struct RouteSwitch {
  QDateTime at;
  bool energise = false;
  QString key;  // the deciding entry's collection key
};

// The most recent switch of route (1..16) at or before `at`, or nullopt when none of its entries
// has fallen due within the look-back.
std::optional<RouteSwitch> last_route_switch(const EntryCollection& colData, int route,
                                             const QDateTime& at);

// The next switch of route (1..16) after `at`, or nullopt.
std::optional<RouteSwitch> next_route_switch(const EntryCollection& colData, int route,
                                             const QDateTime& at);

// What the timetable wants of every route at `at`: index r the action of route r's most recent
// switch (kEnergise or kRelease), kNoRequest where it has none within the look-back. When keys is
// given, its index r receives the key of the entry that decided route r, or empty.
RouteStateTable last_route_states(const EntryCollection& colData, const QDateTime& at,
                                  std::array<QString, kRouteCount + 1>* keys = nullptr);
