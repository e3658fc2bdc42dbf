// A simulated week of running: the scheduler timer and the push cycle on an injected clock, a full
// store of 1,584 entries of every kind, timer ticks that come late, early, twice in a second and
// coalesced, and a daylight-saving change of the local zone. After every tick the set frame the
// push cycle builds is compared with an oracle written here, which walks every second of the week
// on its own.
#include <time.h>

#include <QtTest>
#include <random>

#include "core/route_state.h"
#include "core/scheduler.h"
#include "device/command_frame.h"
#include "support/full_store.h"

namespace {

struct Week {
  const char* name;
  QDate first;
  int days;
};

// Entries: every kind, times spread over the day, some on the hours the clock skips or repeats.
EntryCollection make_store(std::mt19937& rng, const QDate& first, int days) {
  std::uniform_int_distribution<int> hour(0, 23), minute(0, 59), second(0, 59), coin(0, 1),
      kind(0, 2), day(0, days - 1), bits(0, 127);
  return full_store([&](Clsdata& e, int, int n) {
    e.nNo = static_cast<qint16>(n);
    e.bIsOpen = coin(rng);
    const int k = kind(rng);
    e.bIsEveryDay = k == 0;
    e.bIsWeek = k == 1;
    QString mask;
    const int b = bits(rng);
    for (int i = 0; i < 7; ++i) mask += (b >> i) & 1 ? '1' : '0';
    e.strWeek = mask;
    const QDate d = first.addDays(day(rng));
    e.nStartYear = static_cast<qint16>(d.year());
    e.nStartMonth = static_cast<qint16>(d.month());
    e.nStartDay = static_cast<qint16>(d.day());
    // A quarter of the entries sit between 02:00 and 03:00, where the clock jumps.
    e.nStartHour = static_cast<qint16>(n % 4 == 0 ? 2 : hour(rng));
    e.nStartMin = static_cast<qint16>(minute(rng));
    e.nStartSecond = static_cast<qint16>(second(rng));
  });
}

// The oracle: which routes must be energised after local second `t`, given the entries. Every
// reading of the clock falls due once, at the first second that shows it or a later one: a
// reading shown again (the autumn hour) fires nothing, readings skipped (the spring hour) fire
// with the next one shown, in their order.
class Oracle {
 public:
  explicit Oracle(const EntryCollection& c) {
    for (const auto& it : c) {
      const Clsdata& e = *it.entry;
      byTime_[e.nStartHour * 3600 + e.nStartMin * 60 + e.nStartSecond].push_back(&e);
    }
  }
  // Applies one second (seconds come in order); returns how many entries fired in it.
  int apply(const QDateTime& t, std::array<int, 17>& state) {
    const qint64 wall = QDateTime(t.date(), t.time(), Qt::UTC).toSecsSinceEpoch();
    int fired = 0;
    for (qint64 w = lastWall_ ? *lastWall_ + 1 : wall; w <= wall; ++w)
      fired += applyReading(QDateTime::fromSecsSinceEpoch(w, Qt::UTC), state);
    if (!lastWall_ || wall > *lastWall_) lastWall_ = wall;
    return fired;
  }

 private:
  int applyReading(const QDateTime& reading, std::array<int, 17>& state) const {
    const QTime time = reading.time();
    const auto it = byTime_.find(time.hour() * 3600 + time.minute() * 60 + time.second());
    if (it == byTime_.end()) return 0;
    int fired = 0;
    const QDate d = reading.date();
    for (const Clsdata* e : it->second) {
      bool due;
      if (e->bIsEveryDay)
        due = true;
      else if (e->bIsWeek)
        due = e->strWeek[d.dayOfWeek() - 1] == '1';
      else
        due = QDate(e->nStartYear, e->nStartMonth, e->nStartDay) == d;
      if (!due) continue;
      state[e->nRoute] = e->bIsOpen ? 2 : 1;
      ++fired;
    }
    return fired;
  }

  std::map<int, std::vector<const Clsdata*>> byTime_;
  std::optional<qint64> lastWall_;  // the latest reading applied
};

}  // namespace

class TestWeek : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void simulatedWeek_data();
  void simulatedWeek();
};

