// The program under bad conditions: hand-made and hostile files, a full or read-only disk, a
// second copy writing the same files, a board that goes away before it ever answered.
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QtTest>
#include <random>

#include "app/file_commands.h"
#include "app/startup.h"
#include "core/entry_store.h"
#include "relay_board.h"
#include "station/switch_record.h"
#include "support/files.h"
#include "support/full_store.h"
#include "support/logic_rig.h"
#include "support/scripted_prompt.h"
#include "support/tmpfs.h"

namespace {

// One generated settings or entry file of a given style.
QByteArray generate(std::mt19937& rng, int style) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto randomBytes = [&](int n) {
    QByteArray b;
    for (int i = 0; i < n; ++i) b.append(static_cast<char>(rng() & 0xFF));
    return b;
  };
  QByteArray f;
  switch (style) {
    case 0:  // random bytes
      return randomBytes(pick(4096));
    case 1: {  // entry-like lines with keys out of range, disagreeing routes, odd values
      f = pick(2) ? "[Note]\r\n" : "\xEF\xBB\xBF[nOtE]\n";
      for (int i = pick(300), r = 1, n = 0; i > 0; --i) {
        if (pick(40) == 0) r = pick(20);  // mostly in order, now and then elsewhere
        if (++n > 99 || pick(60) == 0) n = pick(101);
        f += QString("%1%2=").arg(r, 2, 10, QChar('0')).arg(n, 2, 10, QChar('0')).toLatin1();
        QByteArray v = QString("%1%2%3").arg(pick(3)).arg(pick(2)).arg(pick(2)).toLatin1();
        for (int k = 0; k < 7; ++k) v += pick(4) ? '0' + pick(2) : static_cast<char>(rng() & 0xFF);
        v += QString("%1%2%3%4%5%6%7")
                 .arg(pick(20), 2, 10, QChar('0'))
                 .arg(pick(3000), 4, 10, QChar('0'))
                 .arg(pick(14), 2, 10, QChar('0'))
                 .arg(pick(33), 2, 10, QChar('0'))
                 .arg(pick(26), 2, 10, QChar('0'))
                 .arg(pick(61), 2, 10, QChar('0'))
                 .arg(pick(61), 2, 10, QChar('0'))
                 .toLatin1();
        if (pick(10) == 0) v = v.left(pick(v.size() + 1)) + randomBytes(pick(8));
        f += v + (pick(5) ? "\r\n" : "\n");
      }
      return f;
    }
    case 2:  // settings with odd values, invalid GBK, quotes, duplicates, NULs
      f = "[Note]\r\n";
      for (const char* k : {"Open", "Run", "Com", "ID", "01", "02", "16", "com", "id"}) {
        f += QByteArray(k) + "=";
        switch (pick(6)) {
          case 0:
            f += QByteArray::number(pick(40) - 5);
            break;
          case 1:
            f += "\xFF\xFE\x81";
            break;
          case 2:
            f += "\"" + randomBytes(pick(12)) + "\"";
            break;
          case 3:
            f += QByteArray(1, '\0') + "7";
            break;
          case 4:
            f += QString("一二三四五六").toUtf8();
            break;
          default:
            f += randomBytes(pick(20));
            break;
        }
        f += "\r\n";
      }
      return f;
    default:  // a line of a megabyte among others
      f = "[Note]\r\n0101=" + QByteArray(1 << 20, '1') + "\r\nCom=" + QByteArray(1 << 20, '9') +
          "\r\n0102=11000000000100000000073000\r\n";
      return f;
  }
}

// What a store holds, as its entries' texts route by route.
QStringList storedTexts(const QString& path) {
  EntryCollection c;
  load_entry_set(ProfileFile::load(path), c);
  QStringList out;
  for (const auto& it : c) out << it.entry->GetStr();
  return out;
}

// What saving colData must store: routes 1..16 in turn, at most 99 each, in collection order.
QStringList expectedTexts(const EntryCollection& c) {
  QStringList out;
  for (int r = 1; r <= 16; ++r) {
    int n = 0;
    for (const auto& it : c)
      if (it.entry->nRoute == r && ++n <= 99) out << it.entry->GetStr();
  }
  return out;
}

}  // namespace

class TestFaults : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void badFilesNeverStopTheProgram();
  void hugeFilesAreReadOnce();
  void realProgramOnHostileFiles();
  void fullDisk();
  void readOnlyDisk();
  void twoCopiesWritingSettings();
  void boardGoneBeforeItsFirstReply();

 private:
  QTemporaryDir trash_;
};

