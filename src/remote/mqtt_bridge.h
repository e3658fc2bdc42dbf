#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
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
// - P/problem: "ON" while one of the alerts' conditions holds, else "OFF", and
//   P/problem/attributes the conditions as JSON (see showProblem); retained, nothing before the
//   alerts first tell it.
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
// Retained values go out with QoS 1, so a broker of MQTT 5 tells a refusal in its PUBACK.
// It remembers in Name.ini what it published under (SettingsStore::WriteMqttLast) and, once
// connected under another prefix or device, clears the old prefix's retained topics and the old
// device's configs, so Home Assistant keeps no device nobody serves.
//
// One copy serves a prefix. P/owner holds the client id of the copy that serves it (retained,
// cleared when that copy ends cleanly or moves). On connecting a copy claims the prefix (its id
// on P/owner) and serves it once its claim comes back, unless another id was kept there: that
// copy then has kClaimMs to answer with its own claim (a copy serving for kClaimMs or longer
// answers every other claim). One that is answered, or that meets another new claimant with a
// smaller id, does not serve: it records MqttPrefixTaken (the other's id) once, publishes nothing
// under the prefix, corrects nothing and takes no commands (stateText() names the other), and
// claims again when P/owner is cleared, when P/availability turns "offline" (the other's will),
// and every kClaimAgainMs.
//
// It accepts P/route/N/set with "ON", "OFF" or "TOGGLE" (any case, blanks around ignored) and
// hands it to the station's switch path, at most one change per route every kCommandGapMs: commands
// that come sooner are gathered (the last one wins, a TOGGLE flips what is gathered, two cancel
// out) and handed over when the gap is over, so a burst ends in the state last asked for and
// switches the relay at most twice a second. A command acts only while the board answers
// (availability "online") and the station does it (the switch path's rule); otherwise
// it changes nothing and is recorded as MqttNotDone (cause Mqtt, the route), at most once a
// minute per route. P/auto/set takes the same words, paced and gathered in the same way, and
// allows or pauses the station's timetable; each change is recorded (AutoAllowed,
// AutoForbidden, cause Mqtt). Anything else under P/route/+/set or P/auto/set — another route,
// another payload, a payload over 64 bytes (dropped unread) or a retained command (an old one the
// broker kept would switch long after it was meant) — changes nothing and is recorded as
// MqttInvalid, at most once a minute per route (and once for the rest). "probe" on P/route/0/set
// is a copy's own test that it may read its commands (below), and changes nothing.
// Connecting and losing the connection are recorded (MqttConnected, MqttLost, with host:port),
// and so is each new reason an attempt fails for (MqttFailed); a broker that refuses the
// credentials is told once (refused(), for the peers that face the user to word). Another
// connection with the same client id (MqttClient::takenOver) is recorded once as a failure, and the
// connections and losses meanwhile are not. A broker's refusal to take a publication or a
// subscription (MqttClient::denied; with MQTT 5 also a "probe" on P/route/0/set that does not come
// back within kProbeMs) is recorded once per kind of topic (route numbers and discovery configs
// alike) until the settings change (MqttPublishDenied, MqttSubscribeDenied), and shown with the
// state while the connection lasts. A prefix that cannot be one (MqttSettings::prefixesValid) keeps
// the bridge off and is recorded (MqttPrefixInvalid) when the settings change. The password never
// appears in the record, a message or on standard output.
class MqttBridge : public QObject {
  Q_OBJECT
 public:
  enum Command { On, Off, Toggle };
  // The connection as the window shows it.
  struct Status {
    MqttClient::State state = MqttClient::Off;
    MqttSettings settings;  // in use
    QString text;           // stateText()
    bool troubled = false;  // troubled()
  };
  static constexpr int kInvalidQuietMs = 60000;
  static constexpr int kCommandGapMs = 1000;
  static constexpr int kRediscoveryMs = 10000;
  static constexpr int kReassertMs = 5 * 60000;
  static constexpr int kClaimMs = 1500;
  static constexpr int kClaimAgainMs = 60000;
  static constexpr int kProbeMs = 3000;

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
  // The alerts' state: any condition holding (P/problem) and the conditions (P/problem/attributes,
  // a JSON object); published at once when changed and again after each (re)connect.
  void showProblem(bool on, const QByteArray& attributes);

