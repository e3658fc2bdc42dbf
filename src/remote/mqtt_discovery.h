#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <array>

#include "core/route_state.h"

// How the board shows itself to Home Assistant: its ids and its discovery configs.
//
// The device id is "tavrel_<address>" under the default prefix (the ids the program has always
// used, so Home Assistant keeps its entities). Another prefix made of levels of
// [a-zA-Z0-9-], the first not all digits, maps one-to-one: "tavrel_" and its levels joined by '_'
// ("garage/relay": "tavrel_garage_relay"). Any other prefix keeps its runs of [a-zA-Z0-9-]
// joined by '_', then "__" and 8 hex digits of the SHA-256 of its UTF-8 bytes ("温室/继电器":
// "tavrel__" and the hash), so no two prefixes share an id. Every entity's id is the device id,
// '_' and one word without '_' ("3", "next3", "board", "auto"), so entities of two devices never
// share one either. Ids hold [a-zA-Z0-9_-] only.
QString mqtt_device_id(const QString& prefix, int address);

// The client id the broker sees: "tavrel-<host>-" and the device id without "tavrel_", the host
// name's characters outside [a-zA-Z0-9-] as '-': fixed for one PC and prefix, so a broker's
// admin recognises it and can write rules for it.
QByteArray mqtt_client_id(const QString& hostName, const QString& deviceId);

// The device's entities under discovery prefix D, each at D/<component>/<device id>_<word>/config:
// per route N a switch (word N) on P/route/N/state and /set and a timestamp sensor (word nextN)
// reading the next switch from P/route/N/next, its action as the attribute "action"; one
// connectivity binary_sensor (word board) reading P/availability (on while the board answers);
// one switch (word auto) for "自动功能允许" on P/auto/state and /set; one problem binary_sensor
// (word problem) reading P/problem, its attributes from P/problem/attributes. Each carries the
// device block, an origin block, a readable default entity id ("switch.tavrel_1_route_3", the
// device id in lower case with '-' and "__" as '_') and, but the board's, availability on
// P/availability.
struct MqttDevice {
  QString prefix;                                   // P
  QString discoveryPrefix;                          // D
  QString id;                                       // mqtt_device_id
  QString name;                                     // "Tavrel <address>" or "Tavrel <prefix>"
  std::array<QString, kRouteCount + 1> routeNames;  // [N]: the route's name, as its tab shows it
};

// The config topics of a device, in the order of the list above.
QList<QByteArray> mqtt_discovery_topics(const QString& discoveryPrefix, const QString& deviceId);
// Each topic with its config (compact JSON).
QList<QPair<QByteArray, QByteArray>> mqtt_discovery_configs(const MqttDevice& d);
