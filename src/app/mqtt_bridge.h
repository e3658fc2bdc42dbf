#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <array>
#include <functional>

#include "app/link_control.h"
#include "app/next_switch.h"
#include "app/prompt.h"
#include "app/settings_store.h"
#include "app/switch_record.h"
#include "device/command_link.h"
#include "mqtt/mqtt_client.h"

// The board on an MQTT broker. With a connection configured (MqttSettings) it keeps an
// MqttClient connected and, under the prefix P ("tavrel/<address>" unless set):
// - P/availability: "online" while connected and the board answers, "offline" otherwise (also
//   the will, published by the broker when the connection dies); retained.
// - P/route/N/state (N = 1..16): "ON" / "OFF" as the board reports, on every change and all of
//   them after each (re)connect; retained. Nothing before the board's first report.
// - P/route/N/name: the route's name as its tab shows it, UTF-8; retained.
// - P/route/N/next: the next due moment and its action, "2026-12-08T07:05:00+08:00 ON", or
//   "NONE"; retained, renewed whenever the next-switch service says it changed.
// - P/record: every line of the switch record as JSON {"time","route","action","cause"} in the
//   file's words; not retained.
// - With discovery, homeassistant/switch/tavrel_<address>_<N>/config for each route (retained;
//   with a prefix of one's own the id is made from the prefix instead of the address): one
//   switch each, grouped as the device "Tavrel <address>"; without it those configs are
//   cleared, and so are they when the settings move the device elsewhere (another prefix or
//   address, or no broker). Sent again when Home Assistant announces itself on
//   homeassistant/status.
// It accepts P/route/N/set with "ON", "OFF" or "TOGGLE" (any case, blanks around ignored) and
// hands it to the command function. Anything else under P/route/+/set — another route, another
// payload, a payload over 64 bytes (dropped unread) or a retained command (an old one the broker
// kept would switch long after it was meant) — changes nothing and is recorded as MqttInvalid,
// at most once a minute.
// Connecting and losing the connection are recorded (MqttConnected, MqttLost, with host:port),
// and so is each new reason an attempt fails for (MqttFailed); a broker that refuses the
// credentials is told once ("远程服务器拒绝登录：" and the reason).
// The password never appears in the record, a message or on standard output.
class MqttBridge : public QObject {
  Q_OBJECT
 public:
  enum Command { On, Off, Toggle };
  using CommandFn = std::function<void(int route, Command c)>;
  using Clock = std::function<QDateTime()>;
  static constexpr int kInvalidQuietMs = 60000;

  // Everything given must outlive the bridge.
  MqttBridge(const CommandLink& link, const LinkControl& linkControl, SwitchRecord& record,
             const NextSwitch& next, const SettingsStore& settings, Prompt& prompt,
             CommandFn command, Clock clock, QObject* parent = nullptr);
  ~MqttBridge() override;

  // Starts (or restarts with changed settings) or ends the connection. Settings equal to the
  // ones in use change nothing while connected, and start a new attempt at once while trying.
  void configure(const MqttSettings& s);
  const MqttSettings& settings() const { return settings_; }
  // A route's name changed in Name.ini: the names and the discovery configs go out again.
  void routeNamesChanged();

  MqttClient::State state() const { return client_.state(); }
  // "远程：已连接", "远程：正在连接" (with the last failure's reason,
  // "远程：正在连接（无法连接）"), "远程：关闭".
  QString stateText() const;
  QString prefix() const { return prefix_; }
  const MqttClient& client() const { return client_; }

 signals:
  void stateChanged();

 private:
  void onConnected();
  void onMessage(const QByteArray& topic, const QByteArray& payload, bool retained);
  void invalid(const QByteArray& topic);
  void publishAvailability();
  void publishStates();
  void publishNames(const ProfileFile& names);  // names: Name.ini as read for this connection
  void publishNext();
  void publishDiscovery(const ProfileFile& names);
  void publishRecord(const RecordEvent& e);
  void shutdown();
  bool publish(const QString& subtopic, const QByteArray& payload, bool retain = true);
  QString where() const;
  // Home Assistant's device: "tavrel_<address>" under the default prefix, else made from the
  // prefix, so programs with prefixes of their own never share switches.
  QString deviceId() const;
  static QString deviceIdFor(const QString& prefix, int address);
  QString deviceName() const;
  QByteArray discoveryTopic(int route) const;
  void clearDiscovery();

  const CommandLink& link_;
  const LinkControl& linkControl_;
  SwitchRecord& record_;
  const NextSwitch& next_;
  const SettingsStore& store_;
  Prompt& prompt_;
  CommandFn command_;
  Clock clock_;
  MqttClient client_;
  MqttSettings settings_;
  QString prefix_;
  int address_ = 1;                             // the board address the topics were made for
  int availability_ = -1;                       // as last published: 1 online, 0 offline, -1 none
  std::array<int, 17> states_{};                // as last published: 1 ON, 0 OFF, -1 none
  std::array<QByteArray, 17> nextPublished_{};  // as last published
  QDateTime lastInvalid_;
  MqttError toldFailure_ = MqttError::None;  // the failure last recorded while trying
  MqttClient::State lastState_ = MqttClient::Off;
};
