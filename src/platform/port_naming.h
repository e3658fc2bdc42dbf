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

// Why a port could not be linked.
enum class LinkPortError {
  None,
  BadNumber,     // the port number lies outside 1..20
  NoDevice,      // the device does not exist
  NotADevice,    // what is there is no character device (a file, a folder): nothing a port opens
  NotATerminal,  // a character device the system knows as something else than a terminal
                 // (/dev/null, /dev/zero): frames would vanish into it
  NotALink,      // dosdevices/com<n> is a file or folder someone put there: never removed
  CannotLink,    // the folder or the link could not be made
};

struct LinkPortResult {
  LinkPortError error = LinkPortError::None;
  QString path;  // on success the target linked to; otherwise the device or link the error names
};

// Makes <dataDir>/dosdevices/com<n> a symlink to device (its stable name, see above), creating
// dosdevices/ when needed and replacing an older link. Only a character device (reached through
// links or not) is linked to.
LinkPortResult link_port(const QString& dataDir, int n, const QString& device,
                         const QString& devRoot = QStringLiteral("/dev"));
