#include "app/mqtt_bridge.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QByteArray kOn = QByteArrayLiteral("ON");
const QByteArray kOff = QByteArrayLiteral("OFF");

QString iso_with_offset(const QDateTime& t, Qt::DateFormat format = Qt::ISODate) {
  return t.toOffsetFromUtc(t.offsetFromUtc()).toString(format);
}

QByteArray json(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

}  // namespace

MqttBridge::MqttBridge(const CommandLink& link, const LinkControl& linkControl,
                       SwitchRecord& record, const NextSwitch& next, const SettingsStore& settings,
                       Prompt& prompt, CommandFn command, Clock clock, QObject* parent)
    : QObject(parent),
      link_(link),
      linkControl_(linkControl),
      record_(record),
      next_(next),
      store_(settings),
      prompt_(prompt),
      command_(std::move(command)),
      clock_(std::move(clock)) {
  connect(&client_, &MqttClient::stateChanged, this, [this] {
    // Why it cannot connect goes into the record once per reason (a service's journal shows it).
    // A connection that drops is recorded as MqttLost instead.
    const MqttError why = client_.lastError();
    const bool dropped = lastState_ == MqttClient::Connected;
    lastState_ = client_.state();
    if (lastState_ == MqttClient::Trying && !dropped && why != MqttError::None &&
        why != toldFailure_)
      record_.append(0, RecordAction::MqttFailed, RecordCause::None, where(), why);
    toldFailure_ = lastState_ == MqttClient::Trying ? why : MqttError::None;
    emit stateChanged();
  });
  connect(&client_, &MqttClient::connected, this, &MqttBridge::onConnected);
  connect(&client_, &MqttClient::lost, this,
          [this] { record_.append(0, RecordAction::MqttLost, RecordCause::None, where()); });
  connect(&client_, &MqttClient::refused, this, [this](MqttError why) {
    prompt_.message(tr("远程服务器拒绝登录：") + SwitchRecord::errorWord(why, true) +
                    QLatin1Char('\n') + where());
  });
  connect(&client_, &MqttClient::message, this, &MqttBridge::onMessage);
  connect(&client_, &MqttClient::oversized, this, &MqttBridge::invalid);
  connect(&link_, &CommandLink::replyReceived, this, &MqttBridge::publishStates);
  connect(&link_, &CommandLink::answeringChanged, this, &MqttBridge::publishAvailability);
  connect(&linkControl_, &LinkControl::stateChanged, this, &MqttBridge::publishAvailability);
  connect(&record_, &SwitchRecord::appended, this, &MqttBridge::publishRecord);
  connect(&next_, &NextSwitch::changed, this, &MqttBridge::publishNext);
}

MqttBridge::~MqttBridge() { shutdown(); }

void MqttBridge::shutdown() {
  if (client_.state() == MqttClient::Connected) {
    // A clean end leaves no will behind: the availability is set here instead.
    publish(QStringLiteral("availability"), QByteArrayLiteral("offline"));
    record_.append(0, RecordAction::MqttLost, RecordCause::None, where());
  }
  client_.stop();
}

void MqttBridge::configure(const MqttSettings& s) {
  // The same settings while connected change nothing; while still trying, they mean "try now".
  if (s == settings_ && link_.nID() == address_ && client_.state() == MqttClient::Connected) return;
  if (client_.state() == MqttClient::Connected && settings_.discovery &&
      (!s.enabled() || deviceIdFor(s.prefixFor(link_.nID()), link_.nID()) != deviceId()))
    clearDiscovery();  // Home Assistant would keep switches nobody serves any more
  shutdown();
  settings_ = s;
  toldFailure_ = MqttError::None;
  if (!s.enabled()) {
    emit stateChanged();  // the settings shown with the state changed too
    return;
  }
  address_ = link_.nID();
  prefix_ = s.prefixFor(address_);
  MqttClient::Options o;
  o.host = s.host;
  o.port = s.port;
  o.user = s.user;
  o.password = s.password;
  o.tls = s.tls;
  o.willTopic = (prefix_ + QStringLiteral("/availability")).toUtf8();
  o.willPayload = QByteArrayLiteral("offline");
  client_.start(o);
}

QString MqttBridge::deviceId() const { return deviceIdFor(prefix_, address_); }

