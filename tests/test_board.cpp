#include <QtTest>

#include "board_protocol.h"
#include "device/command_link.h"
#include "relay_board.h"
#include "support/frames.h"

namespace {

// A valid download frame: every-day entry, route 1, index 1, energise at 08:30:00, 2010-12-22.
QByteArray downloadExample() {
  return bytes({0x66, 0x01, 0x01, 0x10, 0x01, 0x01, 0x01, 0x10, 0x12, 0x22, 0x00,
                0x08, 0x30, 0x00, 0x02, 0,    0,    0,    0,    0,    0xF9, 0x6D});
}

// The program's side (port + command link) against an in-process board on a pseudo-terminal.
struct Rig {
  explicit Rig(RelayBoard::Options o = {}) : board(o) {
    QString error;
    linkOk = board.open(dir.filePath("dosdevices/com1"), &error);
  }
  bool openLink() {
    port.setCommPort(1);
    if (!port.setPortOpen(true)) return false;
    port.setRThreshold(8);
    link.startPush();
    return true;
  }
  QTemporaryDir dir;
  RelayBoard board;
  bool linkOk = false;
  CommPort port{dir.path()};
  CommandLink link{port};
};

}  // namespace

class TestBoard : public QObject {
  Q_OBJECT
 private slots:
  // The board's protocol on its own.
  void answersQueryAndSet();
  void ignoresOtherAddressesBadSumsAndNoise();
  void resynchronisesInsideNoise();
  void keepsAndAcknowledgesDownloads();
  void rejectsBrokenDownloads();

  // The program against the board over a pseudo-terminal.
  void queriesUntilFirstReplyThenSetsBoardStates_data();
  void queriesUntilFirstReplyThenSetsBoardStates();
  void manualWriteReachesBoardWithinOnePushPeriod();
  void corruptedRepliesAreIgnored();
  void silentBoardGreysLamps();
  void boardGoingAwayClosesLinkOnce();
  void reopenAfterCloseStartsWithQueries();

  // The real tavrel-board program.
  void simulatorProgram();
};

void TestBoard::answersQueryAndSet() {
  BoardProtocol p(1, 0x8001);
  auto ev = p.feed(command_bytes(1, 16, 0, 0));
  QCOMPARE(ev.size(), size_t(1));
  QCOMPARE(ev[0].kind, BoardProtocol::Kind::Query);
  QCOMPARE(ev[0].answer.at(0), char(0x22));
  QCOMPARE(quint8(ev[0].answer.at(5)), quint8(0x80));
  QCOMPARE(quint8(ev[0].answer.at(6)), quint8(0x01));
  qint32 r[8];
  for (int i = 0; i < 8; ++i) r[i] = quint8(ev[0].answer.at(i));
  QVERIFY(reply_is_valid(r));
  QCOMPARE(p.outputs(), quint16(0x8001));  // a query changes nothing

  ev = p.feed(command_bytes(1, 19, 0x00, 0x05));
  QCOMPARE(ev.size(), size_t(1));
  QCOMPARE(ev[0].kind, BoardProtocol::Kind::Set);
  QCOMPARE(p.outputs(), quint16(0x0005));
  QCOMPARE(quint8(ev[0].answer.at(6)), quint8(0x05));  // the reply carries the new states
}

void TestBoard::ignoresOtherAddressesBadSumsAndNoise() {
  BoardProtocol p(3, 0);
  QVERIFY(p.feed(command_bytes(1, 19, 0xFF, 0xFF)).empty());
  QByteArray bad = command_bytes(3, 19, 0xFF, 0xFF);
  bad[7] = char(bad[7] + 1);
  QVERIFY(p.feed(bad).empty());
  QVERIFY(p.feed("garbage\x01\x02").empty());
  QCOMPARE(p.outputs(), quint16(0));
  QCOMPARE(p.feed(command_bytes(3, 19, 0x01, 0x00)).size(), size_t(1));
  QCOMPARE(p.outputs(), quint16(0x0100));
}

void TestBoard::resynchronisesInsideNoise() {
  BoardProtocol p(1, 0);
  // A stray header in front of a real frame, and a frame split over two reads.
  const QByteArray f = command_bytes(1, 19, 0, 0x0F);
  auto ev = p.feed(QByteArray("\x55\x55\x13") + f.left(3));
  QVERIFY(ev.empty());
  ev = p.feed(f.mid(3));
  QCOMPARE(ev.size(), size_t(1));
  QCOMPARE(p.outputs(), quint16(0x000F));
  // A stray download header waits for more; dropping the partial frame frees the line.
  QVERIFY(p.feed(bytes({0x66, 0x01})).empty());
  p.dropPartial();
  QCOMPARE(p.feed(command_bytes(1, 16, 0, 0)).size(), size_t(1));
}

