#include "remote/web_api.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <cmath>

namespace {

QJsonObject entry_fields(const Clsdata& e) {
  QJsonObject o;
  o[QStringLiteral("route")] = e.nRoute;
  o[QStringLiteral("time")] = QStringLiteral("%1:%2:%3")
                                  .arg(e.nStartHour, 2, 10, QLatin1Char('0'))
                                  .arg(e.nStartMin, 2, 10, QLatin1Char('0'))
                                  .arg(e.nStartSecond, 2, 10, QLatin1Char('0'));
  o[QStringLiteral("on")] = e.bIsOpen;
  switch (recurrence(e)) {
    case Recurrence::EveryDay:
      o[QStringLiteral("kind")] = QStringLiteral("daily");
      break;
    case Recurrence::Weekly: {
      o[QStringLiteral("kind")] = QStringLiteral("weekly");
      QJsonArray days;
      for (int d = 0; d < 7 && d < e.strWeek.size(); ++d)
        if (e.strWeek.at(d) == QLatin1Char('1')) days.append(d + 1);
      o[QStringLiteral("days")] = days;
      break;
    }
    case Recurrence::Date:
      o[QStringLiteral("kind")] = QStringLiteral("date");
      o[QStringLiteral("date")] = QStringLiteral("%1-%2-%3")
                                      .arg(e.nStartYear, 4, 10, QLatin1Char('0'))
                                      .arg(e.nStartMonth, 2, 10, QLatin1Char('0'))
                                      .arg(e.nStartDay, 2, 10, QLatin1Char('0'));
      break;
  }
  return o;
}

QByteArray random_token() {
  std::array<quint32, 8> words{};
  QRandomGenerator::system()->fillRange(words.data(), words.size());
  return QByteArray(reinterpret_cast<const char*>(words.data()), sizeof words)
      .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QString plan_word(PlanState s) {
  switch (s) {
    case PlanState::Energised:
      return QStringLiteral("on");
    case PlanState::Released:
      return QStringLiteral("off");
    case PlanState::Unknown:
      break;
  }
  return QStringLiteral("unknown");
}

QString actual_word(ActualState s) {
  switch (s) {
    case ActualState::Energised:
      return QStringLiteral("on");
    case ActualState::Released:
      return QStringLiteral("off");
    case ActualState::NoLink:
      return QStringLiteral("no-link");
    case ActualState::Unknown:
      break;
  }
  return QStringLiteral("unknown");
}

QJsonValue ms_time(qint64 ms) { return web_time(QDateTime::fromMSecsSinceEpoch(ms)); }

}  // namespace

QString web_link_word(LinkHealth h) {
  switch (h) {
    case LinkHealth::Answering:
      return QStringLiteral("answering");
    case LinkHealth::NoAnswer:
      return QStringLiteral("no-answer");
    case LinkHealth::Waiting:
      return QStringLiteral("waiting");
    case LinkHealth::Closed:
      break;
  }
  return QStringLiteral("closed");
}

QJsonValue web_time(const QDateTime& t) {
  if (!t.isValid()) return QJsonValue::Null;
  return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODate);
}

QJsonObject web_entry_json(const QString& key, const Clsdata& e, const QString& text) {
  QJsonObject o = entry_fields(e);
  o[QStringLiteral("key")] = key;
  o[QStringLiteral("valid")] = entry_can_fall_due(e);
  o[QStringLiteral("text")] = text;
  return o;
}

std::optional<QJsonObject> web_json_object(const QByteArray& body) {
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
  if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
  return doc.object();
}

WebEntryError read_web_entry(const QByteArray& body, WebEntry* out) {
  const std::optional<QJsonObject> o = web_json_object(body);
  if (!o) return WebEntryError::NotJson;
  WebEntry w;
  const QJsonValue route = o->value(QStringLiteral("route"));
  const double r = route.toDouble(-1);
  // The range first: a cast of a number beyond int's is undefined.
  if (!route.isDouble() || !(r >= 1 && r <= kRouteCount) || r != std::floor(r))
    return WebEntryError::Route;
  w.route = static_cast<int>(r);
  const QString kind = o->value(QStringLiteral("kind")).toString();
  if (kind == QLatin1String("daily"))
    w.kind = Recurrence::EveryDay;
  else if (kind == QLatin1String("weekly"))
    w.kind = Recurrence::Weekly;
  else if (kind == QLatin1String("date"))
    w.kind = Recurrence::Date;
  else
    return WebEntryError::Kind;
  const QString time = o->value(QStringLiteral("time")).toString();
  w.time = QTime::fromString(time, QStringLiteral("HH:mm:ss"));
  if (time.size() != 8 || !w.time.isValid()) return WebEntryError::Time;
  if (w.kind == Recurrence::Weekly) {
    const QJsonValue days = o->value(QStringLiteral("days"));
    if (!days.isArray() || days.toArray().isEmpty()) return WebEntryError::Days;
    for (const QJsonValue& d : days.toArray()) {
      const double n = d.toDouble(0);
      if (!d.isDouble() || !(n >= 1 && n <= 7) || n != std::floor(n)) return WebEntryError::Days;
      bool& day = w.days[static_cast<size_t>(n) - 1];
      if (day) return WebEntryError::Days;
      day = true;
    }
  }
  if (w.kind == Recurrence::Date) {
    const QString date = o->value(QStringLiteral("date")).toString();
    w.date = QDate::fromString(date, QStringLiteral("yyyy-MM-dd"));
    if (date.size() != 10 || !w.date.isValid() || w.date < kFirstPickerDate ||
        w.date > kLastPickerDate)
      return WebEntryError::Date;
  }
  const QJsonValue on = o->value(QStringLiteral("on"));
  if (!on.isBool()) return WebEntryError::Action;
  w.on = on.toBool();
  w.confirmPast = o->value(QStringLiteral("confirmPast")).toBool(false);
  *out = w;
  return WebEntryError::None;
}

