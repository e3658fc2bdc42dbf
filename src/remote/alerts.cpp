#include "remote/alerts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <algorithm>

#include "remote/mqtt_bridge.h"

namespace {

const char* const kNames[kAlertConditions] = {
    "board-silent", "relay-not-following", "port-lost",     "record-unwritable",
    "clock-jump",   "broker-lost",         "entries-missed"};

// What each condition says, raised.
const char* const kTexts[kAlertConditions] = {
    QT_TRANSLATE_NOOP("Alerts", "继电器板无应答"),
    QT_TRANSLATE_NOOP("Alerts", "继电器未跟随"),
    QT_TRANSLATE_NOOP("Alerts", "串口丢失，正在等待"),
    QT_TRANSLATE_NOOP("Alerts", "记录无法写入"),
    QT_TRANSLATE_NOOP("Alerts", "时钟跳变"),
    QT_TRANSLATE_NOOP("Alerts", "远程服务器连接中断"),
    QT_TRANSLATE_NOOP("Alerts", "条目未执行"),
};

QString routes_text(const QList<int>& routes) {
  QStringList parts;
  for (const int r : routes) parts << QString::number(r);
  return parts.join(QLatin1Char(','));
}

QJsonArray routes_json(const QList<int>& routes) {
  QJsonArray a;
  for (const int r : routes) a.append(r);
  return a;
}

// "2026-12-08T03:12:09+08:00", also "+00:00" for UTC.
QString iso_with_offset(const QDateTime& t) {
  const int offset = t.offsetFromUtc();
  const int minutes = qAbs(offset) / 60;
  return t.toOffsetFromUtc(offset).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
         (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
         QStringLiteral("%1:%2")
             .arg(minutes / 60, 2, 10, QLatin1Char('0'))
             .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

QString alert_name(AlertCondition c) { return QString::fromLatin1(kNames[static_cast<int>(c)]); }

bool AlertsState::any() const {
  return std::any_of(conditions.begin(), conditions.end(),
                     [](const AlertStatus& s) { return s.raised; });
}

QString alert_text(const AlertMessage& m) {
  if (m.test) return Alerts::tr("测试告警：告警能送到这里");
  QString what = Alerts::tr(kTexts[static_cast<int>(m.condition)]);
  if (!m.routes.isEmpty()) what += Alerts::tr("：第 %1 路").arg(routes_text(m.routes));
  if (!m.entries.isEmpty())
    what += Alerts::tr("（条目 %1）").arg(m.entries.join(QStringLiteral(", ")));
  if (!m.raised) what = Alerts::tr("已恢复：%1").arg(what);
  if (m.repeats > 0) what += Alerts::tr("（其间又发生 %n 次）", nullptr, m.repeats);
  return what;
}

QByteArray alert_json(const AlertMessage& m, const QString& station) {
  QJsonObject o{
      {QStringLiteral("condition"), m.test ? QStringLiteral("test") : alert_name(m.condition)},
      {QStringLiteral("state"), m.raised ? QStringLiteral("raised") : QStringLiteral("cleared")},
      {QStringLiteral("routes"), routes_json(m.routes)},
      {QStringLiteral("text"), alert_text(m)},
      {QStringLiteral("time"), iso_with_offset(m.at)},
      {QStringLiteral("station"), station}};
  if (!m.entries.isEmpty())
    o.insert(QStringLiteral("entries"), QJsonArray::fromStringList(m.entries));
  if (m.repeats > 0) o.insert(QStringLiteral("repeats"), m.repeats);
  return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

Alerts::Alerts(Station& station, MqttBridge* bridge, Timing timing, QObject* parent)
    : QObject(parent), station_(station), bridge_(bridge), timing_(timing), webhook_(this) {
  qRegisterMetaType<AlertsState>();
  qRegisterMetaType<AlertMessage>();
  clock_.start();
  differSince_.fill(-1);
  health_ = station.health();
  next_ = station.nextSwitches();
  for (int i = 0; i < kAlertConditions; ++i) {
    const auto c = static_cast<AlertCondition>(i);
    pace_[static_cast<size_t>(i)].over = new QTimer(this);
    pace_[static_cast<size_t>(i)].over->setSingleShot(true);
    connect(pace_[static_cast<size_t>(i)].over, &QTimer::timeout, this, [this, c] { paceOver(c); });
    hold_[static_cast<size_t>(i)] = new QTimer(this);
    hold_[static_cast<size_t>(i)]->setSingleShot(true);
    connect(hold_[static_cast<size_t>(i)], &QTimer::timeout, this, [this, c] { clear(c); });
  }
  follow_.setSingleShot(true);
  connect(&follow_, &QTimer::timeout, this, &Alerts::checkFollowing);
  broker_.setSingleShot(true);
  connect(&broker_, &QTimer::timeout, this, [this] { raise(AlertCondition::BrokerLost); });

  connect(&station_, &Station::ticked, this, [this] {
    state_.lastTick = station_.clock()();
    notifier_.ping();
  });
  connect(&station_, &Station::healthChanged, this, &Alerts::onHealth);
  connect(&station_, &Station::boardSilent, this, [this] {
    if (station_.health() == LinkHealth::NoAnswer) raise(AlertCondition::BoardSilent);
  });
  connect(&station_, &Station::reported, this, [this](quint16 states) {
    reported_ = states;
    haveReported_ = true;
    state_.lastAnswer = station_.clock()();
    checkFollowing();
  });
  connect(&station_, &Station::wantedChanged, this, [this](const RouteStateTable& wanted) {
    wanted_ = wanted;
    checkFollowing();
  });
  connect(&station_, &Station::recordFailureChanged, this, [this](WriteFailure why) {
    if (why == WriteFailure::None)
      clear(AlertCondition::RecordUnwritable);
    else
      raise(AlertCondition::RecordUnwritable);
  });
  connect(&station_, &Station::clockJumped, this, [this] {
    raise(AlertCondition::ClockJump);
    holdEvent(AlertCondition::ClockJump);
  });
  connect(&station_, &Station::entriesMissed, this, [this](const DueEntries& entries) {
    QList<int> routes = status(AlertCondition::EntriesMissed).routes;
    QStringList keys = status(AlertCondition::EntriesMissed).entries;
    for (const DueEntry& e : entries) {
      if (!routes.contains(e.route)) routes << e.route;
      if (!keys.contains(e.key)) keys << e.key;
    }
    std::sort(routes.begin(), routes.end());
    raise(AlertCondition::EntriesMissed, routes, keys);
    holdEvent(AlertCondition::EntriesMissed);
  });
  connect(&station_, &Station::nextChanged, this, [this](const NextSwitches& next) {
    next_ = next;
    notifier_.status(statusLine());
  });
  if (bridge_)
    connect(bridge_, &MqttBridge::stateChanged, this, [this](const MqttBridge::Status& s) {
      onBroker(s.settings.enabled(), s.state == MqttClient::Connected);
    });
}

void Alerts::start() {
  if (station_.record().failure() != WriteFailure::None) raise(AlertCondition::RecordUnwritable);
  onHealth(station_.health());
  if (bridge_) onBroker(bridge_->settings().enabled(), bridge_->state() == MqttClient::Connected);
  notifier_.ready(statusLine());
  announce();
}

QString Alerts::stationName() const {
  return QStringLiteral("%1 Tavrel %2").arg(QSysInfo::machineHostName()).arg(station_.nID());
}

QString Alerts::statusLine() const {
  QString line;
  switch (health_) {
    case LinkHealth::Closed:
      line = tr("串口关闭");
      break;
    case LinkHealth::Waiting:
      line = tr("等待串口");
      break;
    case LinkHealth::NoAnswer:
      line = tr("板无应答");
      break;
    case LinkHealth::Answering:
      line = tr("板应答");
      break;
  }
  const std::optional<RouteSwitch>* first = nullptr;
  int route = 0;
  for (int r = 1; r <= kRouteCount; ++r) {
    const auto& n = next_[static_cast<size_t>(r)];
    if (n && (!first || n->at < (*first)->at)) {
      first = &n;
      route = r;
    }
  }
  if (first)
    line += tr("，下次 %1 第%2路%3")
                .arg((*first)->at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                .arg(route)
                .arg((*first)->energise ? tr("吸合") : tr("断开"));
  return line;
}

void Alerts::onHealth(LinkHealth h) {
  health_ = h;
  notifier_.status(statusLine());
  if (h == LinkHealth::Waiting)
    raise(AlertCondition::PortLost);
  else
    clear(AlertCondition::PortLost);
  if (h != LinkHealth::NoAnswer) clear(AlertCondition::BoardSilent);
  if (h != LinkHealth::Answering) {
    haveReported_ = false;
    differSince_.fill(-1);
    follow_.stop();
    clear(AlertCondition::RelayNotFollowing);
  }
}

void Alerts::checkFollowing() {
  if (health_ != LinkHealth::Answering || !haveReported_) return;
  const qint64 now = clock_.elapsed();
  QList<int> stuck;
  qint64 nextCheck = -1;
  for (int r = 1; r <= kRouteCount; ++r) {
    const quint8 want = wanted_[static_cast<size_t>(r)];
    const bool on = (reported_ >> (r - 1)) & 1;
    qint64& since = differSince_[static_cast<size_t>(r)];
    if ((want != kEnergise && want != kRelease) || (want == kEnergise) == on) {
      since = -1;
      continue;
    }
    if (since < 0) since = now;
    const qint64 due = since + timing_.followMs;
    if (due <= now)
      stuck << r;
    else if (nextCheck < 0 || due < nextCheck)
      nextCheck = due;
  }
  if (nextCheck >= 0) follow_.start(static_cast<int>(nextCheck - now) + 1);
  if (stuck.isEmpty()) {
    clear(AlertCondition::RelayNotFollowing);
  } else if (status(AlertCondition::RelayNotFollowing).routes != stuck) {
    status(AlertCondition::RelayNotFollowing).routes = stuck;  // named as they are now
    raise(AlertCondition::RelayNotFollowing, stuck);
  }
}

void Alerts::onBroker(bool configured, bool connected) {
  if (!configured || connected) {
    broker_.stop();
    clear(AlertCondition::BrokerLost);
  } else if (!broker_.isActive() && !status(AlertCondition::BrokerLost).raised) {
    broker_.start(timing_.brokerMs);
  }
}

void Alerts::holdEvent(AlertCondition c) {
  hold_[static_cast<size_t>(c)]->start(timing_.eventHoldMs);
}

void Alerts::raise(AlertCondition c, const QList<int>& routes, const QStringList& entries) {
  AlertStatus& s = status(c);
  const bool was = s.raised;
  s.routes = routes;
  s.entries = entries;
  if (was) {
    announce();  // what it names may have grown
    return;
  }
  s.raised = true;
  s.since = station_.clock()();
  QStringList detail{alert_name(c)};
  if (!routes.isEmpty()) detail << routes_text(routes);
  if (!entries.isEmpty()) detail << entries.join(QLatin1Char(';'));
  station_.record(0, RecordAction::AlertRaised, RecordCause::None, detail.join(QLatin1Char(' ')));
  Pace& p = pace_[static_cast<size_t>(c)];
  if (p.toldAt >= 0 && clock_.elapsed() - p.toldAt < timing_.paceMs) {
    ++s.untold;  // told when the pace is over, or with the clear of a told raise
    p.raiseTold = false;
    if (!p.over->isActive())
      p.over->start(static_cast<int>(p.toldAt + timing_.paceMs - clock_.elapsed()) + 1);
  } else {
    const int repeats = s.untold;
    s.untold = 0;
    p.toldAt = clock_.elapsed();
    p.raiseTold = true;
    tell(c, true, repeats);
  }
  announce();
}

void Alerts::clear(AlertCondition c) {
  AlertStatus& s = status(c);
  if (!s.raised) return;
  hold_[static_cast<size_t>(c)]->stop();
  s.raised = false;
  s.since = QDateTime();
  station_.record(0, RecordAction::AlertCleared, RecordCause::None, alert_name(c));
  Pace& p = pace_[static_cast<size_t>(c)];
  if (p.raiseTold) {
    p.raiseTold = false;
    const int repeats = s.untold;
    s.untold = 0;
    tell(c, false, repeats);
  }
  s.routes.clear();
  s.entries.clear();
  announce();
}

void Alerts::paceOver(AlertCondition c) {
  AlertStatus& s = status(c);
  Pace& p = pace_[static_cast<size_t>(c)];
  if (s.untold == 0) return;
  const int repeats = s.untold;
  s.untold = 0;
  p.toldAt = clock_.elapsed();
  p.raiseTold = s.raised;
  if (s.raised)
    tell(c, true, repeats - 1);  // this raise itself, and the ones before it
  else
    tell(c, false, repeats);
  announce();
}

void Alerts::tell(AlertCondition c, bool raised, int repeats) {
  const AlertStatus& s = status(c);
  AlertMessage m;
  m.condition = c;
  m.raised = raised;
  m.routes = s.routes;
  m.entries = s.entries;
  m.repeats = repeats;
  m.at = station_.clock()();
  webhook_.post(alert_json(m, stationName()));
  emit told(m);
}

void Alerts::announce() {
  if (bridge_) {
    QJsonObject attributes;
    QJsonArray raised;
    for (int i = 0; i < kAlertConditions; ++i) {
      const AlertStatus& s = state_.conditions[static_cast<size_t>(i)];
      if (!s.raised) continue;
      const QString name = alert_name(static_cast<AlertCondition>(i));
      raised.append(name);
      if (!s.routes.isEmpty())
        attributes.insert(name + QStringLiteral("_routes"), routes_json(s.routes));
      if (!s.entries.isEmpty())
        attributes.insert(name + QStringLiteral("_entries"), QJsonArray::fromStringList(s.entries));
    }
    attributes.insert(QStringLiteral("conditions"), raised);
    bridge_->showProblem(state_.any(), QJsonDocument(attributes).toJson(QJsonDocument::Compact));
  }
  emit stateChanged(state_);
}
