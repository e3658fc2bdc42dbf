#include <QtTest>

#include "core/due_moments.h"
#include "core/scheduler.h"
#include "core/week_plan.h"
#include "support/entries.h"

namespace {

// 2026-12-07 is a Monday.
const QDate kMonday(2026, 12, 7);

}  // namespace

class TestScheduler : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void everyDayFiresOnlyInItsSecond();
  void weekdays_data();
  void weekdays();
  void everyDayWinsOverMask();
  void fixedDateFiresOnce();
  void laterEntryOfARouteWins();
  void routesOutsideTableAreSkipped();
  void shortMaskPositionIsNotActive();

  void timerFiresDueEntry();
  void pausedSecondsNeverFireLater();
  void catchUpCoversMissedSeconds();
  void noReplayPastSixtySeconds();
  void clockSetBackFiresNothingTwice_data();
  void clockSetBackFiresNothingTwice();
  void sameSecondCheckedOnce();
  void restartBeginsWithCurrentSecond();
  void ticksAlignAfterSecondBoundary();

  void dueMoments_data();
  void dueMoments();
  void routeSwitchTiesGoToTheLaterEntry();
  void weekPlan_data();
  void weekPlan();
};

// The clock-change days below are Berlin's: 2027-03-28 02:00 becomes 03:00, 2027-10-31 03:00
// becomes 02:00 again.
void TestScheduler::initTestCase() {
  qputenv("TZ", "Europe/Berlin");
  tzset();
}

void TestScheduler::everyDayFiresOnlyInItsSecond() {
  EntryCollection c;
  c.add("key0301", entry("11000000000300000000073000"));
  RouteStateTable s{};
  QCOMPARE(scheduler_check(c, QDateTime(kMonday, QTime(7, 29, 59)), s), 0);
  QCOMPARE(scheduler_check(c, QDateTime(kMonday, QTime(7, 30, 1)), s), 0);
  QCOMPARE(s, RouteStateTable{});
  QCOMPARE(scheduler_check(c, QDateTime(kMonday, QTime(7, 30, 0, 999)), s), 1);
  RouteStateTable want{};
  want[3] = 2;
  QCOMPARE(s, want);
}

void TestScheduler::weekdays_data() {
  QTest::addColumn<QString>("mask");
  QTest::addColumn<int>("firingDay");  // Qt's dayOfWeek: 1 Monday .. 7 Sunday
  QTest::newRow("Monday") << "1000000" << 1;
  QTest::newRow("Tuesday") << "0100000" << 2;
  QTest::newRow("Wednesday") << "0010000" << 3;
  QTest::newRow("Thursday") << "0001000" << 4;
  QTest::newRow("Friday") << "0000100" << 5;
  QTest::newRow("Saturday") << "0000010" << 6;
  QTest::newRow("Sunday is the last position") << "0000001" << 7;
}

void TestScheduler::weekdays() {
  QFETCH(QString, mask);
  QFETCH(int, firingDay);
  EntryCollection c;
  c.add("key0701", entry("001" + mask + "0700000000120000"));
  for (int day = 1; day <= 7; ++day) {
    RouteStateTable s{};
    const QDate date = kMonday.addDays(day - 1);
    scheduler_check(c, QDateTime(date, QTime(12, 0, 0)), s);
    QCOMPARE(s[7], quint8(day == firingDay ? 1 : 0));
  }
}

void TestScheduler::everyDayWinsOverMask() {
  EntryCollection c;
  c.add("key0101", entry("111000000101000000000120000"));  // 27 chars: blank, never fires
  c.add("key0201", entry("11100000010200000000120000"));   // every day + weekly on Sunday
  for (int day = 0; day < 7; ++day) {
    RouteStateTable s{};
    scheduler_check(c, QDateTime(kMonday.addDays(day), QTime(12, 0, 0)), s);
    QCOMPARE(s[2], quint8(2));
    QCOMPARE(s[1], quint8(0));
  }
}

