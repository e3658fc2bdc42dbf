#pragma once

#include <QList>
#include <QString>

// Where port number n ("Com"n, 1..20) leads. When <appDir>/dosdevices exists, it is
// <appDir>/dosdevices/com<n> and nothing else (usually a symlink to the adapter, e.g.
// /dev/serial/by-id/usb-...; a missing or dangling entry makes the opening fail instead of
// silently reaching another port). Only a folder without dosdevices/ uses /dev/ttyS<n-1>.
QString port_device_path(const QString& appDir, int n);

// Where the device path finally leads (symlinks followed). For a link that leads nowhere, the
// place it names (the missing device); the path itself when it is no link and does not exist.
QString port_target_path(const QString& devicePath);

// A serial device that is present now: a USB adapter (ttyUSB*) or modem-class device (ttyACM*).
struct SerialDevice {
  QString path;   // e.g. /dev/ttyUSB0
  QString byId;   // the stable /dev/serial/by-id/... name leading to it; empty when there is none
  bool mayOpen;   // whether this user may read and write it
  QString group;  // the group that owns it (usually "dialout")
};

// The serial devices under devRoot (normally /dev), sorted by path. devRoot is a parameter only so
// that a folder can stand in for /dev.
QList<SerialDevice> present_serial_devices(const QString& devRoot = QStringLiteral("/dev"));

// The name to link to for a device: its by-id name when one leads to it, otherwise the device as
// given. A path that already is a by-id name is kept.
QString stable_device_name(const QString& device, const QString& devRoot = QStringLiteral("/dev"));

// Makes <dataDir>/dosdevices/com<n> a symlink to device (its stable name, see above), creating
// dosdevices/ when needed and replacing an older link. Refuses, with a short reason in *error,
// a port number outside 1..20, a device that does not exist, and a com<n> that is no symlink
// (a file or folder someone put there is never removed). On success *linked names the target.
bool link_port(const QString& dataDir, int n, const QString& device, QString* linked,
               QString* error, const QString& devRoot = QStringLiteral("/dev"));
