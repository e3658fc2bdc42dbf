#pragma once

#include <QDateTime>
#include <functional>

// The one clock every timed part reads: the local date and time now. Tests inject their own; an
// empty one means the PC's.
using Clock = std::function<QDateTime()>;

// clock, or the PC's local clock when clock is empty.
inline Clock or_pc_clock(Clock clock) {
  return clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); });
}
