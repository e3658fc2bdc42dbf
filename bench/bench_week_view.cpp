// The week view's chart drawn over a full store (16 routes x 99 entries) and a busy record: goal
// under 16 ms a drawing (one frame). Also the actual periods from a fortnight of record events.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include "core/due_moments.h"
#include "station/actual_periods.h"
#include "support/full_store.h"
#include "ui/ui_support.h"
#include "ui/week_view.h"

namespace {

const QDate kToday(2026, 12, 7);

EntryCollection view_store() {
  return full_store([](Clsdata& e, int, int no) {
    e.nNo = static_cast<qint16>(no);
    e.bIsOpen = no % 2;
    e.bIsEveryDay = no % 3 == 0;
    e.bIsWeek = no % 3 == 1;
    e.strWeek = QStringLiteral("1010101");
    e.nStartYear = 2026;
    e.nStartMonth = 12;
    e.nStartDay = static_cast<qint16>(1 + no % 14);
    e.nStartHour = static_cast<qint16>(no % 24);
    e.nStartMin = static_cast<qint16>((no * 7) % 60);
  });
}

// Every route reported switching every 20 minutes for a fortnight, the link lost once a day.
QList<RecordEvent> busy_record(const QDateTime& from, const QDateTime& now) {
  QList<RecordEvent> events;
  events << RecordEvent{from, 0, RecordAction::PortOpened, RecordCause::None, {}, {}, {}};
  int n = 0;
  for (QDateTime t = from.addSecs(1); t < now; t = t.addSecs(1200), ++n) {
    if (n % 72 == 5)
      events << RecordEvent{t, 0, RecordAction::BoardSilent, RecordCause::None, {}, {}, {}};
    for (int r = 1; r <= 16; ++r)
      events << RecordEvent{t.addMSecs(r),
                            r,
                            (n + r) % 2 ? RecordAction::Energise : RecordAction::Release,
                            RecordCause::Board,
                            {},
                            {},
                            {}};
  }
  return events;
}

struct Scene {
  EntryCollection store = view_store();
  QDateTime from{kToday.addDays(-7), QTime(0, 0)}, to{kToday.addDays(8), QTime(0, 0)};
  QDateTime now{kToday, QTime(12, 0)};
  QList<RecordEvent> events = busy_record(from.addDays(-7), now);
  Scene() {
    for (RecordEvent& e : events) e.at = e.at.toUTC();  // as the view keeps them
  }
};

void BM_ActualPeriods(benchmark::State& state) {
  const Scene s;
  for (auto _ : state)
    benchmark::DoNotOptimize(actual_periods(s.events, s.from.toMSecsSinceEpoch(),
                                            s.to.toMSecsSinceEpoch(), s.now.toMSecsSinceEpoch(),
                                            quint16(0x00ff)));
  state.counters["events"] = s.events.size();
}
BENCHMARK(BM_ActualPeriods)->Unit(benchmark::kMillisecond);

// The view's opening: a fortnight of a busy record (3,000 lines a day) read back, times to UTC.
void BM_ReadRecordFortnight(benchmark::State& state) {
  QTemporaryDir dir;
  QDir().mkpath(dir.filePath(QStringLiteral("log")));
  SwitchRecord record(dir.path());
  const QDateTime from(kToday.addDays(-14), QTime(0, 0));
  QByteArray text =
      QByteArrayLiteral("\xEF\xBB\xBF") + QStringLiteral("时间,路,动作,来源\r\n").toUtf8();
  for (int i = 0; i < 14 * 3000; ++i)
    text += RecordLine::line({from.addMSecs(i * 28800LL),
                                1 + i % 16,
                                i % 2 ? RecordAction::Energise : RecordAction::Release,
                                RecordCause::Board,
                                {},
                                {},
                                {}})
                .toUtf8() +
            "\r\n";
  QFile f(dir.filePath(QStringLiteral("log/2026-11.csv")));
  f.open(QIODevice::WriteOnly);
  f.write(text);
  f.close();
  for (auto _ : state) {
    QList<RecordEvent> events = record.since(from);
    for (RecordEvent& e : events) e.at = e.at.toUTC();
    benchmark::DoNotOptimize(events.size());
  }
}
BENCHMARK(BM_ReadRecordFortnight)->Unit(benchmark::kMillisecond);

// One drawing of the chart, a week or a day wide, into an image of the window's size.
void BM_DrawWeekChart(benchmark::State& state) {
  const Scene s;
  WeekChart chart([](const QString& key) { return key; });
  chart.resize(940, chart.sizeHint().height());
  const qint64 from = s.from.toMSecsSinceEpoch(), to = s.to.toMSecsSinceEpoch();
  chart.setData(
      week_plan(s.store, from, to, last_route_states(s.store, s.from), s.now.toMSecsSinceEpoch()),
      actual_periods(s.events, from, to, s.now.toMSecsSinceEpoch(), quint16(0)),
      QStringList(16, QStringLiteral("未命名")), s.now.toMSecsSinceEpoch());
  const qint64 length = (state.range(0) ? 1 : 7) * 86400000LL;
  const qint64 start = QDateTime(kToday.addDays(-3), QTime(0, 0)).toMSecsSinceEpoch();
  chart.setWindow(start, start + length);
  QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    chart.render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_DrawWeekChart)->Arg(0)->Arg(1)->ArgName("day")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  install_font_substitutions();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