void TestWeek::initTestCase() {
  qputenv("TZ", "Europe/Berlin");
  tzset();
  // The zone really changes its offset in both weeks.
  QCOMPARE(QDateTime(QDate(2026, 3, 29), QTime(1, 0)).offsetFromUtc(), 3600);
  QCOMPARE(QDateTime(QDate(2026, 3, 29), QTime(4, 0)).offsetFromUtc(), 7200);
  QCOMPARE(QDateTime(QDate(2026, 10, 25), QTime(4, 0)).offsetFromUtc(), 3600);
}

void TestWeek::simulatedWeek_data() {
  QTest::addColumn<QDate>("first");
  QTest::addColumn<int>("days");
  QTest::newRow("spring, clocks go forward") << QDate(2026, 3, 26) << 7;
  QTest::newRow("autumn, clocks go back") << QDate(2026, 10, 24) << 2;
}

void TestWeek::simulatedWeek() {
  QFETCH(QDate, first);
  QFETCH(int, days);
  std::mt19937 rng(static_cast<unsigned>(first.toJulianDay()));
  const EntryCollection store = make_store(rng, first, days);
  Oracle oracle(store);

  // The wanted states as the switch path leaves them (the board's states taken over, all
  // released), and the set frame built from them.
  RouteStateTable nState;
  nState.fill(kRelease);
  std::array<int, 17> want;
  want.fill(1);

  qint64 now = QDateTime(first, QTime(0, 0)).toMSecsSinceEpoch() + 5;
  const qint64 end = QDateTime(first.addDays(days), QTime(0, 0)).toMSecsSinceEpoch();
  SchedulerTimer timer(
      store, [] { return false; }, [&] { return QDateTime::fromMSecsSinceEpoch(now); });
  QObject::connect(&timer, &SchedulerTimer::fired, [&] {
    for (int r = 1; r <= 16; ++r)
      if (timer.due()[r] != kNoRequest) nState[r] = timer.due()[r];
  });

  qint64 oracleSecond = now / 1000 - 1;  // the last second the oracle has applied
  std::uniform_int_distribution<int> style(0, 99), jitter(0, 990), gap(2, 60);
  long ticks = 0, switches = 0, mismatches = 0;
  while (now < end) {
    timer.Timer1_Timer();
    ++ticks;
    for (qint64 s = oracleSecond + 1; s <= now / 1000; ++s)
      switches += oracle.apply(QDateTime::fromSecsSinceEpoch(s), want);
    oracleSecond = now / 1000;
    CommandFrame f;
    const BankMasks m = masks_from_states(nState);
    build_command_frame(f, 1, kTypeSet, m.high, m.low);
    quint8 high = 0, low = 0;
    for (int k = 1; k <= 8; ++k) {
      if (want[k] == 2) low |= static_cast<quint8>(1 << (k - 1));
      if (want[k + 8] == 2) high |= static_cast<quint8>(1 << (k - 1));
    }
    if (f[2] != kTypeSet || f[5] != high || f[6] != low) {
      if (++mismatches <= 5)
        qWarning() << "mismatch at" << QDateTime::fromMSecsSinceEpoch(now) << Qt::hex << f[5]
                   << f[6] << "want" << high << low;
    }
    // The next tick: mostly just after the next second, sometimes late, early, twice, or
    // coalesced over a gap of up to a minute.
    const int s = style(rng);
    if (s < 80)
      now = (now / 1000 + 1) * 1000 + 5;
    else if (s < 88)
      now = (now / 1000 + 1) * 1000 + jitter(rng);  // late within the second
    else if (s < 94)
      now += 300;  // early: possibly twice in one second
    else if (s < 99)
      now = (now / 1000 + 2) * 1000 + jitter(rng);  // one second never ticked
    else
      now = (now / 1000 + gap(rng)) * 1000 + 5;  // coalesced
  }
  qInfo("%d days: %ld ticks, %ld switches checked, %ld mismatches", days, ticks, switches,
        mismatches);
  QCOMPARE(mismatches, 0L);
  QVERIFY(switches > 1000);
}

QTEST_GUILESS_MAIN(TestWeek)
#include "test_week.moc"