void TestScheduler::fixedDateFiresOnce() {
  EntryCollection c;
  c.add("key1501", entry("10011111111520240309235959"));  // fixed date, mask ignored
  RouteStateTable s{};
  scheduler_check(c, QDateTime(QDate(2024, 3, 9), QTime(23, 59, 59)), s);
  QCOMPARE(s[15], quint8(2));
  s = {};
  scheduler_check(c, QDateTime(QDate(2024, 3, 10), QTime(23, 59, 59)), s);
  scheduler_check(c, QDateTime(QDate(2025, 3, 9), QTime(23, 59, 59)), s);
  scheduler_check(c, QDateTime(QDate(2024, 3, 9), QTime(23, 59, 58)), s);
  QCOMPARE(s[15], quint8(0));
}

void TestScheduler::laterEntryOfARouteWins() {
  EntryCollection c;
  c.add("key0501", entry("11000000000500000000080000"));
  c.add("key0502", entry("01000000000500000000080000"));
  c.add("key0601", entry("11000000000600000000080000"));
  RouteStateTable s{};
  s[5] = 2;
  QCOMPARE(scheduler_check(c, QDateTime(kMonday, QTime(8, 0, 0)), s), 3);
  QCOMPARE(s[5], quint8(1));
  QCOMPARE(s[6], quint8(2));
}

void TestScheduler::routesOutsideTableAreSkipped() {
  EntryCollection c;
  auto wild = entry("11000000001700000000080000");
  c.add("key1701", wild);
  auto zero = entry("11000000000000000000080000");
  c.add("key0001", zero);
  auto negative = std::make_shared<Clsdata>(*wild);
  negative->nRoute = -3;
  c.add("keyneg", negative);
  c.add("key0401", entry("11000000000400000000080000"));
  // Times no clock shows, on a route that exists: 07:59:60, 07:60:00 and 32:00:00 would be
  // 08:00:00 if the time were counted in seconds of the day.
  c.add("key0501", entry("11000000000500000000075960"));
  c.add("key0502", entry("11000000000500000000076000"));
  c.add("key0503", entry("11000000000500000000320000"));
  RouteStateTable s{};
  QCOMPARE(scheduler_check(c, QDateTime(kMonday, QTime(8, 0, 0)), s), 1);
  RouteStateTable want{};
  want[4] = 2;
  QCOMPARE(s, want);
}

void TestScheduler::shortMaskPositionIsNotActive() {
  auto e = entry("00100000000300000000120000");
  e->strWeek = "111";  // a hand-made short mask: Thursday..Sunday lie beyond its end
  EntryCollection c;
  c.add("key0301", e);
  RouteStateTable s{};
  scheduler_check(c, QDateTime(kMonday.addDays(6), QTime(12, 0, 0)), s);
  QCOMPARE(s[3], quint8(0));
  scheduler_check(c, QDateTime(kMonday.addDays(2), QTime(12, 0, 0)), s);
  QCOMPARE(s[3], quint8(1));
}

namespace {

// A scheduler timer on a hand-moved clock; nState takes what it decides, as the switch path does.
struct Rig {
  Rig() {
    QObject::connect(&timer, &SchedulerTimer::fired, [this] {
      for (int r = 1; r <= 16; ++r)
        if (timer.due()[r] != kNoRequest) nState[r] = timer.due()[r];
    });
  }
  EntryCollection colData;
  RouteStateTable nState{};
  bool paused = false;
  QDateTime now = QDateTime(kMonday, QTime(7, 29, 58, 5));
  SchedulerTimer timer{colData, [this] { return paused; }, [this] { return now; }};

  void tickAt(const QTime& t) {
    now = QDateTime(kMonday, t);
    timer.Timer1_Timer();
  }
  void tickAt(const char* iso) {
    now = QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toLocalTime();
    timer.Timer1_Timer();
  }
};

}  // namespace

