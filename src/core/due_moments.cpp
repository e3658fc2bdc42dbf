#include "core/due_moments.h"

#include "core/scheduler.h"

namespace {

bool can_fall_due(const Clsdata& e) { return entry_can_fall_due(e); }

int secs_of_day(const Clsdata& e) {
  return e.nStartHour * 3600 + e.nStartMin * 60 + e.nStartSecond;
}

// A moment an entry falls due, with the reading it stands for (which orders the entries that
// fall due in the same second).
struct Due {
  qint64 at;
  qint64 wall;
};

// Offsets near `at`: every day the look-back and look-ahead can touch.
LocalOffsets offsets_near(qint64 at) {
  return LocalOffsets(at - (kDueLookDays + 3) * kDaySecs, at + (kDueLookDays + 3) * kDaySecs);
}

// The entry's moment on day d, with offsets near or, for a day they do not hold, of its own.
std::optional<Due> due_day(const Clsdata& e, const QDate& d, const LocalOffsets& near) {
  const std::optional<qint64> at =
      near.holdsDay(d) ? due_on(e, d, near) : due_on(e, d, LocalOffsets::around(d));
  if (!at) return std::nullopt;
  return Due{*at, wall_seconds(d, secs_of_day(e))};
}

// The entry's latest moment not after `at` (back) or earliest after it (ahead). Moments grow with
// the day, so the nearest day that has one decides.
std::optional<Due> due_near(const Clsdata& e, qint64 at, const LocalOffsets& near, bool back) {
  if (!can_fall_due(e)) return std::nullopt;
  const auto fits = [&](const Due& m) { return back ? m.at <= at : m.at > at; };
  if (recurrence(e) == Recurrence::Date) {
    const QDate fixed(e.nStartYear, e.nStartMonth, e.nStartDay);
    const std::optional<Due> m = due_day(e, fixed, near);
    return m && fits(*m) ? m : std::nullopt;
  }
  // From a day beyond the reading's own: a change near midnight can move a moment across it.
  const QDate today = wall_date(at + near.offsetAt(at));
  const int step = back ? -1 : 1;
  for (int k = -1; k <= kDueLookDays; ++k) {
    const std::optional<Due> m = due_day(e, today.addDays(step * k), near);
    if (m && fits(*m)) return m;
  }
  return std::nullopt;
}

std::optional<QDateTime> as_moment(const std::optional<Due>& m) {
  if (!m) return std::nullopt;
  return QDateTime::fromSecsSinceEpoch(m->at);
}

// The route's switch nearest `at` (back or ahead): the nearest moment; at that moment the later
// reading, then the later entry in collection order, decides.
std::optional<RouteSwitch> route_switch(const EntryCollection& colData, int route,
                                        const QDateTime& when, bool back) {
  const qint64 at = when.toSecsSinceEpoch();
  const LocalOffsets near = offsets_near(at);
  std::optional<Due> best;
  std::optional<RouteSwitch> out;
  for (const auto& it : colData) {
    if (it.entry->nRoute != route) continue;
    const std::optional<Due> m = due_near(*it.entry, at, near, back);
    if (!m) continue;
    const bool nearer = best && (back ? m->at > best->at : m->at < best->at);
    if (!best || nearer || (m->at == best->at && m->wall >= best->wall)) {
      best = m;
      out = RouteSwitch{QDateTime::fromSecsSinceEpoch(m->at), it.entry->bIsOpen, it.key};
    }
  }
  return out;
}

}  // namespace

std::optional<qint64> due_on(const Clsdata& e, const QDate& d, const LocalOffsets& offsets) {
  const std::optional<QTime> due = due_time_on(e, d);
  if (!due) return std::nullopt;
  return offsets.dueAt(wall_seconds(d, due->msecsSinceStartOfDay() / 1000));
}

std::optional<QDateTime> last_due_moment(const Clsdata& e, const QDateTime& at) {
  const qint64 s = at.toSecsSinceEpoch();
  return as_moment(due_near(e, s, offsets_near(s), true));
}

std::optional<QDateTime> next_due_moment(const Clsdata& e, const QDateTime& at) {
  const qint64 s = at.toSecsSinceEpoch();
  return as_moment(due_near(e, s, offsets_near(s), false));
}

std::optional<RouteSwitch> last_route_switch(const EntryCollection& colData, int route,
                                             const QDateTime& at) {
  return route_switch(colData, route, at, true);
}

std::optional<RouteSwitch> next_route_switch(const EntryCollection& colData, int route,
                                             const QDateTime& at) {
  return route_switch(colData, route, at, false);
}

RouteStateTable last_route_states(const EntryCollection& colData, const QDateTime& at,
                                  std::array<QString, kRouteCount + 1>* keys) {
  RouteStateTable states{};
  for (int r = 1; r <= kRouteCount; ++r) {
    const std::optional<RouteSwitch> last = last_route_switch(colData, r, at);
    if (last) states[static_cast<size_t>(r)] = last->energise ? kEnergise : kRelease;
    if (keys) (*keys)[static_cast<size_t>(r)] = last ? last->key : QString();
  }
  return states;
}
