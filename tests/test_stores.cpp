#include <QtTest>

#include "app/file_commands.h"
#include "core/entry_store.h"
#include "platform/trash.h"
#include "station/actual_periods.h"
#include "station/settings_store.h"
#include "station/switch_record.h"
#include "support/as_user.h"
#include "support/entries.h"
#include "support/files.h"
#include "support/scripted_prompt.h"

namespace {

EntryCollection loadFrom(const QString& path) {
  EntryCollection c;
  load_entry_set(ProfileFile::load(path), c);
  return c;
}

// Entry number `no` of route `route`, every day at 00:00:no, energise.
EntryPtr entry(int route, int no) {
  auto e = std::make_shared<Clsdata>();
  e->nRoute = static_cast<qint16>(route);
  e->nNo = static_cast<qint16>(no);
  e->bIsEveryDay = true;
  e->bIsOpen = true;
  e->nStartSecond = static_cast<qint16>(no);
  return e;
}

QStringList texts(const EntryCollection& c) {
  QStringList out;
  for (const auto& it : c) out << it.key + "=" + it.entry->GetStr();
  return out;
}

}  // namespace

class TestStores : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();

  void settingsDefaults();
  void settingsLengthsAndFlags();
  void settingsRouteNames();
  void settingsWritersCreateTheFile();

  void missingStoreLoadsNothing();
  void routeStopsAtFirstGap();
  void numberZeroIsNeverRead();
  void markerEndsItsRoute();
  void valuesCutTo26();
  void keyFromStoreRouteFromText();
  void writeRenumbersPerRoute();
  void perKeyOperations();

  void trashKeepsNameAndRecordsOrigin();
  void saveWritesWholeStoreAndBacksUpOld();
  void saveAfterDeletingLeavesNoStaleKey();
  void saveWithoutTrashLeavesNoStaleKey();
  void saveEmptySet();
  void saveFailureIsReportedAndReadOnlyFolderWrittenInPlace();
  void saveAsWritesCurrentEntries();
  void saveAsCancelAndFailure();
  void openReplacesOnlyOnSuccess();
  void openRoundTripsSaveAs();

  void switchRecordMonthlyFiles();
  void actualPeriods_data();
  void actualPeriods();

 private:
  QTemporaryDir trash_;
};

void TestStores::initTestCase() {
  // Backups go to a trash of our own, not the user's.
  qputenv("XDG_DATA_HOME", trash_.path().toLocal8Bit());
}

void TestStores::settingsDefaults() {
  QTemporaryDir dir;
  SettingsStore s(dir.path());
  QCOMPARE(s.ReadOpen(), QString("0"));
  QCOMPARE(s.ReadRun(), QString("0"));
  QCOMPARE(s.ReadCom(), QString("1"));
  QCOMPARE(s.ReadID(), QString("1"));
  QCOMPARE(s.ReadRouteName("01"), QString("未命名"));
  QCOMPARE(s.ReadRouteName("16"), QString("未命名"));
  QVERIFY(!QFile::exists(s.path()));  // reading never creates the file
}

void TestStores::settingsLengthsAndFlags() {
  QTemporaryDir dir;
  SettingsStore s(dir.path());
  put(s.path(), "[Note]\r\nCom=123\r\nID=07\r\nOpen=10\r\nRun=0abc\r\n");
  QCOMPARE(s.ReadCom(), QString("12"));
  QCOMPARE(s.ReadID(), QString("07"));
  QCOMPARE(s.ReadOpen(), QString("1"));
  QCOMPARE(s.ReadRun(), QString("0"));
  QVERIFY(!SettingsStore::isOn(s.ReadRun()));

  put(s.path(), "[Note]\r\nOpen=\r\nRun=2\r\n");
  QCOMPARE(s.ReadOpen(), QString(""));
  QVERIFY(SettingsStore::isOn(s.ReadOpen()));  // an empty "Open" is on
  QVERIFY(SettingsStore::isOn(s.ReadRun()));
}

