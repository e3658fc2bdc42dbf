#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <optional>

#include "core/clock.h"
#include "mqtt/mqtt_client.h"
#include "remote/mqtt_discovery.h"
#include "remote/throttle.h"
#include "station/settings_store.h"
#include "station/station.h"

// The board on an MQTT broker: a peer over one station, living on the station's thread. It learns
// the board's states, the link's health, the next switches, the timetable allowed and the record's
// lines from the station's signals and acts through its commands. With a connection configured
// (MqttSettings) it keeps an MqttClient connected (client id mqtt_client_id: the host name and the
// device) and, under the prefix P ("tavrel/<address>" unless set):
// - P/availability: "online" while connected and the board answers, "offline" otherwise (also
//   the will, published by the broker when the connection dies); retained.
// - P/route/N/state (N = 1..16): "ON" / "OFF" as the board reports, on every change and all of
//   them after each (re)connect; retained. Nothing before the board's first report.
// - P/route/N/name: the route's name as its tab shows it, UTF-8; retained.
// - P/route/N/next: the next due moment and its action, "2026-12-08T07:05:00+08:00 ON", or
//   "NONE" (also while "自动功能允许" is clear: nothing will switch); retained, renewed whenever
//   the next-switch service says it changed.
// - P/auto/state: "ON" / "OFF", whether "自动功能允许" is ticked; retained.
// - P/record: every line of the switch record as JSON {"time","route","action","cause"} in the
//   file's words; not retained.
// - With discovery, the configs of mqtt_discovery_configs under the discovery prefix D
//   ("homeassistant" unless set; retained); without it those configs are cleared, and so are
//   they when the settings move the device elsewhere (another prefix or address, or no broker).
//   Sent again when Home Assistant announces itself ("online" on D/status, any case, blanks
//   around ignored), at most once per kRediscoveryMs (a later announcement within it is
//   answered when it is over).
// Its own retained values stay true: with MQTT 5 it also watches P/route/+/state, P/availability
// and P/auto/state (never seeing its own messages) and publishes its value again, within 1 s,
// when another client's differs; under MQTT 3.1.1 it publishes them again every kReassertMs.
// It remembers in Name.ini what it published under (SettingsStore::WriteMqttLast) and, once
// connected under another prefix or device, clears the old prefix's retained topics and the old
// device's configs, so Home Assistant keeps no device nobody serves.
//
// It accepts P/route/N/set with "ON", "OFF" or "TOGGLE" (any case, blanks around ignored) and
// hands it to the station's switch path, at most one change per route every kCommandGapMs: commands
// that come sooner are gathered (the last one wins, a TOGGLE flips what is gathered, two cancel
// out) and handed over when the gap is over, so a burst ends in the state last asked for and
// switches the relay at most twice a second. A command acts only while the board answers
// (availability "online") and the station does it (the switch path's rule); otherwise
// it changes nothing and is recorded as MqttNotDone (cause Mqtt, the route), at most once a
// minute. P/auto/set takes the same words and allows or pauses the station's timetable. Anything
// else under P/route/+/set or P/auto/set — another route, another payload, a payload over 64 bytes
// (dropped unread) or a retained command (an old one the broker kept would switch long after it was
// meant) — changes nothing and is recorded as MqttInvalid, at most once a minute. Connecting and
// losing the connection are recorded (MqttConnected, MqttLost, with host:port), and so is each new
// reason an attempt fails for (MqttFailed); a broker that refuses the credentials is told once
// (refused(), for the peers that face the user to word). The password never appears in the record,
// a message or on standard output.
class MqttBridge : public QObject {
  Q_OBJECT
 public:
  enum Command { On, Off, Toggle };
  // The connection as the window shows it.
  struct Status {
    MqttClient::State state = MqttClient::Off;
    MqttError lastError = MqttError::None;  // the last attempt's failure while trying
    MqttSettings settings;                  // in use
  };
  static constexpr int kInvalidQuietMs = 60000;
  static constexpr int kCommandGapMs = 1000;
  static constexpr int kRediscoveryMs = 10000;
  static constexpr int kReassertMs = 5 * 60000;

