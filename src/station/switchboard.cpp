#include "station/switchboard.h"

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
  link_.pushNow();  // the board first: a slow disk under the record never delays a switch
  recordWanted(cause, keys);
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

quint16 Switchboard::changed(const RouteStateTable& now, RouteStateTable& last,
                             quint16* energised) {
  quint16 routes = 0;
  *energised = 0;
  for (int r = 1; r <= kRouteCount; ++r) {
    const auto i = static_cast<size_t>(r);
    if (now[i] == last[i]) continue;
    last[i] = now[i];
    if (now[i] != kEnergise && now[i] != kRelease) continue;
    routes |= quint16(1u << (r - 1));
    if (now[i] == kEnergise) *energised |= quint16(1u << (r - 1));
  }
  return routes;
}

void Switchboard::recordTakeOver() {
  // Every start of the link tells every route, as the first one does: after a replug or a
  // reopening the record shows the states the board came back with, not only those that differ
  // from the last ones recorded before.
  recorded_.fill(0);
  reported_.fill(0);
  firstReport_ = true;
  quint16 on = 0;
  const quint16 routes = changed(link_.nState(), recorded_, &on);
  if (routes) record_.appendStates(RecordAction::TakeOver, routes, on);
}

void Switchboard::recordWanted(RecordCause cause, const Keys* keys) {
  quint16 on = 0;
  const quint16 routes = changed(link_.nState(), recorded_, &on);
  for (int r = 1; r <= kRouteCount; ++r)
    if ((routes >> (r - 1)) & 1)
      record_.appendState(r, (on >> (r - 1)) & 1, cause,
                          keys ? (*keys)[static_cast<size_t>(r)] : QString());
}

void Switchboard::recordReported() {
  const quint16 states = link_.reportedStates();
  RouteStateTable now{};
  for (int r = 1; r <= kRouteCount; ++r)
    now[static_cast<size_t>(r)] = (states >> (r - 1)) & 1 ? kEnergise : kRelease;
  quint16 on = 0;
  const quint16 routes = changed(now, reported_, &on);
  if (firstReport_) {
    firstReport_ = false;
    if (routes) record_.appendStates(RecordAction::BoardStates, routes, on);
    return;
  }
  for (int r = 1; r <= kRouteCount; ++r)
    if ((routes >> (r - 1)) & 1) record_.appendState(r, (on >> (r - 1)) & 1, RecordCause::Board);
}

void Switchboard::recordMissed(const DueEntries& entries) {
  for (const DueEntry& e : entries)
    record_.append(e.route, RecordAction::NotDone, RecordCause::Entry, e.key);
}