void TestStores::settingsRouteNames() {
  QTemporaryDir dir;
  SettingsStore s(dir.path());
  put(s.path(), "[Note]\r\n01=\r\n02=" + gbk("一号水泵阀门") +
                    "\r\n03=ABCDEFGHIJ\r\n04=" + gbk("阀a门") + "\r\n");
  QCOMPARE(s.ReadRouteName("01"), QString(""));  // empty, not "未命名"
  QCOMPARE(s.ReadRouteName("02"), QString("一号水泵"));
  QCOMPARE(s.ReadRouteName("03"), QString("ABCDEFGH"));
  QCOMPARE(s.ReadRouteName("04"), QString("阀a门"));
  QCOMPARE(s.ReadRouteName("05"), QString("未命名"));
  put(s.path(), QString("[Note]\n02=一号水泵阀门\n").toUtf8());  // edited on Linux
  QCOMPARE(s.ReadRouteName("02"), QString("一号水泵"));
}

void TestStores::settingsWritersCreateTheFile() {
  QTemporaryDir dir;
  SettingsStore s(dir.path());
  QVERIFY(s.WriteID("1"));
  QVERIFY(s.WriteCom("1"));
  QCOMPARE(get(s.path()), QByteArray("[Note]\r\nID=1\r\nCom=1\r\n"));
  QVERIFY(s.WriteCom("7"));
  QVERIFY(s.WriteOpen("1"));
  QVERIFY(s.WriteRun("0"));
  QCOMPARE(get(s.path()), QByteArray("[Note]\r\nID=1\r\nCom=7\r\nOpen=1\r\nRun=0\r\n"));
  SettingsStore nowhere(dir.filePath("missing/folder"));
  QVERIFY(!nowhere.WriteCom("2"));
}

void TestStores::missingStoreLoadsNothing() {
  QTemporaryDir dir;
  QCOMPARE(loadFrom(dir.filePath("Note.ini")).count(), 0);
}

void TestStores::routeStopsAtFirstGap() {
  QTemporaryDir dir;
  const QString p = dir.filePath("Note.ini");
  put(p,
      "[Note]\r\n0101=11000000000100000000073000\r\n0102=01000000000100000000080000\r\n"
      "0104=11000000000100000000090000\r\n0201=11000000000200000000073000\r\n");
  const EntryCollection c = loadFrom(p);
  QCOMPARE(texts(c),
           QStringList({"key0101=11000000000100000000073000", "key0102=01000000000100000000080000",
                        "key0201=11000000000200000000073000"}));
  QCOMPARE(c.at(1).entry->nNo, qint16(2));
}

void TestStores::numberZeroIsNeverRead() {
  QTemporaryDir dir;
  const QString p = dir.filePath("Note.ini");
  put(p,
      "[Note]\r\n0100=11000000000100000000073000\r\n0200=11000000000200000000073000\r\n"
      "0201=11000000000200000000073000\r\n");
  QCOMPARE(texts(loadFrom(p)), QStringList({"key0201=11000000000200000000073000"}));
}

void TestStores::markerEndsItsRoute() {
  QTemporaryDir dir;
  const QString p = dir.filePath("Note.ini");
  put(p,
      "[Note]\r\n0301=11000000000300000000073000\r\n0302=00000000000000000000000000\r\n"
      "0303=11000000000300000000083000\r\n");
  QCOMPARE(loadFrom(p).count(), 1);
}

void TestStores::valuesCutTo26() {
  QTemporaryDir dir;
  const QString p = dir.filePath("Note.ini");
  put(p, "[Note]\r\n0501=110000000005000000000730001234\r\n0502=1100000000050000\r\n");
  const EntryCollection c = loadFrom(p);
  QCOMPARE(c.count(), 2);
  QCOMPARE(c.at(0).entry->GetStr(), QString("11000000000500000000073000"));
  QCOMPARE(c.at(1).entry->nRoute, qint16(0));  // too short: a blank entry, loaded all the same
}

void TestStores::keyFromStoreRouteFromText() {
  QTemporaryDir dir;
  const QString p = dir.filePath("Note.ini");
  put(p, "[Note]\r\n0301=11000000000500000000073000\r\n");
  const EntryCollection c = loadFrom(p);
  QCOMPARE(c.at(0).key, QString("key0301"));
  QCOMPARE(c.at(0).entry->nRoute, qint16(5));
}

void TestStores::writeRenumbersPerRoute() {
  EntryCollection c;
  c.add("key0201", entry(2, 1));
  c.add("key0901", entry(9, 1));
  c.add("key0203", entry(2, 3));
  c.add("key0207", entry(2, 7));
  c.add("key0001", entry(0, 1));   // a blank entry is not written back
  c.add("key1701", entry(17, 1));  // nor a route beyond 16
  const auto pairs = entry_set_pairs(c);
  QStringList keys;
  for (const auto& p : pairs) keys << p.first;
  QCOMPARE(keys, QStringList({"0201", "0202", "0203", "0901"}));
  QCOMPARE(pairs[2].second, entry(2, 7)->GetStr());  // collection order decides the number
  QCOMPARE(c.at(2).entry->nNo, qint16(3));           // writing does not renumber the entries
  QCOMPARE(render_entry_file(EntryCollection()), QByteArray("[Note]\r\n"));
}