void TestScheduler::timerFiresDueEntry() {
  Rig r;
  r.colData.add("key0301", entry("11000000000300000000073000"));
  QSignalSpy fired(&r.timer, &SchedulerTimer::fired);
  r.tickAt(QTime(7, 29, 59, 5));
  QCOMPARE(r.nState[3], quint8(0));
  r.tickAt(QTime(7, 30, 0, 5));
  QCOMPARE(r.nState[3], quint8(2));
  QCOMPARE(fired.count(), 1);
}

void TestScheduler::pausedSecondsNeverFireLater() {
  Rig r;
  r.colData.add("key0301", entry("11000000000300000000073000"));
  r.tickAt(QTime(7, 29, 59, 5));
  r.paused = true;
  r.tickAt(QTime(7, 30, 0, 5));
  QCOMPARE(r.nState[3], quint8(0));
  QCOMPARE(r.timer.missedEntries(), DueEntries({{3, "key0301"}}));  // told instead
  r.paused = false;
  r.tickAt(QTime(7, 30, 1, 5));
  r.tickAt(QTime(7, 30, 5, 5));  // catch-up must not reach back into the paused second
  QCOMPARE(r.nState[3], quint8(0));
}

void TestScheduler::catchUpCoversMissedSeconds() {
  Rig r;
  r.colData.add("key0301", entry("11000000000300000000073000"));
  r.colData.add("key0302", entry("01000000000300000000073010"));
  r.colData.add("key0401", entry("11000000000400000000073020"));
  r.tickAt(QTime(7, 29, 59, 5));
  r.tickAt(QTime(7, 30, 20, 900));  // one late tick covering 21 seconds
  // Oldest first: 07:30:00 energised route 3, 07:30:10 released it again.
  QCOMPARE(r.nState[3], quint8(1));
  QCOMPARE(r.nState[4], quint8(2));

  // The spring change's skipped times fall due at 03:00:00, in the order of their times.
  Rig s;
  s.colData.add("key0301", entry("01000000000320270101023000"));  // off 02:30:00
  s.colData.add("key0302", entry("11000000000320270101020001"));  // on 02:00:01
  s.tickAt("2027-03-28T01:59:59+01:00");
  QCOMPARE(s.nState[3], quint8(0));
  s.tickAt("2027-03-28T03:00:00+02:00");
  QCOMPARE(s.nState[3], quint8(1));
  QCOMPARE(s.timer.decided()[3], QStringLiteral("key0301"));
}

void TestScheduler::noReplayPastSixtySeconds() {
  Rig r;
  r.colData.add("key0301", entry("11000000000300000000073000"));
  r.colData.add("key0401", entry("11000000000400000000073101"));
  r.tickAt(QTime(7, 29, 59, 5));
  QSignalSpy jumped(&r.timer, &SchedulerTimer::jumped);
  r.tickAt(QTime(7, 31, 0, 5));  // 61 s: a jump, only 07:31:00 is checked
  QCOMPARE(r.nState[3], quint8(0));
  QCOMPARE(r.timer.skippedEntries(), DueEntries({{3, "key0301"}}));
  // A zone changed forward (Berlin to Shanghai, 7 h) is a jump of the wall clock.
  r.colData.add("key0501", entry("11000000000500000000120000"));
  const qint64 next = r.now.toSecsSinceEpoch() + 1;
  qputenv("TZ", "Asia/Shanghai");
  tzset();
  r.now = QDateTime::fromSecsSinceEpoch(next);
  r.timer.Timer1_Timer();
  qputenv("TZ", "Europe/Berlin");
  tzset();
  QCOMPARE(jumped.count(), 2);
  QCOMPARE(jumped.last().first().toLongLong(), 7 * 3600);
  QCOMPARE(r.timer.skippedEntries(), DueEntries({{4, "key0401"}, {5, "key0501"}}));

  Rig r2;
  r2.colData.add("key0301", entry("11000000000300000000073000"));
  r2.tickAt(QTime(7, 29, 0, 5));
  r2.tickAt(QTime(7, 29, 59, 5));
  r2.tickAt(QTime(7, 30, 59, 5));  // exactly 60 s: still replayed
  QCOMPARE(r2.nState[3], quint8(2));
}

