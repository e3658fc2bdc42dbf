#pragma once

#include <QSet>
#include <QString>
#include <vector>

#include "core/clsdata.h"

// The ordered, string-keyed collection of entries (the program's colData is one of these).
// Order is insertion order and is what the scheduler, the list, saving and the download use.
// Each key is present at most once.
class EntryCollection {
 public:
  struct Item {
    QString key;
    EntryPtr entry;
  };
  using const_iterator = std::vector<Item>::const_iterator;

  // Appends entry under key. Returns false and changes nothing when the key is already present
  // or the entry is null.
  bool add(const QString& key, EntryPtr entry);
  // Removes the entry under key; false when there is none. Keeps the order of the others.
  bool remove(const QString& key);
  // Removes the first entry; does nothing on an empty collection.
  void removeFirst();
  void clear();
  bool contains(const QString& key) const { return keys_.contains(key); }
  // The entry under key, or null.
  EntryPtr item(const QString& key) const;

  int count() const { return static_cast<int>(items_.size()); }
  bool isEmpty() const { return items_.empty(); }
  const Item& at(int i) const { return items_[static_cast<size_t>(i)]; }
  const_iterator begin() const { return items_.begin(); }
  const_iterator end() const { return items_.end(); }

  // Replaces the whole content with other's (other is left empty).
  void replace(EntryCollection&& other);

 private:
  std::vector<Item> items_;
  QSet<QString> keys_;
};
