#pragma once

#include <QString>

#include "core/entry_collection.h"
#include "core/route_state.h"
#include "platform/atomic_file.h"
#include "platform/private_profile.h"

// Entry files: section "Note", one key per entry, "RRNN" (route and number within the route, two
// digits each) = the entry's 26-character text. Numbers of a route run from 01 without gaps; a
// missing key or a value of 26 zeros ends the route. Note.ini in the application directory is the
// default store; files the user saves and opens have the same format.
class EntryStore {
 public:
  explicit EntryStore(const QString& appDir);

  // The default store's path.
  QString path() const { return path_; }

  // One key of the default store (or of path), at most 26 characters; the missing-entry marker
  // when the file or key is missing.
  QString ReadNote(const QString& key) const;
  static QString ReadNoteFrom(const QString& key, const QString& path);
  // Writes one key of the default store; false when writing failed.
  bool WriteNote(const QString& key, const QString& value) const;

 private:
  QString path_;
};

// The store key of route r, number n: "0101".
QString store_key(int route, int no);

// Appends the entry set of a parsed file to colData: routes 1..16, numbers 1..99, each route up
// to its first missing key or marker; each entry gets nNo = n and the key "key" + store key.
// Values are cut to 26 characters; a malformed one loads as a blank entry. Returns the number of
// entries added.
int load_entry_set(const ProfileFile& file, EntryCollection& colData);

// The key/value pairs that store colData: routes 1..16 in turn, each route's entries in collection
// order numbered from 1 (whatever their nNo says); entries of other routes are left out, and so
// is any entry past the 99th of a route (the file's keys hold two digits; only a hand-edited file
// whose keys and texts disagree can bring a route past 99).
ProfileFile::Pairs entry_set_pairs(const EntryCollection& colData);

// The complete content of an entry file holding colData (section "Note", CRLF line ends).
QByteArray render_entry_file(const EntryCollection& colData);

// Save: writes colData as the whole store at storePath at once (so no key of an older set
// survives) and puts the old store's content into the trash as a backup, under the name
// "Note.ini.bak" (skipped when there is none or no trash, or when the folder may not be written
// to and the store is written in place). A symbolic link is followed and kept. The backup is made
// as "Note.ini.bak-" and eight hex digits beside the store; one that a save killed midway left
// there (a regular file of exactly that pattern) goes to the trash the same way at the next save.
// No other file is deleted or overwritten. The store is replaced atomically: it is always either
// the old or the new set, and the old one stays untouched unless the new one was written
// completely. Returns whether it saved; why (when given) says why not.
bool save_entry_store(const EntryCollection& colData, const QString& storePath,
                      WriteFailure* why = nullptr);

// Writes colData as it is to the entry file at path (atomically). Returns whether it did; why
// (when given) says why not.
bool write_entry_file(const EntryCollection& colData, const QString& path,
                      WriteFailure* why = nullptr);

// Reads the entry file at path into a new collection, which replaces into's content only when the
// file could be read (a readable file without entries empties it). False for a file that is
// missing or cannot be read.
bool read_entry_file(const QString& path, EntryCollection& into);