QString MqttBridge::deviceIdFor(const QString& prefix, int address) {
  if (prefix == MqttSettings().prefixFor(address)) return QStringLiteral("tavrel_%1").arg(address);
  // A prefix of one's own keeps two programs on one broker apart, also in Home Assistant.
  QString id = QStringLiteral("tavrel_") + prefix;
  for (QChar& c : id)
    if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-')) c = QLatin1Char('_');
  return id;
}

QString MqttBridge::deviceName() const {
  if (prefix_ == MqttSettings().prefixFor(address_))
    return QStringLiteral("Tavrel %1").arg(address_);
  return QStringLiteral("Tavrel ") + prefix_;
}

QString MqttBridge::where() const {
  return settings_.host + QLatin1Char(':') + QString::number(settings_.port);
}

QString MqttBridge::stateText() const {
  switch (client_.state()) {
    case MqttClient::Connected:
      return tr("远程：已连接");
    case MqttClient::Trying:
      return client_.lastError() == MqttError::None
                 ? tr("远程：正在连接")
                 : tr("远程：正在连接（%1）")
                       .arg(SwitchRecord::errorWord(client_.lastError(), true));
    case MqttClient::Off:
      break;
  }
  return tr("远程：关闭");
}

bool MqttBridge::publish(const QString& subtopic, const QByteArray& payload, bool retain) {
  return client_.publish((prefix_ + QLatin1Char('/') + subtopic).toUtf8(), payload, retain);
}

void MqttBridge::onConnected() {
  // Commands first: the broker reads a client's packets in turn, and a command published right
  // after the connection must not slip in before the subscription.
  client_.subscribe((prefix_ + QStringLiteral("/route/+/set")).toUtf8());
  client_.subscribe(QByteArrayLiteral("homeassistant/status"));
  availability_ = -1;
  states_.fill(-1);
  nextPublished_.fill(QByteArray());
  record_.append(0, RecordAction::MqttConnected, RecordCause::None, where());
  const ProfileFile names = store_.load();
  publishNames(names);
  publishDiscovery(names);
  publishStates();
  publishNext();
  publishAvailability();
}

void MqttBridge::routeNamesChanged() {
  if (client_.state() != MqttClient::Connected) return;
  const ProfileFile names = store_.load();
  publishNames(names);
  publishDiscovery(names);
}

void MqttBridge::publishAvailability() {
  if (client_.state() != MqttClient::Connected) return;
  const int now = linkControl_.health() == LinkHealth::Answering ? 1 : 0;
  if (now == availability_) return;
  availability_ = now;
  publish(QStringLiteral("availability"),
          now ? QByteArrayLiteral("online") : QByteArrayLiteral("offline"));
}

void MqttBridge::publishStates() {
  if (client_.state() != MqttClient::Connected || !link_.haveReported()) return;
  const quint16 states = link_.reportedStates();
  for (int r = 1; r <= kRouteCount; ++r) {
    const int now = (states >> (r - 1)) & 1;
    const auto i = static_cast<size_t>(r);
    if (now == states_[i]) continue;
    states_[i] = now;
    publish(QStringLiteral("route/%1/state").arg(r), now ? kOn : kOff);
  }
}

void MqttBridge::publishNames(const ProfileFile& names) {
  for (int r = 1; r <= kRouteCount; ++r)
    publish(QStringLiteral("route/%1/name").arg(r), store_.ReadRouteName(names, r).toUtf8());
}

void MqttBridge::publishNext() {
  if (client_.state() != MqttClient::Connected) return;
  for (int r = 1; r <= kRouteCount; ++r) {
    const std::optional<RouteSwitch> next = next_.next(r);
    const QByteArray text =
        next ? iso_with_offset(next->at).toUtf8() + ' ' + (next->energise ? kOn : kOff)
             : QByteArrayLiteral("NONE");
    const auto i = static_cast<size_t>(r);
    if (text == nextPublished_[i]) continue;
    nextPublished_[i] = text;
    publish(QStringLiteral("route/%1/next").arg(r), text);
  }
}

QByteArray MqttBridge::discoveryTopic(int route) const {
  return QStringLiteral("homeassistant/switch/%1_%2/config").arg(deviceId()).arg(route).toUtf8();
}