void TestStores::perKeyOperations() {
  QTemporaryDir dir;
  EntryStore store(dir.path());
  QCOMPARE(store.ReadNote("0101"), kBlankEntryText);
  QVERIFY(store.WriteNote("0101", "11000000000100000000073000"));
  QCOMPARE(store.ReadNote("0101"), QString("11000000000100000000073000"));
  QCOMPARE(EntryStore::ReadNoteFrom("0101", store.path()), store.ReadNote("0101"));
  QCOMPARE(EntryStore::ReadNoteFrom("0101", dir.filePath("other.ini")), kBlankEntryText);
}

void TestStores::trashKeepsNameAndRecordsOrigin() {
  QTemporaryDir dir;
  const QString file = dir.filePath("a b%.ini");
  put(file, "one");
  QVERIFY(move_to_trash(file));
  put(file, "two");
  QVERIFY(move_to_trash(file));
  QVERIFY(!QFile::exists(file));
  QVERIFY(!move_to_trash(file));  // nothing left to move
  const QString t = trash_.filePath("Trash/");
  QCOMPARE(get(t + "files/a b%.ini"), QByteArray("one"));
  QCOMPARE(get(t + "files/a b%.ini-0001"), QByteArray("two"));
  const QByteArray info = get(t + "info/a b%.ini-0001.trashinfo");
  QVERIFY(info.startsWith("[Trash Info]\nPath=" + QUrl::toPercentEncoding(file, "/") + "\n"));
  QVERIFY(info.contains("\nDeletionDate=2"));
}

void TestStores::saveWritesWholeStoreAndBacksUpOld() {
  const QByteArray old = "[Note]\r\n0101=11000000000100000000073000\r\n";
  // The store as a file, and as a symbolic link to a file elsewhere.
  for (const bool viaLink : {false, true}) {
    QTemporaryDir dir;
    EntryStore store(dir.path());
    QString target = store.path();
    if (viaLink) {
      QDir(dir.path()).mkdir("real");
      target = dir.filePath("real/plan.ini");
      QVERIFY(QFile::link(target, store.path()));
    }
    put(target, old);
    put(store.path() + ".bak", "the user's own backup");
    put(store.path() + ".bak-0123abcd", "left by a save killed midway");
    put(store.path() + ".bak-mine", "the user's");
    EntryCollection c;
    c.add("key0301", entry(3, 1));
    ScriptedPrompt prompt;
    QVERIFY(save_command(c, store.path(), prompt));
    QCOMPARE(prompt.messages, QStringList({"保存成功！"}));
    const QByteArray saved = "[Note]\r\n0301=" + entry(3, 1)->GetStr().toLatin1() + "\r\n";
    QCOMPARE(get(store.path()), saved);
    QCOMPARE(QFileInfo(store.path()).isSymLink(), viaLink);
    QCOMPARE(get(store.path() + ".bak"), QByteArray("the user's own backup"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System).size(), 3);  // nothing left
    QVERIFY(!QFile::exists(store.path() + ".bak-0123abcd"));
    // The old content is in the trash, as a file of its own, named after the store.
    const QDir files(trash_.filePath("Trash/files"));
    QList<QByteArray> backups;
    for (const QString& name : files.entryList({"Note.ini.bak*"}, QDir::Files | QDir::System))
      if (!QFileInfo(files.filePath(name)).isSymLink()) backups << get(files.filePath(name));
    QCOMPARE(backups.count(old), 1);
    QCOMPARE(backups.count("left by a save killed midway"), 1);
    QDir(trash_.filePath("Trash")).removeRecursively();
  }
}

