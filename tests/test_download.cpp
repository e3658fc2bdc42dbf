#include <QtTest>

#include "device/download_frame.h"
#include "support/entries.h"
#include "support/logic_rig.h"

namespace {

QByteArray hex(const DownloadFrame& f) {
  return QByteArray(reinterpret_cast<const char*>(f.data()), 22).toHex(' ').toUpper();
}

// The program's logic with route page 3 holding three entries and route 1 two.
struct Rig : LogicRig {
  explicit Rig(RelayBoard::Options o = {}) {
    boardOk = openBoard(o);
    add({{"key0101", entry("11000000000100000000010000")},
         {"key0301", entry("11100000000320241231235959")},  // every day wins
         {"key0102", entry("11000000000100000000020000")},
         {"key0302", entry("10110101000320101222180000")},
         {"key0303", entry("00000000000320111231235959")}});
    logic.SSTab2_Click(2);
  }
  bool boardOk = false;
};

}  // namespace

class TestDownload : public QObject {
  Q_OBJECT
 private slots:
  void frameExamples();
  void weekdayMaskOnlyForWeeklyEntries();
  void actionAndBcd();
  void pageIsDownloadedInOrder();
  void closedLinkStaysClosedAndTimersComeBack();
  void openLinkIsOpenAgainAndSendsSetFrames();
  void silentBoardGivesOneFailurePerEntry();
  void lateAcknowledgementsNeverCount();
  void strayAckBeforeTheFrameNeverCounts();
  void downloadPortThatCannotOpen();
  void boardVanishingDuringDownload();
};

void TestDownload::frameExamples() {
  DownloadFrame f;
  QString debug = tx_frame22(f, 1, 1, 1, "11000000000120101222083000", 1);
  QCOMPARE(hex(f), QByteArray("66 01 01 10 01 01 01 10 12 22 00 08 30 00 02 00 00 00 00 00 F9 6D"));
  QCOMPARE(debug,
           QString(" ,66 ,1 ,1 ,10 ,1 ,1 ,1 ,10 ,12 ,22 ,0 ,8 ,30 ,0 ,2 ,0 ,0 ,0 ,0 ,0 ,F9 ,6D"));
  tx_frame22(f, 1, 2, 2, "10110101000320101222180000", 3);
  QCOMPARE(hex(f), QByteArray("66 01 02 10 02 03 02 10 12 22 15 18 00 00 02 00 00 00 00 00 F3 59"));
  debug = tx_frame22(f, 1, 3, 1, "00000000001620111231235959", 16);
  QCOMPARE(hex(f), QByteArray("66 01 03 10 01 10 03 11 12 31 00 23 59 59 01 00 00 00 00 00 B8 76"));
  QVERIFY(debug.startsWith(" ,66 ,1 ,3 ,10 ,1 ,10 ,3 ,11"));
  // Byte 5 is the page, not the route in the text; byte 4 the caller's index.
  tx_frame22(f, 7, 1, 42, "11000000000120101222083000", 9);
  QCOMPARE(f[1], quint8(7));
  QCOMPARE(f[4], quint8(42));
  QCOMPARE(f[5], quint8(9));
  QCOMPARE(f[2], f[6]);
}

void TestDownload::weekdayMaskOnlyForWeeklyEntries() {
  DownloadFrame f;
  tx_frame22(f, 1, 2, 1, "00100000000120101222180000", 1);
  QCOMPARE(f[10], quint8(0));
  tx_frame22(f, 1, 2, 1, "00111111110120101222180000", 1);
  QCOMPARE(f[10], quint8(0x7F));
  tx_frame22(f, 1, 1, 1, "01011111110120101222180000", 1);  // every day
  QCOMPARE(f[10], quint8(0));
  tx_frame22(f, 1, 3, 1, "00011111110120101222180000", 1);  // fixed date
  QCOMPARE(f[10], quint8(0));
  QCOMPARE(download_kind(true, true), quint8(1));
  QCOMPARE(download_kind(false, true), quint8(2));
  QCOMPARE(download_kind(false, false), quint8(3));
}

