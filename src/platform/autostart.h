#pragma once

#include <QString>

// Starting with the desktop session: an XDG autostart entry
// $XDG_CONFIG_HOME/autostart/<executable name>.desktop (by default under ~/.config) whose Exec
// line runs the executable at its absolute path, quoted so that spaces and special characters
// survive.

QString autostart_entry_path(const QString& executablePath);

// The desktop entry's text for the executable.
QByteArray autostart_entry(const QString& executablePath);

// The Exec value for one program path: quoted where the desktop-entry rules ask for it.
QString desktop_exec_quoted(const QString& path);

// Creates or replaces the entry (on) or removes it (off); other entries are left alone.
// Returns whether that worked; callers may ignore it.
bool set_autostart(bool on, const QString& executablePath);
