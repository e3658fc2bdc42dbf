// Load and save of a full entry store (16 routes x 99 entries): one parse and one write, against
// the naive way of opening the file once per key. Prints medians and the ratios.
// Goals: load under 5 ms, save under 20 ms (flush to disk included), both at least 50x faster.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "core/entry_store.h"
#include "support/full_store.h"

namespace {

EntryCollection full_set() {
  return full_store([](Clsdata& e, int, int n) {
    e.bIsWeek = true;
    e.strWeek = QStringLiteral("1010101");
    e.nStartHour = static_cast<qint16>(n % 24);
    e.nStartMin = static_cast<qint16>(n % 60);
  });
}

double median_ms(int runs, const std::function<void()>& setup, const std::function<void()>& work) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    if (setup) setup();
    QElapsedTimer t;
    t.start();
    work();
    ms.push_back(t.nsecsElapsed() / 1e6);
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  qputenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());  // backups go to a private trash
  const EntryCollection set = full_set();
  EntryStore store(dir.path());
  save_entry_store(set, store.path());

  int loaded = 0;
  const double load = median_ms(51, {}, [&] {
    EntryCollection c;
    loaded = load_entry_set(ProfileFile::load(store.path()), c);
  });
  const double loadNaive = median_ms(3, {}, [&] {
    EntryCollection c;
    for (int r = 1; r <= 16; ++r)
      for (int n = 1; n <= 99; ++n) {
        const QString text = store.ReadNote(store_key(r, n));
        if (text == kBlankEntryText) break;
        c.add(QStringLiteral("key") + store_key(r, n), StrToData(text));
      }
  });
  const auto emptyTrash = [&] { QDir(dir.filePath("data")).removeRecursively(); };
  const double save = median_ms(21, emptyTrash, [&] { save_entry_store(set, store.path()); });
  const double saveNaive = median_ms(
      1, [&] { QFile::remove(store.path()); },
      [&] {
        for (const auto& kv : entry_set_pairs(set)) store.WriteNote(kv.first, kv.second);
      });

  printf("entries: %d\n", loaded);
  printf("load: %.2f ms (goal < 5 ms); one open per key: %.1f ms; ratio %.0fx (goal >= 50x)\n",
         load, loadNaive, loadNaive / load);
  printf(
      "save: %.2f ms incl. flush (goal < 20 ms); one write per key: %.1f ms; ratio %.0fx "
      "(goal >= 50x)\n",
      save, saveNaive, saveNaive / save);
  return 0;
}