void TestDownload::actionAndBcd() {
  DownloadFrame f;
  tx_frame22(f, 1, 1, 1, "01000000000120101222083000", 1);
  QCOMPARE(f[14], quint8(1));  // release is 1, never 0
  QCOMPARE(to10("59"), QString("89"));
  QCOMPARE(to10("08"), QString("8"));
  QCOMPARE(to10(""), QString("0"));
  QCOMPARE(to10("1x"), QString("1"));
  tx_frame22(f, 1, 1, 1, "010", 1);  // a short text builds a frame all the same
  QCOMPARE(f[0], quint8(0x66));
}

void TestDownload::pageIsDownloadedInOrder() {
  Rig r;
  QVERIFY(r.boardOk);
  // Another tab chosen while the download runs changes nothing of it.
  connect(r.board.get(), &RelayBoard::entryReceived, [&] { r.logic.SSTab2_Click(0); });
  r.add({{"key0304", entry("11000000000300000000240000")}});  // 24:00:00 never comes: not sent
  r.logic.CmdDown_Click();
  QVERIFY(r.prompt.messages.isEmpty());
  const auto& held = r.board->protocol().entries();
  QCOMPARE(held.size(), size_t(3));
  QStringList described;
  for (const auto& kv : held) described << kv.second.describe();
  QCOMPARE(described,
           QStringList({
               "route 03 index 01 kind 1 date 2024-12-31 week 0000000 time 23:59:59 action 2",
               "route 03 index 02 kind 2 date 2010-12-22 week 1010100 time 18:00:00 action 2",
               "route 03 index 03 kind 3 date 2011-12-31 week 0000000 time 23:59:59 action 1",
           }));
  QVERIFY(r.logic.labDebug().startsWith(" ,66 ,1 ,3 ,10 ,3 ,3 ,3"));
}

void TestDownload::closedLinkStaysClosedAndTimersComeBack() {
  Rig r;
  r.logic.setChkAuto(false);
  r.logic.CmdDown_Click();
  QVERIFY(!r.logic.station().port().portOpen());
  QVERIFY(!r.logic.station().downloadPort().portOpen());
  QVERIFY(!r.logic.station().scheduler().isEnabled());  // as before, not switched on
  QVERIFY(!r.logic.station().link().pushRunning());
  QCOMPARE(r.logic.cmdOpenCaption(), QString("打开"));
  // Timer1 follows ChkAuto as it is at the end, and stays off while the download runs.
  bool timer1DuringDownload = false;
  auto flip = connect(r.board.get(), &RelayBoard::entryReceived, [&] {
    r.logic.setChkAuto(true);
    timer1DuringDownload |= r.logic.station().scheduler().isEnabled();
  });
  r.logic.CmdDown_Click();
  QVERIFY(!timer1DuringDownload);
  QVERIFY(r.logic.station().scheduler().isEnabled());
  disconnect(flip);
  connect(r.board.get(), &RelayBoard::entryReceived, [&] { r.logic.setChkAuto(false); });
  r.logic.CmdDown_Click();
  QVERIFY(!r.logic.station().scheduler().isEnabled());
}

void TestDownload::openLinkIsOpenAgainAndSendsSetFrames() {
  Rig r;
  r.logic.CmdOpen_Click();
  QTRY_VERIFY(!r.logic.station().link().bIsFirst());
  r.logic.CmdDown_Click();
  QCOMPARE(r.board->protocol().entries().size(), size_t(3));
  QVERIFY(r.logic.station().port().portOpen());
  QVERIFY(r.logic.station().link().pushRunning());
  QVERIFY(!r.logic.station().link().bIsFirst());
  QCOMPARE(r.logic.cmdOpenCaption(), QString("关闭"));
  QVERIFY(!r.logic.enabled(AppLogic::CmdAdd));  // the locks are as they were
  QList<BoardProtocol::Kind> kinds;
  connect(r.board.get(), &RelayBoard::commandReceived,
          [&](BoardProtocol::Kind k, quint16) { kinds << k; });
  QTRY_VERIFY(kinds.size() >= 2);
  QVERIFY(!kinds.contains(BoardProtocol::Kind::Query));
}

