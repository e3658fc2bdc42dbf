#pragma once

#include <QString>

#include "core/entry_collection.h"
#include "core/prompt.h"

// The three commands that exchange the entry set with files. Every message goes through prompt.

// Save: writes colData as the whole default store at once (so no key of an older set survives)
// and puts the old store's content into the trash as a backup, under the name "Note.ini.bak"
// (skipped when there is none or no trash, or when the folder may not be written to and the store
// is written in place). A symbolic link is followed and kept. No other file is deleted or
// overwritten. The store is replaced atomically: it is always either the old or the new set, and
// the old one stays untouched unless the new one was written completely. Tells
// "保存成功！", or "保存失败" + path when writing failed. Returns whether it saved.
bool save_entry_store(const EntryCollection& colData, const QString& storePath, Prompt& prompt);

// Save As: asks for a path, writes colData as it is now to it (entry-file format) and tells
// "文件已另存为" + path, or "另存失败" + path. Cancelling changes nothing and says nothing.
bool save_entries_as(const EntryCollection& colData, Prompt& prompt);

enum class OpenResult { Cancelled, Failed, Loaded };

// Open: asks for a path and reads the file into a new collection; only when the file could be read
// does that collection replace colData (a readable file without entries empties it). A file that
// is missing or cannot be read is told with "打开失败" + path and colData stays as it was.
// On Loaded the caller sets ChkAuto from the count and refills the list.
OpenResult open_entry_file(EntryCollection& colData, Prompt& prompt);