EditorState web_editor_state(const WebEntry& w) {
  EditorState s;
  s.option = w.kind == Recurrence::EveryDay ? 0 : w.kind == Recurrence::Weekly ? 1 : 2;
  s.week = w.days;
  if (w.date.isValid()) s.date = w.date;
  s.hour = w.time.hour();
  s.minute = w.time.minute();
  s.second = w.time.second();
  s.status = w.on ? 0 : 1;
  return s;
}

QJsonObject web_plan_json(const WeekPlan& plan, const ActualRoutes& actual,
                          const ActualMisses& misses,
                          const std::array<QString, kRouteCount + 1>& names, qint64 now) {
  QJsonArray routes;
  for (int r = 1; r <= kRouteCount; ++r) {
    const auto i = static_cast<size_t>(r);
    QJsonArray planned, done, missed;
    for (const PlanPeriod& p : plan.routes[i].periods)
      planned.append(QJsonObject{{QStringLiteral("from"), ms_time(p.from)},
                                 {QStringLiteral("to"), ms_time(p.to)},
                                 {QStringLiteral("state"), plan_word(p.state)},
                                 {QStringLiteral("key"), p.key}});
    for (const ActualPeriod& p : actual[i])
      done.append(QJsonObject{{QStringLiteral("from"), ms_time(p.from)},
                              {QStringLiteral("to"), ms_time(p.to)},
                              {QStringLiteral("state"), actual_word(p.state)}});
    for (const ActualMiss& m : misses[i])
      missed.append(
          QJsonObject{{QStringLiteral("at"), ms_time(m.at)}, {QStringLiteral("key"), m.key}});
    routes.append(QJsonObject{{QStringLiteral("route"), r},
                              {QStringLiteral("name"), names[i]},
                              {QStringLiteral("plan"), planned},
                              {QStringLiteral("actual"), done},
                              {QStringLiteral("missed"), missed}});
  }
  return QJsonObject{{QStringLiteral("from"), ms_time(plan.from)},
                     {QStringLiteral("to"), ms_time(plan.to)},
                     {QStringLiteral("now"), ms_time(now)},
                     {QStringLiteral("routes"), routes}};
}

QByteArray web_cookie(const QByteArray& header, const QByteArray& name) {
  for (const QByteArray& part : header.split(';')) {
    const QByteArray pair = part.trimmed();
    const qsizetype eq = pair.indexOf('=');
    if (eq > 0 && pair.left(eq).trimmed() == name) return pair.mid(eq + 1).trimmed();
  }
  return {};
}

WebSessions::Session WebSessions::create(qint64 nowMs) {
  while (sessions_.size() >= kMaxSessions) {
    // The one used longest ago makes room.
    auto oldest = sessions_.begin();
    for (auto it = sessions_.begin(); it != sessions_.end(); ++it)
      if (it->lastUsed < oldest->lastUsed) oldest = it;
    sessions_.erase(oldest);
  }
  Session s{random_token(), random_token(), nowMs};
  sessions_.insert(s.id, s);
  return s;
}

const WebSessions::Session* WebSessions::use(const QByteArray& id, qint64 nowMs) {
  auto it = sessions_.find(id);
  if (it == sessions_.end()) return nullptr;
  if (nowMs - it->lastUsed > kIdleMs) {
    sessions_.erase(it);
    return nullptr;
  }
  it->lastUsed = nowMs;
  return &*it;
}

void LoginBrake::prune(const QString& address, qint64 nowMs) {
  auto it = failures_.find(address);
  if (it == failures_.end()) return;
  while (!it->isEmpty() && nowMs - it->first() >= kWindowMs) it->removeFirst();
  if (it->isEmpty()) failures_.erase(it);
}

int LoginBrake::retryAfter(const QString& address, qint64 nowMs) {
  prune(address, nowMs);
  const auto it = failures_.constFind(address);
  if (it == failures_.cend() || it->size() < kMaxFailures) return 0;
  const qint64 wait = it->at(it->size() - kMaxFailures) + kWindowMs - nowMs;
  return static_cast<int>(std::max<qint64>(1, (wait + 999) / 1000));
}

void LoginBrake::forgetLast(const QString& address) {
  auto it = failures_.find(address);
  if (it == failures_.end()) return;
  it->removeLast();
  if (it->isEmpty()) failures_.erase(it);
}

void LoginBrake::failed(const QString& address, qint64 nowMs) {
  prune(address, nowMs);
  if (!failures_.contains(address) && failures_.size() >= kMaxAddresses) {
    // Forget the address whose last failure is oldest.
    auto oldest = failures_.begin();
    for (auto it = failures_.begin(); it != failures_.end(); ++it)
      if (it->last() < oldest->last()) oldest = it;
    failures_.erase(oldest);
  }
  QList<qint64>& list = failures_[address];
  list.append(nowMs);
  while (list.size() > kMaxFailures) list.removeFirst();
}