void TestDownload::silentBoardGivesOneFailurePerEntry() {
  RelayBoard::Options o;
  o.silent = true;
  Rig r(o);
  r.logic.CmdOpen_Click();
  r.logic.CmdDown_Click();
  QCOMPARE(r.prompt.messages, QStringList({"下载失败", "下载失败", "下载失败"}));
  QVERIFY(r.logic.station().port().portOpen());
  QVERIFY(r.logic.station().link().pushRunning());
  QCOMPARE(r.logic.cmdOpenCaption(), QString("关闭"));
}

void TestDownload::lateAcknowledgementsNeverCount() {
  RelayBoard::Options o;
  o.replyDelayMs = AppLogic::kAckTimeoutMs + 200;
  Rig r(o);
  r.logic.CmdDown_Click();
  // Every acknowledgement comes after its frame's time-out, while the next frame would wait.
  QCOMPARE(r.prompt.messages, QStringList({"下载失败", "下载失败", "下载失败"}));
}

void TestDownload::strayAckBeforeTheFrameNeverCounts() {
  Rig r;
  r.board->close();  // the simulator program takes the link: its replies wait in the device
  QProcess sim;
  sim.start(
      QCoreApplication::applicationDirPath() + "/tavrel-board",
      {"--link", r.dir.filePath("dosdevices/com1"), "--states", "0056", "--reply-delay", "100"});
  QVERIFY(sim.waitForStarted());
  QTRY_VERIFY(sim.canReadLine());
  r.logic.CmdOpen_Click();
  QTRY_VERIFY(!r.logic.station().link().bIsFirst());
  // A push frame whose reply carries 0x56 (routes 2, 3, 5 and 7 on) has been answered, but the
  // answer is still unread when the download starts; the download frames go to an address the
  // board does not have.
  r.logic.CmdIn_Click();  // route 3, on already: a set frame goes out at once (or one just did)
  QTest::qWait(30);       // the frame goes out
  QThread::msleep(250);   // the answer comes while nothing reads
  r.logic.setAddress(2);
  r.logic.CmdDown_Click();
  QCOMPARE(r.prompt.messages, QStringList({"下载失败", "下载失败", "下载失败"}));
  sim.terminate();
  QVERIFY(sim.waitForFinished(5000));
}

void TestDownload::downloadPortThatCannotOpen() {
  Rig r;
  r.logic.setChkAuto(true);
  r.logic.CmdOpen_Click();
  r.logic.setPort(5);  // the download takes the link's port number; nothing leads to Com5 here
  QDir(r.dir.path()).mkpath("dosdevices");
  QFile::link("/nonexistent", r.dir.filePath("dosdevices/com5"));
  r.logic.CmdDown_Click();
  QCOMPARE(r.prompt.messages.first(), QString("串口打开错误\n/nonexistent：设备不存在"));
  QVERIFY(r.logic.station().scheduler().isEnabled());
  // The command link comes back on the port it was opened on.
  QCOMPARE(r.logic.cmdOpenCaption(), QString("关闭"));
  QVERIFY(r.logic.station().port().portOpen());
  QVERIFY(r.logic.station().link().pushRunning());
}

void TestDownload::boardVanishingDuringDownload() {
  RelayBoard::Options o;
  o.silent = true;
  Rig r(o);
  r.logic.CmdOpen_Click();
  QTimer::singleShot(100, [&] { r.board->close(); });
  r.logic.CmdDown_Click();
  QTRY_COMPARE(r.prompt.messages.count("串口已断开"), 1);
  QVERIFY(r.prompt.messages.count("下载失败") <= 1);  // no flood
  // The link waits for its port.
  QCOMPARE(r.logic.station().linkControl().state(), LinkControl::Waiting);
  QVERIFY(!r.logic.station().link().pushRunning());
}

QTEST_GUILESS_MAIN(TestDownload)
#include "test_download.moc"