void TestBoard::keepsAndAcknowledgesDownloads() {
  BoardProtocol p(1, 0);
  auto ev = p.feed(downloadExample());
  QCOMPARE(ev.size(), size_t(1));
  QCOMPARE(ev[0].answer, QByteArray(1, char(0x56)));
  QCOMPARE(p.entries().size(), size_t(1));
  const DownloadedEntry& e = p.entries().begin()->second;
  QCOMPARE(e.describe(),
           QString("route 01 index 01 kind 1 date 2010-12-22 week 0000000 time 08:30:00 action 2"));
  QCOMPARE(p.outputs(), quint16(0));  // a download does not switch anything
}

void TestBoard::rejectsBrokenDownloads() {
  BoardProtocol p(1, 0);
  QByteArray f = downloadExample();
  f[21] = char(f[21] ^ 1);  // wrong exclusive-or
  QVERIFY(p.feed(f).empty());
  p.dropPartial();
  f = downloadExample();
  f[20] = char(f[20] + 1);  // wrong sum
  QVERIFY(p.feed(f).empty());
  p.dropPartial();
  BoardProtocol other(2, 0);
  QVERIFY(other.feed(downloadExample()).empty());  // another address
  QVERIFY(p.entries().empty());
  QVERIFY(other.entries().empty());
}

// Boards behind the line's usual faults: each reply is found in what arrives, and a late one is
// waited for.
void TestBoard::queriesUntilFirstReplyThenSetsBoardStates_data() {
  QTest::addColumn<bool>("echo");
  QTest::addColumn<int>("strayBytes");
  QTest::addColumn<int>("delayMs");
  QTest::newRow("plain") << false << 0 << 0;
  QTest::newRow("an adapter that echoes the frame") << true << 0 << 0;
  QTest::newRow("a stray byte before each reply") << false << 1 << 0;
  QTest::newRow("echo and three stray bytes") << true << 3 << 0;
  QTest::newRow("answering 1.9 s late") << false << 0 << 1900;
}

void TestBoard::queriesUntilFirstReplyThenSetsBoardStates() {
  QFETCH(bool, echo);
  QFETCH(int, strayBytes);
  QFETCH(int, delayMs);
  RelayBoard::Options o;
  o.outputs = 0x8105;
  o.echo = echo;
  o.strayBytes = strayBytes;
  o.replyDelayMs = delayMs;
  Rig r(o);
  QVERIFY(r.linkOk);
  QSignalSpy silent(&r.link, &CommandLink::silent);
  QList<BoardProtocol::Kind> kinds;
  QList<quint16> outputsSeen;
  connect(&r.board, &RelayBoard::commandReceived, [&](BoardProtocol::Kind k, quint16 out) {
    kinds << k;
    outputsSeen << out;
  });
  QVERIFY(r.openLink());
  QTRY_VERIFY(kinds.count(BoardProtocol::Kind::Set) >= 3);
  QCOMPARE(kinds.first(), BoardProtocol::Kind::Query);
  const int firstSet = kinds.indexOf(BoardProtocol::Kind::Set);
  for (int i = 0; i < firstSet; ++i) QCOMPARE(kinds[i], BoardProtocol::Kind::Query);
  for (int i = firstSet; i < kinds.size(); ++i) {
    QCOMPARE(kinds[i], BoardProtocol::Kind::Set);
    QCOMPARE(outputsSeen[i], quint16(0x8105));  // set frames equal the board's own states
  }
  QCOMPARE(r.link.lamps()[0], LampLook::Energised);
  QCOMPARE(r.link.lamps()[1], LampLook::Released);
  QCOMPARE(r.link.lamps()[8], LampLook::Energised);
  QCOMPARE(r.link.lamps()[15], LampLook::Energised);
  QCOMPARE(silent.count(), 0);
}

void TestBoard::manualWriteReachesBoardWithinOnePushPeriod() {
  Rig r;
  QVERIFY(r.openLink());
  QTRY_VERIFY(!r.link.bIsFirst());
  QSignalSpy changed(&r.board, &RelayBoard::outputsChanged);
  r.link.setWanted(7, 2);
  QTRY_COMPARE_WITH_TIMEOUT(r.board.outputs(), quint16(0x0040), 2000);
  QCOMPARE(changed.count(), 1);
  // The lamp follows the board's reply.
  QTRY_COMPARE(r.link.lamps()[6], LampLook::Energised);
}

