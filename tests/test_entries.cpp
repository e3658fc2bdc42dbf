#include <QtTest>

#include "core/clsdata.h"
#include "core/entry_collection.h"

class TestEntries : public QObject {
  Q_OBJECT
 private slots:
  void textRoundTrip_data();
  void textRoundTrip();
  void parsedFields();
  void malformedTextGivesBlankEntry_data();
  void malformedTextGivesBlankEntry();
  void flagDigits();
  void outOfWidthValues();
  void clearDataKeepsAllButTime();
  void keys();
  void collectionOrderAndKeys();
  void collectionReplace();
};

void TestEntries::textRoundTrip_data() {
  QTest::addColumn<QString>("text");
  QTest::newRow("every day") << "11000000000300000000073000";
  QTest::newRow("weekly") << "00110101001200000000180005";
  QTest::newRow("fixed date") << "10000000001620240309235959";
}

void TestEntries::textRoundTrip() {
  QFETCH(QString, text);
  EntryPtr e = StrToData(text);
  QCOMPARE(e->GetStr(), text);
  QCOMPARE(e->nNo, qint16(0));
}

void TestEntries::parsedFields() {
  EntryPtr e = StrToData("11000000000300000000073000");
  QCOMPARE(e->nRoute, qint16(3));
  QVERIFY(e->bIsOpen && e->bIsEveryDay && !e->bIsWeek);
  QCOMPARE(e->strWeek, QString("0000000"));
  QCOMPARE(e->nStartYear + e->nStartMonth + e->nStartDay, 0);
  QCOMPARE(QTime(e->nStartHour, e->nStartMin, e->nStartSecond), QTime(7, 30, 0));

  e = StrToData("00110101001200000000180005");
  QCOMPARE(e->nRoute, qint16(12));
  QVERIFY(!e->bIsOpen && !e->bIsEveryDay && e->bIsWeek);
  QCOMPARE(e->strWeek, QString("1010100"));
  QCOMPARE(QTime(e->nStartHour, e->nStartMin, e->nStartSecond), QTime(18, 0, 5));

  e = StrToData("10000000001620240309235959");
  QCOMPARE(e->nRoute, qint16(16));
  QCOMPARE(QDate(e->nStartYear, e->nStartMonth, e->nStartDay), QDate(2024, 3, 9));
  QCOMPARE(QTime(e->nStartHour, e->nStartMin, e->nStartSecond), QTime(23, 59, 59));

  // The weekday mask is copied unchecked, even when it is not digits.
  QCOMPARE(StrToData("001ab-c日ef1200000000180005")->strWeek, QString("ab-c日ef"));
}

void TestEntries::malformedTextGivesBlankEntry_data() {
  QTest::addColumn<QString>("text");
  QTest::newRow("empty") << "";
  QTest::newRow("25 characters") << "1100000000030000000007300";
  QTest::newRow("27 characters") << "110000000003000000000730000";
  QTest::newRow("letter in route") << "1100000000a300000000073000";
  QTest::newRow("blank in time") << "11000000000300000000 73000";
  QTest::newRow("sign in year") << "1100000000-3-0000000073000";
  QTest::newRow("letter in flag") << "x1000000000300000000073000";
  QTest::newRow("full-width digit") << "11000000000３00000000073000";
  QTest::newRow("arabic-indic digit") << QString("1100000000") + QChar(0x0663) + "300000000073000";
}

void TestEntries::malformedTextGivesBlankEntry() {
  QFETCH(QString, text);
  EntryPtr e = StrToData(text);
  QVERIFY(e);
  QCOMPARE(e->GetStr(), kBlankEntryText);
  QCOMPARE(e->nRoute, qint16(0));
}

void TestEntries::flagDigits() {
  EntryPtr e = StrToData("20900000000300000000073000");
  QVERIFY(e->bIsOpen);
  QVERIFY(!e->bIsEveryDay);
  QVERIFY(e->bIsWeek);
}

void TestEntries::outOfWidthValues() {
  Clsdata e;
  QCOMPARE(e.GetStr(), kBlankEntryText);  // a new entry is the store's missing-entry marker
  e.nRoute = 123;
  e.nStartHour = -5;
  const QString s = e.GetStr();
  QVERIFY(s.size() > 26);
  QVERIFY(s.contains("123"));
  QVERIFY(s.contains("-05"));
  QCOMPARE(StrToData(s)->nRoute, qint16(0));  // does not read back as a real entry
}

void TestEntries::clearDataKeepsAllButTime() {
  EntryPtr e = StrToData("10110101001220241231235959");
  const QString before = e->GetStr();
  e->ClearData();
  QCOMPARE(e->GetStr(), before.left(20) + "000000");
}

void TestEntries::keys() {
  QCOMPARE(entry_key(5, 12), QString("key0512"));
  QCOMPARE(entry_key(16, 1), QString("key1601"));
  QCOMPARE(entry_key(1, 3), QString("key0103"));
}

void TestEntries::collectionOrderAndKeys() {
  EntryCollection c;
  auto a = StrToData("11000000000300000000073000");
  auto b = StrToData("11000000000100000000073000");
  auto d = StrToData("11000000000200000000073000");
  QVERIFY(c.add("key0301", a));
  QVERIFY(c.add("key0101", b));
  QVERIFY(c.add("key0201", d));
  QVERIFY(!c.add("key0101", d));  // a key is present at most once
  QVERIFY(!c.add("key0999", nullptr));
  QCOMPARE(c.count(), 3);
  QCOMPARE(c.at(0).entry, a);  // insertion order, not key order
  QCOMPARE(c.item("key0201"), d);
  QVERIFY(!c.item("key0999"));

  QVERIFY(c.remove("key0101"));
  QVERIFY(!c.remove("key0101"));
  QCOMPARE(c.count(), 2);
  QCOMPARE(c.at(0).key, QString("key0301"));
  QCOMPARE(c.at(1).key, QString("key0201"));
  QVERIFY(c.add("key0101", b));  // the key is free again after removal
  QCOMPARE(c.at(2).entry, b);

  c.removeFirst();
  QCOMPARE(c.at(0).key, QString("key0201"));
  QVERIFY(!c.contains("key0301"));
  c.removeFirst();
  c.removeFirst();
  c.removeFirst();  // on an empty collection: nothing happens
  QVERIFY(c.isEmpty());
}

void TestEntries::collectionReplace() {
  EntryCollection c, fresh;
  auto a = std::make_shared<Clsdata>();
  c.add("key0101", a);
  fresh.add("key0201", std::make_shared<Clsdata>());
  fresh.add("key0202", std::make_shared<Clsdata>());
  c.replace(std::move(fresh));
  QCOMPARE(c.count(), 2);
  QVERIFY(!c.contains("key0101"));
  QVERIFY(c.contains("key0202"));
  QVERIFY(fresh.isEmpty());
  QVERIFY(fresh.add("key0202", a));  // the emptied one is usable again
}

QTEST_GUILESS_MAIN(TestEntries)
#include "test_entries.moc"
