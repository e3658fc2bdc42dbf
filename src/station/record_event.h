#pragma once

#include <QDateTime>
#include <QString>

#include "mqtt/mqtt_client.h"

// What a line of the switch record tells.
enum class RecordAction : quint8 {
  Energise,  // a route's wanted or reported state
  Release,
  PortOpened,  // the link's port
  PortClosed,
  PortLost,
  PortBack,
  BoardAnswers,  // the board
  BoardSilent,
  MqttConnected,  // the broker
  MqttLost,
  MqttFailed,
  MqttInvalid,
  ProgramStart,  // the program
  ProgramEnd,
  TakeOver,     // the link's take-over of the board's states (RecordEvent::routes, on)
  BoardStates,  // the board's first report after the link started (RecordEvent::routes, on)
  RecordLost,   // the record itself: writing works again after RecordEvent::count lines were lost
  RecordFull,   // the month's file reached its limit (its closing line)
  ClockJump,    // the clock stepped forward past the scheduler's catch-up: count seconds unchecked;
                // set back (or its zone changed back): count negative, the step
  OutputLost,   // standard output only (never the file): count lines it could not take
  NotDone,      // a broker's command that could not act (cause Mqtt), or an entry that fell due
                // while nothing could act or a clock jump passed over (cause Entry, its key)
  MqttNotDone = NotDone,
  StoreLoaded,          // Note.ini as another program changed it was taken up (detail: its path)
  SettingInvalid,       // a value of Name.ini start-up could not use (detail: "Com=-1")
  MqttPrefixTaken,      // another copy serves the prefix (detail: its client id)
  MqttPublishDenied,    // the broker refused a publication (detail: the topic, or its kind)
  MqttSubscribeDenied,  // ... a subscription (detail: the filter)
  MqttPrefixInvalid,    // the stored prefix cannot be one (detail: it); the bridge stays off
  AutoAllowed,          // "自动功能允许" ticked (cause Mqtt: by a broker's command)
  AutoForbidden,        // ... cleared
  AlertRaised,          // an alert's condition began (detail: its name and what it names)
  AlertCleared,         // ... ended (detail: its name)
  Unknown,              // read back: a word this program does not know (kept in RecordEvent::word)
};
// Why a route's state changed. Events of the link and the broker have None and say where in
// RecordEvent::detail.
enum class RecordCause : quint8 {
  None,
  Entry,  // detail: the entry's key
  Manual,
  TakeOver,
  Restore,
  Board,  // the board reported the change
  Mqtt,   // a command from the broker
  Web,    // the page in a browser
};

// One line of the switch record.
struct RecordEvent {
  QDateTime at;
  int route = 0;  // 1..16, or 0 for an event of the link or the broker
  RecordAction action = RecordAction::Unknown;
  RecordCause cause = RecordCause::None;
  QString detail;                     // the entry's key, the port's device, host:port, a topic
  MqttError error = MqttError::None;  // why a broker's connection failed
  QString word;                       // for Unknown: the action as the line has it
  qint64 count = 0;                   // RecordLost, OutputLost: lines; ClockJump: seconds
  quint16 routes = 0;  // TakeOver, BoardStates: the routes told (bit r - 1 for route r)
  quint16 on = 0;      // ... and which of them are energised
};
