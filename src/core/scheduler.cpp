#include "core/scheduler.h"

#include <algorithm>
#include <vector>

#include "core/local_offsets.h"

bool entry_is_due(const Clsdata& e, const QDate& date, const QTime& time) {
  const std::optional<QTime> due = due_time_on(e, date);
  return due && *due == QTime(time.hour(), time.minute(), time.second());
}

int scheduler_check(const EntryCollection& colData, const QDateTime& now, RouteStateTable& due,
                    std::array<QString, 17>* decided) {
  const qint64 at = now.toSecsSinceEpoch();
  const LocalOffsets::Walls walls = LocalOffsets(at - kDaySecs, at).dueWalls(at);
  if (walls.first > walls.last) return 0;  // the autumn hour's second pass: fired the first time
  int fired = 0;
  const auto fire = [&](const EntryCollection::Item& it) {
    due[static_cast<size_t>(it.entry->nRoute)] = it.entry->bIsOpen ? kEnergise : kRelease;
    if (decided) (*decided)[static_cast<size_t>(it.entry->nRoute)] = it.key;
    ++fired;
  };
  const QDate first = wall_date(walls.first);
  if (walls.first == walls.last) {
    const QTime time = QTime::fromMSecsSinceStartOfDay(wall_time_of_day(walls.first) * 1000);
    for (const auto& it : colData) {
      const Clsdata& e = *it.entry;
      if (e.nRoute >= 1 && e.nRoute <= kRouteCount && entry_is_due(e, first, time)) fire(it);
    }
    return fired;
  }
  // The first second after a spring change: the readings the change skipped fall due too, in
  // the order of the readings, as if the skipped time had passed in an instant.
  std::vector<std::pair<qint64, const EntryCollection::Item*>> dueNow;
  const QDate last = wall_date(walls.last);
  for (const auto& it : colData) {
    const Clsdata& e = *it.entry;
    if (e.nRoute < 1 || e.nRoute > kRouteCount ||
        !QTime::isValid(e.nStartHour, e.nStartMin, e.nStartSecond))
      continue;
    const QTime time(e.nStartHour, e.nStartMin, e.nStartSecond);
    for (QDate d = first; d <= last; d = d.addDays(1)) {
      const qint64 wall = wall_seconds(d, time.msecsSinceStartOfDay() / 1000);
      if (wall >= walls.first && wall <= walls.last && entry_is_due(e, d, time))
        dueNow.push_back({wall, &it});
    }
  }
  std::stable_sort(dueNow.begin(), dueNow.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [wall, it] : dueNow) fire(*it);
  return fired;
}

SchedulerTimer::SchedulerTimer(const EntryCollection& colData, std::function<bool()> paused,
                               Clock clock, QObject* parent)
    : QObject(parent),
      colData_(colData),
      paused_(std::move(paused)),
      clock_(or_pc_clock(std::move(clock))) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &SchedulerTimer::Timer1_Timer);
}

void SchedulerTimer::setEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  haveLast_ = false;
  if (on)
    arm();
  else
    timer_.stop();
}

int SchedulerTimer::msUntilNextTick(const QDateTime& now) {
  return 1000 - now.time().msec() + kAlignMs;
}

void SchedulerTimer::arm() { timer_.start(msUntilNextTick(clock_())); }

void SchedulerTimer::Timer1_Timer() {
  const QDateTime now = clock_();
  const qint64 second = now.toSecsSinceEpoch();
  const qint64 gap = haveLast_ ? second - lastSecond_ : 1;
  if (haveLast_ && gap == 0) {
    // This second was checked already.
  } else if (paused_()) {
    // Seconds passed while paused are never fired later.
  } else {
    // Replay the seconds no tick covered when the gap is small and forward; else only this one.
    const qint64 from = (gap > 1 && gap <= kMaxCatchUpSeconds) ? lastSecond_ + 1 : second;
    int count = 0;
    due_.fill(kNoRequest);
    decided_.fill(QString());
    for (qint64 s = from; s <= second; ++s)
      count += scheduler_check(colData_, now.addSecs(s - second), due_, &decided_);
    if (count > 0) emit fired(count);
    if (gap > kMaxCatchUpSeconds) emit jumped(gap - 1);
  }
  haveLast_ = true;
  lastSecond_ = second;
  if (enabled_) arm();
}