// Entries at 10:01:00 and 10:01:05 fired; at 10:05:50 the wall clock goes back and lives those
// readings again. An entry after the readings handled before still fires.
void TestScheduler::clockSetBackFiresNothingTwice_data() {
  QTest::addColumn<QByteArray>("zone");
  QTest::addColumn<int>("back");
  QTest::newRow("set back 300 s") << QByteArray() << 300;
  QTest::newRow("the zone changed back an hour") << QByteArray("Europe/London") << 3600;
}

void TestScheduler::clockSetBackFiresNothingTwice() {
  QFETCH(QByteArray, zone);
  QFETCH(int, back);
  const auto berlin = qScopeGuard([] {
    qputenv("TZ", "Europe/Berlin");
    tzset();
  });
  Rig r;
  r.colData.add("key0301", entry("11000000000300000000100100"));
  r.colData.add("key0401", entry("11000000000400000000100105"));
  r.colData.add("key0501", entry("11000000000500000000100620"));
  QSignalSpy fired(&r.timer, &SchedulerTimer::fired);
  QSignalSpy jumped(&r.timer, &SchedulerTimer::jumped);
  qint64 t = QDateTime(kMonday, QTime(10, 0, 59)).toSecsSinceEpoch();
  const auto ticks = [&](int n) {
    for (int i = 0; i < n; ++i) {
      r.now = QDateTime::fromSecsSinceEpoch(t++);
      r.timer.Timer1_Timer();
    }
  };
  ticks(292);  // to 10:05:50
  QCOMPARE(fired.count(), 2);
  if (zone.isEmpty()) {
    t -= back;
  } else {
    qputenv("TZ", zone);
    tzset();
  }
  ticks(back);
  QCOMPARE(fired.count(), 2);
  QCOMPARE(jumped.count(), 1);
  QCOMPARE(jumped.first().first().toLongLong(), -back);
  ticks(30);  // to 10:06:20
  QCOMPARE(fired.count(), 3);
}

void TestScheduler::sameSecondCheckedOnce() {
  Rig r;
  r.colData.add("key0301", entry("11000000000300000000073000"));
  QSignalSpy fired(&r.timer, &SchedulerTimer::fired);
  r.tickAt(QTime(7, 30, 0, 5));
  QCOMPARE(r.nState[3], quint8(2));
  r.nState[3] = 1;                 // a manual release later in the same second
  r.tickAt(QTime(7, 30, 0, 700));  // a second tick in that second
  QCOMPARE(r.nState[3], quint8(1));
  QCOMPARE(fired.count(), 1);

  // A time the autumn change repeats falls due at its first occurrence only.
  r.colData.add("key0302", entry("01000000000320270101021000"));
  r.tickAt("2027-10-31T02:10:00+02:00");
  QCOMPARE(r.nState[3], quint8(1));
  r.nState[3] = 2;
  r.tickAt("2027-10-31T02:10:00+01:00");
  QCOMPARE(r.nState[3], quint8(2));
  QCOMPARE(fired.count(), 2);
}

void TestScheduler::restartBeginsWithCurrentSecond() {
  Rig r;
  r.colData.add("key0301", entry("11000000000300000000073000"));
  r.timer.setEnabled(true);
  r.tickAt(QTime(7, 29, 50, 5));
  r.timer.setEnabled(false);
  r.timer.setEnabled(true);
  r.tickAt(QTime(7, 30, 10, 5));  // the seconds while it was off are not caught up
  QCOMPARE(r.nState[3], quint8(0));
  r.timer.setEnabled(false);
}

