#include <QtTest>

#include "editing/entry_editor.h"
#include "editing/entry_text.h"
#include "editing/route_pages.h"

namespace {

EntryPtr make(int route, bool everyDay, bool week, const QString& mask, int h, int m, int s,
              bool open, QDate date = {}) {
  auto e = std::make_shared<Clsdata>();
  e->nRoute = static_cast<qint16>(route);
  e->bIsEveryDay = everyDay;
  e->bIsWeek = week;
  e->strWeek = mask;
  e->nStartHour = static_cast<qint16>(h);
  e->nStartMin = static_cast<qint16>(m);
  e->nStartSecond = static_cast<qint16>(s);
  e->bIsOpen = open;
  if (date.isValid()) {
    e->nStartYear = static_cast<qint16>(date.year());
    e->nStartMonth = static_cast<qint16>(date.month());
    e->nStartDay = static_cast<qint16>(date.day());
  }
  return e;
}

// A collection of `perRoute` every-day entries on each route given, keyed as the loaders do.
EntryCollection page(std::initializer_list<int> routes, int perRoute) {
  EntryCollection c;
  for (int r : routes)
    for (int n = 1; n <= perRoute; ++n) {
      auto e = make(r, true, false, "0000000", 0, 0, n, true);
      e->nNo = static_cast<qint16>(n);
      c.add(entry_key(r, n), e);
    }
  return c;
}

QStringList keys(const EntryCollection& c) {
  QStringList out;
  for (const auto& it : c) out << it.key;
  return out;
}

}  // namespace

class TestEditing : public QObject {
  Q_OBJECT
 private slots:
  void descriptions_data();
  void descriptions();

  void refreshNumbersOnlyItsRoute();
  void refreshClosesGaps();
  void deleteSecondOfThree();
  void deleteActsOnObjectsNotKeys();
  void rebuildNeverLosesClashingEntries();
  void deleteAllThenAdd();

  void newEntryDefaults();
  void limitOfNinetyNine();
  void weeklyEntryShowsItsDays();
  void fixedDateEntryShowsItsDate();
  void optionRules();
  void weeklyToEveryDayKeepsMask();
  void weeklyWithNoDay();
  void bothFlagsOpensAsEveryDay();
  void outOfRangeValuesClampedForDisplayOnly();
  void editKeepsNumberKeyAndPlace();
  void newEntryOnTakenKey();
};

void TestEditing::descriptions_data() {
  QTest::addColumn<EntryPtr>("entry");
  QTest::addColumn<QString>("text");
  QTest::newRow("every day") << make(3, true, false, "0000000", 7, 5, 0, true)
                             << QString("第3路, 每天, 07:05:00 ,吸合 ");
  QTest::newRow("weekly") << make(12, false, true, "1010100", 18, 30, 9, false)
                          << QString("第12路, 每星期一三五， 18:30:09 ,断开 ");
  QTest::newRow("Saturday before Sunday") << make(2, false, true, "0000011", 6, 0, 0, true)
                                          << QString("第2路, 每星期六日， 06:00:00 ,吸合 ");
  QTest::newRow("no day") << make(2, false, true, "0000000", 6, 0, 0, true)
                          << QString("第2路, 每星期， 06:00:00 ,吸合 （无效）");
  QTest::newRow("a 2 is no day") << make(2, false, true, "2100000", 6, 0, 0, true)
                                 << QString("第2路, 每星期二， 06:00:00 ,吸合 ");
  QTest::newRow("short mask") << make(2, false, true, "01", 6, 0, 0, true)
                              << QString("第2路, 每星期二， 06:00:00 ,吸合 ");
  QTest::newRow("fixed date") << make(1, false, false, "1111111", 8, 0, 0, true, QDate(2024, 5, 1))
                              << QString("第1路, 固定日期 2024-05-01 08:00:00 ,吸合 ");
  QTest::newRow("both flags") << make(4, true, true, "1111111", 1, 2, 3, false)
                              << QString("第4路, 每天, 01:02:03 ,断开 ");
  auto year5 = make(1, false, false, "0000000", 0, 0, 0, true, QDate(2024, 1, 2));
  year5->nStartYear = 5;
  QTest::newRow("year 5") << year5 << QString("第1路, 固定日期 0005-01-02 00:00:00 ,吸合 ");
  QTest::newRow("wide hour") << make(1, true, false, "0000000", 123, 0, 0, true)
                             << QString("第1路, 每天, 123:00:00 ,吸合 （无效）");
  QTest::newRow("24:00:00") << make(1, true, false, "0000000", 24, 0, 0, true)
                            << QString("第1路, 每天, 24:00:00 ,吸合 （无效）");
  QTest::newRow("30 February") << StrToData("10000000000120270230080000")
                               << QString("第1路, 固定日期 2027-02-30 08:00:00 ,吸合 （无效）");
}

