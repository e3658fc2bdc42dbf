#include "station/actual_periods.h"

#include <algorithm>

namespace {

enum class Link { Unknown, Closed, Unanswered, Answering };

// The periods being built: each route's state shown since when.
class Builder {
 public:
  Builder(qint64 from, qint64 to) : from_(from), to_(to) {
    shown_.fill(ActualState::Unknown);
    since_.fill(from);
  }
  void set(int route, ActualState s, qint64 at) {
    const auto r = static_cast<size_t>(route);
    if (s == shown_[r]) return;
    close(route, at);
    shown_[r] = s;
    since_[r] = std::max(at, since_[r]);
  }
  void close(int route, qint64 at) {
    const auto r = static_cast<size_t>(route);
    const qint64 a = std::max(since_[r], from_), b = std::min(at, to_);
    if (b <= a) return;
    QList<ActualPeriod>& periods = out_[r];
    if (!periods.isEmpty() && periods.last().state == shown_[r] && periods.last().to == a)
      periods.last().to = b;
    else
      periods.append({a, b, shown_[r]});
    since_[r] = b;
  }
  ActualRoutes take() { return std::move(out_); }

 private:
  qint64 from_, to_;
  std::array<ActualState, kRouteCount + 1> shown_;
  std::array<qint64, kRouteCount + 1> since_;
  ActualRoutes out_;
};

ActualState shown(Link link, ActualState route) {
  switch (link) {
    case Link::Unknown:
      return ActualState::Unknown;
    case Link::Closed:
    case Link::Unanswered:
      return ActualState::NoLink;
    case Link::Answering:
      break;
  }
  return route;
}

}  // namespace

ActualRoutes actual_periods(const QList<RecordEvent>& events, qint64 from, qint64 to, qint64 now,
                            std::optional<quint16> reportedNow) {
  const qint64 end = std::min(now, to);
  Builder b(from, end);
  Link link = Link::Unknown;
  bool portOpen = false;
  std::array<ActualState, kRouteCount + 1> reported;
  reported.fill(ActualState::Unknown);
  std::optional<qint64> last;  // the previous event's time
  qint64 answeringSince = from;
  const auto allUnknownFrom = [&](qint64 at) {
    for (int r = 1; r <= kRouteCount; ++r) b.set(r, ActualState::Unknown, at);
  };
  for (const RecordEvent& e : events) {
    qint64 at = e.at.toMSecsSinceEpoch();
    if (last) at = std::max(at, *last);
    if (at >= end) break;
    const Link before = link;
    switch (e.action) {
      case RecordAction::PortOpened:
        if (portOpen && last) allUnknownFrom(*last);  // the program ended unseen meanwhile
        [[fallthrough]];
      case RecordAction::PortBack:
        portOpen = true;
        link = Link::Unanswered;
        break;
      case RecordAction::PortClosed:
      case RecordAction::PortLost:
        portOpen = false;
        link = Link::Closed;
        break;
      case RecordAction::BoardSilent:
        link = Link::Unanswered;
        break;
      case RecordAction::BoardAnswers:
        link = Link::Answering;
        break;
      case RecordAction::Energise:
      case RecordAction::Release:
        if (e.cause == RecordCause::Board && e.route >= 1 && e.route <= kRouteCount) {
          reported[static_cast<size_t>(e.route)] =
              e.action == RecordAction::Energise ? ActualState::Energised : ActualState::Released;
          link = Link::Answering;
          portOpen = true;
        }
        break;
      case RecordAction::BoardStates:  // the first report after the link started, in one line
        for (int r = 1; r <= kRouteCount; ++r)
          if ((e.routes >> (r - 1)) & 1)
            reported[r] = (e.on >> (r - 1)) & 1 ? ActualState::Energised : ActualState::Released;
        link = Link::Answering;
        portOpen = true;
        break;
      case RecordAction::ProgramStart:
      case RecordAction::ProgramEnd:  // nothing is known while the program does not run
        reported.fill(ActualState::Unknown);
        portOpen = false;
        link = Link::Unknown;
        break;
      default:
        break;
    }
    if (link == Link::Answering && before != Link::Answering) answeringSince = at;
    for (int r = 1; r <= kRouteCount; ++r) b.set(r, shown(link, reported[r]), at);
    last = at;
  }
  if ((link == Link::Answering) != reportedNow.has_value()) {
    allUnknownFrom(last ? *last : from);
  } else if (reportedNow) {
    for (int r = 1; r <= kRouteCount; ++r)
      if (reported[r] == ActualState::Unknown)
        b.set(r, (*reportedNow >> (r - 1)) & 1 ? ActualState::Energised : ActualState::Released,
              answeringSince);
  }
  for (int r = 1; r <= kRouteCount; ++r) b.close(r, end);
  return b.take();
}

ActualMisses actual_misses(const QList<RecordEvent>& events, qint64 from, qint64 to) {
  ActualMisses out;
  for (const RecordEvent& e : events) {
    const qint64 at = e.at.toMSecsSinceEpoch();
    if (e.action == RecordAction::NotDone && e.cause == RecordCause::Entry && e.route >= 1 &&
        e.route <= kRouteCount && at >= from && at < to)
      out[static_cast<size_t>(e.route)].append({at, e.detail});
  }
  return out;
}
