#pragma once

#include <QSet>
#include <QString>
#include <functional>
#include <vector>

#include "core/clsdata.h"

// The ordered, string-keyed collection of entries (the program's colData is one of these).
// Order is insertion order and is what the scheduler, the list, saving and the download use.
// Each key is present at most once.
//
// The collection tells its own changes: the handler set with setChangeHandler() runs after every
// add, remove, clear and replace, and when markChanged() says an entry was changed in place. The
// handler belongs to the object: copies and moved-to collections start without one.
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
  // A copy whose entries are copies too (a copy of the collection shares its entries): what may
  // go to another thread or owner.
  EntryCollection clone() const;

  void setChangeHandler(std::function<void()> handler) { observer_.handler = std::move(handler); }
  // An entry of the collection was changed in place.
  void markChanged() const;

 private:
  // Not copied or moved with the content.
  struct Observer {
    Observer() = default;
    Observer(const Observer&) {}
    Observer& operator=(const Observer&) { return *this; }
    std::function<void()> handler;
  };

  std::vector<Item> items_;
  QSet<QString> keys_;
  Observer observer_;
};
