#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <array>

#include "core/entry_collection.h"
#include "core/route_state.h"

// What the timetable wants of each route over a span of time, as periods: the week view's plan.
// Entries fall due exactly as the scheduler fires them (due_on: local time, every day, weekdays
// or a fixed date, clock-change days by LocalOffsets' rule); among entries of a route due in the
// same second the later time of day, then the later entry in collection order decides.

enum class PlanState : quint8 { Unknown, Released, Energised };

// One stretch of one state, from..to in milliseconds since the epoch (to not included).
struct PlanPeriod {
  qint64 from;
  qint64 to;
  PlanState state;
  QString key;  // the entry whose falling due began it; empty where none is known
};

// What the view marks: entries of one route due in the same second (the same time of day) with
// different actions, the last of `keys` deciding; or a fixed-date entry whose moment has passed.
struct PlanConflict {
  enum Kind { Tie, Past } kind;
  qint64 at;  // the moment, milliseconds since the epoch (a Past one may lie before the span)
  QStringList keys;  // Tie: the entries, in the order they act; Past: the entry
};

struct RoutePlan {
  // From the span's start to its end, in order, without gaps; none for a route without entries
  // (the timetable leaves it alone).
  QList<PlanPeriod> periods;
  QList<PlanConflict> conflicts;  // ties in the span, in time order, then every passed fixed date
};

struct WeekPlan {
  qint64 from = 0;
  qint64 to = 0;
  std::array<RoutePlan, kRouteCount + 1> routes;  // index 1..16
};

// The plan of colData from..to (milliseconds since the epoch, whole seconds). Route r starts in
// start[r] (kEnergise, kRelease, or kNoRequest: unknown until its first due moment in the span),
// set by the entry startKeys[r] when given (see last_route_states). A fixed-date entry whose moment
// lies before now is a Past conflict. Reads the local zone a few times for the whole span, never
// per entry.
WeekPlan week_plan(const EntryCollection& colData, qint64 from, qint64 to,
                   const RouteStateTable& start, qint64 now,
                   const std::array<QString, kRouteCount + 1>* startKeys = nullptr);