void TestEditing::descriptions() {
  QFETCH(EntryPtr, entry);
  QFETCH(QString, text);
  QCOMPARE(entry_text(*entry), text);
  QCOMPARE(text.count(QChar(0xFF0C)), entry->bIsWeek && !entry->bIsEveryDay ? 1 : 0);
}

void TestEditing::refreshNumbersOnlyItsRoute() {
  EntryCollection c;
  auto a = make(5, true, false, "0000000", 1, 0, 0, true);
  auto other = make(6, true, false, "0000000", 1, 0, 0, true);
  other->nNo = 42;
  auto b = make(5, true, false, "0000000", 2, 0, 0, true);
  auto d = make(5, true, false, "0000000", 3, 0, 0, true);
  c.add("x1", a);
  c.add("x2", other);
  c.add("x3", b);
  c.add("x4", d);
  const QList<ListItem> items = refresh_list(c, 5);
  QCOMPARE(items.size(), 3);
  QCOMPARE(items[0].key, QString("key0501"));
  QCOMPARE(items[2].key, QString("key0503"));
  QCOMPARE(items[1].entry, b);
  QCOMPARE(b->nNo, qint16(2));
  QCOMPARE(other->nNo, qint16(42));
  QCOMPARE(keys(c), QStringList({"x1", "x2", "x3", "x4"}));  // keys are not touched
  QVERIFY(refresh_list(c, 16).isEmpty());
}

void TestEditing::refreshClosesGaps() {
  EntryCollection c = page({2}, 5);
  c.remove("key0202");
  c.remove("key0204");
  const auto items = refresh_list(c, 2);
  QCOMPARE(items.size(), 3);
  for (int i = 0; i < 3; ++i) QCOMPARE(items[i].entry->nNo, qint16(i + 1));
  QCOMPARE(items[2].entry->nStartSecond, qint16(5));
}

void TestEditing::deleteSecondOfThree() {
  EntryCollection c = page({3, 4, 5}, 3);
  auto items = refresh_list(c, 4);
  QCOMPARE(remove_entries(c, {items[1].entry}), 1);
  items = refresh_list(c, 4);
  rebuild_keys(c);
  QCOMPARE(items.size(), 2);
  QCOMPARE(items[0].entry->nStartSecond, qint16(1));
  QCOMPARE(items[1].entry->nStartSecond, qint16(3));
  QVERIFY(c.contains("key0401"));
  QVERIFY(c.contains("key0402"));
  QVERIFY(!c.contains("key0403"));
  QCOMPARE(c.count(), 8);
  QCOMPARE(c.at(3).key, QString("key0401"));  // the order of the collection is kept
}

void TestEditing::deleteActsOnObjectsNotKeys() {
  // A hand-edited file: route 3's store key holds a route-5 entry, and route 5 has its own.
  EntryCollection c;
  auto stray = make(5, true, false, "0000000", 1, 0, 0, true);
  stray->nNo = 1;
  auto own = make(5, true, false, "0000000", 2, 0, 0, true);
  own->nNo = 1;
  auto three = make(3, true, false, "0000000", 3, 0, 0, true);
  three->nNo = 1;
  c.add("key0301", stray);
  c.add("key0501", own);
  c.add("key0302", three);
  auto items = refresh_list(c, 5);
  QCOMPARE(items.size(), 2);
  remove_entries(c, {items[1].entry});  // delete "own", the second line on page 5
  rebuild_keys(c);
  QCOMPARE(c.count(), 2);
  QCOMPARE(c.item("key0501"), stray);
  QCOMPARE(c.item("key0301"), three);
  for (const auto& it : c) QVERIFY(it.entry != own);
}