void TestStores::saveAfterDeletingLeavesNoStaleKey() {
  QTemporaryDir dir;
  EntryStore store(dir.path());
  EntryCollection c;
  for (int n = 1; n <= 5; ++n) c.add(entry_key(2, n), entry(2, n));
  ScriptedPrompt prompt;
  QVERIFY(save_command(c, store.path(), prompt));
  QVERIFY(c.remove("key0203"));
  QVERIFY(save_command(c, store.path(), prompt));
  const EntryCollection back = loadFrom(store.path());
  QCOMPARE(back.count(), 4);
  QCOMPARE(back.at(2).key, QString("key0203"));
  QCOMPARE(back.at(2).entry->nStartSecond, qint16(4));  // the old fourth is now the third
  QCOMPARE(store.ReadNote("0205"), kBlankEntryText);
}

void TestStores::saveWithoutTrashLeavesNoStaleKey() {
  QTemporaryDir dir;
  make_open_to_all(dir.path());
  put(dir.filePath("file"), "x");
  QVERIFY(as_ordinary_user("save-without-trash", {dir.path()}));
}

// An ordinary user whose home lies below a regular file has no trash anywhere: saving still
// replaces the whole store.
bool saveWithoutTrash(const QString& dir) {
  qputenv("XDG_DATA_HOME", (dir + "/file/data").toLocal8Bit());
  qputenv("HOME", (dir + "/file").toLocal8Bit());
  const QString probe = dir + "/probe";
  put(probe, "p");
  if (move_to_trash(probe)) return false;  // the trash must be out of reach
  EntryStore store(dir);
  EntryCollection c;
  for (int n = 1; n <= 5; ++n) c.add(entry_key(2, n), entry(2, n));
  ScriptedPrompt prompt;
  if (!save_command(c, store.path(), prompt)) return false;
  c.remove("key0203");
  if (!save_command(c, store.path(), prompt)) return false;
  return loadFrom(store.path()).count() == 4 && store.ReadNote("0205") == kBlankEntryText &&
         prompt.messages == QStringList({"保存成功！", "保存成功！"}) &&
         !QFile::exists(store.path() + ".bak");
}

void TestStores::saveEmptySet() {
  QTemporaryDir dir;
  EntryStore store(dir.path());
  put(store.path(), "[Note]\r\n0101=11000000000100000000073000\r\n");
  ScriptedPrompt prompt;
  QVERIFY(save_command(EntryCollection(), store.path(), prompt));
  QCOMPARE(loadFrom(store.path()).count(), 0);
  QCOMPARE(prompt.messages, QStringList({"保存成功！"}));
}

void TestStores::saveFailureIsReportedAndReadOnlyFolderWrittenInPlace() {
  QTemporaryDir dir;
  EntryCollection c;
  c.add("key0101", entry(1, 1));
  ScriptedPrompt prompt;
  const QString nowhere = dir.filePath("gone/Note.ini");
  QVERIFY(!save_command(c, nowhere, prompt));
  QCOMPARE(prompt.messages, QStringList({"保存失败\n" + nowhere}));

  // A folder the user may not write to, the store writable: written in place.
  const QString store = dir.filePath("Note.ini");
  put(store, "[Note]\r\n0101=11000000000100000000073000\r\n");
  chmod(store.toLocal8Bit().constData(), 0666);
  chmod(dir.path().toLocal8Bit().constData(), 0555);
  QVERIFY(as_ordinary_user("save-in-read-only-folder", {store}));
  chmod(dir.path().toLocal8Bit().constData(), 0755);
  QCOMPARE(get(store), "[Note]\r\n0101=" + entry(1, 1)->GetStr().toLatin1() + "\r\n");
}

void TestStores::saveAsWritesCurrentEntries() {
  QTemporaryDir dir;
  EntryCollection c;
  c.add("key0401", entry(4, 1));
  c.add("key0101", entry(1, 1));
  ScriptedPrompt prompt;
  prompt.saveName = dir.filePath("plan.ini");
  QVERIFY(save_as_command(c, prompt));
  QCOMPARE(prompt.messages, QStringList({"文件已另存为\n" + prompt.saveName}));
  QCOMPARE(texts(loadFrom(prompt.saveName)),
           QStringList({"key0101=" + entry(1, 1)->GetStr(), "key0401=" + entry(4, 1)->GetStr()}));
  QVERIFY(!QFile::exists(dir.filePath("Note.ini")));  // the store is not touched
}

void TestStores::saveAsCancelAndFailure() {
  QTemporaryDir dir;
  EntryCollection c;
  c.add("key0101", entry(1, 1));
  ScriptedPrompt prompt;
  QVERIFY(!save_as_command(c, prompt));  // cancelled: empty name
  QVERIFY(prompt.messages.isEmpty());
  prompt.saveName = dir.filePath("no/such/folder/plan.ini");
  QVERIFY(!save_as_command(c, prompt));
  QCOMPARE(prompt.messages, QStringList({"另存失败\n" + prompt.saveName}));
}

