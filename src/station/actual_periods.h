#pragma once

#include <QList>
#include <array>
#include <optional>

#include "core/route_state.h"
#include "station/switch_record.h"

// What the board really reported of each route over a span, read from the switch record's
// events: the week view's "actual" beside the plan.
enum class ActualState : quint8 {
  Unknown,  // nothing known: before the record says anything, or while the program did not run
  NoLink,   // the link closed, lost, or the board not answering
  Released,
  Energised,
};

// One stretch of one state, from..to in milliseconds since the epoch (to not included).
struct ActualPeriod {
  qint64 from;
  qint64 to;
  ActualState state;
};

using ActualRoutes = std::array<QList<ActualPeriod>, kRouteCount + 1>;  // index 1..16

// The periods of every route from..to (milliseconds since the epoch), from the record's events in
// the order they were written (a time earlier than the one before counts as that one). Only the
// link's events, the board's reports ("板状态": one route's change, or the first report after the
// link started, several routes in one line) and the program's start and end tell; every other
// event only shows that the program ran then.
//   - The program's start and end: unknown from then on, until the link tells again.
//   - The link: unknown until its first event; "串口打开" and "串口恢复" open it without an
//     answer yet, "板应答" or a board's report make it answer, "板无应答", "串口丢失" and
//     "串口关闭" end the answers. No answer shows NoLink for every route.
//   - A route, while the board answers: the state it last reported, unknown before its first
//     report (the program records every route at its first answer, later only changes).
//   - "串口打开" while the port was open means the program ended without a word: unknown from
//     the event before it.
//   - From the last event to now: as the record left it when that agrees with reportedNow (this
//     program's board's states, bit r - 1 for route r, while it answers now; nullopt while it
//     does not), unknown otherwise. A route the board has not reported since it began answering
//     (it kept its state) takes its state in reportedNow for that stretch. Nothing after now.
// The periods of a route lie in order, without gaps from `from` to min(now, to), none empty.
ActualRoutes actual_periods(const QList<RecordEvent>& events, qint64 from, qint64 to, qint64 now,
                            std::optional<quint16> reportedNow);

// An entry that did not act ("未执行" in the record: due while nothing could act, or passed over
// by a clock jump), at its moment (milliseconds since the epoch), on its route's actual lane.
struct ActualMiss {
  qint64 at;
  QString key;
};
using ActualMisses = std::array<QList<ActualMiss>, kRouteCount + 1>;  // index 1..16

// The entries the record's events say did not act from..to, per route, in the events' order.
ActualMisses actual_misses(const QList<RecordEvent>& events, qint64 from, qint64 to);
