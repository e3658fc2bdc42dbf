// An hour of the whole program on a simulated clock: start-up, the scheduler and the push cycle
// against the simulated board, entries switching every few seconds, then the end. Run under
// AddressSanitizer, LeakSanitizer then checks that nothing of it leaks.
#include <QtTest>
#include <QtWidgets>

#include "relay_board.h"
#include "support/logic_rig.h"
#include "support/scripted_prompt.h"
#include "ui/frmmain.h"

class TestHour : public QObject {
  Q_OBJECT
 private slots:
  void anHourOfRunning();
};

void TestHour::anHourOfRunning() {
  QTemporaryDir dir;
  const QDateTime start(QDate(2026, 12, 7), QTime(8, 0, 0));
  {
    QFile note(dir.filePath("Note.ini"));
    note.open(QIODevice::WriteOnly);
    note.write("[Note]\r\n");
    // Route r switches on at second r of every minute and off at second 30 + r.
    for (int r = 1; r <= 16; ++r) {
      const QByteArray rr = QByteArray::number(r).rightJustified(2, '0');
      for (int n = 0; n < 60; ++n) {
        const QByteArray hhmm = QByteArray::number(8 + n / 60).rightJustified(2, '0') +
                                QByteArray::number(n % 60).rightJustified(2, '0');
        note.write(rr + QByteArray::number(2 * n + 1).rightJustified(2, '0') + "=1100000000" + rr +
                   "00000000" + hhmm + rr + "\r\n");
        if (2 * n + 2 <= 99)
          note.write(rr + QByteArray::number(2 * n + 2).rightJustified(2, '0') + "=0100000000" +
                     rr + "00000000" + hhmm + QByteArray::number(30 + r) + "\r\n");
      }
    }
    QFile name(dir.filePath("Name.ini"));
    name.open(QIODevice::WriteOnly);
    name.write("[Note]\r\nOpen=1\r\n");
  }
  RelayBoard board({});
  QVERIFY(board.open(dir.filePath("dosdevices/com1"), nullptr));
  QSignalSpy switched(&board, &RelayBoard::outputsChanged);

  qint64 ms = start.toMSecsSinceEpoch();
  ScriptedPrompt prompt;
  auto* plant = new Plant(dir.path(), prompt, [&] { return QDateTime::fromMSecsSinceEpoch(ms); });
  AppLogic* logic = &plant->logic;
  auto* window = new Frmmain(*logic);
  window->Form_Load();
  QVERIFY(logic->linkOpen());
  logic->holdTimers();  // the test drives both timers itself
  // What the board holds after second s of a minute with both switches of every route: route r
  // on from second r until second 30 + r.
  const auto wanted = [](int s) {
    quint16 on = 0;
    for (int r = 1; r <= 16; ++r)
      if (r <= s && s < 30 + r) on |= static_cast<quint16>(1u << (r - 1));
    return on;
  };
  for (int second = 0; second < 3600; ++second) {
    ms = start.toMSecsSinceEpoch() + second * 1000LL + 5;
    logic->tickScheduler();
    for (int k = 0; k < 5; ++k) {
      logic->tickPush();
      QCoreApplication::processEvents();
      QCoreApplication::processEvents();
    }
    // Now and then, with the clock held, the board settles on exactly the wanted routes (until
    // minute 49, the last with both switches: each route has 99 entries at most).
    if (second < 2940 && (second % 600 == 5 || second % 600 == 340)) {
      for (int k = 0; k < 100 && board.protocol().outputs() != wanted(second % 60); ++k) {
        logic->tickPush();
        QTest::qWait(5);
      }
      QCOMPARE(board.protocol().outputs(), wanted(second % 60));
    }
  }
  QTRY_VERIFY(board.protocol().outputs() != 0 || switched.count() > 0);
  qInfo("an hour simulated: %lld switches at the board, %d replies",
        static_cast<long long>(switched.count()), board.repliesSent());
  QVERIFY(switched.count() > 1000);
  QVERIFY(prompt.messages.isEmpty());
  // The clock set two hours ahead: the seconds it skipped are not replayed, and the record says so.
  ms += 7200 * 1000LL;
  logic->tickScheduler();
  const RecordEvent jump = logic->record().newest(1).value(0);
  QCOMPARE(jump.action, RecordAction::ClockJump);
  QCOMPARE(jump.count, 7199);
  window->CmdQuit_Click();
  delete window;
  delete plant;
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TestHour t;
  QTEST_SET_MAIN_SOURCE_PATH
  return QTest::qExec(&t, argc, argv);
}

#include "test_hour.moc"