void TestEditing::rebuildNeverLosesClashingEntries() {
  EntryCollection c;
  auto a = make(123, true, false, "0000000", 0, 0, 1, true);  // "key123" + "01"
  c.add("a", a);
  for (int n = 1; n <= 301; ++n)
    c.add(QString("b%1").arg(n), make(12, true, false, "0", 0, 0, 0, true));
  rebuild_keys(c);
  QCOMPARE(c.count(), 302);  // route 12 number 301 would take "key12301" too
  QCOMPARE(c.item("key12301"), a);
  QVERIFY(c.contains("key12301#2"));
}

void TestEditing::deleteAllThenAdd() {
  EntryCollection c = page({1, 3, 7}, 4);
  QCOMPARE(remove_page(c, 3), 4);
  QCOMPARE(count_page(c, 3), 0);
  QCOMPARE(c.count(), 8);
  EditorState s = editor_load(true, nullptr, QDate(2026, 12, 7));
  EntryPtr mydata;
  QCOMPARE(editor_confirm(s, true, mydata, c, 3), ConfirmResult::Written);
  QCOMPARE(c.at(c.count() - 1).key, QString("key0301"));
  QCOMPARE(mydata->nNo, qint16(1));
}

void TestEditing::newEntryDefaults() {
  EntryCollection c = page({2}, 4);
  const EditorState s = editor_load(true, nullptr, QDate(2026, 12, 7));
  QCOMPARE(s.option, 0);
  QVERIFY(!s.weekEnabled);
  QVERIFY(!s.dateEnabled);
  QCOMPARE(s.date, QDate(2026, 12, 7));
  EntryPtr mydata;
  QCOMPARE(editor_confirm(s, true, mydata, c, 2), ConfirmResult::Written);
  QCOMPARE(mydata->GetStr(), QString("11000000000200000000000000"));
  QCOMPARE(mydata->nNo, qint16(5));
  QCOMPARE(c.item("key0205"), mydata);
}

void TestEditing::limitOfNinetyNine() {
  EntryCollection c = page({6}, 98);
  EntryPtr mydata;
  const EditorState s = editor_load(true, nullptr, QDate(2026, 12, 7));
  QCOMPARE(editor_confirm(s, true, mydata, c, 6), ConfirmResult::Written);
  QCOMPARE(mydata->nNo, qint16(99));
  EntryPtr refused;
  QCOMPARE(editor_confirm(s, true, refused, c, 6), ConfirmResult::LimitReached);
  QVERIFY(!refused);
  QCOMPARE(count_page(c, 6), 99);
  // Editing on a full page is never refused.
  EntryPtr first = c.at(0).entry;
  QCOMPARE(editor_confirm(s, false, first, c, 6), ConfirmResult::Written);
}

void TestEditing::weeklyEntryShowsItsDays() {
  auto e = make(1, false, true, "0100001", 6, 7, 8, false);
  const EditorState s = editor_load(false, e.get(), QDate(2026, 12, 7));
  QCOMPARE(s.option, 1);
  QVERIFY(s.weekEnabled);
  QVERIFY(!s.dateEnabled);
  const std::array<bool, 7> want{false, true, false, false, false, false, true};
  QCOMPARE(s.week, want);
  QCOMPARE(s.hour, 6);
  QCOMPARE(s.status, 1);
  QCOMPARE(s.date, QDate(2026, 12, 7));  // today, should it become a fixed-date entry
}

void TestEditing::fixedDateEntryShowsItsDate() {
  auto e = make(1, false, false, "1111111", 0, 0, 0, true, QDate(2024, 3, 9));
  const EditorState s = editor_load(false, e.get(), QDate(2026, 12, 7));
  QCOMPARE(s.option, 2);
  QVERIFY(s.dateEnabled);
  QVERIFY(!s.weekEnabled);
  QCOMPARE(s.week, (std::array<bool, 7>{}));
  QCOMPARE(s.date, QDate(2024, 3, 9));
}