void TestStores::openReplacesOnlyOnSuccess() {
  QTemporaryDir dir;
  EntryCollection c;
  c.add("key0101", entry(1, 1));
  ScriptedPrompt prompt;
  QCOMPARE(open_command(c, prompt), OpenResult::Cancelled);
  QCOMPARE(c.count(), 1);

  prompt.openName = dir.filePath("missing.ini");
  QCOMPARE(open_command(c, prompt), OpenResult::Failed);
  QCOMPARE(prompt.messages, QStringList({"打开失败\n" + prompt.openName}));
  QCOMPARE(c.count(), 1);
  QDir(dir.path()).mkdir("folder.ini");
  prompt.openName = dir.filePath("folder.ini");
  QCOMPARE(open_command(c, prompt), OpenResult::Failed);
  QCOMPARE(c.count(), 1);

  prompt.openName = dir.filePath("r4.ini");
  put(prompt.openName,
      "[Note]\r\n0401=11000000000400000000073000\r\n0403=11000000000400000000083000\r\n");
  QCOMPARE(open_command(c, prompt), OpenResult::Loaded);
  QCOMPARE(texts(c), QStringList({"key0401=11000000000400000000073000"}));

  // A file without entries, or one of the program's own, keeps the timetable and says so.
  const std::pair<const char*, const char*> refused[] = {
      {"empty.ini", ""},
      {"Name.ini", "[Note]\r\nOpen=1\r\n"},
      {"Note.ini", "[Note]\r\n0101=11000000000100000000060000\r\n"}};
  for (const auto& [name, content] : refused) {
    prompt.openName = dir.filePath(name);
    put(prompt.openName, content);
    QCOMPARE(open_command(c, prompt, dir.path()), OpenResult::Empty);
    QCOMPARE(prompt.messages.last(), "文件中没有条目\n" + prompt.openName);
    QCOMPARE(texts(c), QStringList({"key0401=11000000000400000000073000"}));
  }
}

void TestStores::openRoundTripsSaveAs() {
  QTemporaryDir dir;
  EntryCollection c;
  c.add("key0902", entry(9, 2));
  c.add("key0301", entry(3, 1));
  c.add("key0901", entry(9, 1));
  c.add("key0302", entry(3, 2));
  ScriptedPrompt prompt;
  prompt.saveName = prompt.openName = dir.filePath("copy.ini");
  QVERIFY(save_as_command(c, prompt));
  EntryCollection back;
  QCOMPARE(open_command(back, prompt), OpenResult::Loaded);
  // Route by route, each route in its collection order, renumbered from 1.
  QCOMPARE(texts(back),
           QStringList({"key0301=" + entry(3, 1)->GetStr(), "key0302=" + entry(3, 2)->GetStr(),
                        "key0901=" + entry(9, 2)->GetStr(), "key0902=" + entry(9, 1)->GetStr()}));
}