void TestScheduler::ticksAlignAfterSecondBoundary() {
  QCOMPARE(SchedulerTimer::msUntilNextTick(QDateTime(kMonday, QTime(7, 0, 0, 5))), 1000);
  QCOMPARE(SchedulerTimer::msUntilNextTick(QDateTime(kMonday, QTime(7, 0, 0, 999))), 6);
  QCOMPARE(SchedulerTimer::msUntilNextTick(QDateTime(kMonday, QTime(7, 0, 0, 0))), 1005);
}

QTEST_GUILESS_MAIN(TestScheduler)
#include "test_scheduler.moc"

// Moments as "yyyy-MM-ddThh:mm:ss+hh:mm" so the two passes of an autumn hour differ; "" = none.
void TestScheduler::dueMoments_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("at");
  QTest::addColumn<QString>("last");
  QTest::addColumn<QString>("next");
  QTest::newRow("every day, skipped by the spring change") << "11000000000120270101023000"
                                                           << "2027-03-28T12:00:00+02:00"
                                                           << "2027-03-28T03:00:00+02:00"
                                                           << "2027-03-29T02:30:00+02:00";
  QTest::newRow("the first second after the spring change") << "11000000000120270101023000"
                                                            << "2027-03-28T03:00:00+02:00"
                                                            << "2027-03-28T03:00:00+02:00"
                                                            << "2027-03-29T02:30:00+02:00";
  QTest::newRow("fixed date on a skipped time") << "10000000000120270328020001"
                                                << "2027-03-28T01:59:59+01:00"
                                                << ""
                                                << "2027-03-28T03:00:00+02:00";
  QTest::newRow("every day, first pass of the autumn hour") << "11000000000120270101023000"
                                                            << "2027-10-31T02:45:00+02:00"
                                                            << "2027-10-31T02:30:00+02:00"
                                                            << "2027-11-01T02:30:00+01:00";
  QTest::newRow("every day, second pass of the autumn hour") << "11000000000120270101023000"
                                                             << "2027-10-31T02:45:00+01:00"
                                                             << "2027-10-31T02:30:00+02:00"
                                                             << "2027-11-01T02:30:00+01:00";
  QTest::newRow("due in that very second counts as past") << "01000000000120270101120000"
                                                          << "2027-03-28T12:00:00+02:00"
                                                          << "2027-03-28T12:00:00+02:00"
                                                          << "2027-03-29T12:00:00+02:00";
  QTest::newRow("Monday and Wednesday across the spring change") << "10110100000220270101070809"
                                                                 << "2027-03-28T12:00:00+02:00"
                                                                 << "2027-03-24T07:08:09+01:00"
                                                                 << "2027-03-29T07:08:09+02:00";
  QTest::newRow("weekly, a week back") << "10110000000220270101070809"
                                       << "2027-03-29T07:00:00+02:00"
                                       << "2027-03-22T07:08:09+01:00"
                                       << "2027-03-29T07:08:09+02:00";
  QTest::newRow("fixed date long past") << "10000000000320200102030405"
                                        << "2027-03-28T12:00:00+02:00"
                                        << "2020-01-02T03:04:05+01:00"
                                        << "";
  QTest::newRow("fixed date ahead") << "10000000000320271031023000"
                                    << "2027-03-28T12:00:00+02:00"
                                    << ""
                                    << "2027-10-31T02:30:00+02:00";
  QTest::newRow("weekly with no day") << "10100000000420270101070809"
                                      << "2027-03-28T12:00:00+02:00"
                                      << ""
                                      << "";
  QTest::newRow("impossible date") << "10000000000520270230070809"
                                   << "2027-03-28T12:00:00+02:00"
                                   << ""
                                   << "";
  QTest::newRow("impossible time") << "11000000000620270101250000"
                                   << "2027-03-28T12:00:00+02:00"
                                   << ""
                                   << "";
  QTest::newRow("route outside the table") << "11000000001720270101070000"
                                           << "2027-03-28T12:00:00+02:00"
                                           << ""
                                           << "";
}