void TestEditing::optionRules() {
  EditorState s;
  s.week.fill(true);
  apply_option(s, 1);
  QVERIFY(s.weekEnabled && !s.dateEnabled);
  QCOMPARE(s.week, (std::array<bool, 7>{}));  // weekly always starts from no day
  s.week[2] = true;
  apply_option(s, 2);
  QVERIFY(!s.weekEnabled && s.dateEnabled);
  QCOMPARE(s.week, (std::array<bool, 7>{}));
  apply_option(s, 0);
  QVERIFY(!s.weekEnabled && !s.dateEnabled);
}

void TestEditing::weeklyToEveryDayKeepsMask() {
  EntryCollection c;
  auto e = make(1, false, true, "0100001", 6, 0, 0, true, QDate(2020, 2, 2));
  c.add("key0101", e);
  EditorState s = editor_load(false, e.get(), QDate(2026, 12, 7));
  apply_option(s, 0);
  QCOMPARE(editor_confirm(s, false, e, c, 1), ConfirmResult::Written);
  QVERIFY(e->bIsEveryDay);
  QVERIFY(!e->bIsWeek);
  QCOMPARE(e->strWeek, QString("0100001"));
  QCOMPARE(e->nStartYear, qint16(2020));
}

void TestEditing::weeklyWithNoDay() {
  EntryCollection c;
  EditorState s = editor_load(true, nullptr, QDate(2026, 12, 7));
  apply_option(s, 1);
  EntryPtr mydata;
  editor_confirm(s, true, mydata, c, 1);
  QVERIFY(mydata->bIsWeek);
  QCOMPARE(mydata->strWeek, QString("0000000"));
}

void TestEditing::bothFlagsOpensAsEveryDay() {
  auto e = make(1, true, true, "0100001", 9, 8, 7, true);
  const EditorState s = editor_load(false, e.get(), QDate(2026, 12, 7));
  QCOMPARE(s.option, 0);
  QCOMPARE(s.hour, 9);
  QCOMPARE(s.second, 7);
}

void TestEditing::outOfRangeValuesClampedForDisplayOnly() {
  auto e = make(1, false, false, "0000000", 30, 75, -4, true);
  e->nStartYear = 2150;
  e->nStartMonth = 2;
  e->nStartDay = 31;
  const QString before = e->GetStr();
  const EditorState s = editor_load(false, e.get(), QDate(2026, 12, 7));
  QCOMPARE(s.hour, 23);
  QCOMPARE(s.minute, 59);
  QCOMPARE(s.second, 0);
  QCOMPARE(s.date, QDate(2099, 2, 28));
  QCOMPARE(e->GetStr(), before);  // shown, not changed
}

void TestEditing::editKeepsNumberKeyAndPlace() {
  EntryCollection c = page({1, 2}, 3);
  EntryPtr e = c.item("key0202");
  EditorState s = editor_load(false, e.get(), QDate(2026, 12, 7));
  s.hour = 13;
  QCOMPARE(editor_confirm(s, false, e, c, 2), ConfirmResult::Written);
  QCOMPARE(c.item("key0202"), e);
  QCOMPARE(e->nNo, qint16(2));
  QCOMPARE(e->nStartHour, qint16(13));
  QCOMPARE(c.at(4).entry, e);
}

void TestEditing::newEntryOnTakenKey() {
  // A hand-edited file: page 2 has one entry, but "key0202" is held by an entry of route 9.
  EntryCollection c;
  c.add("key0201", make(2, true, false, "0000000", 0, 0, 1, true));
  auto stray = make(9, true, false, "0000000", 0, 0, 2, true);
  c.add("key0202", stray);
  EntryPtr mydata;
  QCOMPARE(editor_confirm(editor_load(true, nullptr, QDate(2026, 12, 7)), true, mydata, c, 2),
           ConfirmResult::Written);
  QCOMPARE(c.count(), 3);
  QCOMPARE(c.item("key0202"), mydata);
  QCOMPARE(c.item("key0901"), stray);
}

QTEST_GUILESS_MAIN(TestEditing)
#include "test_editing.moc"