void MqttBridge::clearDiscovery() {
  // An empty retained config removes the switch.
  for (int r = 1; r <= kRouteCount; ++r) client_.publish(discoveryTopic(r), QByteArray(), true);
}

void MqttBridge::publishDiscovery(const ProfileFile& names) {
  if (!settings_.discovery) return clearDiscovery();
  const QString device = deviceId();
  for (int r = 1; r <= kRouteCount; ++r) {
    const QByteArray topic = discoveryTopic(r);
    const QString route = prefix_ + QStringLiteral("/route/%1/").arg(r);
    const QString name = store_.ReadRouteName(names, r);
    const QJsonObject config{
        {QStringLiteral("name"), (tr("第%1路").arg(r) + QLatin1Char(' ') + name).trimmed()},
        {QStringLiteral("unique_id"), QStringLiteral("%1_%2").arg(device).arg(r)},
        {QStringLiteral("state_topic"), route + QStringLiteral("state")},
        {QStringLiteral("command_topic"), route + QStringLiteral("set")},
        {QStringLiteral("availability_topic"), prefix_ + QStringLiteral("/availability")},
        {QStringLiteral("payload_on"), QStringLiteral("ON")},
        {QStringLiteral("payload_off"), QStringLiteral("OFF")},
        {QStringLiteral("state_on"), QStringLiteral("ON")},
        {QStringLiteral("state_off"), QStringLiteral("OFF")},
        {QStringLiteral("device"),
         QJsonObject{{QStringLiteral("identifiers"), QJsonArray{device}},
                     {QStringLiteral("name"), deviceName()},
                     {QStringLiteral("manufacturer"), QStringLiteral("Tavrel")},
                     {QStringLiteral("model"), tr("16 路继电器板")},
                     {QStringLiteral("sw_version"), QCoreApplication::applicationVersion()}}}};
    client_.publish(topic, json(config), true);
  }
}

void MqttBridge::publishRecord(const RecordEvent& e) {
  if (client_.state() != MqttClient::Connected) return;
  QJsonObject o{{QStringLiteral("time"), iso_with_offset(e.at, Qt::ISODateWithMs)},
                {QStringLiteral("action"), SwitchRecord::actionWord(e)},
                {QStringLiteral("cause"), SwitchRecord::causeWord(e)}};
  o.insert(QStringLiteral("route"), e.route > 0 ? QJsonValue(e.route) : QJsonValue());
  publish(QStringLiteral("record"), json(o), false);
}

void MqttBridge::onMessage(const QByteArray& topic, const QByteArray& payload, bool retained) {
  if (topic == "homeassistant/status") {
    // Home Assistant came back: it reads the configs again.
    if (payload == "online" && settings_.discovery) publishDiscovery(store_.load());
    return;
  }
  const QByteArray head = (prefix_ + QStringLiteral("/route/")).toUtf8();
  const QByteArray tail = QByteArrayLiteral("/set");
  if (!topic.startsWith(head) || !topic.endsWith(tail) || retained) return invalid(topic);
  const QByteArray number = topic.mid(head.size(), topic.size() - head.size() - tail.size());
  bool ok = false;
  const int route = number.toInt(&ok);
  if (!ok || route < 1 || route > kRouteCount || number != QByteArray::number(route))
    return invalid(topic);
  const QByteArray word = payload.trimmed().toUpper();
  if (word == kOn)
    command_(route, On);
  else if (word == kOff)
    command_(route, Off);
  else if (word == "TOGGLE")
    command_(route, Toggle);
  else
    invalid(topic);
}

void MqttBridge::invalid(const QByteArray& topic) {
  // Only commands count; an oversized homeassistant/status is nobody's command.
  if (!topic.startsWith((prefix_ + QLatin1Char('/')).toUtf8())) return;
  const QDateTime now = clock_();
  if (lastInvalid_.isValid() && now >= lastInvalid_ && lastInvalid_.msecsTo(now) < kInvalidQuietMs)
    return;
  lastInvalid_ = now;
  // The topic lies under our prefix (the subscription's filter); kept short and on one line.
  QString shown = QString::fromUtf8(topic.left(120));
  for (QChar& c : shown)
    if (c.category() == QChar::Other_Control) c = QLatin1Char('?');
  record_.append(0, RecordAction::MqttInvalid, RecordCause::None, shown);
}
