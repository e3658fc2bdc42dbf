#include "remote/mqtt_discovery.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

const QRegularExpression kPlainPrefix(QStringLiteral("^[a-zA-Z0-9-]+(/[a-zA-Z0-9-]+)*$"));
const QRegularExpression kDigitsFirst(QStringLiteral("^[0-9]+(/|$)"));

bool id_character(QChar c) {
  return c.unicode() < 128 && (c.isLetterOrNumber() || c == QLatin1Char('-'));
}

// An entity of the device: its component and the word after the device id.
struct Entity {
  const char* component;
  QString word;
};

QList<Entity> entities() {
  QList<Entity> all;
  for (int r = 1; r <= kRouteCount; ++r) all.append({"switch", QString::number(r)});
  for (int r = 1; r <= kRouteCount; ++r) all.append({"sensor", QStringLiteral("next%1").arg(r)});
  all.append({"binary_sensor", QStringLiteral("board")});
  all.append({"switch", QStringLiteral("auto")});
  all.append({"binary_sensor", QStringLiteral("problem")});
  return all;
}

QString translate(const char* text) { return QCoreApplication::translate("MqttBridge", text); }

// An entity id's object part as Home Assistant takes it: [a-z0-9_], no "__".
QString entity_slug(const QString& id) {
  QString slug = id.toLower().replace(QLatin1Char('-'), QLatin1Char('_'));
  while (slug.contains(QStringLiteral("__")))
    slug.replace(QStringLiteral("__"), QStringLiteral("_"));
  return slug;
}

}  // namespace

QString mqtt_device_id(const QString& prefix, int address) {
  if (prefix == QStringLiteral("tavrel/%1").arg(address))
    return QStringLiteral("tavrel_%1").arg(address);
  QString id = QStringLiteral("tavrel_");
  if (kPlainPrefix.match(prefix).hasMatch() && !kDigitsFirst.match(prefix).hasMatch())
    return id + QString(prefix).replace(QLatin1Char('/'), QLatin1Char('_'));
  // Not one-to-one: what reads of it, and a hash that tells it apart.
  QStringList runs;
  QString run;
  for (const QChar c : prefix + QLatin1Char(' ')) {
    if (id_character(c)) {
      run += c;
    } else if (!run.isEmpty()) {
      runs << run;
      run.clear();
    }
  }
  const QByteArray hash = QCryptographicHash::hash(prefix.toUtf8(), QCryptographicHash::Sha256);
  return id + runs.join(QLatin1Char('_')) + QStringLiteral("__") +
         QString::fromLatin1(hash.left(4).toHex());
}

QByteArray mqtt_client_id(const QString& hostName, const QString& deviceId) {
  QString host = hostName.left(64);
  for (QChar& c : host)
    if (!id_character(c)) c = QLatin1Char('-');
  return (QStringLiteral("tavrel-") + host + QLatin1Char('-') + deviceId.mid(7)).toUtf8();
}

QList<QByteArray> mqtt_discovery_topics(const QString& discoveryPrefix, const QString& deviceId) {
  QList<QByteArray> topics;
  for (const Entity& e : entities())
    topics << (discoveryPrefix + QLatin1Char('/') + QLatin1String(e.component) + QLatin1Char('/') +
               deviceId + QLatin1Char('_') + e.word + QStringLiteral("/config"))
                  .toUtf8();
  return topics;
}