  MqttClient::State state() const { return client_.state(); }
  // "远程：已连接" (with a refusal, "远程：已连接（无权发布 tavrel/1/auto/state）"),
  // "远程：前缀被占用（<the other's id>）", "远程：正在连接" (with the last failure's reason,
  // "远程：正在连接（无法连接）"), "远程：前缀无效", "远程：关闭".
  QString stateText() const;
  // The prefix is invalid, or connected but not serving the prefix or refused something: the
  // lamp shows amber.
  bool troubled() const;
  Status status() const;
  QString prefix() const { return prefix_; }
  const MqttClient& client() const { return client_; }

 signals:
  void stateChanged(const MqttBridge::Status& status);
  // The broker refused the credentials (why), at host:port (where).
  void refused(MqttError why, const QString& where);

 private:
  enum class Owning { Claiming, Owner, Yielded };
  void onConnected();
  // Everything published once the prefix is this copy's.
  void serve();
  bool serving() const;
  void claim();
  void onOwner(const QByteArray& id, bool retained);
  void becomeOwner();
  void yieldTo(const QByteArray& id);
  void onDenied(const QByteArray& topic, bool publishing);
  void onMessage(const QByteArray& topic, const QByteArray& payload, bool retained);
  void onCommand(int route, Command c);
  void applyGathered(int route);
  void notDone(int route);
  void onAutoCommand(Command c);
  Switchboard::Result act(int route, Command c);
  void emitState();
  void applyAuto();
  // A value someone else published on one of its own topics.
  void onForeign(const QByteArray& topic, const QByteArray& payload, bool retained);
  void invalid(const QByteArray& topic, int route);
  void publishAvailability();
  void publishStates();
  void publishAutoState();
  void publishProblem();
  void reassert();
  void publishNames(const ProfileFile& names);  // names: Name.ini as read for this connection
  void publishNext();
  void publishDiscovery(const ProfileFile& names);
  void publishRecord(const RecordEvent& e);
  void clearGhosts(const ProfileFile& names);
  // Retained values with QoS 1 (refusals are told).
  bool publish(const QString& subtopic, const QByteArray& payload, bool retain = true);
  QByteArray topic(const char* subtopic) const;
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
  std::optional<std::pair<bool, QByteArray>> problem_;  // as the alerts last told it
  std::array<std::optional<Command>, 17> gathered_{};  // per route, waiting for its gap's end
  std::array<Throttle*, 17> commandGap_{};
  Throttle rediscovery_;
  Throttle reasserting_;                     // MQTT 5: within a second of a foreign value
  QTimer reassertTimer_;                     // MQTT 3.1.1: every kReassertMs
  std::array<QDateTime, 17> lastInvalid_{};  // per route, [0] for the rest
  std::array<QDateTime, 17> lastNotDone_{};
  std::optional<Command> autoGathered_;
  Throttle autoGap_;
  MqttError toldFailure_ = MqttError::None;  // the failure last recorded while trying
  bool toldTakenOver_ = false;
  bool prefixInvalid_ = false;
  QByteArray clientId_;  // in use, the claim's payload
  Owning owning_ = Owning::Claiming;
  QByteArray rival_;            // the other copy's id
  bool rivalRetained_ = false;  // claiming: rival_ was kept by the broker (it may be gone)
  bool toldTaken_ = false;      // MqttPrefixTaken recorded since serving last
  QElapsedTimer ownerSince_;
  QTimer claimTimer_;  // claiming: the rival's time to answer; yielded: the next claim
  Throttle claimAgain_;
  QTimer probeTimer_;       // the commands' probe not back yet
  QStringList toldDenied_;  // kinds recorded since the settings changed
  QString denial_;          // shown with the state: the first refusal of this connection
  MqttClient::State lastState_ = MqttClient::Off;
};

Q_DECLARE_METATYPE(MqttBridge::Status)
