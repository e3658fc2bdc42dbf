#include "editing/route_pages.h"

#include <QHash>
#include <QSet>

#include "editing/entry_text.h"

QList<ListItem> refresh_list(const EntryCollection& colData, int route) {
  QList<ListItem> items;
  qint16 n = 1;
  for (const auto& it : colData) {
    Clsdata& e = *it.entry;
    if (e.nRoute != route) continue;
    e.nNo = n++;
    items.append({entry_key(route, e.nNo), entry_text(e), it.entry});
  }
  return items;
}

int count_page(const EntryCollection& colData, int nPage) {
  int count = 0;
  for (const auto& it : colData)
    if (it.entry->nRoute == nPage) ++count;
  return count;
}

int remove_entries(EntryCollection& colData, const QList<EntryPtr>& victims) {
  QSet<const Clsdata*> gone;
  for (const EntryPtr& v : victims) gone.insert(v.get());
  QStringList keys;
  for (const auto& it : colData)
    if (gone.contains(it.entry.get())) keys << it.key;
  for (const QString& k : keys) colData.remove(k);
  return static_cast<int>(keys.size());
}

int remove_page(EntryCollection& colData, int nPage) {
  QList<EntryPtr> page;
  for (const auto& it : colData)
    if (it.entry->nRoute == nPage) page << it.entry;
  return remove_entries(colData, page);
}

void add_unique(EntryCollection& colData, const QString& key, const EntryPtr& entry) {
  if (colData.add(key, entry)) return;
  for (int clash = 2; !colData.add(key + QStringLiteral("#%1").arg(clash), entry); ++clash) {
  }
}

void rebuild_keys(EntryCollection& colData) {
  QHash<int, qint16> next;  // per route: the next number
  EntryCollection fresh;
  for (const auto& it : colData) {
    Clsdata& e = *it.entry;
    qint16& n = next[e.nRoute];
    e.nNo = ++n;
    add_unique(fresh, entry_key(e.nRoute, e.nNo), it.entry);
  }
  colData.replace(std::move(fresh));
}
