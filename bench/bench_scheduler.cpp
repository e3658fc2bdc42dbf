// The scheduler tick's cost over a full store (16 routes x 99 entries of every kind).
// Goal: well under 100 us a tick; the budget is one second.
// The week view's plan over the same store: goal under 20 ms for 16 routes, 1,584 entries and the
// view's span (7 days back, 7 ahead, today: 15 days).
#include <benchmark/benchmark.h>
#include <time.h>

#include "core/due_moments.h"
#include "core/scheduler.h"
#include "core/week_plan.h"
#include "support/full_store.h"

namespace {

EntryCollection scheduler_store() {
  return full_store([](Clsdata& e, int, int no) {
    e.nNo = static_cast<qint16>(no);
    e.bIsOpen = no % 2;
    e.bIsEveryDay = no % 3 == 0;
    e.bIsWeek = no % 3 == 1;
    e.strWeek = QStringLiteral("1010101");
    e.nStartYear = 2026;
    e.nStartMonth = 12;
    e.nStartDay = 7;
    // Many entries share the checked second, so the due path is measured too.
    e.nStartHour = static_cast<qint16>(no % 24);
    e.nStartMin = static_cast<qint16>((no * 7) % 60);
    e.nStartSecond = static_cast<qint16>(no % 2 ? 0 : (no * 13) % 60);
  });
}

void BM_SchedulerTick(benchmark::State& state) {
  const EntryCollection c = scheduler_store();
  RouteStateTable s{};
  QDateTime now(QDate(2026, 12, 7), QTime(1, 7, 0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(scheduler_check(c, now, s));
    now = now.addSecs(1);
  }
  state.counters["entries"] = c.count();
}
BENCHMARK(BM_SchedulerTick)->Unit(benchmark::kMicrosecond);

// A late tick that catches up the full minute it is allowed to replay.
void BM_SchedulerCatchUpMinute(benchmark::State& state) {
  const EntryCollection c = scheduler_store();
  RouteStateTable s{};
  QDateTime now(QDate(2026, 12, 7), QTime(1, 7, 0));
  for (auto _ : state) {
    for (int i = 0; i < 60; ++i) benchmark::DoNotOptimize(scheduler_check(c, now.addSecs(i), s));
  }
}
BENCHMARK(BM_SchedulerCatchUpMinute)->Unit(benchmark::kMicrosecond);

// Every route's next switch worked out afresh (start-up, an edit, the hourly check).
void BM_NextSwitchAllRoutes(benchmark::State& state) {
  const EntryCollection c = scheduler_store();
  const QDateTime now(QDate(2026, 12, 7), QTime(1, 7, 0));
  for (auto _ : state)
    for (int r = 1; r <= 16; ++r) benchmark::DoNotOptimize(next_route_switch(c, r, now));
}
BENCHMARK(BM_NextSwitchAllRoutes)->Unit(benchmark::kMillisecond);

// The plan as the week view works it out: the states at the span's start, then the periods.
void week_plan_from(benchmark::State& state, const QDate& today) {
  const EntryCollection c = scheduler_store();
  const QDateTime from(today.addDays(-7), QTime(0, 0)), to(today.addDays(8), QTime(0, 0));
  const qint64 now = QDateTime(today, QTime(12, 0)).toMSecsSinceEpoch();
  for (auto _ : state) {
    const WeekPlan plan = week_plan(c, from.toMSecsSinceEpoch(), to.toMSecsSinceEpoch(),
                                    last_route_states(c, from), now);
    benchmark::DoNotOptimize(plan.routes[1].periods.size());
  }
  state.counters["days"] = from.daysTo(to);
}

void BM_WeekPlan(benchmark::State& state) { week_plan_from(state, QDate(2026, 12, 7)); }
BENCHMARK(BM_WeekPlan)->Unit(benchmark::kMillisecond);

// The same over Berlin's spring change, where the zone's offsets are bisected.
void BM_WeekPlanClockChange(benchmark::State& state) {
  const QByteArray tz = qgetenv("TZ");
  qputenv("TZ", "Europe/Berlin");
  tzset();
  week_plan_from(state, QDate(2027, 3, 28));
  if (tz.isNull())
    qunsetenv("TZ");
  else
    qputenv("TZ", tz);
  tzset();
}
BENCHMARK(BM_WeekPlanClockChange)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