void TestFaults::initTestCase() { qputenv("XDG_DATA_HOME", trash_.path().toLocal8Bit()); }

void TestFaults::badFilesNeverStopTheProgram() {
  std::mt19937 rng(1207);
  int tried = 0, entriesSeen = 0;
  for (int i = 0; i < 1000; ++i) {
    QTemporaryDir dir;
    const QString name = dir.filePath("Name.ini"), note = dir.filePath("Note.ini");
    const int kind = i % 20;
    if (kind == 0)
      QDir(dir.path()).mkdir("Note.ini");  // a directory in place of the store
    else
      put(note, generate(rng, kind % 2 ? 1 : (kind % 4 == 2 ? 0 : 3)));
    if (kind == 5)
      QDir(dir.path()).mkdir("Name.ini");
    else
      put(name, generate(rng, kind % 3 == 0 ? 0 : 2));
    ScriptedPrompt prompt;
    {
      Plant plant(dir.path(), prompt);
      AppLogic& logic = plant.logic;
      run_startup(logic, logic.settings().load());
      QVERIFY(logic.nID() >= 1 && logic.nID() <= 16);
      QVERIFY(logic.nCom() >= 1 && logic.nCom() <= 20);
      entriesSeen += logic.entries().count();
      if (kind == 0) continue;
      // Saving afterwards writes a store that loads back as exactly what was saved.
      QVERIFY(save_command(logic.entries(), note, prompt));
      QCOMPARE(storedTexts(note), expectedTexts(logic.entries()));
    }
    ++tried;
  }
  qInfo("%d generated file pairs started and saved, %d entries seen", 1000, entriesSeen);
  QVERIFY(tried > 900);
}

void TestFaults::hugeFilesAreReadOnce() {
  QTemporaryDir dir;
  // 100 MB: random bytes for the settings, a store of three million keys.
  QByteArray random(100 << 20, '\0');
  std::mt19937 rng(5);
  for (char& c : random) c = static_cast<char>(rng() & 0xFF);
  put(dir.filePath("Name.ini"), random);
  random.clear();
  QByteArray keys = "[Note]\r\n0101=11000000000100000000073000\r\n";
  keys.reserve(100 << 20);
  for (int i = 0; keys.size() < (100 << 20); ++i)
    keys += "k" + QByteArray::number(i) + "=11000000000100000000073000\r\n";
  put(dir.filePath("Note.ini"), keys);
  keys.clear();
  ScriptedPrompt prompt;
  Plant plant(dir.path(), prompt);
  AppLogic& logic = plant.logic;
  // Bytes this process has read so far. Name.ini is read once and once more by each of the two
  // settings start-up writes back (a write keeps every other line), Note.ini once: 400 MB. A file
  // read once per key would be many times that.
  const auto bytesRead = [] {
    QFile io("/proc/self/io");
    io.open(QIODevice::ReadOnly);
    const QByteArray text = io.readAll();
    const int at = text.indexOf("rchar: ") + 7;
    return text.mid(at, text.indexOf('\n', at) - at).toLongLong();
  };
  const qint64 before = bytesRead();
  run_startup(logic, logic.settings().load());
  const qint64 read = bytesRead() - before;
  qInfo("start-up on 2 x 100 MB files read %lld MB", read >> 20);
  QVERIFY2(read >= (400 << 20) && read < (450 << 20), qPrintable(QString::number(read)));
  QCOMPARE(logic.entries().count(), 1);
  QVERIFY(save_command(logic.entries(), logic.storePath(), prompt));
  QCOMPARE(storedTexts(logic.storePath()), QStringList({"11000000000100000000073000"}));
}

