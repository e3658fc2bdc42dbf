#pragma once

#include <QObject>
#include <QString>
#include <array>

#include "core/scheduler.h"
#include "device/command_link.h"
#include "station/link_control.h"
#include "station/switch_record.h"

// The one way a route's wanted state changes. The scheduler's decisions, the manual commands (one
// route, all routes), the broker's commands and restore all come through want() or toggle(); the
// take-over, which the link does itself, is recorded here too.
//
// A change acts only while the link is open and the board's states are taken over (mayAct());
// otherwise nothing changes and nothing is recorded, and the caller tells the user why. An acting
// change writes the route's wanted state into the link's table, has the link push the table at
// once, and then records every route whose wanted state differs from the one last recorded (once,
// with its cause).
class Switchboard : public QObject {
  Q_OBJECT
 public:
  enum class Result {
    Done,         // acted (also when the routes were already in those states)
    LinkClosed,   // the link is closed or waiting for its port
    NotTakenOver  // the port is open, but the board has not answered since
  };
  using Keys = std::array<QString, kRouteCount + 1>;

  // Everything given must outlive the switchboard.
  Switchboard(CommandLink& link, const LinkControl& linkControl, SwitchRecord& record,
              QObject* parent = nullptr);

  Result mayAct() const;

  // Route 1..16 to energise or release, for cause (for RecordCause::Entry, key names the entry).
  Result want(int route, bool energise, RecordCause cause, const QString& key = {});
  // Several routes at once: states[r] is 2 (energise) or 1 (release) for route r, 0 to leave it;
  // keys[r], when given, the entry that decided route r.
  Result want(const RouteStateTable& states, RecordCause cause, const Keys* keys = nullptr);
  // Flips the state last asked for; before any request the board's reported state is flipped.
  Result toggle(int route, RecordCause cause);

  // The link has just taken the board's states over (at every start of the link: opening, a
  // replug): every route's wanted state is recorded in one line (TakeOver), and the next counted
  // reply records every route's reported state in one line (BoardStates).
  void recordTakeOver();
  // Entries that fell due while nothing could act (or that a clock jump passed over): one line
  // each, "未执行" with the entry's key.
  void recordMissed(const DueEntries& entries);
  // After a counted reply: each route whose reported state differs from the one last recorded is
  // recorded as "板状态"; the first reply after a take-over records all of them in one line
  // (BoardStates), so a link start never fills the record with a line per route.
  void recordReported();

 private:
  void recordWanted(RecordCause cause, const Keys* keys);
  // Routes (bit r - 1 for route r) whose state in now differs from last, which takes it over;
  // energised gets the bits of those now energised.
  static quint16 changed(const RouteStateTable& now, RouteStateTable& last, quint16* energised);

  CommandLink& link_;
  const LinkControl& linkControl_;
  SwitchRecord& record_;
  RouteStateTable recorded_{};  // the wanted states as last recorded
  RouteStateTable reported_{};  // the board's states as last recorded (0 unknown)
  bool firstReport_ = false;    // the next counted reply is the first since a take-over
};