  // station must outlive the bridge; the bridge must live on its thread.
  explicit MqttBridge(Station& station, QObject* parent = nullptr);
  ~MqttBridge() override;

  // Starts (or restarts with changed settings) or ends the connection. Settings equal to the
  // ones in use change nothing while connected, and start a new attempt at once while trying.
  void configure(const MqttSettings& s);
  const MqttSettings& settings() const { return settings_; }
  // Ends the connection cleanly ("offline" published, MqttLost recorded) and leaves everything on
  // the broker as it is; configure() starts again.
  void shutdown();
  // A route's name changed in Name.ini: the names and the discovery configs go out again.
  void routeNamesChanged();
  // Whether "自动功能允许" is ticked now (published on P/auto/state).
  void showAuto(bool allowed);

  MqttClient::State state() const { return client_.state(); }
  Status status() const;
  // "远程：已连接", "远程：正在连接" (with the last failure's reason,
  // "远程：正在连接（无法连接）"), "远程：关闭".
  static QString stateText(const Status& s);
  QString stateText() const { return stateText(status()); }
  QString prefix() const { return prefix_; }
  const MqttClient& client() const { return client_; }

 signals:
  void stateChanged(const MqttBridge::Status& status);
  // The broker refused the credentials (why), at host:port (where).
  void refused(MqttError why, const QString& where);

 private:
  void onConnected();
  void onMessage(const QByteArray& topic, const QByteArray& payload, bool retained);
  void onCommand(int route, Command c);
  void applyGathered(int route);
  void notDone(int route);
  void onAutoCommand(Command c);
  Switchboard::Result act(int route, Command c);
  void emitState();
  // A value someone else published on one of its own topics.
  void onForeign(const QByteArray& topic, const QByteArray& payload);
  void invalid(const QByteArray& topic);
  void publishAvailability();
  void publishStates();
  void publishAutoState();
  void reassert();
  void publishNames(const ProfileFile& names);  // names: Name.ini as read for this connection
  void publishNext();
  void publishDiscovery(const ProfileFile& names);
  void publishRecord(const RecordEvent& e);
  void clearGhosts(const ProfileFile& names);
  bool publish(const QString& subtopic, const QByteArray& payload, bool retain = true);
  QString where() const;
  QString deviceId() const { return mqtt_device_id(prefix_, address_); }
  // "<discovery prefix>/<device id>" while discovery is on, else empty.
  QString deviceTopics() const;
  void clearDiscovery();

  Station& station_;
  SettingsStore store_;
  Clock clock_;
  LinkHealth health_ = LinkHealth::Closed;
  std::optional<quint16> reported_;  // the board's states as last reported
  NextSwitches next_;
  MqttClient client_;
  MqttSettings settings_;
  QString prefix_;
  int address_ = 1;                             // the board address the topics were made for
  int availability_ = -1;                       // as last published: 1 online, 0 offline, -1 none
  std::array<int, 17> states_{};                // as last published: 1 ON, 0 OFF, -1 none
  std::array<QByteArray, 17> nextPublished_{};  // as last published
  bool autoAllowed_ = false;
  int autoPublished_ = -1;                             // as last published: 1 ON, 0 OFF, -1 none
  std::array<std::optional<Command>, 17> gathered_{};  // per route, waiting for its gap's end
  std::array<Throttle*, 17> commandGap_{};
  Throttle rediscovery_;
  Throttle reasserting_;  // MQTT 5: within a second of a foreign value
  QTimer reassertTimer_;  // MQTT 3.1.1: every kReassertMs
  QDateTime lastInvalid_;
  QDateTime lastNotDone_;
  MqttError toldFailure_ = MqttError::None;  // the failure last recorded while trying
  MqttClient::State lastState_ = MqttClient::Off;
};

Q_DECLARE_METATYPE(MqttBridge::Status)
