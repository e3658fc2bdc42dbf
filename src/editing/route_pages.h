#pragma once

#include <QList>
#include <QString>

#include "core/entry_collection.h"

// One line of the entry list: its key ("key" + route + number), its text, and the entry itself.
struct ListItem {
  QString key;
  QString text;
  EntryPtr entry;
};

// The entries of one route, numbered: every entry of `route`, in collection order, gets nNo 1..k
// (entries of other routes keep theirs) and becomes one list item. Collection keys are not changed.
QList<ListItem> refresh_list(const EntryCollection& colData, int route);

// The number of entries on route page nPage.
int count_page(const EntryCollection& colData, int nPage);

// Removes these entries (by identity, whatever their keys say) from colData, keeping the order of
// the others. Returns how many were removed.
int remove_entries(EntryCollection& colData, const QList<EntryPtr>& victims);

// Removes every entry of route page nPage.
int remove_page(EntryCollection& colData, int nPage);

// Adds entry under key, or, when key is taken, under key + "#" + a counter: never refused.
void add_unique(EntryCollection& colData, const QString& key, const EntryPtr& entry);

// Gives every entry the key its route and number call for, "key" + route + nNo, after numbering
// each route's entries 1..k in collection order; order and entries stay as they are. An entry whose
// key would be taken already (only a hand-edited file can bring two such entries together) gets
// the key with "#" and a counter appended, so no entry is ever lost.
void rebuild_keys(EntryCollection& colData);
