#include "remote/mqtt_bridge.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <utility>

namespace {

const QByteArray kOn = QByteArrayLiteral("ON");
const QByteArray kOff = QByteArrayLiteral("OFF");

QString iso_with_offset(const QDateTime& t, Qt::DateFormat format = Qt::ISODate) {
  return t.toOffsetFromUtc(t.offsetFromUtc()).toString(format);
}

QByteArray json(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

QByteArray on_off(int on) { return on ? kOn : kOff; }

// ON, OFF or TOGGLE in any case, blanks around ignored.
std::optional<MqttBridge::Command> command_word(const QByteArray& payload) {
  const QByteArray word = payload.trimmed().toUpper();
  if (word == kOn) return MqttBridge::On;
  if (word == kOff) return MqttBridge::Off;
  if (word == "TOGGLE") return MqttBridge::Toggle;
  return std::nullopt;
}

// What two commands come to, one after the other: the second, unless it flips the first.
std::optional<MqttBridge::Command> then(std::optional<MqttBridge::Command> first,
                                        MqttBridge::Command second) {
  if (second != MqttBridge::Toggle || !first) return second;
  if (*first == MqttBridge::Toggle) return std::nullopt;  // two flips cancel out
  return *first == MqttBridge::On ? MqttBridge::Off : MqttBridge::On;
}

// The route N (1..16, written without leading zeros) of a topic "<head>N<tail>", or 0.
int route_in(const QByteArray& topic, const QByteArray& head, const QByteArray& tail) {
  if (!topic.startsWith(head) || !topic.endsWith(tail)) return 0;
  const QByteArray number = topic.mid(head.size(), topic.size() - head.size() - tail.size());
  bool ok = false;
  const int route = number.toInt(&ok);
  if (!ok || route < 1 || route > kRouteCount || number != QByteArray::number(route)) return 0;
  return route;
}

// Whether a minute has passed since last; then now becomes last.
bool minute_passed(QDateTime& last, const QDateTime& now) {
  if (last.isValid() && now >= last && last.msecsTo(now) < MqttBridge::kInvalidQuietMs)
    return false;
  last = now;
  return true;
}

}  // namespace

MqttBridge::MqttBridge(Station& station, QObject* parent)
    : QObject(parent),
      station_(station),
      store_(station.dataDir()),
      clock_(station.clock()),
      rediscovery_(kRediscoveryMs, [this] { publishDiscovery(store_.load()); }),
      reasserting_(1000, [this] { reassert(); }) {
  qRegisterMetaType<MqttBridge::Status>();
  qRegisterMetaType<MqttError>();
  address_ = station.nID();
  health_ = station.health();
  autoAllowed_ = station.autoAllowed();
  next_ = station.nextSwitches();
  for (int r = 1; r <= kRouteCount; ++r)
    commandGap_[static_cast<size_t>(r)] = new Throttle(
        kCommandGapMs, [this, r] { applyGathered(r); }, this);
  reassertTimer_.setInterval(kReassertMs);
  connect(&reassertTimer_, &QTimer::timeout, this, &MqttBridge::reassert);
  connect(&client_, &MqttClient::stateChanged, this, [this] {
    // Why it cannot connect goes into the record once per reason (a service's journal shows it).
    // A connection that drops is recorded as MqttLost instead.
    const MqttError why = client_.lastError();
    const bool dropped = lastState_ == MqttClient::Connected;
    lastState_ = client_.state();
    if (lastState_ == MqttClient::Trying && !dropped && why != MqttError::None &&
        why != toldFailure_)
      station_.record(0, RecordAction::MqttFailed, RecordCause::None, where(), why);
    toldFailure_ = lastState_ == MqttClient::Trying ? why : MqttError::None;
    if (lastState_ != MqttClient::Connected) {
      reassertTimer_.stop();
      reasserting_.reset();
      rediscovery_.reset();
    }
    emitState();
  });
  connect(&client_, &MqttClient::connected, this, &MqttBridge::onConnected);
  connect(&client_, &MqttClient::lost, this,
          [this] { station_.record(0, RecordAction::MqttLost, RecordCause::None, where()); });
  connect(&client_, &MqttClient::refused, this,
          [this](MqttError why) { emit refused(why, where()); });
  connect(&client_, &MqttClient::message, this, &MqttBridge::onMessage);
  // A payload too long to read: never a command, and on its own topics a value that differs.
  connect(&client_, &MqttClient::oversized, this, [this](const QByteArray& topic) {
    onMessage(topic, QByteArrayLiteral("\x01oversized"), false);
  });
  connect(&station_, &Station::reported, this, [this](quint16 states) {
    reported_ = states;
    publishStates();
  });
  connect(&station_, &Station::healthChanged, this, [this](LinkHealth h) {
    health_ = h;
    publishAvailability();
  });
  connect(&station_, &Station::recordAppended, this, &MqttBridge::publishRecord);
  connect(&station_, &Station::nextChanged, this, [this](const NextSwitches& next) {
    next_ = next;
    publishNext();
  });
  connect(&station_, &Station::autoChanged, this, &MqttBridge::showAuto);
  connect(&station_, &Station::namesChanged, this, &MqttBridge::routeNamesChanged);
  // The default prefix and the device follow the address.
  connect(&station_, &Station::addressChanged, this, [this](quint8) {
    if (settings_.enabled()) configure(settings_);
  });
}

MqttBridge::Status MqttBridge::status() const {
  return {client_.state(), client_.lastError(), settings_};
}

void MqttBridge::emitState() { emit stateChanged(status()); }

MqttBridge::~MqttBridge() { shutdown(); }

void MqttBridge::shutdown() {
  if (client_.state() == MqttClient::Connected) {
    // A clean end leaves no will behind: the availability is set here instead.
    publish(QStringLiteral("availability"), QByteArrayLiteral("offline"));
    station_.record(0, RecordAction::MqttLost, RecordCause::None, where());
  }
  client_.stop();
}

QString MqttBridge::deviceTopics() const {
  return settings_.discovery ? settings_.discoveryPrefixInUse() + QLatin1Char('/') + deviceId()
                             : QString();
}

void MqttBridge::configure(const MqttSettings& s) {
  // The same settings while connected change nothing; while still trying, they mean "try now".
  const int id = station_.nID();
  if (s == settings_ && id == address_ && client_.state() == MqttClient::Connected) return;
  const QString topicsNext =
      s.enabled() && s.discovery
          ? s.discoveryPrefixInUse() + QLatin1Char('/') + mqtt_device_id(s.prefixFor(id), id)
          : QString();
  if (client_.state() == MqttClient::Connected && settings_.discovery &&
      topicsNext != deviceTopics())
    clearDiscovery();  // Home Assistant would keep entities nobody serves any more
  shutdown();
  settings_ = s;
  toldFailure_ = MqttError::None;
  if (!s.enabled()) {
    emitState();  // the settings shown with the state changed too
    return;
  }
  address_ = id;
  prefix_ = s.prefixFor(address_);
  MqttClient::Options o;
  o.host = s.host;
  o.port = s.port;
  o.user = s.user;
  o.password = s.password;
  o.tls = s.tls;
  o.caFile = s.caFile;
  o.clientId = mqtt_client_id(QSysInfo::machineHostName(), deviceId());
  o.willTopic = (prefix_ + QStringLiteral("/availability")).toUtf8();
  o.willPayload = QByteArrayLiteral("offline");
  client_.start(o);
}

void MqttBridge::showAuto(bool allowed) {
  autoAllowed_ = allowed;
  publishAutoState();
  publishNext();  // no next switch while the timetable is not allowed
}

QString MqttBridge::where() const {
  return settings_.host + QLatin1Char(':') + QString::number(settings_.port);
}

QString MqttBridge::stateText(const Status& s) {
  switch (s.state) {
    case MqttClient::Connected:
      return tr("远程：已连接");
    case MqttClient::Trying:
      return s.lastError == MqttError::None
                 ? tr("远程：正在连接")
                 : tr("远程：正在连接（%1）").arg(SwitchRecord::errorWord(s.lastError, true));
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
  client_.subscribe((prefix_ + QStringLiteral("/auto/set")).toUtf8());
  client_.subscribe((settings_.discoveryPrefixInUse() + QStringLiteral("/status")).toUtf8());
  // Its own retained topics, to keep them true (never its own messages). Before its values go
  // out: Mosquitto 2.0 was seen to lose the last packets of a client that subscribed to topics
  // it had just published retained and closed soon after.
  const bool watching =
      client_.subscribe((prefix_ + QStringLiteral("/route/+/state")).toUtf8(), true) &&
      client_.subscribe((prefix_ + QStringLiteral("/availability")).toUtf8(), true) &&
      client_.subscribe((prefix_ + QStringLiteral("/auto/state")).toUtf8(), true);
  if (!watching) reassertTimer_.start();
  availability_ = -1;
  autoPublished_ = -1;
  states_.fill(-1);
  nextPublished_.fill(QByteArray());
  station_.record(0, RecordAction::MqttConnected, RecordCause::None, where());
  const ProfileFile names = store_.load();
  clearGhosts(names);
  publishNames(names);
  publishDiscovery(names);
  publishStates();
  publishNext();
  publishAutoState();
  publishAvailability();
}

void MqttBridge::routeNamesChanged() {
  if (client_.state() != MqttClient::Connected) return;
  const ProfileFile names = store_.load();
  publishNames(names);
  publishDiscovery(names);
}

void MqttBridge::clearGhosts(const ProfileFile& names) {
  const QString lastPrefix = SettingsStore::ReadMqttLastPrefix(names);
  if (!lastPrefix.isEmpty() && lastPrefix != prefix_) {
    QStringList topics{QStringLiteral("availability"), QStringLiteral("auto/state")};
    for (int r = 1; r <= kRouteCount; ++r)
      for (const char* what : {"state", "name", "next"})
        topics << QStringLiteral("route/%1/").arg(r) + QLatin1String(what);
    for (const QString& t : topics)
      client_.publish((lastPrefix + QLatin1Char('/') + t).toUtf8(), QByteArray(), true);
  }
  const QString lastDevice = SettingsStore::ReadMqttLastDevice(names);
  const qsizetype slash = lastDevice.lastIndexOf(QLatin1Char('/'));
  if (slash > 0 && lastDevice != deviceTopics())
    for (const QByteArray& t :
         mqtt_discovery_topics(lastDevice.left(slash), lastDevice.mid(slash + 1)))
      client_.publish(t, QByteArray(), true);
  store_.WriteMqttLast(prefix_, deviceTopics());
}

void MqttBridge::publishAvailability() {
  if (client_.state() != MqttClient::Connected) return;
  const int now = health_ == LinkHealth::Answering ? 1 : 0;
  if (now == availability_) return;
  availability_ = now;
  publish(QStringLiteral("availability"),
          now ? QByteArrayLiteral("online") : QByteArrayLiteral("offline"));
}

void MqttBridge::publishStates() {
  if (client_.state() != MqttClient::Connected || !reported_) return;
  const quint16 states = *reported_;
  for (int r = 1; r <= kRouteCount; ++r) {
    const int now = (states >> (r - 1)) & 1;
    const auto i = static_cast<size_t>(r);
    if (now == states_[i]) continue;
    states_[i] = now;
    publish(QStringLiteral("route/%1/state").arg(r), on_off(now));
  }
}

void MqttBridge::publishAutoState() {
  if (client_.state() != MqttClient::Connected || int(autoAllowed_) == autoPublished_) return;
  autoPublished_ = autoAllowed_;
  publish(QStringLiteral("auto/state"), on_off(autoPublished_));
}

void MqttBridge::reassert() {
  if (client_.state() != MqttClient::Connected) return;
  if (availability_ >= 0)
    publish(QStringLiteral("availability"),
            availability_ ? QByteArrayLiteral("online") : QByteArrayLiteral("offline"));
  for (int r = 1; r <= kRouteCount; ++r)
    if (states_[static_cast<size_t>(r)] >= 0)
      publish(QStringLiteral("route/%1/state").arg(r), on_off(states_[static_cast<size_t>(r)]));
  if (autoPublished_ >= 0) publish(QStringLiteral("auto/state"), on_off(autoPublished_));
}

void MqttBridge::publishNames(const ProfileFile& names) {
  for (int r = 1; r <= kRouteCount; ++r)
    publish(QStringLiteral("route/%1/name").arg(r), store_.ReadRouteName(names, r).toUtf8());
}

void MqttBridge::publishNext() {
  if (client_.state() != MqttClient::Connected) return;
  for (int r = 1; r <= kRouteCount; ++r) {
    const std::optional<RouteSwitch> next =
        autoAllowed_ ? next_[static_cast<size_t>(r)] : std::optional<RouteSwitch>();
    const QByteArray text =
        next ? iso_with_offset(next->at).toUtf8() + ' ' + (next->energise ? kOn : kOff)
             : QByteArrayLiteral("NONE");
    const auto i = static_cast<size_t>(r);
    if (text == nextPublished_[i]) continue;
    nextPublished_[i] = text;
    publish(QStringLiteral("route/%1/next").arg(r), text);
  }
}

void MqttBridge::clearDiscovery() {
  // An empty retained config removes the entity.
  for (const QByteArray& t : mqtt_discovery_topics(settings_.discoveryPrefixInUse(), deviceId()))
    client_.publish(t, QByteArray(), true);
}

void MqttBridge::publishDiscovery(const ProfileFile& names) {
  if (!settings_.discovery) return clearDiscovery();
  MqttDevice d;
  d.prefix = prefix_;
  d.discoveryPrefix = settings_.discoveryPrefixInUse();
  d.id = deviceId();
  d.name = QStringLiteral("Tavrel ") +
           (prefix_ == MqttSettings().prefixFor(address_) ? QString::number(address_) : prefix_);
  for (int r = 1; r <= kRouteCount; ++r)
    d.routeNames[static_cast<size_t>(r)] = store_.ReadRouteName(names, r);
  for (const auto& [topic, config] : mqtt_discovery_configs(d))
    client_.publish(topic, config, true);
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
  if (topic == (settings_.discoveryPrefixInUse() + QStringLiteral("/status")).toUtf8()) {
    // Home Assistant came back: it reads the configs again.
    if (payload.trimmed().toLower() == "online" && settings_.discovery) rediscovery_.request();
    return;
  }
  const QByteArray own = (prefix_ + QLatin1Char('/')).toUtf8();
  const QByteArray rest = topic.startsWith(own) ? topic.mid(own.size()) : QByteArray();
  if (rest == "availability" || rest == "auto/state" || route_in(rest, "route/", "/state"))
    return onForeign(rest, payload);
  const std::optional<Command> c = command_word(payload);
  if (rest == "auto/set" && c && !retained) return onAutoCommand(*c);
  const int route = route_in(rest, "route/", "/set");
  if (route && c && !retained) return onCommand(route, *c);
  invalid(topic);
}

void MqttBridge::onForeign(const QByteArray& topic, const QByteArray& payload) {
  int own = -1;
  QByteArray word;
  if (topic == "availability") {
    own = availability_;
    word = own ? QByteArrayLiteral("online") : QByteArrayLiteral("offline");
  } else if (topic == "auto/state") {
    own = autoPublished_;
    word = on_off(own);
  } else {
    own = states_[static_cast<size_t>(route_in(topic, "route/", "/state"))];
    word = on_off(own);
  }
  if (own >= 0 && payload != word) reasserting_.request();
}

void MqttBridge::onCommand(int route, Command c) {
  const auto r = static_cast<size_t>(route);
  gathered_[r] = then(gathered_[r], c);
  commandGap_[r]->request();
}

void MqttBridge::applyGathered(int route) {
  const std::optional<Command> c = std::exchange(gathered_[static_cast<size_t>(route)], {});
  if (!c) return;
  // Acting only while the board answers: availability then reads "online".
  if (health_ != LinkHealth::Answering || act(route, *c) != Switchboard::Result::Done)
    notDone(route);
}

void MqttBridge::notDone(int route) {
  if (minute_passed(lastNotDone_, clock_()))
    station_.record(route, RecordAction::MqttNotDone, RecordCause::Mqtt);
}

void MqttBridge::onAutoCommand(Command c) {
  station_.setAuto(c == Toggle ? !autoAllowed_ : c == On);
}

Switchboard::Result MqttBridge::act(int route, Command c) {
  if (c == Toggle) return station_.toggle(route, RecordCause::Mqtt);
  return station_.want(route, c == On, RecordCause::Mqtt);
}

void MqttBridge::invalid(const QByteArray& topic) {
  // Only commands count; an oversized homeassistant/status is nobody's command.
  if (!topic.startsWith((prefix_ + QLatin1Char('/')).toUtf8())) return;
  if (!minute_passed(lastInvalid_, clock_())) return;
  // The topic lies under our prefix (the subscription's filter); kept short and on one line.
  QString shown = QString::fromUtf8(topic.left(120));
  for (QChar& c : shown)
    if (c.category() == QChar::Other_Control) c = QLatin1Char('?');
  station_.record(0, RecordAction::MqttInvalid, RecordCause::None, shown);
}
