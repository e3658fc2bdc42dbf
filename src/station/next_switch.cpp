#include "station/next_switch.h"

NextSwitch::NextSwitch(const EntryCollection& colData, Clock clock, QObject* parent)
    : QObject(parent), colData_(colData), clock_(std::move(clock)) {
  timer_.setInterval(kCheckMs);
  connect(&timer_, &QTimer::timeout, this, &NextSwitch::check);
  timer_.start();
}

std::optional<RouteSwitch> NextSwitch::next(int route) const {
  if (route < 1 || route > kRouteCount) return std::nullopt;
  if (!valid_) work(clock_());
  return next_[static_cast<size_t>(route)];
}

void NextSwitch::invalidate() {
  valid_ = false;
  if (announcing_) return;
  announcing_ = true;
  QTimer::singleShot(0, this, [this] {
    announcing_ = false;
    emit changed();
  });
}

void NextSwitch::check() {
  const QDateTime now = clock_();
  if (valid_ && now >= worked_ && worked_.secsTo(now) < kRecheckSecs &&
      (!earliest_.isValid() || now < earliest_))
    return;
  const auto before = next_;
  work(now);
  const auto same = [](const std::optional<RouteSwitch>& a, const std::optional<RouteSwitch>& b) {
    return a.has_value() == b.has_value() &&
           (!a || (a->at == b->at && a->energise == b->energise && a->key == b->key));
  };
  for (size_t r = 1; r < next_.size(); ++r)
    if (!same(before[r], next_[r])) return emit changed();
}

void NextSwitch::work(const QDateTime& now) const {
  earliest_ = QDateTime();
  for (int r = 1; r <= kRouteCount; ++r) {
    auto& next = next_[static_cast<size_t>(r)];
    next = next_route_switch(colData_, r, now);
    if (next && (!earliest_.isValid() || next->at < earliest_)) earliest_ = next->at;
  }
  worked_ = now;
  valid_ = true;
}