void TestFaults::realProgramOnHostileFiles() {
  // The real program, started on its own, gets through start-up to the push cycle: the board
  // sees its queries.
  std::mt19937 rng(99);
  for (int round = 0; round < 6; ++round) {
    QTemporaryDir dir;
    QFile::copy(QCoreApplication::applicationDirPath() + "/tavrel", dir.filePath("tavrel"));
    // The link opens at start-up; the route names are anything at all.
    QByteArray names = "[Note]\r\nOpen=1\r\nCom=1\r\nID=1\r\n";
    for (int r = 1; r <= 16; ++r) {
      names += QByteArray::number(r).rightJustified(2, '0') + "=";
      for (int k = static_cast<int>(rng() % 40); k > 0; --k) {
        const char c = static_cast<char>(rng() & 0xFF);
        if (c != '\n') names += c;
      }
      names += "\r\n";
    }
    put(dir.filePath("Name.ini"), names);
    put(dir.filePath("Note.ini"), generate(rng, round % 2 ? 1 : 3));
    QFile::setPermissions(dir.filePath("tavrel"), QFile::ExeOwner | QFile::ReadOwner);
    RelayBoard board({});
    QVERIFY(board.open(dir.filePath("dosdevices/com1"), nullptr));
    QList<BoardProtocol::Kind> frames;
    connect(&board, &RelayBoard::commandReceived,
            [&](BoardProtocol::Kind k, quint16) { frames << k; });
    QElapsedTimer started;
    started.start();
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", dir.path());
    program.setProcessEnvironment(env);
    program.start(dir.filePath("tavrel"), {});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(!frames.isEmpty(), 5000);
    qInfo("round %d: the board's first query %lld ms after the start", round, started.elapsed());
    QTest::qWait(300);
    QCOMPARE(program.state(), QProcess::Running);  // no crash
    program.terminate();
    QVERIFY(program.waitForFinished(5000));
  }
}

void TestFaults::fullDisk() {
  QTemporaryDir dir;
  const TmpfsMount fs(dir.path(), "size=256k");
  if (!fs.ok) QSKIP("mounting a small file system needs root");
  const QString note = dir.filePath("Note.ini"), name = dir.filePath("Name.ini");
  EntryCollection small;
  small.add("key0101", StrToData("11000000000100000000073000"));
  ScriptedPrompt prompt;
  QVERIFY(save_command(small, note, prompt));
  put(name, "[Note]\r\nCom=3\r\n");
  const QByteArray noteBefore = get(note), nameBefore = get(name);
  SwitchRecord record(dir.path(), [] { return QDateTime(QDate(2026, 12, 7), QTime(18, 20)); });
  record.appendState(1, true, RecordCause::Manual);  // the month's file begun before the disk fills
  QSignalSpy told(&record, &SwitchRecord::failureChanged);
  // Fill the file system to the last byte.
  {
    QFile filler(dir.filePath("filler"));
    filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    const QByteArray block(4096, 'x');
    while (filler.write(block) > 0) {
    }
    while (filler.write("x", 1) > 0) {
    }
  }
  const EntryCollection full = full_store([](Clsdata& e, int, int n) {
    e.bIsOpen = e.bIsEveryDay = true;
    e.nStartHour = 7;
    e.nStartMin = 30;
    e.nStartSecond = static_cast<qint16>(n % 60);
  });
  prompt.messages.clear();
  QVERIFY(!save_command(full, note, prompt));
  QCOMPARE(prompt.messages, QStringList({"保存失败：磁盘已满\n" + note}));
  prompt.saveName = dir.filePath("copy.ini");
  QVERIFY(!save_as_command(full, prompt));
  QCOMPARE(prompt.messages.last(), "另存失败：磁盘已满\n" + prompt.saveName);
  // The record fills its file's last block, a line falls short, then none fits: counted, not cut.
  int lost = 0;
  for (int i = 0; i < 200; ++i) {
    record.appendState(2, i % 2, RecordCause::Entry, QString("key02%1").arg(i % 90 + 10));
    lost += record.failure() != WriteFailure::None;
  }
  QCOMPARE(record.failure(), WriteFailure::DiskFull);
  QCOMPARE(told.count(), 1);
  QVERIFY(!profile_write(name, "Note", "Com", "12345678901234567890"));
  QCOMPARE(get(note), noteBefore);
  QCOMPARE(get(name), nameBefore);
  prompt.openName = note;  // reading still works
  EntryCollection opened;
  QCOMPARE(open_command(opened, prompt), OpenResult::Loaded);
  QCOMPARE(opened.count(), 1);
  QFile::remove(dir.filePath("filler"));
  QVERIFY(save_command(full, note, prompt));
  QCOMPARE(storedTexts(note).size(), 16 * 99);
  record.appendState(3, true, RecordCause::Manual);
  QCOMPARE(told.count(), 2);  // writing works again
  const QStringList lines = QString::fromUtf8(get(dir.filePath("log/2026-12.csv"))).split('\n');
  QCOMPARE(lines.filter("记录中断"),
           QStringList({QString("2026-12-07 18:20:00.000,,记录中断,%1行\r").arg(lost)}));
  // Between the header and the last line end: the first line, those that fitted, the count and
  // the last, each whole.
  QCOMPARE(lines.size() - 2, 1 + (200 - lost) + 2);
  RecordEvent e;
  for (const QString& l : lines.mid(1, lines.size() - 2))
    QVERIFY2(RecordLine::parse(l.chopped(1), &e), qPrintable(l));
}

