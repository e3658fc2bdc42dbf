#include "core/due_moments.h"

#include <QList>
#include <algorithm>

#include "core/scheduler.h"

namespace {

// The local moments that read as date d, time t, in ascending order: none when a spring change
// skips t that day, two when an autumn change repeats it.
QList<QDateTime> local_moments(const QDate& d, const QTime& t) {
  QList<QDateTime> out;
  const qint64 wall = QDateTime(d, t, Qt::UTC).toSecsSinceEpoch();
  // Most days no change is near (changes lie months apart): the same offset a day before and a
  // day after gives the one moment at once.
  const int before = QDateTime::fromSecsSinceEpoch(wall - 86400).offsetFromUtc();
  if (before == QDateTime::fromSecsSinceEpoch(wall + 86400).offsetFromUtc()) {
    out << QDateTime::fromSecsSinceEpoch(wall - before);
    return out;
  }
  // The offsets in force from a day before to a day after cover any change on that day.
  QList<int> offsets;
  for (qint64 probe = wall - 86400; probe <= wall + 86400; probe += 21600) {
    const int o = QDateTime::fromSecsSinceEpoch(probe).offsetFromUtc();
    if (!offsets.contains(o)) offsets << o;
  }
  for (int o : offsets) {
    const QDateTime m = QDateTime::fromSecsSinceEpoch(wall - o);
    if (m.date() == d && m.time() == t && !out.contains(m)) out << m;
  }
  std::sort(out.begin(), out.end());
  return out;
}

bool can_fall_due(const Clsdata& e) { return entry_can_fall_due(e); }

QTime time_of(const Clsdata& e) { return QTime(e.nStartHour, e.nStartMin, e.nStartSecond); }

// The days to look at, nearest first: back (step -1) or ahead (step 1) from `from`.
QList<QDate> days_to_look_at(const Clsdata& e, const QDate& from, int step) {
  QList<QDate> days;
  if (e.bIsEveryDay || e.bIsWeek) {
    for (int k = 0; k <= kDueLookDays; ++k) days << from.addDays(step * k);
  } else {
    const QDate fixed(e.nStartYear, e.nStartMonth, e.nStartDay);
    if (fixed.isValid() && (step < 0 ? fixed <= from : fixed >= from)) days << fixed;
  }
  return days;
}

}  // namespace

std::optional<QDateTime> last_due_moment(const Clsdata& e, const QDateTime& at) {
  if (!can_fall_due(e)) return std::nullopt;
  const QTime t = time_of(e);
  const qint64 limit = at.toSecsSinceEpoch();
  for (const QDate& d : days_to_look_at(e, at.date(), -1)) {
    if (!entry_is_due(e, d, t)) continue;
    const QList<QDateTime> moments = local_moments(d, t);
    for (auto it = moments.rbegin(); it != moments.rend(); ++it)
      if (it->toSecsSinceEpoch() <= limit) return *it;
  }
  return std::nullopt;
}

std::optional<QDateTime> next_due_moment(const Clsdata& e, const QDateTime& at) {
  if (!can_fall_due(e)) return std::nullopt;
  const QTime t = time_of(e);
  const qint64 limit = at.toSecsSinceEpoch();
  for (const QDate& d : days_to_look_at(e, at.date(), 1)) {
    if (!entry_is_due(e, d, t)) continue;
    for (const QDateTime& m : local_moments(d, t))
      if (m.toSecsSinceEpoch() > limit) return m;
  }
  return std::nullopt;
}

namespace {

// The route's entry whose moment is best by `better` (ties to the later entry in collection order).
template <typename MomentOf, typename Better>
std::optional<RouteSwitch> route_switch(const EntryCollection& colData, int route,
                                        MomentOf momentOf, Better better) {
  std::optional<RouteSwitch> best;
  for (const auto& it : colData) {
    if (it.entry->nRoute != route) continue;
    const std::optional<QDateTime> m = momentOf(*it.entry);
    if (!m) continue;
    if (!best || !better(best->at, *m)) best = RouteSwitch{*m, it.entry->bIsOpen, it.key};
  }
  return best;
}

}  // namespace

std::optional<RouteSwitch> last_route_switch(const EntryCollection& colData, int route,
                                             const QDateTime& at) {
  return route_switch(
      colData, route, [&](const Clsdata& e) { return last_due_moment(e, at); },
      [](const QDateTime& kept, const QDateTime& other) { return kept > other; });
}

std::optional<RouteSwitch> next_route_switch(const EntryCollection& colData, int route,
                                             const QDateTime& at) {
  return route_switch(
      colData, route, [&](const Clsdata& e) { return next_due_moment(e, at); },
      [](const QDateTime& kept, const QDateTime& other) { return kept < other; });
}
