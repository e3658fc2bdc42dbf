#include "core/local_offsets.h"

#include <QDateTime>
#include <algorithm>
#include <limits>

namespace {

// Offsets from UTC lie within -12 h .. +14 h.
constexpr qint64 kMostEast = 14 * 3600;
constexpr qint64 kMostWest = 12 * 3600;

int ask_offset(qint64 at) { return QDateTime::fromSecsSinceEpoch(at).offsetFromUtc(); }

}  // namespace

LocalOffsets::LocalOffsets(qint64 from, qint64 to)
    : from_(from), to_(std::max(from, to)), first_(ask_offset(from)) {
  qint64 lo = from_;
  int loOffset = first_;
  while (lo < to_) {
    const qint64 hi = std::min(lo + kProbeSecs, to_);
    const int hiOffset = ask_offset(hi);
    if (hiOffset != loOffset) findChange(lo, loOffset, hi, hiOffset);
    lo = hi;
    loOffset = hiOffset;
  }
}

// The first second after lo whose offset is not loOffset lies in (lo, hi]; a second change may
// follow before hi.
void LocalOffsets::findChange(qint64 lo, int loOffset, qint64 hi, int hiOffset) {
  while (lo < hi) {
    qint64 a = lo, b = hi;  // offset(a) == loOffset, offset(b) != loOffset
    while (b - a > 1) {
      const qint64 mid = a + (b - a) / 2;
      if (ask_offset(mid) == loOffset)
        a = mid;
      else
        b = mid;
    }
    const int offset = b == hi ? hiOffset : ask_offset(b);
    changes_.append({b, offset});
    if (offset == hiOffset) return;
    lo = b;
    loOffset = offset;
  }
}

LocalOffsets LocalOffsets::around(const QDate& d) {
  const qint64 midnight = wall_seconds(d, 0);
  return LocalOffsets(midnight - kDaySecs, midnight + 2 * kDaySecs);
}

bool LocalOffsets::holdsDay(const QDate& d) const {
  const qint64 midnight = wall_seconds(d, 0);
  return from_ <= midnight - kMostEast && to_ >= midnight + kDaySecs + kMostWest;
}

int LocalOffsets::offsetAt(qint64 at) const {
  int offset = first_;
  for (const Change& c : changes_)
    if (c.at <= at) offset = c.offset;
  return offset;
}

qint64 LocalOffsets::dueAt(qint64 wall) const {
  // The first stretch of one offset in which the reading can lie: before its end, the reading
  // shows at wall - offset; a reading that lies before its start was skipped and falls due at
  // its start.
  int offset = first_;
  qint64 start = std::numeric_limits<qint64>::min();
  for (const Change& c : changes_) {
    if (wall - offset < c.at) break;
    offset = c.offset;
    start = c.at;
  }
  return std::max(wall - offset, start);
}

LocalOffsets::Walls LocalOffsets::dueWalls(qint64 at) const {
  int before = first_, offset = first_;
  qint64 start = std::numeric_limits<qint64>::min();
  for (const Change& c : changes_) {
    if (c.at > at) break;
    before = offset;
    offset = c.offset;
    start = c.at;
  }
  const qint64 wall = at + offset;
  if (offset > before && at == start) return {start + before, wall};  // the skipped readings too
  if (offset < before && wall < start + before) return {wall, wall - 1};  // shown a second time
  return {wall, wall};
}