void TestScheduler::dueMoments() {
  QFETCH(QString, text);
  QFETCH(QString, at);
  QFETCH(QString, last);
  QFETCH(QString, next);
  const EntryPtr e = entry(text);
  const QDateTime now = QDateTime::fromString(at, Qt::ISODate).toLocalTime();
  const auto asText = [](const std::optional<QDateTime>& m) {
    return m ? m->toOffsetFromUtc(m->offsetFromUtc()).toString(Qt::ISODate) : QString();
  };
  QCOMPARE(asText(last_due_moment(*e, now)), last);
  QCOMPARE(asText(next_due_moment(*e, now)), next);
  // A moment named is one the scheduler itself fires in.
  for (const auto& m : {last_due_moment(*e, now), next_due_moment(*e, now)}) {
    if (!m) continue;
    EntryCollection c;
    c.add("key0101", e);
    RouteStateTable s{};
    QCOMPARE(scheduler_check(c, *m, s), 1);
  }
}

void TestScheduler::routeSwitchTiesGoToTheLaterEntry() {
  EntryCollection c;
  c.add("key0101", entry("11000000000120270101070000"));  // on 07:00
  c.add("key0102", entry("01000000000120270101070000"));  // off 07:00, later in the collection
  c.add("key0103", entry("11000000000120270101060000"));  // on 06:00
  c.add("key0201", entry("11000000000220270101065959"));  // another route
  const QDateTime at(kMonday, QTime(8, 0));
  const auto last = last_route_switch(c, 1, at);
  QVERIFY(last);
  QCOMPARE(last->key, QStringLiteral("key0102"));
  QCOMPARE(last->energise, false);
  QCOMPARE(last->at, QDateTime(kMonday, QTime(7, 0)));
  const auto next = next_route_switch(c, 1, at);
  QVERIFY(next);
  QCOMPARE(next->key, QStringLiteral("key0103"));
  QCOMPARE(next->at, QDateTime(kMonday.addDays(1), QTime(6, 0)));
  QVERIFY(!last_route_switch(c, 3, at));
  // Both fall due at 03:00:00 on the spring day: the later time wins, not the later entry.
  c.add("key0401", entry("01000000000420270101023000"));
  c.add("key0402", entry("11000000000420270101020001"));
  const auto spring = last_route_switch(c, 4, QDateTime(QDate(2027, 3, 28), QTime(4, 0)));
  QCOMPARE(spring->at, QDateTime(QDate(2027, 3, 28), QTime(3, 0)));
  QCOMPARE(spring->key, QStringLiteral("key0401"));
}

