// Noise on the line: the simulated board sends random bytes between and inside its replies while
// the program drives it, closes and reopens the link. The lamps must never show a state the board
// did not report, and no handshake may take over a state the board did not report.
// TAVREL_SOAK_SECONDS sets the duration (default 60), TAVREL_NOISE_RATE the bytes a second (50).
#include <QtTest>
#include <random>

#include "device/command_link.h"
#include "relay_board.h"

class TestNoise : public QObject {
  Q_OBJECT
 private slots:
  void lampsAndHandshakeNeverTakeNoise();
};

void TestNoise::lampsAndHandshakeNeverTakeNoise() {
  const int seconds = qEnvironmentVariableIsSet("TAVREL_SOAK_SECONDS")
                          ? qEnvironmentVariableIntValue("TAVREL_SOAK_SECONDS")
                          : 60;
  const double rate = qEnvironmentVariableIsSet("TAVREL_NOISE_RATE")
                          ? qEnvironmentVariable("TAVREL_NOISE_RATE").toDouble()
                          : 50;
  QTemporaryDir dir;
  RelayBoard::Options o;
  o.noise = rate;
  o.seed = 20261207;
  o.outputs = 0x0F0F;
  RelayBoard board(o);
  QVERIFY(board.open(dir.filePath("dosdevices/com1"), nullptr));
  CommPort port(dir.path());
  CommandLink link(port);

  QSet<quint16> reported;
  connect(&board, &RelayBoard::replied, [&](quint16 outputs) { reported.insert(outputs); });
  int lampChecks = 0, badLamps = 0, handshakes = 0, badHandshakes = 0;
  connect(&link, &CommandLink::lampsChanged, [&] {
    quint16 shown = 0;
    for (int i = 0; i < 16; ++i) {
      const LampLook c = link.lamps()[i];
      if (c == LampLook::Grey) return;  // all grey together: nothing claimed
      if (c == LampLook::Energised) shown |= static_cast<quint16>(1u << i);
    }
    ++lampChecks;
    if (!reported.contains(shown)) ++badLamps;
  });
  bool wasFirst = true;
  connect(&link, &CommandLink::replyReceived, [&] {
    if (!wasFirst) return;
    wasFirst = false;
    ++handshakes;
    quint16 taken = 0;
    for (int r = 1; r <= 16; ++r)
      if (link.nState()[r] == kEnergise) taken |= static_cast<quint16>(1u << (r - 1));
    if (!reported.contains(taken)) ++badHandshakes;
  });

  auto open = [&] {
    port.setCommPort(1);
    QVERIFY(port.setPortOpen(true));
    port.setRThreshold(kFrameLength);
    link.startPush();
  };
  open();
  std::mt19937 rng(7);
  QElapsedTimer t;
  t.start();
  int step = 0;
  while (t.elapsed() < seconds * 1000) {
    QTest::qWait(700);
    if (++step % 7 == 0) {  // close and reopen: a fresh handshake in the noise
      port.setPortOpen(false);
      link.stopPush();
      link.restartHandshake();
      wasFirst = true;
      open();
    } else if (!link.bIsFirst()) {
      link.setWanted(1 + rng() % 16, (rng() & 1) ? kEnergise : kRelease);  // a manual command
    }
  }
  QVERIFY(port.portOpen());
  QTRY_VERIFY_WITH_TIMEOUT(!link.bIsFirst(), 15000);  // still talking to the board
  qInfo("%d s of noise: %lld noise bytes, %d replies, %d lamp changes checked, %d handshakes",
        seconds, static_cast<long long>(board.noiseBytesSent()), board.repliesSent(), lampChecks,
        handshakes);
  QCOMPARE(badLamps, 0);
  QCOMPARE(badHandshakes, 0);
  QVERIFY(handshakes > 1);
  QVERIFY(lampChecks > 1);
}

QTEST_GUILESS_MAIN(TestNoise)
#include "test_noise.moc"
