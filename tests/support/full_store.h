#pragma once

#include <functional>

#include "core/entry_collection.h"

// A full store: 16 routes of 99 entries, in route and number order, keyed as the loaders key them.
// shape(entry, route, number) fills each entry after its route is set.
inline EntryCollection full_store(const std::function<void(Clsdata&, int, int)>& shape) {
  EntryCollection c;
  for (int r = 1; r <= 16; ++r)
    for (int n = 1; n <= 99; ++n) {
      auto e = std::make_shared<Clsdata>();
      e->nRoute = static_cast<qint16>(r);
      shape(*e, r, n);
      c.add(entry_key(r, n), e);
    }
  return c;
}