// Route 1's plan over a span: its periods as "start state key" (state E, R or ? for unknown) and
// its conflicts as "tie|past at keys", moments as in dueMoments. The span starts "now".
void TestScheduler::weekPlan_data() {
  QTest::addColumn<QStringList>("entries");
  QTest::addColumn<QString>("from");
  QTest::addColumn<QString>("to");
  QTest::addColumn<int>("start");
  QTest::addColumn<QStringList>("periods");
  QTest::addColumn<QStringList>("conflicts");
  const QString on8 = "11000000000100000000080000", off18 = "01000000000100000000180000";
  QTest::newRow("every day, unknown start")
      << QStringList{on8, off18} << "2026-12-07T00:00:00+01:00"
      << "2026-12-09T00:00:00+01:00" << 0
      << QStringList{"2026-12-07T00:00:00+01:00 ? ", "2026-12-07T08:00:00+01:00 E key0101",
                     "2026-12-07T18:00:00+01:00 R key0102", "2026-12-08T08:00:00+01:00 E key0101",
                     "2026-12-08T18:00:00+01:00 R key0102"}
      << QStringList{};
  QTest::newRow("weekly on Tuesday, released every day")
      << QStringList{"10101000000100000000120000", "01000000000100000000130000"}
      << "2026-12-07T00:00:00+01:00"
      << "2026-12-10T00:00:00+01:00" << 1
      << QStringList{"2026-12-07T00:00:00+01:00 R ", "2026-12-08T12:00:00+01:00 E key0101",
                     "2026-12-08T13:00:00+01:00 R key0102"}
      << QStringList{};
  QTest::newRow("fixed dates ahead and past")
      << QStringList{"10000000000120261208060000", "00000000000120261201060000"}
      << "2026-12-07T00:00:00+01:00"
      << "2026-12-10T00:00:00+01:00" << 1
      << QStringList{"2026-12-07T00:00:00+01:00 R ", "2026-12-08T06:00:00+01:00 E key0101"}
      << QStringList{"past 2026-12-01T06:00:00+01:00 key0102"};
  QTest::newRow("a tie: the later entry wins")
      << QStringList{"11000000000100000000070000", "01000000000100000000070000"}
      << "2026-12-07T00:00:00+01:00"
      << "2026-12-08T00:00:00+01:00" << 2
      << QStringList{"2026-12-07T00:00:00+01:00 E ", "2026-12-07T07:00:00+01:00 R key0102"}
      << QStringList{"tie 2026-12-07T07:00:00+01:00 key0101,key0102"};
  QTest::newRow("spring: 22:00 on, 02:30 off at 03:00")
      << QStringList{"11000000000100000000220000", "01000000000100000000023000"}
      << "2027-03-27T12:00:00+01:00"
      << "2027-03-28T12:00:00+02:00" << 1
      << QStringList{"2027-03-27T12:00:00+01:00 R ", "2027-03-27T22:00:00+01:00 E key0101",
                     "2027-03-28T03:00:00+02:00 R key0102"}
      << QStringList{};
  QTest::newRow("autumn: the repeated hour once")
      << QStringList{"11000000000100000000021000", "01000000000100000000021500"}
      << "2027-10-31T00:00:00+02:00"
      << "2027-10-31T12:00:00+01:00" << 1
      << QStringList{"2027-10-31T00:00:00+02:00 R ", "2027-10-31T02:10:00+02:00 E key0101",
                     "2027-10-31T02:15:00+02:00 R key0102"}
      << QStringList{};
}

void TestScheduler::weekPlan() {
  QFETCH(QStringList, entries);
  QFETCH(QString, from);
  QFETCH(QString, to);
  QFETCH(int, start);
  QFETCH(QStringList, periods);
  QFETCH(QStringList, conflicts);
  EntryCollection c;
  for (const QString& text : entries) c.add(entry_key(1, c.count() + 1), entry(text));
  const auto ms = [](const QString& iso) {
    return QDateTime::fromString(iso, Qt::ISODate).toMSecsSinceEpoch();
  };
  const auto iso = [](qint64 t) {
    const QDateTime m = QDateTime::fromMSecsSinceEpoch(t);
    return m.toOffsetFromUtc(m.offsetFromUtc()).toString(Qt::ISODate);
  };
  RouteStateTable states{};
  states[1] = static_cast<quint8>(start);
  const RoutePlan plan = week_plan(c, ms(from), ms(to), states, ms(from)).routes[1];
  QStringList got, gotConflicts;
  for (const PlanPeriod& p : plan.periods) {
    got << iso(p.from) + ' ' + "?RE"[static_cast<int>(p.state)] + ' ' + p.key;
    if (p.key.isEmpty()) continue;  // the scheduler leaves what the plan says
    RouteStateTable s{};
    scheduler_check(c, QDateTime::fromMSecsSinceEpoch(p.from), s);
    QCOMPARE(s[1], quint8(p.state == PlanState::Energised ? kEnergise : kRelease));
  }
  for (const PlanConflict& k : plan.conflicts)
    gotConflicts << (k.kind == PlanConflict::Tie ? "tie " : "past ") + iso(k.at) + " " +
                        k.keys.join(',');
  QCOMPARE(got, periods);
  QCOMPARE(gotConflicts, conflicts);
  QCOMPARE(plan.periods.last().to, ms(to));
}
