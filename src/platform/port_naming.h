#pragma once

#include <QString>

// Where port number n ("Com"n, 1..20) leads. When <appDir>/dosdevices exists, it is
// <appDir>/dosdevices/com<n> and nothing else (usually a symlink to the adapter, e.g.
// /dev/serial/by-id/usb-...; a missing or dangling entry makes the opening fail instead of
// silently reaching another port). Only a folder without dosdevices/ uses /dev/ttyS<n-1>.
QString port_device_path(const QString& appDir, int n);

// Where the device path finally leads (symlinks followed). For a link that leads nowhere, the
// place it names (the missing device); the path itself when it is no link and does not exist.
QString port_target_path(const QString& devicePath);
