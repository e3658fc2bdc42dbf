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

// A topic's kind: under the prefix its route numbers as '+', under the discovery prefix every
// config alike.
QString kind_of(const QByteArray& topic, const QString& prefix, const QString& discoveryPrefix) {
  const QString t = QString::fromUtf8(topic);
  if (t.startsWith(discoveryPrefix + QLatin1Char('/')) && t.endsWith(QLatin1String("/config")))
    return discoveryPrefix + QStringLiteral("/+/+/config");
  if (!t.startsWith(prefix + QLatin1Char('/'))) return t;
  QStringList levels = t.mid(prefix.size() + 1).split(QLatin1Char('/'));
  for (QString& level : levels) {
    bool number = false;
    level.toInt(&number);
    if (number) level = QStringLiteral("+");
  }
  return prefix + QLatin1Char('/') + levels.join(QLatin1Char('/'));
}

// Kept short and on one line for the record.
QString shown_topic(const QByteArray& topic) {
  QString shown = QString::fromUtf8(topic.left(120));
  for (QChar& c : shown)
    if (c.category() == QChar::Other_Control) c = QLatin1Char('?');
  return shown;
}

const QByteArray kProbe = QByteArrayLiteral("probe");

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
      reasserting_(1000, [this] { reassert(); }),
      autoGap_(kCommandGapMs, [this] { applyAuto(); }),
      claimAgain_(1000, [this] { claim(); }) {
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
  claimTimer_.setSingleShot(true);
  connect(&claimTimer_, &QTimer::timeout, this, [this] {
    if (owning_ == Owning::Claiming) return becomeOwner();  // nobody answered
    rivalRetained_ = true;  // yielded: the other copy answers again if it is there
    owning_ = Owning::Claiming;
    claim();
  });
  probeTimer_.setSingleShot(true);
  connect(&probeTimer_, &QTimer::timeout, this, [this] { onDenied(topic("route/+/set"), false); });
  connect(&client_, &MqttClient::stateChanged, this, [this] {
    // Why it cannot connect goes into the record once per reason (a service's journal shows it).
    // A connection that drops is recorded as MqttLost instead; one that another connection with
    // the same client id takes over once for all the takings.
    const MqttError why = client_.lastError();
    const bool dropped = lastState_ == MqttClient::Connected;
    const bool takenOver = why == MqttError::TakenOver;
    lastState_ = client_.state();
    if (lastState_ == MqttClient::Trying && why != MqttError::None &&
        (takenOver ? !toldTakenOver_ : !dropped && why != toldFailure_))
      station_.record(0, RecordAction::MqttFailed, RecordCause::None, where(), why);
    toldFailure_ = lastState_ == MqttClient::Trying ? why : MqttError::None;
    toldTakenOver_ = takenOver || (toldTakenOver_ && client_.takenOver());
    if (lastState_ != MqttClient::Connected) {
      reassertTimer_.stop();
      reasserting_.reset();
      rediscovery_.reset();
      claimTimer_.stop();
      claimAgain_.reset();
      probeTimer_.stop();
      owning_ = Owning::Claiming;
    }
    emitState();
  });
  connect(&client_, &MqttClient::connected, this, &MqttBridge::onConnected);
  connect(&client_, &MqttClient::lost, this, [this] {
    if (!client_.takenOver())
      station_.record(0, RecordAction::MqttLost, RecordCause::None, where());
  });
  connect(&client_, &MqttClient::denied, this, &MqttBridge::onDenied);
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

MqttBridge::~MqttBridge() { shutdown(); }

void MqttBridge::shutdown() {
  if (serving()) {
    // A clean end leaves no will behind: the availability is set here instead, and the prefix is
    // free for another copy.
    publish(QStringLiteral("availability"), QByteArrayLiteral("offline"));
    client_.publish(topic("owner"), QByteArray(), true, true);
  }
  if (client_.state() == MqttClient::Connected && !client_.takenOver())
    station_.record(0, RecordAction::MqttLost, RecordCause::None, where());
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
  if (serving() && settings_.discovery && topicsNext != deviceTopics())
    clearDiscovery();  // Home Assistant would keep entities nobody serves any more
  shutdown();
  const bool wasInvalid = prefixInvalid_;
  const bool changed = s != settings_;
  settings_ = s;
  toldFailure_ = MqttError::None;
  toldTakenOver_ = false;
  toldDenied_.clear();
  prefixInvalid_ = s.enabled() && !s.prefixesValid();
  if (prefixInvalid_ && (changed || !wasInvalid)) {
    const QString stored =
        s.prefix.isEmpty() || MqttSettings::validPrefix(s.prefix) ? s.discoveryPrefix : s.prefix;
    station_.record(0, RecordAction::MqttPrefixInvalid, RecordCause::None,
                    shown_topic(stored.toUtf8()));
  }
  if (!s.enabled() || prefixInvalid_) {
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
  clientId_ = s.clientId.isEmpty() ? mqtt_client_id(QSysInfo::machineHostName(), deviceId())
                                   : s.clientId.toUtf8();
  o.clientId = clientId_;
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

QString MqttBridge::stateText() const {
  if (prefixInvalid_) return tr("远程：前缀无效");
  switch (client_.state()) {
    case MqttClient::Connected:
      if (owning_ == Owning::Yielded)
        return tr("远程：前缀被占用（%1）").arg(QString::fromUtf8(rival_));
      if (!denial_.isEmpty()) return tr("远程：已连接（%1）").arg(denial_);
      return tr("远程：已连接");
    case MqttClient::Trying:
      return client_.lastError() == MqttError::None
                 ? tr("远程：正在连接")
                 : tr("远程：正在连接（%1）").arg(RecordLine::errorWord(client_.lastError(), true));
    case MqttClient::Off:
      break;
  }
  return tr("远程：关闭");
}

bool MqttBridge::publish(const QString& subtopic, const QByteArray& payload, bool retain) {
  return client_.publish((prefix_ + QLatin1Char('/') + subtopic).toUtf8(), payload, retain, retain);
}

QByteArray MqttBridge::topic(const char* subtopic) const {
  return (prefix_ + QLatin1Char('/') + QLatin1String(subtopic)).toUtf8();
}

bool MqttBridge::serving() const {
  return client_.state() == MqttClient::Connected && owning_ == Owning::Owner;
}

MqttBridge::Status MqttBridge::status() const {
  return {client_.state(), settings_, stateText(), troubled()};
}

void MqttBridge::emitState() { emit stateChanged(status()); }

Switchboard::Result MqttBridge::act(int route, Command c) {
  if (c == Toggle) return station_.toggle(route, RecordCause::Mqtt);
  return station_.want(route, c == On, RecordCause::Mqtt);
}

bool MqttBridge::troubled() const {
  return prefixInvalid_ || (client_.state() == MqttClient::Connected &&
                            (owning_ == Owning::Yielded || !denial_.isEmpty()));
}

void MqttBridge::onConnected() {
  // Commands first: the broker reads a client's packets in turn, and a command published right
  // after the connection must not slip in before the subscription.
  client_.subscribe(topic("route/+/set"));
  client_.subscribe(topic("auto/set"));
  client_.subscribe((settings_.discoveryPrefixInUse() + QStringLiteral("/status")).toUtf8());
  // Who serves the prefix, its own claim included: the broker's kept claim comes first.
  client_.subscribe(topic("owner"));
  // Its own retained topics, to keep them true (never its own messages). Before its values go
  // out: Mosquitto 2.0 was seen to lose the last packets of a client that subscribed to topics
  // it had just published retained and closed soon after.
  for (const char* watched : {"route/+/state", "availability", "auto/state"})
    client_.subscribe(topic(watched), true);  // false under MQTT 3.1.1: reasserted instead
  owning_ = Owning::Claiming;
  rival_.clear();
  rivalRetained_ = false;
  denial_.clear();
  if (!client_.takenOver())
    station_.record(0, RecordAction::MqttConnected, RecordCause::None, where());
  claim();
  // Whether its commands reach it: a broker that grants a subscription may still refuse to
  // deliver (Mosquitto checks reading at delivery). Under MQTT 3.1.1 a refused probe would look
  // the same, so only MQTT 5 asks.
  if (client_.protocolVersion() == 5 && client_.publish(topic("route/0/set"), kProbe, false, true))
    probeTimer_.start(kProbeMs);
}

void MqttBridge::claim() {
  client_.publish(topic("owner"), clientId_, true, true);
  if (owning_ == Owning::Claiming) claimTimer_.start(kClaimMs);
}

void MqttBridge::onOwner(const QByteArray& id, bool retained) {
  if (id.isEmpty()) {  // the prefix is free
    if (owning_ == Owning::Yielded) claimTimer_.start(0);
    return;
  }
  if (id == clientId_) {  // its own claim came back
    if (owning_ == Owning::Claiming && rival_.isEmpty()) becomeOwner();
    return;
  }
  if (retained) {  // kept from a copy that may be gone: it answers if it is there
    if (owning_ == Owning::Claiming) rival_ = id, rivalRetained_ = true;
    return;
  }
  // Another copy claims it now. Two new claimants: the smaller id serves.
  switch (owning_) {
    case Owning::Owner:
      if (ownerSince_.elapsed() >= kClaimMs || clientId_ < id) return claimAgain_.request();
      return yieldTo(id);
    case Owning::Claiming:
      if ((rivalRetained_ && id == rival_) || id < clientId_) return yieldTo(id);
      return;
    case Owning::Yielded:
      rival_ = id;
      return;
  }
}

void MqttBridge::becomeOwner() {
  owning_ = Owning::Owner;
  ownerSince_.start();
  claimTimer_.stop();
  rival_.clear();
  toldTaken_ = false;
  serve();
  emitState();
}

void MqttBridge::yieldTo(const QByteArray& id) {
  owning_ = Owning::Yielded;
  rival_ = id;
  reasserting_.reset();
  reassertTimer_.stop();
  claimAgain_.reset();
  gathered_.fill(std::nullopt);
  autoGathered_.reset();
  claimTimer_.start(kClaimAgainMs);
  if (!toldTaken_)
    station_.record(0, RecordAction::MqttPrefixTaken, RecordCause::None, shown_topic(id));
  toldTaken_ = true;
  emitState();
}

void MqttBridge::onDenied(const QByteArray& t, bool publishing) {
  // Writing the probe is not the program's to judge (an ACL may let it only read commands).
  if (t == topic("route/0/set")) return probeTimer_.stop();
  const QString kind = kind_of(t, prefix_, settings_.discoveryPrefixInUse());
  const RecordAction action =
      publishing ? RecordAction::MqttPublishDenied : RecordAction::MqttSubscribeDenied;
  RecordEvent e;
  e.action = action;
  if (denial_.isEmpty()) denial_ = RecordLine::actionWord(e, true) + QLatin1Char(' ') + kind;
  const QString told = QString::number(int(publishing)) + kind;
  if (!toldDenied_.contains(told)) {
    toldDenied_ << told;
    station_.record(0, action, RecordCause::None, shown_topic(kind.toUtf8()));
  }
  emitState();
}

void MqttBridge::serve() {
  if (client_.protocolVersion() == 4) reassertTimer_.start();  // nothing watched
  availability_ = -1;
  autoPublished_ = -1;
  states_.fill(-1);
  nextPublished_.fill(QByteArray());
  const ProfileFile names = store_.load();
  clearGhosts(names);
  publishNames(names);
  publishDiscovery(names);
  publishStates();
  publishNext();
  publishAutoState();
  publishProblem();
  publishAvailability();
}

void MqttBridge::routeNamesChanged() {
  if (!serving()) return;
  const ProfileFile names = store_.load();
  publishNames(names);
  publishDiscovery(names);
}

void MqttBridge::clearGhosts(const ProfileFile& names) {
  const QString lastPrefix = SettingsStore::ReadMqttLastPrefix(names);
  if (!lastPrefix.isEmpty() && lastPrefix != prefix_) {
    QStringList topics{QStringLiteral("availability"), QStringLiteral("auto/state"),
                       QStringLiteral("owner"), QStringLiteral("problem"),
                       QStringLiteral("problem/attributes")};
    for (int r = 1; r <= kRouteCount; ++r)
      for (const char* what : {"state", "name", "next"})
        topics << QStringLiteral("route/%1/").arg(r) + QLatin1String(what);
    for (const QString& t : topics)
      client_.publish((lastPrefix + QLatin1Char('/') + t).toUtf8(), QByteArray(), true, true);
  }
  const QString lastDevice = SettingsStore::ReadMqttLastDevice(names);
  const qsizetype slash = lastDevice.lastIndexOf(QLatin1Char('/'));
  if (slash > 0 && lastDevice != deviceTopics())
    for (const QByteArray& t :
         mqtt_discovery_topics(lastDevice.left(slash), lastDevice.mid(slash + 1)))
      client_.publish(t, QByteArray(), true, true);
  store_.WriteMqttLast(prefix_, deviceTopics());
}

void MqttBridge::publishAvailability() {
  if (!serving()) return;
  const int now = health_ == LinkHealth::Answering ? 1 : 0;
  if (now == availability_) return;
  availability_ = now;
  publish(QStringLiteral("availability"),
          now ? QByteArrayLiteral("online") : QByteArrayLiteral("offline"));
}

void MqttBridge::publishStates() {
  if (!serving() || !reported_) return;
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
  if (!serving() || int(autoAllowed_) == autoPublished_) return;
  autoPublished_ = autoAllowed_;
  publish(QStringLiteral("auto/state"), on_off(autoPublished_));
}

void MqttBridge::showProblem(bool on, const QByteArray& attributes) {
  if (problem_ && problem_->first == on && problem_->second == attributes) return;
  problem_ = std::make_pair(on, attributes);
  publishProblem();
}

void MqttBridge::publishProblem() {
  if (!serving() || !problem_) return;
  publish(QStringLiteral("problem/attributes"), problem_->second);
  publish(QStringLiteral("problem"), on_off(problem_->first));
}

void MqttBridge::reassert() {
  if (!serving()) return;
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
  if (!serving()) return;
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
    client_.publish(t, QByteArray(), true, true);
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
    client_.publish(topic, config, true, true);
}

void MqttBridge::publishRecord(const RecordEvent& e) {
  if (!serving()) return;
  QJsonObject o{{QStringLiteral("time"), iso_with_offset(e.at, Qt::ISODateWithMs)},
                {QStringLiteral("action"), RecordLine::actionWord(e)},
                {QStringLiteral("cause"), RecordLine::causeWord(e)}};
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
  if (rest == "owner") return onOwner(payload, retained);
  if (rest == "route/0/set" && payload == kProbe) return probeTimer_.stop();
  if (rest == "availability" || rest == "auto/state" || route_in(rest, "route/", "/state"))
    return onForeign(rest, payload, retained);
  if (owning_ == Owning::Yielded) return;  // another copy's commands
  const std::optional<Command> c = command_word(payload);
  if (rest == "auto/set" && c && !retained) return onAutoCommand(*c);
  const int route = route_in(rest, "route/", "/set");
  if (route && c && !retained) return onCommand(route, *c);
  invalid(topic, route);
}

void MqttBridge::onForeign(const QByteArray& topic, const QByteArray& payload, bool retained) {
  // The serving copy's will: the prefix may be free.
  if (owning_ == Owning::Yielded && topic == "availability" && payload == "offline" && !retained)
    return claimTimer_.start(0);
  if (!serving()) return;
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
  if (minute_passed(lastNotDone_[static_cast<size_t>(route)], clock_()))
    station_.record(route, RecordAction::MqttNotDone, RecordCause::Mqtt);
}

void MqttBridge::onAutoCommand(Command c) {
  autoGathered_ = then(autoGathered_, c);
  autoGap_.request();
}

void MqttBridge::applyAuto() {
  const std::optional<Command> c = std::exchange(autoGathered_, {});
  if (!c) return;
  const bool allowed = *c == Toggle ? !autoAllowed_ : *c == On;
  if (allowed == autoAllowed_) return;
  station_.setAuto(allowed, RecordCause::Mqtt);
}

void MqttBridge::invalid(const QByteArray& topic, int route) {
  // Only commands count; an oversized homeassistant/status is nobody's command.
  if (!topic.startsWith((prefix_ + QLatin1Char('/')).toUtf8())) return;
  if (!minute_passed(lastInvalid_[static_cast<size_t>(route)], clock_())) return;
  // The topic lies under our prefix (the subscription's filter).
  station_.record(0, RecordAction::MqttInvalid, RecordCause::None, shown_topic(topic));
}