void TestStores::switchRecordMonthlyFiles() {
  QTemporaryDir dir;
  QDir(dir.path()).mkpath(QStringLiteral("log"));
  const QString log = dir.path() + QStringLiteral("/log/");
  for (const char* name : {"2025-10.csv", "2025-11.csv", "notes.csv", "1999-13.csv"})
    put(log + name, "x\r\n");
  QDateTime now(QDate(2026, 12, 7), QTime(8, 0, 0, 123));
  SwitchRecord record(dir.path(), [&] { return now; });
  record.append(3, RecordAction::Energise, RecordCause::Entry, QStringLiteral("key0301"));
  now = now.addMSecs(1);
  record.append(0, RecordAction::PortLost, RecordCause::None, QStringLiteral("a,\"b\""));
  QCOMPARE(get(log + "2026-12.csv"),
           QByteArray("\xEF\xBB\xBF") +
               QStringLiteral("时间,路,动作,来源\r\n"
                              "2026-12-07 08:00:00.123,3,吸合,key0301\r\n"
                              "2026-12-07 08:00:00.124,,串口丢失,\"a,\"\"b\"\"\"\r\n")
                   .toUtf8());
  // A new month's file removes those more than 13 months older; other files stay.
  QVERIFY(!QFile::exists(log + "2025-10.csv"));
  QVERIFY(QFile::exists(log + "2025-11.csv") && QFile::exists(log + "notes.csv") &&
          QFile::exists(log + "1999-13.csv"));  // no month: not the record's
  const QList<RecordEvent> back = record.newest(2);
  QCOMPARE(back.size(), 2);
  QCOMPARE(back[0].detail, QStringLiteral("a,\"b\""));
  QCOMPARE(back[1].route, 3);
  QCOMPARE(back[1].at, QDateTime(QDate(2026, 12, 7), QTime(8, 0, 0, 123)));
  // From a moment on, in the order written.
  QCOMPARE(record.since(QDateTime(QDate(2026, 12, 7), QTime(8, 0, 0, 124))).size(), 1);
  QCOMPARE(record.since(QDateTime(QDate(2026, 11, 1), QTime(0, 0))).first().route, 3);
  QCOMPARE(record.newest(2, 5).size(), 1);  // route 5's page: the link's event only
  // A reason with a blank in it reads back.
  record.append(0, RecordAction::MqttFailed, RecordCause::None, "b:8883", MqttError::TlsNotSpoken);
  QCOMPARE(record.newest(1).value(0).error, MqttError::TlsNotSpoken);
  QCOMPARE(record.newest(1).value(0).detail, QString("b:8883"));

  // A month's file stops at its limit with one closing line; the lines it did not take are told
  // at the top of the next month's.
  QFile(log + "2026-12.csv").resize(SwitchRecord::kMaxFileBytes - 10);
  record.appendState(4, true, RecordCause::Manual);
  record.appendState(4, false, RecordCause::Manual);
  now = QDateTime(QDate(2027, 1, 1), QTime(0, 0));
  record.appendState(4, true, RecordCause::Manual);
  QCOMPARE(get(log + "2027-01.csv").split('\n').mid(1, 2),
           QList<QByteArray>({"2027-01-01 00:00:00.000,,记录中断,2行\r",
                              "2027-01-01 00:00:00.000,4,吸合,手动\r"}));
  QCOMPARE(record.newest(3).value(2).action, RecordAction::RecordFull);

  // The hour an autumn change repeats carries the offset, and both passes read back apart.
  const QByteArray tz = qgetenv("TZ");
  qputenv("TZ", "Europe/Berlin");
  tzset();
  for (const auto& [utc, text] :
       {std::pair{"2027-10-31T00:10:00Z", "2027-10-31 02:10:00.000+02:00"},
        {"2027-10-31T01:10:00Z", "2027-10-31 02:10:00.000+01:00"},
        {"2027-10-31T02:10:00Z", "2027-10-31 03:10:00.000"}}) {
    RecordEvent e, read;
    e.at = QDateTime::fromString(utc, Qt::ISODate).toLocalTime();
    QCOMPARE(RecordLine::timeText(e.at), QString(text));
    QVERIFY(RecordLine::parse(RecordLine::line(e), &read));
    QCOMPARE(read.at.toMSecsSinceEpoch(), e.at.toMSecsSinceEpoch());
  }
  qputenv("TZ", tz);
  tzset();

  // log/ a link to a folder elsewhere, or the month's file a link: nothing there is touched.
  QTemporaryDir linked, elsewhere;
  for (const char* name : {"2020-01.csv", "2024-05.csv"}) put(elsewhere.filePath(name), "x\r\n");
  QVERIFY(QFile::link(elsewhere.path(), linked.filePath("log")));
  SwitchRecord viaLink(linked.path(), [&] { return now; });
  viaLink.appendState(1, true, RecordCause::Manual);
  QVERIFY(QFile::remove(linked.filePath("log")) && QDir(linked.path()).mkdir("log"));
  QVERIFY(QFile::link(elsewhere.filePath("2024-05.csv"), linked.filePath("log/2027-01.csv")));
  viaLink.appendState(1, true, RecordCause::Manual);
  QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files),
           QStringList({"2020-01.csv", "2024-05.csv"}));
  QCOMPARE(get(elsewhere.filePath("2024-05.csv")), QByteArray("x\r\n"));
  QCOMPARE(viaLink.failure(), WriteFailure::SymLink);

  // A record that cannot be written still announces its events.
  put(dir.path() + QStringLiteral("/blocked"), "a file where the folder should be");
  SwitchRecord blocked(dir.path() + QStringLiteral("/blocked"), [&] { return now; });
  QSignalSpy spy(&blocked, &SwitchRecord::appended);
  blocked.appendState(1, false, RecordCause::Manual);
  QCOMPARE(spy.count(), 1);
}