void TestFaults::readOnlyDisk() {
  QTemporaryDir dir;
  const TmpfsMount fs(dir.path(), "size=1m");
  if (!fs.ok) QSKIP("mounting a file system needs root");
  const QString note = dir.filePath("Note.ini"), name = dir.filePath("Name.ini");
  put(note, "[Note]\r\n0101=11000000000100000000073000\r\n");
  put(name, "[Note]\r\nCom=3\r\n");
  QVERIFY(mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY,
                nullptr) == 0);
  ScriptedPrompt prompt;
  EntryCollection c;
  c.add("key0201", StrToData("11000000000200000000073000"));
  QVERIFY(!save_command(c, note, prompt));
  prompt.saveName = dir.filePath("copy.ini");
  QVERIFY(!save_as_command(c, prompt));
  SettingsStore settings(dir.path());
  QVERIFY(!settings.WriteCom("4"));
  QCOMPARE(prompt.messages,
           QStringList({"保存失败：磁盘只读\n" + note, "另存失败：磁盘只读\n" + prompt.saveName}));
  SwitchRecord record(dir.path());
  record.check();
  QCOMPARE(record.failure(), WriteFailure::ReadOnly);
  QCOMPARE(get(note), QByteArray("[Note]\r\n0101=11000000000100000000073000\r\n"));
  QCOMPARE(settings.ReadCom(), QString("3"));
}

void TestFaults::twoCopiesWritingSettings() {
  QTemporaryDir dir;
  put(dir.filePath("Name.ini"), "[Note]\r\n01=水泵\r\n");
  const QString child = QCoreApplication::applicationDirPath() + "/write_child";
  QProcess a, b;
  a.start(child, {dir.path(), "Com", "300"});
  b.start(child, {dir.path(), "ID", "300"});
  QVERIFY(a.waitForStarted() && b.waitForStarted());
  int reads = 0;
  while (a.state() != QProcess::NotRunning || b.state() != QProcess::NotRunning) {
    // Whenever the file is looked at, it is whole.
    const ProfileFile f = ProfileFile::load(dir.filePath("Name.ini"));
    QCOMPARE(f.status(), ProfileFile::Status::Ok);
    QCOMPARE(f.read("Note", "01", "x", 9), QString("水泵"));
    ++reads;
    QTest::qWait(1);
  }
  QCOMPARE(a.exitCode(), 0);
  QCOMPARE(b.exitCode(), 0);
  // The last writer of each key wins, whatever the other copy wrote in between.
  SettingsStore s(dir.path());
  QCOMPARE(profile_read(s.path(), "Note", "Com", "", 9), QString("300"));
  QCOMPARE(profile_read(s.path(), "Note", "ID", "", 9), QString("300"));
  QVERIFY(!QFile::exists(s.path() + ".lock"));
  qInfo("two copies wrote 600 settings while the file was read %d times", reads);
}

void TestFaults::boardGoneBeforeItsFirstReply() {
  QTemporaryDir dir;
  RelayBoard::Options silent;
  silent.silent = true;
  auto* board = new RelayBoard(silent);
  QVERIFY(board->open(dir.filePath("dosdevices/com1"), nullptr));
  ScriptedPrompt prompt;
  Plant plant(dir.path(), prompt);
  AppLogic& logic = plant.logic;
  int lostCalls = 0;
  connect(&logic.station().port(), &CommPort::lost, [&] { ++lostCalls; });
  logic.CmdOpen_Click();
  QTest::qWait(500);  // only queries so far, no answer
  QVERIFY(logic.station().link().bIsFirst());
  delete board;
  QTRY_COMPARE(prompt.messages, QStringList({"串口已断开"}));
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  QTest::qWait(1000);
  getrusage(RUSAGE_SELF, &after);
  const double cpu = (after.ru_utime.tv_sec - before.ru_utime.tv_sec) +
                     (after.ru_utime.tv_usec - before.ru_utime.tv_usec) / 1e6 +
                     (after.ru_stime.tv_sec - before.ru_stime.tv_sec) +
                     (after.ru_stime.tv_usec - before.ru_stime.tv_usec) / 1e6;
  QCOMPARE(lostCalls, 1);
  QCOMPARE(prompt.messages.size(), 1);
  QVERIFY2(cpu < 0.2, qPrintable(QString("CPU %1 s in an idle second").arg(cpu)));
  QCOMPARE(logic.station().linkControl().state(), LinkControl::Waiting);
}

QTEST_GUILESS_MAIN(TestFaults)
#include "test_faults.moc"
