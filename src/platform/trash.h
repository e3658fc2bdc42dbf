#pragma once

#include <QString>

// Moves a file to the user's trash the way freedesktop.org desktops keep it: the home
// trash ($XDG_DATA_HOME/Trash, by default ~/.local/share/Trash) when the file lies on the same
// file system, otherwise the .Trash-<uid> folder at the top of the file's own file system. The
// file keeps its name in the trash, or takes trashName when one is given (a number is added on a
// clash), and an info file records where it came from (under that name) and when. Returns false,
// leaving the file where it is, when no trash can take it.
//
// (QFile::moveToTrash in Qt 6.4 falls back to a folder relative to the working directory when it
// finds no trash, scattering files there; this one never writes outside a trash.)
bool move_to_trash(const QString& path, const QString& trashName = {});
