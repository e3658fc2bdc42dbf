#pragma once

#include <QString>

// The data folder: where Name.ini, Note.ini, dosdevices/ and log/ live.
//
// A portable folder is the executable's own folder, used when that folder is writable or already
// holds Name.ini or Note.ini (a copy set up by hand keeps working even when made read-only).
// A folder programs are installed into (/usr/bin, /usr/local/bin, ~/.local/bin and the like) is
// never made portable by being writable: root would otherwise litter /usr/bin.
// Otherwise, for example when installed under /usr/bin, the user's folder
// $XDG_DATA_HOME/tavrel (by default ~/.local/share/tavrel) is used. An explicit folder (the
// command line's --data) wins over both. Paths returned are absolute and clean.

// Whether exeDir is one of the folders installed programs share.
bool is_shared_program_folder(const QString& exeDir);

// Whether exeDir is a portable folder in the sense above. Only looks, never creates anything.
bool is_portable_folder(const QString& exeDir);

// $XDG_DATA_HOME/tavrel; a missing or relative XDG_DATA_HOME means ~/.local/share.
QString user_data_folder();

// The folder the rules above choose. explicitDir, when not empty, is taken as given (made
// absolute against the current directory). Only looks, never creates anything.
QString choose_data_folder(const QString& exeDir, const QString& explicitDir = {});

// Creates the folder (and its parents) when it is missing. Returns whether it exists afterwards
// as a folder.
bool make_data_folder(const QString& dir);