void TestBoard::corruptedRepliesAreIgnored() {
  RelayBoard::Options o;
  o.outputs = 0x00FF;
  o.corruptEvery = 1;
  Rig r(o);
  QVERIFY(r.openLink());
  QTRY_VERIFY(r.board.repliesSent() >= 5);
  QVERIFY(r.link.bIsFirst());  // nothing taken over
  QCOMPARE(r.link.nState(), RouteStateTable{});
  for (LampLook c : r.link.lamps()) QCOMPARE(c, LampLook::Grey);
}

void TestBoard::silentBoardGreysLamps() {
  Rig r;
  QVERIFY(r.openLink());
  QTRY_COMPARE(r.link.lamps()[0], LampLook::Released);
  r.board.setSilent(true);
  QSignalSpy ticks(&r.board, &RelayBoard::commandReceived);  // a frame each push tick
  QTRY_COMPARE(r.link.lamps()[0], LampLook::Grey);
  QVERIFY(ticks.count() >= 5);  // only after the hold ran out
  QVERIFY(r.port.portOpen());   // silence alone never closes the link
}

void TestBoard::boardGoingAwayClosesLinkOnce() {
  Rig r;
  QVERIFY(r.openLink());
  QTRY_VERIFY(!r.link.bIsFirst());
  QSignalSpy lost(&r.port, &CommPort::lost);
  r.board.close();
  QTRY_COMPARE(lost.count(), 1);
  QVERIFY(!r.port.portOpen());
  QTest::qWait(600);  // further push ticks send nothing and raise nothing
  QCOMPARE(lost.count(), 1);
  r.link.tx_frame(kTypeSet, 0, 0);
  QCOMPARE(lost.count(), 1);
}

void TestBoard::reopenAfterCloseStartsWithQueries() {
  Rig r;
  QVERIFY(r.openLink());
  QTRY_VERIFY(!r.link.bIsFirst());
  r.port.setPortOpen(false);
  r.link.stopPush();
  r.link.restartHandshake();
  QList<BoardProtocol::Kind> kinds;
  connect(&r.board, &RelayBoard::commandReceived,
          [&](BoardProtocol::Kind k, quint16) { kinds << k; });
  QVERIFY(r.openLink());
  QTRY_VERIFY(kinds.contains(BoardProtocol::Kind::Set));
  QCOMPARE(kinds.first(), BoardProtocol::Kind::Query);
}

void TestBoard::simulatorProgram() {
  QTemporaryDir dir;
  const QString link = dir.filePath("dosdevices/com1");
  QProcess sim;
  sim.start(QCoreApplication::applicationDirPath() + "/tavrel-board",
            {"--link", link, "--states", "0102", "--dump-entries", "--echo", "--stray-bytes", "1"});
  QVERIFY(sim.waitForStarted());
  QTRY_VERIFY(sim.canReadLine());
  QCOMPARE(sim.readLine().trimmed(), ("ready " + link).toUtf8());
  QVERIFY(QFileInfo(link).isSymLink());

  CommPort port(dir.path());
  CommandLink linkObj(port);
  port.setCommPort(1);
  QVERIFY(port.setPortOpen(true));
  port.setRThreshold(8);
  linkObj.startPush();
  QTRY_VERIFY(!linkObj.bIsFirst());
  QCOMPARE(linkObj.nState()[2], quint8(2));
  QCOMPARE(linkObj.nState()[9], quint8(2));
  linkObj.setWanted(3, 2);
  QTRY_VERIFY(sim.canReadLine());
  const QString line = QString::fromUtf8(sim.readLine().trimmed());
  QVERIFY2(
      QRegularExpression("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d outputs 0106$").match(line).hasMatch(),
      qPrintable(line));
  port.Output(downloadExample());
  QTest::qWait(100);

  sim.terminate();  // SIGTERM: the link goes away with the simulator
  QVERIFY(sim.waitForFinished(5000));
  QCOMPARE(sim.exitCode(), 0);
  QVERIFY(!QFileInfo(link).isSymLink());
  QVERIFY(sim.readAll().contains("route 01 index 01 kind 1 date 2010-12-22"));
}

QTEST_GUILESS_MAIN(TestBoard)
#include "test_board.moc"
