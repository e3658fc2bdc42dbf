#include "app/switchboard.h"

Switchboard::Switchboard(CommandLink& link, const LinkControl& linkControl, SwitchRecord& record,
                         QObject* parent)
    : QObject(parent), link_(link), linkControl_(linkControl), record_(record) {}

Switchboard::Result Switchboard::mayAct() const {
  if (linkControl_.state() != LinkControl::Open) return Result::LinkClosed;
  return link_.bIsFirst() ? Result::NotTakenOver : Result::Done;
}

Switchboard::Result Switchboard::want(int route, bool energise, RecordCause cause,
                                      const QString& key) {
  if (route < 1 || route > kRouteCount) return mayAct();
  RouteStateTable states{};
  states[static_cast<size_t>(route)] = energise ? kEnergise : kRelease;
  Keys keys;
  keys[static_cast<size_t>(route)] = key;
  return want(states, cause, &keys);
}

Switchboard::Result Switchboard::want(const RouteStateTable& states, RecordCause cause,
                                      const Keys* keys) {
  const Result may = mayAct();
  if (may != Result::Done) return may;
  for (int r = 1; r <= kRouteCount; ++r) {
    const quint8 s = states[static_cast<size_t>(r)];
    if (s == kEnergise || s == kRelease) link_.setWanted(r, s);
  }
  recordWanted(cause, keys);
  link_.pushNow();
  return Result::Done;
}

Switchboard::Result Switchboard::toggle(int route, RecordCause cause) {
  if (route < 1 || route > kRouteCount) return mayAct();
  // The state asked for last is what the board is being brought to; before any there is none,
  // and the board's own report counts.
  const quint8 wanted = link_.nState()[static_cast<size_t>(route)];
  bool energise;
  if (wanted == kEnergise || wanted == kRelease)
    energise = wanted == kRelease;
  else
    energise = !(link_.haveReported() && ((link_.reportedStates() >> (route - 1)) & 1));
  return want(route, energise, cause);
}

void Switchboard::recordTakeOver() { recordWanted(RecordCause::TakeOver, nullptr); }

void Switchboard::recordWanted(RecordCause cause, const Keys* keys) {
  for (int r = 1; r <= kRouteCount; ++r) {
    const auto i = static_cast<size_t>(r);
    const quint8 now = link_.nState()[i];
    if (now == recorded_[i]) continue;
    recorded_[i] = now;
    if (now != kEnergise && now != kRelease) continue;
    record_.appendState(r, now == kEnergise, cause, keys ? (*keys)[i] : QString());
  }
}

void Switchboard::recordReported() {
  const quint16 states = link_.reportedStates();
  for (int r = 1; r <= kRouteCount; ++r) {
    const quint8 now = (states >> (r - 1)) & 1 ? kEnergise : kRelease;
    const auto i = static_cast<size_t>(r);
    if (now == reported_[i]) continue;
    reported_[i] = now;
    record_.appendState(r, now == kEnergise, RecordCause::Board);
  }
}
