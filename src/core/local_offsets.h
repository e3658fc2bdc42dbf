#pragma once

#include <QDate>
#include <QVarLengthArray>

// When a reading of the local clock falls due, on every day including those on which the clock
// is put forward or back. The rule is cron's:
//   - a reading the clock skips (02:30:00 on the spring day where 02:00 becomes 03:00) falls due
//     at the first second after the change (03:00:00);
//   - a reading the clock shows twice (02:30:00 on the autumn day where 03:00 becomes 02:00)
//     falls due once, at its first occurrence;
//   - every other reading falls due at the one moment that shows it.
// The scheduler, the due moments (restore, the next switch) and the week's plan all ask here.
//
// A reading is counted as "wall" seconds: the seconds since 1970-01-01 00:00:00 as if the local
// clock were UTC (a date and a time of day, no zone). Moments are seconds since the epoch.

constexpr qint64 kDaySecs = 86400;

// The wall seconds of date d at secsOfDay (0..86399).
inline qint64 wall_seconds(const QDate& d, int secsOfDay) {
  return (d.toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * kDaySecs + secsOfDay;
}
// The date and the seconds of the day of a wall reading.
inline QDate wall_date(qint64 wall) {
  const qint64 days = wall >= 0 ? wall / kDaySecs : -((-wall + kDaySecs - 1) / kDaySecs);
  return QDate(1970, 1, 1).addDays(days);
}
inline int wall_time_of_day(qint64 wall) {
  return static_cast<int>(((wall % kDaySecs) + kDaySecs) % kDaySecs);
}

// The local zone's offsets from UTC over a stretch of moments: the offset at its start and every
// change within it, found by asking the C library's local time (about 2.5 us an ask) once every
// kProbeSecs and, only where two asks differ, bisecting to the second of the change. So a stretch
// with no change costs two asks or a few; everything after that is arithmetic. Assumes that a
// zone's changes lie more than kProbeSecs apart, as every real zone's do.
class LocalOffsets {
 public:
  static constexpr qint64 kProbeSecs = 3 * kDaySecs;

  // The offsets over the moments from..to.
  LocalOffsets(qint64 from, qint64 to);
  // A stretch that holds every moment of local date d.
  static LocalOffsets around(const QDate& d);
  // Whether the stretch holds every moment of local date d (whatever its offset, up to 14 h).
  bool holdsDay(const QDate& d) const;

  // The offset in force at moment `at` (seconds east of UTC).
  int offsetAt(qint64 at) const;
  // The moment at which the reading `wall` falls due (the rule above).
  qint64 dueAt(qint64 wall) const;

  // The readings that fall due at moment `at`: the wall seconds first..last. Usually the one
  // reading the clock shows; at the first second after a spring change also every reading the
  // change skipped (first < last); none (first > last) while the clock shows a reading for the
  // second time.
  struct Walls {
    qint64 first;
    qint64 last;
  };
  Walls dueWalls(qint64 at) const;

  bool hasChange() const { return !changes_.isEmpty(); }

 private:
  struct Change {
    qint64 at;   // the first second of the new offset
    int offset;  // in force from `at` on
  };
  void findChange(qint64 lo, int loOffset, qint64 hi, int hiOffset);

  qint64 from_;
  qint64 to_;
  int first_;  // the offset in force at from_
  QVarLengthArray<Change, 4> changes_;
};
