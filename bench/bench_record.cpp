// The 记录 window on a month's record file of 300 MB: how long filling it takes when it opens
// (every route, then one route's page, then a route the month never switched, whose page reads the
// whole file) and how much memory that takes beyond what the program held before (the peak, and
// what stays). Goal: under 0.3 s and under 20 MB more.
// Usage: bench_record [megabytes]   (default 300)
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>

#include "station/switch_record.h"
#include "ui/record_window.h"

namespace {

// A field of /proc/self/status in kB: VmRSS now, VmHWM the peak since the last reset.
long status_kb(const QByteArray& field) {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith(field + ':'))
      return line.mid(field.size() + 1).trimmed().split(' ')[0].toLong();
  return -1;
}

void reset_peak() {
  QFile f(QStringLiteral("/proc/self/clear_refs"));
  if (f.open(QIODevice::WriteOnly)) f.write("5");
}

// A month of events: every route but 16 switching in turn, with an event of the link now and then
// (too seldom to fill a page: route 16's page reads the whole file).
qint64 write_month(const QString& path, qint64 bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return 0;
  f.write(QByteArray("\xEF\xBB\xBF") + QStringLiteral("时间,路,动作,来源\r\n").toUtf8());
  const QDateTime start(QDate(2026, 12, 1), QTime(0, 0));
  const QByteArray on = QStringLiteral("吸合").toUtf8(), off = QStringLiteral("断开").toUtf8();
  const QByteArray answers = QStringLiteral("板应答").toUtf8();
  QByteArray block;
  qint64 lines = 0;
  char text[160];
  for (qint64 written = 0; written < bytes; ++lines) {
    const QDateTime at = start.addMSecs(lines * 350);
    const QByteArray time = at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toLatin1();
    const int route = static_cast<int>(lines % 15) + 1;
    const int n =
        lines % 100000 == 99999
            ? std::snprintf(text, sizeof text, "%s,,%s,/dev/ttyUSB0\r\n", time.constData(),
                            answers.constData())
            : std::snprintf(text, sizeof text, "%s,%d,%s,key%02d%02d\r\n", time.constData(), route,
                            (lines / 15) % 2 ? on.constData() : off.constData(), route,
                            static_cast<int>(lines % 99) + 1);
    block.append(text, n);
    written += n;
    if (block.size() > (4 << 20)) {
      f.write(block);
      block.clear();
    }
  }
  f.write(block);
  return lines;
}

void measure(const char* what, RecordWindow& w, const std::function<void()>& act) {
  const long before = status_kb("VmRSS");
  reset_peak();
  QElapsedTimer t;
  t.start();
  act();
  QCoreApplication::processEvents();
  const double ms = t.nsecsElapsed() / 1e6;
  std::printf("%-34s %7.1f ms  %5d rows  peak +%6.1f MB  kept +%6.1f MB\n", what, ms,
              w.list()->topLevelItemCount(), (status_kb("VmHWM") - before) / 1024.0,
              (status_kb("VmRSS") - before) / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const qint64 megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 300;
  QTemporaryDir dir;
  QDir(dir.path()).mkdir(QStringLiteral("log"));
  const qint64 lines =
      write_month(dir.filePath(QStringLiteral("log/2026-12.csv")), megabytes << 20);
  std::printf("record: %lld MB, %lld lines in one month's file\n",
              static_cast<long long>(megabytes), static_cast<long long>(lines));

  SwitchRecord record(dir.path());
  const EntryCollection entries;
  int route = 3;
  RecordWindow window(
      record, [&] { return route; }, entries, [] { return QStringList(); });
  window.showAll()->setChecked(true);
  measure("open, every route", window, [&] { window.show(); });
  measure("route 3's page", window, [&] { window.showAll()->setChecked(false); });
  route = 16;
  measure("route 16 (none this month)", window, [&] { window.refill(); });
  window.hide();
  window.showAll()->setChecked(true);
  measure("opened again, every route", window, [&] { window.show(); });
  return 0;
}
