#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <array>

#include "remote/service_notifier.h"
#include "remote/webhook.h"
#include "station/station.h"

class MqttBridge;

// What can be wrong, each raised and cleared. Their names (alert_name) are contracts: the
// record, the webhook's JSON and the broker's attributes carry them in every language.
enum class AlertCondition : int {
  BoardSilent,        // "board-silent": the link is open and the board has not answered for 2 s
  RelayNotFollowing,  // "relay-not-following": a route's reported state differs from the wanted
  PortLost,           // "port-lost": the link waits for its port
  RecordUnwritable,   // "record-unwritable"
  ClockJump,          // "clock-jump": forward beyond the scheduler's catch-up, or back
  BrokerLost,         // "broker-lost": a broker is configured and not connected
  EntriesMissed,      // "entries-missed": entries fell due while the link could not act
};
constexpr int kAlertConditions = 7;
QString alert_name(AlertCondition c);

// One condition as it stands.
struct AlertStatus {
  bool raised = false;
  QDateTime since;      // while raised: when it was
  QList<int> routes;    // the routes it names (relay-not-following, entries-missed)
  QStringList entries;  // the entries it names (entries-missed: their keys)
  int untold = 0;       // raises not told yet (within the hour after one told)
};

// Every condition, the last pulse of the scheduler and the board's last answer: what a status
// page reports.
struct AlertsState {
  std::array<AlertStatus, kAlertConditions> conditions;
  QDateTime lastTick;
  QDateTime lastAnswer;
  bool any() const;
  const AlertStatus& operator[](AlertCondition c) const {
    return conditions[static_cast<size_t>(c)];
  }
};

// One message told to a person.
struct AlertMessage {
  AlertCondition condition = AlertCondition::BoardSilent;
  bool test = false;  // the test message of --test-alert (condition "test")
  bool raised = true;
  QList<int> routes;
  QStringList entries;
  int repeats = 0;  // raises not told since the last told one (said with a clear)
  QDateTime at;
};
// The message in the program's language.
QString alert_text(const AlertMessage& m);
// The webhook's body: {"condition","state","routes","text","time","station"} (and "entries",
// "repeats" when there are any); time in ISO-8601 with its offset.
QByteArray alert_json(const AlertMessage& m, const QString& station);

// The alerts: a peer over one station, living on its thread beside the broker bridge. It raises
// and clears the conditions from the station's signals (and the bridge's state), and
// - records each raise and clear (AlertRaised / AlertCleared, detail: the name and what it names);
// - tells them (told(), and a POST to the webhook): a raise at once, but at most one per condition
//   in paceMs; the raises after it are counted and said with a later clear or, when the hour is
//   over, with a clear (or the raise that still holds) told then; every clear of a told raise is
//   told;
// - shows them on the bridge's problem sensor and in state();
// - feeds the service manager (ServiceNotifier): READY=1 at start(), WATCHDOG=1 on each of the
//   station's pulses (ticked: the scheduler's own tick), STATUS= the link's health and the next
//   switch whenever they change.
// The event conditions (clock-jump, entries-missed) clear eventHoldMs after their last event.
class Alerts : public QObject {
  Q_OBJECT
 public:
  struct Timing {
    int followMs = 2000;      // relay-not-following: a difference this long
    int brokerMs = 60000;     // broker-lost: not connected this long
    int eventHoldMs = 60000;  // clock-jump, entries-missed: cleared this long after the last
    int paceMs = 3600 * 1000;
  };

  // station (and bridge, when given) must outlive the alerts, which must live on their thread.
  Alerts(Station& station, MqttBridge* bridge, Timing timing, QObject* parent = nullptr);
  Alerts(Station& station, MqttBridge* bridge, QObject* parent = nullptr)
      : Alerts(station, bridge, Timing{}, parent) {}

  void configure(const WebhookSettings& s) { webhook_.configure(s); }
  // The station runs: READY=1.
  void start();
  const AlertsState& state() const { return state_; }
  Webhook& webhook() { return webhook_; }
  const ServiceNotifier& notifier() const { return notifier_; }
  // "host Tavrel <address>", the webhook's "station".
  QString stationName() const;
  // The service manager's status line: the link's health and the next switch.
  QString statusLine() const;

 signals:
  void stateChanged(const AlertsState& state);
  // A message for a person (paced as above).
  void told(const AlertMessage& m);

 private:
  void raise(AlertCondition c, const QList<int>& routes = {}, const QStringList& entries = {});
  void clear(AlertCondition c);
  void tell(AlertCondition c, bool raised, int repeats);
  void paceOver(AlertCondition c);
  void announce();
  void onHealth(LinkHealth h);
  void checkFollowing();
  void onBroker(bool configured, bool connected);
  void holdEvent(AlertCondition c);
  AlertStatus& status(AlertCondition c) { return state_.conditions[static_cast<size_t>(c)]; }

  struct Pace {
    qint64 toldAt = -1;  // monotonic ms of the last told raise
    bool raiseTold = false;
    QTimer* over = nullptr;  // the end of the pace after a raise was held back
  };

  Station& station_;
  MqttBridge* bridge_;
  Timing timing_;
  AlertsState state_;
  std::array<Pace, kAlertConditions> pace_{};
  QElapsedTimer clock_;  // monotonic, for durations
  Webhook webhook_;
  ServiceNotifier notifier_;
  LinkHealth health_ = LinkHealth::Closed;
  RouteStateTable wanted_{};
  quint16 reported_ = 0;
  bool haveReported_ = false;
  std::array<qint64, kRouteCount + 1> differSince_{};  // -1: follows
  QTimer follow_;
  QTimer broker_;
  std::array<QTimer*, kAlertConditions> hold_{};
  NextSwitches next_;
};

Q_DECLARE_METATYPE(AlertsState)
Q_DECLARE_METATYPE(AlertMessage)
