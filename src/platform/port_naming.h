#pragma once

#include <QString>

// Where port number n ("Com"n, 1..20) leads: <appDir>/dosdevices/com<n> when that entry exists
// (usually a symlink to the adapter, e.g. /dev/serial/by-id/usb-...; a dangling link still counts,
// so opening it fails instead of silently reaching another port), otherwise /dev/ttyS<n-1>.
QString port_device_path(const QString& appDir, int n);

// Where the device path finally leads (symlinks followed); the path itself when it leads nowhere.
QString port_target_path(const QString& devicePath);
