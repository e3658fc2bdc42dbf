#include "core/entry_collection.h"

#include <algorithm>

bool EntryCollection::add(const QString& key, EntryPtr entry) {
  if (!entry || keys_.contains(key)) return false;
  keys_.insert(key);
  items_.push_back({key, std::move(entry)});
  markChanged();
  return true;
}

bool EntryCollection::remove(const QString& key) {
  if (!keys_.remove(key)) return false;
  items_.erase(
      std::find_if(items_.begin(), items_.end(), [&](const Item& it) { return it.key == key; }));
  markChanged();
  return true;
}

void EntryCollection::removeFirst() {
  if (items_.empty()) return;
  keys_.remove(items_.front().key);
  items_.erase(items_.begin());
  markChanged();
}

void EntryCollection::clear() {
  items_.clear();
  keys_.clear();
  markChanged();
}

EntryPtr EntryCollection::item(const QString& key) const {
  if (!keys_.contains(key)) return nullptr;
  for (const Item& it : items_)
    if (it.key == key) return it.entry;
  return nullptr;
}

void EntryCollection::replace(EntryCollection&& other) {
  items_ = std::move(other.items_);
  keys_ = std::move(other.keys_);
  other.clear();
  markChanged();
}

EntryCollection EntryCollection::clone() const {
  EntryCollection copy;
  copy.items_.reserve(items_.size());
  for (const Item& it : items_)
    copy.items_.push_back({it.key, std::make_shared<Clsdata>(*it.entry)});
  copy.keys_ = keys_;
  return copy;
}

void EntryCollection::markChanged() const {
  if (observer_.handler) observer_.handler();
}
