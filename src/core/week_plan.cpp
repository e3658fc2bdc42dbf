#include "core/week_plan.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/due_moments.h"
#include "core/local_offsets.h"

namespace {

// One entry falling due in the span.
struct Due {
  qint64 at;    // seconds since the epoch
  qint64 wall;  // the reading it stands for
  int index;    // in the collection
};

PlanState state_of(quint8 s) {
  return s == kEnergise ? PlanState::Energised
                        : (s == kRelease ? PlanState::Released : PlanState::Unknown);
}

// The route's periods from its due moments (sorted), and the ties among them.
void plan_route(const EntryCollection& colData, const std::vector<Due>& due, PlanState start,
                const QString& startKey, qint64 from, qint64 to, RoutePlan& out) {
  out.periods.append({from, to, start, startKey});
  for (size_t i = 0; i < due.size();) {
    // The entries due in this second, in the order they act.
    size_t end = i;
    while (end < due.size() && due[end].at == due[i].at) ++end;
    for (size_t j = i; j < end;) {
      size_t same = j;  // a tie: the same reading
      bool differ = false;
      while (same < end && due[same].wall == due[j].wall) {
        differ = differ || colData.at(due[same].index).entry->bIsOpen !=
                               colData.at(due[j].index).entry->bIsOpen;
        ++same;
      }
      if (differ) {
        PlanConflict c{PlanConflict::Tie, due[j].at * 1000, {}};
        for (size_t k = j; k < same; ++k) c.keys << colData.at(due[k].index).key;
        out.conflicts << c;
      }
      j = same;
    }
    const EntryCollection::Item& decider = colData.at(due[end - 1].index);
    const PlanState now = decider.entry->bIsOpen ? PlanState::Energised : PlanState::Released;
    PlanPeriod& current = out.periods.last();
    if (now != current.state) {
      if (current.from == due[i].at * 1000)  // began this very second (the span's first)
        out.periods.removeLast();
      else
        current.to = due[i].at * 1000;
      out.periods.append({due[i].at * 1000, to, now, decider.key});
    }
    i = end;
  }
}

}  // namespace

WeekPlan week_plan(const EntryCollection& colData, qint64 fromMs, qint64 toMs,
                   const RouteStateTable& start, qint64 nowMs,
                   const std::array<QString, kRouteCount + 1>* startKeys) {
  WeekPlan plan;
  plan.from = fromMs;
  plan.to = std::max(fromMs, toMs);
  const qint64 from = fromMs / 1000, to = plan.to / 1000, now = nowMs / 1000;
  // The zone's offsets once for the span and a day on each side; then each day's date.
  const LocalOffsets offsets(from - 2 * kDaySecs, to + 2 * kDaySecs);
  QList<QDate> days;
  for (QDate d = wall_date(from + offsets.offsetAt(from)).addDays(-1);
       d <= wall_date(to + offsets.offsetAt(to)).addDays(1); d = d.addDays(1))
    days << d;
  const qint64 nowWall = now + offsets.offsetAt(now);

  std::array<std::vector<Due>, kRouteCount + 1> due;
  std::array<bool, kRouteCount + 1> hasEntries{};
  for (int i = 0; i < colData.count(); ++i) {
    const auto& [key, entry] = colData.at(i);
    const Clsdata& e = *entry;
    if (!entry_can_fall_due(e)) continue;  // marked invalid in the list; never planned
    hasEntries[static_cast<size_t>(e.nRoute)] = true;
    const qint64 secs = e.nStartHour * 3600 + e.nStartMin * 60 + e.nStartSecond;
    auto& route = due[static_cast<size_t>(e.nRoute)];
    if (recurrence(e) == Recurrence::Date) {
      // A fixed date: only its own day, and whether it has passed (by its reading where the
      // offsets do not hold its day: it lies days away from now then).
      const QDate d(e.nStartYear, e.nStartMonth, e.nStartDay);
      const qint64 wall = wall_seconds(d, static_cast<int>(secs));
      const bool held = offsets.holdsDay(d);
      const std::optional<qint64> moment =
          held ? due_on(e, d, offsets) : std::optional<qint64>(wall - offsets.offsetAt(now));
      if (!moment) continue;
      const qint64 at = *moment;
      if (held ? at < now : wall < nowWall)
        plan.routes[static_cast<size_t>(e.nRoute)].conflicts
            << PlanConflict{PlanConflict::Past, at * 1000, {key}};
      if (held && at >= from && at < to) route.push_back({at, wall, i});
      continue;
    }
    for (const QDate& d : days) {
      const std::optional<qint64> at = due_on(e, d, offsets);
      if (at && *at >= from && *at < to)
        route.push_back({*at, wall_seconds(d, static_cast<int>(secs)), i});
    }
  }
  for (size_t r = 1; r <= kRouteCount; ++r) {
    if (!hasEntries[r]) continue;
    std::sort(due[r].begin(), due[r].end(), [](const Due& a, const Due& b) {
      return a.at != b.at ? a.at < b.at : (a.wall != b.wall ? a.wall < b.wall : a.index < b.index);
    });
    RoutePlan& out = plan.routes[r];
    const QList<PlanConflict> past = std::exchange(out.conflicts, {});
    plan_route(colData, due[r], state_of(start[r]), startKeys ? (*startKeys)[r] : QString(),
               plan.from, plan.to, out);
    out.conflicts << past;  // after the ties
  }
  return plan;
}
