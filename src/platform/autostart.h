#pragma once

#include <QString>

// Starting with the desktop session: an XDG autostart entry
// $XDG_CONFIG_HOME/autostart/<executable name>.desktop (by default under ~/.config) whose Exec
// line runs the executable at its absolute path (the installed program when it runs installed),
// quoted so that spaces and special characters survive, and whose Icon is the installed theme
// icon "tavrel". A data folder other than the one the executable would choose by itself is passed
// on as "--data DIR", so the session starts the program on the same files.

QString autostart_entry_path(const QString& executablePath);

// The desktop entry's text for the executable.
QByteArray autostart_entry(const QString& executablePath, const QString& dataDir = {});

// The Exec value for one program path: quoted where the desktop-entry rules ask for it.
QString desktop_exec_quoted(const QString& path);

// Creates or replaces the entry (on) or removes it (off); other entries are left alone.
// Returns whether that worked; callers may ignore it.
bool set_autostart(bool on, const QString& executablePath, const QString& dataDir = {});