QList<QPair<QByteArray, QByteArray>> mqtt_discovery_configs(const MqttDevice& d) {
  const QString availability = d.prefix + QStringLiteral("/availability");
  const QJsonObject device{
      {QStringLiteral("identifiers"), QJsonArray{d.id}},
      {QStringLiteral("name"), d.name},
      {QStringLiteral("manufacturer"), QStringLiteral("Tavrel")},
      {QStringLiteral("model"), translate(QT_TRANSLATE_NOOP("MqttBridge", "16 路继电器板"))},
      {QStringLiteral("sw_version"), QCoreApplication::applicationVersion()}};
  const QJsonObject origin{{QStringLiteral("name"), QStringLiteral("Tavrel")},
                           {QStringLiteral("sw_version"), QCoreApplication::applicationVersion()}};
  const QList<QByteArray> topics = mqtt_discovery_topics(d.discoveryPrefix, d.id);
  const QList<Entity> all = entities();
  QList<QPair<QByteArray, QByteArray>> out;
  for (qsizetype i = 0; i < all.size(); ++i) {
    const Entity& e = all[i];
    QJsonObject c{{QStringLiteral("unique_id"), d.id + QLatin1Char('_') + e.word},
                  {QStringLiteral("device"), device},
                  {QStringLiteral("origin"), origin},
                  {QStringLiteral("availability_topic"), availability}};
    const int route = static_cast<int>(i % kRouteCount) + 1;
    const QString routeName = (translate(QT_TRANSLATE_NOOP("MqttBridge", "第%1路")).arg(route) +
                               QLatin1Char(' ') + d.routeNames[static_cast<size_t>(route)])
                                  .trimmed();
    const QString routeTopic = d.prefix + QStringLiteral("/route/%1/").arg(route);
    const QString entityId = entity_slug(d.id + QStringLiteral("_route_%1").arg(route));
    if (i < kRouteCount) {
      c.insert(QStringLiteral("name"), routeName);
      c.insert(QStringLiteral("default_entity_id"), QStringLiteral("switch.") + entityId);
      c.insert(QStringLiteral("state_topic"), routeTopic + QStringLiteral("state"));
      c.insert(QStringLiteral("command_topic"), routeTopic + QStringLiteral("set"));
      c.insert(QStringLiteral("payload_on"), QStringLiteral("ON"));
      c.insert(QStringLiteral("payload_off"), QStringLiteral("OFF"));
      c.insert(QStringLiteral("state_on"), QStringLiteral("ON"));
      c.insert(QStringLiteral("state_off"), QStringLiteral("OFF"));
    } else if (i < 2 * kRouteCount) {
      // The next topic reads "2026-12-08T07:05:00+08:00 ON", or "NONE" (unknown here).
      c.insert(QStringLiteral("name"),
               translate(QT_TRANSLATE_NOOP("MqttBridge", "%1 下次")).arg(routeName));
      c.insert(QStringLiteral("default_entity_id"),
               QStringLiteral("sensor.") + entityId + QStringLiteral("_next"));
      c.insert(QStringLiteral("device_class"), QStringLiteral("timestamp"));
      c.insert(QStringLiteral("state_topic"), routeTopic + QStringLiteral("next"));
      c.insert(QStringLiteral("value_template"),
               QStringLiteral("{{ value.split(' ')[0] if ' ' in value else 'None' }}"));
      c.insert(QStringLiteral("json_attributes_topic"), routeTopic + QStringLiteral("next"));
      c.insert(QStringLiteral("json_attributes_template"),
               QStringLiteral("{{ {'action': value.split(' ')[1] if ' ' in value else none} "
                              "| tojson }}"));
    } else if (e.word == QLatin1String("board")) {
      // Answering or not is what availability tells; the sensor itself is always available.
      c.remove(QStringLiteral("availability_topic"));
      c.insert(QStringLiteral("name"), translate(QT_TRANSLATE_NOOP("MqttBridge", "继电器板")));
      c.insert(QStringLiteral("default_entity_id"),
               QStringLiteral("binary_sensor.") + entity_slug(d.id + QStringLiteral("_board")));
      c.insert(QStringLiteral("device_class"), QStringLiteral("connectivity"));
      c.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
      c.insert(QStringLiteral("state_topic"), availability);
      c.insert(QStringLiteral("payload_on"), QStringLiteral("online"));
      c.insert(QStringLiteral("payload_off"), QStringLiteral("offline"));
    } else if (e.word == QLatin1String("problem")) {
      // On while any alert's condition holds; the conditions themselves as attributes.
      c.remove(QStringLiteral("availability_topic"));
      c.insert(QStringLiteral("name"), translate(QT_TRANSLATE_NOOP("MqttBridge", "故障")));
      c.insert(QStringLiteral("default_entity_id"),
               QStringLiteral("binary_sensor.") + entity_slug(d.id + QStringLiteral("_problem")));
      c.insert(QStringLiteral("device_class"), QStringLiteral("problem"));
      c.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
      c.insert(QStringLiteral("state_topic"), d.prefix + QStringLiteral("/problem"));
      c.insert(QStringLiteral("payload_on"), QStringLiteral("ON"));
      c.insert(QStringLiteral("payload_off"), QStringLiteral("OFF"));
      c.insert(QStringLiteral("json_attributes_topic"),
               d.prefix + QStringLiteral("/problem/attributes"));
    } else {
      c.insert(QStringLiteral("name"), translate(QT_TRANSLATE_NOOP("MqttBridge", "自动功能允许")));
      c.insert(QStringLiteral("default_entity_id"),
               QStringLiteral("switch.") + entity_slug(d.id + QStringLiteral("_auto")));
      c.insert(QStringLiteral("entity_category"), QStringLiteral("config"));
      c.insert(QStringLiteral("state_topic"), d.prefix + QStringLiteral("/auto/state"));
      c.insert(QStringLiteral("command_topic"), d.prefix + QStringLiteral("/auto/set"));
    }
    out.append({topics[i], QJsonDocument(c).toJson(QJsonDocument::Compact)});
  }
  return out;
}