// Route 1's actual periods on 2026-12-07 from 07:00 to 12:00 (now): events "hh:mm word", the
// states reported now (-1: not answering), the periods "hh:mm state" (? unknown, - no link, R, E).
void TestStores::actualPeriods_data() {
  QTest::addColumn<QStringList>("events");
  QTest::addColumn<int>("reportedNow");
  QTest::addColumn<QStringList>("periods");
  QTest::newRow("reports and a silent board")
      << QStringList{"08:00 open",   "08:01 answers", "08:02 off", "09:00 on",
                     "10:00 silent", "10:30 answers", "11:00 off"}
      << 0 << QStringList{"07:00 ?", "08:00 -", "08:01 ?", "08:02 R",
                          "09:00 E", "10:00 -", "10:30 E", "11:00 R"};
  QTest::newRow("a start unseen; no answer now")
      << QStringList{"08:00 open", "08:01 on", "09:30 manual", "10:00 open", "10:01 off"} << -1
      << QStringList{"07:00 ?", "08:00 -", "08:01 E", "09:30 ?", "10:00 -", "10:01 ?"};
  QTest::newRow("not reported since: as reported now")
      << QStringList{"08:00 open", "08:01 answers", "09:00 closed", "09:10 open", "09:11 answers"}
      << 1 << QStringList{"07:00 ?", "08:00 -", "08:01 ?", "09:00 -", "09:11 E"};
  QTest::newRow("first reports in one line; the program not running")
      << QStringList{"08:00 open",  "08:01 answers", "08:01 first-on", "09:00 end",
                     "10:00 start", "10:00 open",    "10:01 answers",  "10:01 first-off"}
      << 0 << QStringList{"07:00 ?", "08:00 -", "08:01 E", "09:00 ?", "10:00 -", "10:01 R"};
}

void TestStores::actualPeriods() {
  QFETCH(QStringList, events);
  QFETCH(int, reportedNow);
  QFETCH(QStringList, periods);
  const QDate day(2026, 12, 7);
  const QMap<QString, RecordAction> words{
      {"open", RecordAction::PortOpened},       {"closed", RecordAction::PortClosed},
      {"silent", RecordAction::BoardSilent},    {"answers", RecordAction::BoardAnswers},
      {"on", RecordAction::Energise},           {"off", RecordAction::Release},
      {"manual", RecordAction::Release},        {"first-on", RecordAction::BoardStates},
      {"first-off", RecordAction::BoardStates}, {"start", RecordAction::ProgramStart},
      {"end", RecordAction::ProgramEnd}};
  QList<RecordEvent> record;
  for (const QString& e : events) {
    const QString word = e.mid(6);
    const bool route = word == "on" || word == "off" || word == "manual";
    RecordEvent event{
        QDateTime(day, QTime::fromString(e.left(5))),
        route ? 1 : 0,
        words[word],
        route ? (word == "manual" ? RecordCause::Manual : RecordCause::Board) : RecordCause::None,
        {},
        {},
        {}};
    if (word.startsWith("first")) event.routes = 0x0003, event.on = word == "first-on" ? 1 : 0;
    // As the record's file holds it.
    QVERIFY(RecordLine::parse(RecordLine::line(event), &record.emplace_back()));
  }
  const auto at = [&](int h) { return QDateTime(day, QTime(h, 0)).toMSecsSinceEpoch(); };
  const ActualRoutes actual =
      actual_periods(record, at(7), at(20), at(12),
                     reportedNow < 0 ? std::nullopt : std::optional<quint16>(reportedNow));
  QStringList got;
  for (const ActualPeriod& p : actual[1])
    got << QDateTime::fromMSecsSinceEpoch(p.from).toString("hh:mm ") + "?-RE"[int(p.state)];
  QCOMPARE(got, periods);
}

bool scenario(const QStringList& args) {
  const QString name = args.value(0), path = args.value(1);
  if (name == "save-without-trash") return saveWithoutTrash(path);
  if (name == "save-in-read-only-folder") {
    EntryCollection c;
    c.add("key0101", entry(1, 1));
    ScriptedPrompt p;
    return save_command(c, path, p) && p.messages == QStringList({"保存成功！"});
  }
  return false;
}

TAVREL_TEST_MAIN_WITH_SCENARIOS(TestStores, scenario)
#include "test_stores.moc"
