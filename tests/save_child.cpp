// Test helper: saves two different full entry sets (16 routes x 99 entries) into the store given
// as its argument, alternately and without end, until it is killed.
#include <QCoreApplication>

#include "core/entry_store.h"
#include "support/full_store.h"

// Entry set `variant` (0 or 1): every entry of it carries the variant in its action and second.
EntryCollection full_set(int variant) {
  return full_store([variant](Clsdata& e, int r, int n) {
    e.bIsEveryDay = true;
    e.bIsOpen = variant == 1;
    e.nStartHour = static_cast<qint16>(n % 24);
    e.nStartMin = static_cast<qint16>(r);
    e.nStartSecond = static_cast<qint16>(variant);
  });
}

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QString store = app.arguments().value(1);
  const EntryCollection sets[2] = {full_set(0), full_set(1)};
  for (unsigned i = 0;; ++i) save_entry_store(sets[i % 2], store);
}
