#include "core/scheduler.h"

#include <algorithm>
#include <vector>

#include "core/due_moments.h"
#include "core/local_offsets.h"

bool entry_is_due(const Clsdata& e, const QDate& date, const QTime& time) {
  // The time of day first: it turns away nearly every entry, and every second asks all of them.
  if (e.nStartHour != time.hour() || e.nStartMin != time.minute() ||
      e.nStartSecond != time.second())
    return false;
  return due_time_on(e, date).has_value();
}

int scheduler_check(const EntryCollection& colData, const QDateTime& now, RouteStateTable& due,
                    std::array<QString, 17>* decided, DueEntries* each) {
  const qint64 at = now.toSecsSinceEpoch();
  const LocalOffsets::Walls walls = LocalOffsets(at - kDaySecs, at).dueWalls(at);
  if (walls.first > walls.last) return 0;  // the autumn hour's second pass: fired the first time
  int fired = 0;
  const auto fire = [&](const EntryCollection::Item& it) {
    due[static_cast<size_t>(it.entry->nRoute)] = it.entry->bIsOpen ? kEnergise : kRelease;
    if (decided) (*decided)[static_cast<size_t>(it.entry->nRoute)] = it.key;
    if (each) each->append({it.entry->nRoute, it.key});
    ++fired;
  };
  const QDate first = wall_date(walls.first);
  if (walls.first == walls.last) {
    // Every second asks every entry: the time of day, as plain numbers, turns nearly all away.
    const int t = static_cast<int>(wall_time_of_day(walls.first));
    const int hour = t / 3600, minute = t / 60 % 60, second = t % 60;
    for (const auto& it : colData) {
      const Clsdata& e = *it.entry;
      if (e.nStartSecond == second && e.nStartMin == minute && e.nStartHour == hour &&
          e.nRoute >= 1 && e.nRoute <= kRouteCount && due_time_on(e, first))
        fire(it);
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

DueEntries entries_due_between(const EntryCollection& colData, const QDateTime& now, qint64 after,
                               qint64 before) {
  DueEntries out;
  for (const auto& it : colData) {
    // The latest due moment, or the one before it when that is the present reading itself.
    QDateTime at = now;
    for (int tries = 0; tries < 2; ++tries) {
      const std::optional<QDateTime> m = last_due_moment(*it.entry, at);
      if (!m) break;
      const qint64 wall = wall_seconds(m->date(), m->time().msecsSinceStartOfDay() / 1000);
      if (wall < before) {
        if (wall > after) out.append({it.entry->nRoute, it.key});
        break;
      }
      at = m->addSecs(-1);
    }
  }
  return out;
}

namespace {

// The zone's offset from UTC at a moment, as the C library reads the zone now.
int offset_at(qint64 moment) { return QDateTime::fromSecsSinceEpoch(moment).offsetFromUtc(); }

}  // namespace

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

bool SchedulerTimer::held(qint64 wall) const {
  return holding_ && wall <= holdTo_ && wall > holdTo_ - kHoldSecs;
}

void SchedulerTimer::Timer1_Timer() {
  const QDateTime now = clock_();
  const qint64 second = now.toSecsSinceEpoch();
  const int offset = offset_at(second);
  const qint64 wall = second + offset;
  const qint64 gap = haveLast_ ? second - lastSecond_ : 1;
  // A zone changed under the program reads the last second differently now.
  const qint64 shift = haveLast_ ? offset_at(lastSecond_) - lastOffset_ : 0;
  const qint64 step = gap + shift;  // how far the wall clock moved, beyond the zone's own rules
  if (haveLast_ && gap == 0 && shift == 0) {
    // This second was checked already.
  } else {
    if (haveLast_ && step <= 0) {
      // Set back: the readings handled before the step are not handled again.
      holdTo_ = holding_ ? std::max(holdTo_, highWall_) : highWall_;
      holding_ = haveWall_;
      emit jumped(step - 1);
    }
    const bool paused = paused_();
    // Replay the seconds no tick covered when the gap is small and forward; else only this one.
    const bool catchUp = shift == 0 && gap > 1 && gap <= kMaxCatchUpSeconds;
    const bool ahead = haveLast_ && step > 1 && !catchUp;
    const qint64 from = catchUp ? lastSecond_ + 1 : second;
    int count = 0;
    due_.fill(kNoRequest);
    decided_.fill(QString());
    missed_.clear();
    skipped_.clear();
    RouteStateTable unused{};
    for (qint64 s = from; s <= second; ++s) {
      if (held(s + offset_at(s))) continue;
      const QDateTime at = now.addSecs(s - second);
      if (paused)
        scheduler_check(colData_, at, unused, nullptr, &missed_);  // seconds passed for good
      else
        count += scheduler_check(colData_, at, due_, &decided_);
    }
    if (ahead) {
      skipped_ = entries_due_between(colData_, now, lastSecond_ + lastOffset_, wall);
      if (paused) missed_ = skipped_ + missed_;
    }
    if (count > 0) emit fired(count);
    if (!missed_.isEmpty()) emit missed();
    if (ahead && !paused) emit jumped(step - 1);
  }
  haveLast_ = true;
  lastSecond_ = second;
  lastOffset_ = offset;
  if (!haveWall_ || wall > highWall_) highWall_ = wall;
  haveWall_ = true;
  if (holding_ && wall > holdTo_) holding_ = false;
  if (enabled_) arm();
  emit ticked();
}
