#include <signal.h>

#include <QtTest>
#include <random>

#include "core/entry_store.h"

// The store is always either the old or the new set, whenever the program dies during a save.
class TestCrashSafety : public QObject {
  Q_OBJECT
 private slots:
  void killDuringSave();
};

void TestCrashSafety::killDuringSave() {
  QTemporaryDir dir;
  const QString store = dir.filePath("Note.ini");
  std::mt19937 rng(20261207);
  int kills = 0, seenVariant[2] = {0, 0};
  for (int round = 0; round < 40; ++round) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", dir.filePath("data"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationDirPath() + "/save_child", {store});
    QVERIFY(child.waitForStarted());
    QTRY_VERIFY(QFile::exists(store));  // at least one complete save exists
    QTest::qWait(std::uniform_int_distribution<int>(1, 40)(rng));
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished());
    ++kills;

    EntryCollection c;
    const ProfileFile f = ProfileFile::load(store);
    QCOMPARE(f.status(), ProfileFile::Status::Ok);
    load_entry_set(f, c);
    QCOMPARE(c.count(), 16 * 99);
    const int variant = c.at(0).entry->nStartSecond;
    for (const auto& it : c) {
      QCOMPARE(int(it.entry->nStartSecond), variant);  // never a mixture of the two sets
      QCOMPARE(it.entry->bIsOpen, variant == 1);
    }
    ++seenVariant[variant];
    // The trash would fill with backups; empty it between rounds.
    QDir(dir.filePath("data")).removeRecursively();
  }
  qInfo("%d kills, old/new set found %d/%d times", kills, seenVariant[0], seenVariant[1]);
}

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "test_crash_safety.moc"
