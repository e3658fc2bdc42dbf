#include <QtTest>
#include <atomic>

#include "app/file_commands.h"
#include "device/command_link.h"
#include "platform/port_naming.h"
#include "remote/web_server.h"
#include "station/station_thread.h"
#include "support/as_user.h"
#include "support/entries.h"
#include "support/frames.h"
#include "support/logic_rig.h"
#include "support/raw_pty.h"

namespace {

// A command link whose port leads to a bare pseudo-terminal the test plays the board on.
struct Rig {
  QTemporaryDir dir;
  RawPty pty{dir.filePath("dosdevices/com1")};
  CommPort port{dir.path()};
  CommandLink link{port};

  bool open() {
    port.setCommPort(1);
    if (!port.setPortOpen(true)) return false;
    port.setRThreshold(8);
    return true;
  }
  // Sends a reply from the board's side and lets the link handle it.
  void reply(const QByteArray& b) {
    QSignalSpy arrived(&port, &CommPort::OnComm);
    pty.write(b);
    QTRY_VERIFY(arrived.count() > 0);
  }
  // The same reply twice, as a board answering two frames: the second one counts.
  void replies(const QByteArray& b) {
    reply(b);
    reply(b);
  }
};

}  // namespace

class TestCommandLink : public QObject {
  Q_OBJECT
 private slots:
  void frameExamples();
  void restoreAtTakeOver_data();
  void restoreAtTakeOver();
  void checksumKeepsLowByte();
  void masksIgnoreZeroAndIndexZero();
  void getBit();
  void replyValidation();
  void closedPortSendsNothing();
  void txFrameDropsUnreadInputFirst();
  void firstReplyIsTakenOverLaterOnlyShown();
  void aLoneDifferingReplyIsNeverShown();
  void invalidRepliesChangeNothing();
  void splitReplyIsAssembled();
  void lampHoldGreysOnSixthTick();
  void setFrameCarriesWantedStates();
  void portNames();
  void openFailuresSayWhereAndWhy();
  void boardThatNeverAnswersIsRecorded();
  void switchesWhileTheWindowHangs();
  void pageBesideTheWindow();
};

void TestCommandLink::frameExamples() {
  CommandFrame f;
  build_command_frame(f, 1, kTypeQuery, 0, 0);
  QCOMPARE(frame_bytes(f), bytes({0x55, 0x01, 0x10, 0, 0, 0, 0, 0x66}));
  build_command_frame(f, 1, kTypeSet, 0x00, 0x05);
  QCOMPARE(frame_bytes(f), bytes({0x55, 0x01, 0x13, 0, 0, 0x00, 0x05, 0x6E}));
  build_command_frame(f, 1, kTypeSet, 0x81, 0x00);
  QCOMPARE(frame_bytes(f), bytes({0x55, 0x01, 0x13, 0, 0, 0x81, 0x00, 0xEA}));
}

void TestCommandLink::checksumKeepsLowByte() {
  CommandFrame f;
  build_command_frame(f, 16, kTypeSet, 0xFF, 0xFF);
  QCOMPARE(f[7], quint8(0x76));  // 0x276 cut to a byte
}

void TestCommandLink::masksIgnoreZeroAndIndexZero() {
  RouteStateTable s{};
  s[0] = 2;  // belongs to no route
  s[2] = 1;
  s[3] = 0;
  QCOMPARE(masks_from_states(s).low, quint8(0));
  QCOMPARE(masks_from_states(s).high, quint8(0));
  s[1] = 2;
  s[16] = 2;
  QCOMPARE(masks_from_states(s).low, quint8(0x01));
  QCOMPARE(masks_from_states(s).high, quint8(0x80));
  s[9] = 2;
  s[8] = 2;
  QCOMPARE(masks_from_states(s).low, quint8(0x81));
  QCOMPARE(masks_from_states(s).high, quint8(0x81));
}

void TestCommandLink::getBit() {
  QCOMPARE(get_bit(0x05, 0), 1);
  QCOMPARE(get_bit(0x05, 1), 0);
  QCOMPARE(get_bit(0x05, 2), 1);
  QCOMPARE(get_bit(0x80, 7), 1);
  QCOMPARE(get_bit(0x7F, 7), 0);
}

void TestCommandLink::replyValidation() {
  qint32 r[8] = {0x22, 0, 0, 0, 0, 0, 0x05, 0x27};
  QVERIFY(reply_is_valid(r));
  r[1] = 9;  // address bytes are not examined, but they are summed
  QVERIFY(!reply_is_valid(r));
  r[7] = 0x30;
  QVERIFY(reply_is_valid(r));
  qint32 bad[8] = {0x23, 0, 0, 0, 0, 0, 0x05, 0x28};
  QVERIFY(!reply_is_valid(bad));
}

void TestCommandLink::closedPortSendsNothing() {
  Rig r;
  QVERIFY(r.open());
  r.port.setPortOpen(false);  // closed by the user: the frame is built, nothing reaches the line
  r.link.tx_frame(kTypeSet, 0, 5);
  QCOMPARE(frame_bytes(r.link.lastFrame()), bytes({0x55, 0x01, 0x13, 0, 0, 0x00, 0x05, 0x6E}));
  QTest::qWait(50);
  QCOMPARE(r.pty.received(), QByteArray());
}

void TestCommandLink::txFrameDropsUnreadInputFirst() {
  Rig r;
  QVERIFY(r.open());
  r.pty.write("stale");
  QTRY_COMPARE(r.port.inBufferCount(), 5);
  r.link.setAddress(16);
  r.link.tx_frame(kTypeQuery, 0, 0);
  QCOMPARE(r.port.inBufferCount(), 0);
  QTRY_COMPARE(r.pty.received(), bytes({0x55, 0x10, 0x10, 0, 0, 0, 0, 0x75}));
}

void TestCommandLink::firstReplyIsTakenOverLaterOnlyShown() {
  Rig r;
  QVERIFY(r.open());
  r.link.setWanted(4, 2);  // a wanted state from before the first reply is overwritten by it
  r.reply(bytes({0x22, 0, 0, 0, 0, 0x00, 0x05, 0x27}));
  QVERIFY(r.link.bIsFirst());  // one reply alone is not trusted yet
  QCOMPARE(r.link.lamps()[0], LampLook::Grey);
  r.reply(bytes({0x22, 0, 0, 0, 0, 0x00, 0x05, 0x27}));
  QVERIFY(!r.link.bIsFirst());
  QCOMPARE(r.link.nLampTime(), 5);
  for (int i = 0; i < 16; ++i) {
    const bool on = i == 0 || i == 2;
    QCOMPARE(r.link.lamps()[i], on ? LampLook::Energised : LampLook::Released);
    QCOMPARE(r.link.nState()[i + 1], quint8(on ? 2 : 1));
  }
  // Later replies repaint the lamps but never change the wanted states.
  r.replies(bytes({0x22, 0, 0, 0, 0, 0x80, 0x00, 0xA2}));
  QCOMPARE(r.link.lamps()[15], LampLook::Energised);
  QCOMPARE(r.link.lamps()[0], LampLook::Released);
  QCOMPARE(r.link.nState()[16], quint8(1));
  QCOMPARE(r.link.nState()[1], quint8(2));
}

void TestCommandLink::aLoneDifferingReplyIsNeverShown() {
  Rig r;
  QVERIFY(r.open());
  const QByteArray a = bytes({0x22, 0, 0, 0, 0, 0x00, 0x05, 0x27});
  // Noise that happens to pass the header and sum checks, between two good replies.
  const QByteArray fake = bytes({0x22, 0x13, 0x7F, 0, 0, 0xFF, 0x00, 0xB3});
  r.reply(a);
  r.reply(fake);
  r.reply(a);
  QVERIFY(r.link.bIsFirst());  // never taken over from a pair that disagrees
  r.reply(a);
  QVERIFY(!r.link.bIsFirst());
  QCOMPARE(r.link.nState()[1], quint8(2));
  QCOMPARE(r.link.nState()[9], quint8(1));
  QSignalSpy changed(&r.link, &CommandLink::lampsChanged);
  r.reply(fake);
  r.reply(a);
  QCOMPARE(changed.count(), 0);
  QCOMPARE(r.link.lamps()[8], LampLook::Released);
  // A closed and reopened link trusts nothing from before.
  r.link.restartHandshake();
  r.reply(a);
  QVERIFY(r.link.bIsFirst());
}

void TestCommandLink::invalidRepliesChangeNothing() {
  Rig r;
  QVERIFY(r.open());
  r.reply(bytes({0x22, 0, 0, 0, 0, 0x00, 0x05, 0x28}));  // wrong sum
  r.reply(bytes({0x21, 0, 0, 0, 0, 0x00, 0x05, 0x26}));  // wrong header, right sum for it
  QVERIFY(r.link.bIsFirst());
  QCOMPARE(r.link.nLampTime(), 0);
  QCOMPARE(r.link.nState(), RouteStateTable{});
  QCOMPARE(r.link.lamps()[0], LampLook::Grey);
  // An event that is not "data received" changes nothing either.
  r.link.MSComm_OnComm();
  QVERIFY(r.link.bIsFirst());
}

void TestCommandLink::splitReplyIsAssembled() {
  Rig r;
  QVERIFY(r.open());
  r.pty.write(bytes({0x22, 0, 0}));
  QTest::qWait(50);
  QVERIFY(r.link.bIsFirst());
  QSignalSpy handled(&r.link, &CommandLink::replyReceived);
  r.pty.write(bytes({0, 0, 0x80, 0x00, 0xA2}));
  QTRY_COMPARE(r.port.inBufferCount(), 0);
  r.pty.write(bytes({0x22, 0, 0, 0, 0}));
  r.pty.write(bytes({0x80, 0x00, 0xA2}));
  QTRY_COMPARE(handled.count(), 1);
  QCOMPARE(r.link.nState()[16], quint8(2));
}

void TestCommandLink::lampHoldGreysOnSixthTick() {
  Rig r;
  QVERIFY(r.open());
  r.replies(bytes({0x22, 0, 0, 0, 0, 0x00, 0x05, 0x27}));
  QSignalSpy changed(&r.link, &CommandLink::lampsChanged);
  for (int i = 0; i < 5; ++i) {
    r.link.Timer2_Timer();
    QCOMPARE(r.link.lamps()[0], LampLook::Energised);
  }
  QCOMPARE(changed.count(), 0);
  r.link.Timer2_Timer();
  for (LampLook c : r.link.lamps()) QCOMPARE(c, LampLook::Grey);
  QCOMPARE(changed.count(), 1);
  r.link.Timer2_Timer();  // stays grey, counter does not go below 0
  QCOMPARE(r.link.nLampTime(), 0);
  QCOMPARE(changed.count(), 1);
}

void TestCommandLink::setFrameCarriesWantedStates() {
  Rig r;
  QVERIFY(r.open());
  r.link.Timer2_Timer();
  QTRY_COMPARE(r.pty.received(), bytes({0x55, 0x01, 0x10, 0, 0, 0, 0, 0x66}));  // query first
  r.pty.take();
  r.replies(bytes({0x22, 0, 0, 0, 0, 0x00, 0x00, 0x22}));
  r.link.setWanted(1, 2);
  r.link.setWanted(16, 2);
  r.link.Timer2_Timer();
  QTRY_COMPARE(r.pty.received(), bytes({0x55, 0x01, 0x13, 0, 0, 0x80, 0x01, 0xEA}));
}

void TestCommandLink::portNames() {
  QTemporaryDir dir;
  QCOMPARE(port_device_path(dir.path(), 1), QString("/dev/ttyS0"));
  QCOMPARE(port_device_path(dir.path(), 20), QString("/dev/ttyS19"));
  // With a dosdevices folder, "Com1" is its com1 only, even when that is missing.
  QVERIFY(QDir(dir.path()).mkpath("dosdevices"));
  QCOMPARE(port_device_path(dir.path(), 1), dir.filePath("dosdevices/com1"));
  QFile::link("/nonexistent/ttyUSB0", dir.filePath("dosdevices/com2"));
  QCOMPARE(port_target_path(port_device_path(dir.path(), 2)), QString("/nonexistent/ttyUSB0"));
  QCOMPARE(port_target_path(dir.filePath("dosdevices/com1")), dir.filePath("dosdevices/com1"));
}

namespace {

// What the user is told when Com1 does not open: the device and why.
QString told(const CommPort& port) {
  return port_failure_text(port.failure()).section(QLatin1Char('\n'), 1);
}

// Opens "Com1" of folder args[1] and compares what the user is told with args[2].
bool openAndTell(const QStringList& args) {
  if (args.size() != 3 || args[0] != "open-and-tell") return false;
  CommPort port(args[1]);
  port.setCommPort(1);
  if (port.setPortOpen(true)) return false;
  if (told(port) == args[2]) return true;
  qWarning("told: %s", qPrintable(told(port)));
  return false;
}

}  // namespace

void TestCommandLink::openFailuresSayWhereAndWhy() {
  QTemporaryDir dir;
  CommPort port(dir.path());
  QVERIFY(QDir(dir.path()).mkpath("dosdevices"));
  port.setCommPort(3);  // nothing there
  QVERIFY(!port.setPortOpen(true));
  QCOMPARE(told(port), dir.filePath("dosdevices/com3") + "：设备不存在");
  port.setCommPort(4);  // a link to an adapter that is unplugged
  QFile::link("/dev/ttyUSB97", dir.filePath("dosdevices/com4"));
  QVERIFY(!port.setPortOpen(true));
  QCOMPARE(told(port), QString("/dev/ttyUSB97：设备不存在"));

  // A port another copy holds open.
  Rig r;
  QVERIFY(r.open());
  CommPort other(r.dir.path());
  other.setCommPort(1);
  QVERIFY(!other.setPortOpen(true));
  const QString pts = port_target_path(r.port.devicePath());
  QCOMPARE(told(other), pts + "：已被其他程序占用");
  QVERIFY(r.port.portOpen());

  // A file the user may not open at all, and a device of a group the user is not in.
  QTemporaryDir shared;
  make_open_to_all(shared.path());
  QVERIFY(QDir(shared.path()).mkpath("dosdevices"));
  make_open_to_all(shared.filePath("dosdevices"));
  const QString closed = shared.filePath("closed");
  QFile(closed).open(QIODevice::WriteOnly);
  chmod(QFile::encodeName(closed).constData(), 0);
  QFile::link(closed, shared.filePath("dosdevices/com1"));
  QVERIFY(as_ordinary_user("open-and-tell", {shared.path(), closed + "：没有权限"}));
  if (geteuid() != 0) return;  // only root can hand a device to a group
  const group* dialout = getgrnam("dialout");
  if (!dialout) QSKIP("no dialout group");
  RawPty pty(shared.filePath("dosdevices/pty"));
  const QString device = port_target_path(shared.filePath("dosdevices/pty"));
  QVERIFY(chown(QFile::encodeName(device).constData(), 0, dialout->gr_gid) == 0);
  QVERIFY(chmod(QFile::encodeName(device).constData(), 0660) == 0);
  QFile::remove(shared.filePath("dosdevices/com1"));
  QFile::link(device, shared.filePath("dosdevices/com1"));
  QVERIFY(as_ordinary_user(
      "open-and-tell", {shared.path(), device + "：没有权限（把用户加入 dialout 组后重新登录）"}));
}

// After a power cut the board reports route 3 on and everything else off. Route 1's timetable has
// it on from an hour ago to an hour from now; route 3 has no entries.
void TestCommandLink::restoreAtTakeOver_data() {
  QTest::addColumn<bool>("restore");
  QTest::addColumn<bool>("chkAuto");
  QTest::addColumn<quint8>("route1");
  QTest::newRow("restore off: the board's states") << false << true << quint8(kRelease);
  QTest::newRow("restore on: the timetable's state") << true << true << quint8(kEnergise);
  QTest::newRow("restore on, timetable not allowed") << true << false << quint8(kRelease);
}

void TestCommandLink::restoreAtTakeOver() {
  QFETCH(bool, restore);
  QFETCH(bool, chkAuto);
  QFETCH(quint8, route1);
  LogicRig r;
  RelayBoard::Options o;
  o.outputs = 0x0004;
  QVERIFY(r.openBoard(o));
  const auto at = [](int hours) {
    return QDateTime::currentDateTime().addSecs(hours * 3600).toString("HHmmss");
  };
  r.add({{"key0101", entry("11000000000100000000" + at(-1))},
         {"key0102", entry("01000000000100000000" + at(1))}});
  r.logic.setChkAuto(chkAuto);
  r.logic.setRestore(restore, false);
  r.logic.CmdOpen_Click();
  QTRY_VERIFY(!r.logic.station().link().bIsFirst());
  QCOMPARE(r.logic.station().link().nState()[1], route1);
  QCOMPARE(r.logic.station().link().nState()[3],
           quint8(kEnergise));  // no entries: the board's state stays
  QCOMPARE(r.logic.station().link().nState()[2], quint8(kRelease));
  // The take-over and the board's first report are one line each, listing the routes.
  const auto lines = [&r] {
    QStringList out;
    for (const RecordEvent& e : r.logic.record().newest(100))
      if (e.action == RecordAction::TakeOver || e.action == RecordAction::BoardStates ||
          e.cause == RecordCause::TakeOver)
        out.prepend(RecordLine::actionWord(e) + ' ' + RecordLine::causeWord(e));
    return out;
  };
  const QStringList once = {"接管 吸合 3 断开 1-2,4-16", "板状态 吸合 3 断开 1-2,4-16"};
  QCOMPARE(lines(), once);
  // Pulled out and plugged in again after another power cut: the same lines again.
  r.board.reset();
  QTRY_VERIFY(r.logic.station().link().bIsFirst());
  QVERIFY(r.openBoard(o));
  QTRY_VERIFY_WITH_TIMEOUT(!r.logic.station().link().bIsFirst(), 2 * LinkControl::kRetryMs + 1000);
  QCOMPARE(lines(), once + once);
}

void TestCommandLink::switchesWhileTheWindowHangs() {
  // The window program's shape: the station and the broker on a thread of their own, the board
  // on a third, and the window's logic on this one, which then hangs for about 10 s (a modal box,
  // a file dialog stuck on a read) while an entry falls due.
  QTemporaryDir dir;
  StationThread plant, boardThread;
  std::atomic<qint64> switchedAt{0};
  RelayBoard* board = boardThread.run([&] {
    auto* b = new RelayBoard({});
    QObject::connect(b, &RelayBoard::outputsChanged, b, [&](quint16 on) {
      if (on & 1) switchedAt = QDateTime::currentMSecsSinceEpoch();
    });
    return b->open(dir.filePath("dosdevices/com1"), nullptr) ? b : nullptr;
  });
  QVERIFY(board);
  Station* station = plant.run([&] { return new Station(dir.path()); });
  MqttBridge* bridge = plant.run([&] { return new MqttBridge(*station); });
  ScriptedPrompt prompt;
  {
    AppLogic logic(*station, *bridge, prompt);
    logic.CmdOpen_Click();
    QTRY_COMPARE(logic.health(), LinkHealth::Answering);
    const QDateTime due = QDateTime::currentDateTime().addSecs(3);
    EntryCollection c;
    c.add("key0101", entry("11000000000100000000" + due.toString("HHmmss")));
    logic.setEntries(std::move(c));
    logic.setChkAuto(true);
    const qint64 dueMs = due.toMSecsSinceEpoch() - due.time().msec();
    QThread::msleep(10000);  // the GUI thread hangs; nothing it does runs meanwhile
    const qint64 woke = QDateTime::currentMSecsSinceEpoch();
    QVERIFY2(
        switchedAt >= dueMs && switchedAt < woke,
        qPrintable(QString("due %1, switched %2, woke %3").arg(dueMs).arg(switchedAt).arg(woke)));
    qInfo("switched %lld ms after its second while the window hung", switchedAt - dueMs);
    QCOMPARE(switchedAt - dueMs < 1000, true);  // in its own second, as on an idle window
  }
  plant.run([&] {
    delete bridge;
    delete station;
  });
  boardThread.run([&] { delete board; });
}

void TestCommandLink::pageBesideTheWindow() {
  // The window program's shape again, with the page's server beside the station.
  QTemporaryDir dir;
  StationThread plant;
  Station* station = plant.run([&] { return new Station(dir.path()); });
  MqttBridge* bridge = plant.run([&] { return new MqttBridge(*station); });
  WebServer* web = plant.run([&] { return new WebServer(*station); });
  quint16 port = 0;
  for (quint16 p = 24000 + QCoreApplication::applicationPid() % 1000; !port; ++p) {
    WebSettings s;
    s.port = p;
    s.passwordHash = web_password_hash("pw", 1000);
    if (plant.run([&] { return web->configure(s); }) == WebServer::Outcome::Listening) port = p;
  }
  QNetworkAccessManager net;
  QByteArray csrf;
  const auto call = [&](const char* method, const char* path, const QByteArray& body = {},
                        const QByteArray& ifMatch = {}) {
    QNetworkRequest req(QUrl(QString("http://127.0.0.1:%1%2").arg(port).arg(path)));
    req.setRawHeader("X-CSRF-Token", csrf);
    if (!ifMatch.isEmpty()) req.setRawHeader("If-Match", ifMatch);
    req.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QNetworkReply* reply = net.sendCustomRequest(req, method, body);
    QSignalSpy done(reply, &QNetworkReply::finished);
    done.wait(10000);
    reply->deleteLater();
    return qMakePair(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                     QJsonDocument::fromJson(reply->readAll()).object());
  };
  csrf = call("POST", "/api/login", R"({"password":"pw"})").second["csrf"].toString().toLatin1();
  QVERIFY(!csrf.isEmpty());
  const auto add = [&] {
    const qint64 revision = call("GET", "/api/entries").second["revision"].toInteger();
    return call("POST", "/api/entries", R"({"route":1,"kind":"daily","time":"06:00:00","on":true})",
                QByteArray::number(revision));
  };
  ScriptedPrompt prompt;
  {
    AppLogic logic(*station, *bridge, prompt);
    // The window holds an unsaved entry: the page changes nothing, and says why.
    EntryPtr typed;
    logic.confirmEntry(editor_load(true, nullptr, QDate::currentDate()), true, typed);
    QVERIFY(logic.modified());
    auto answer = add();
    QCOMPARE(answer.first, 409);
    QCOMPARE(answer.second["error"].toString(), QString("窗口中有未保存的修改"));
    QVERIFY(!QFile::exists(dir.filePath("Note.ini")));
    // Saved in the window, the page's entry goes in, is saved, and the window shows it at once.
    logic.CmdSave_Click();
    answer = add();
    QCOMPARE(answer.first, 201);
    QTRY_COMPARE(logic.entries().count(), 2);
    QVERIFY(logic.entries().contains(answer.second["key"].toString()));
    QVERIFY(!logic.modified());
  }
  plant.run([&] {
    delete web;
    delete bridge;
    delete station;
  });
}

void TestCommandLink::boardThatNeverAnswersIsRecorded() {
  LogicRig r;
  RelayBoard::Options o;
  o.address = 2;  // the program speaks to board 1
  QVERIFY(r.openBoard(o));
  r.logic.CmdOpen_Click();
  QTRY_VERIFY_WITH_TIMEOUT(r.logic.record().newest(1).value(0).action == RecordAction::BoardSilent,
                           4000);
  // An entry due meanwhile leaves its line: not done.
  r.clock = QDateTime::currentDateTime();
  r.add({{"key0101", entry("11000000000100000000" + r.clock.toString("HHmmss"))}});
  r.logic.setChkAuto(true);
  r.logic.holdTimers();
  r.logic.tickScheduler();
  const RecordEvent e = r.logic.record().newest(1).value(0);
  QCOMPARE(RecordLine::line(e), RecordLine::timeText(r.clock) + ",1,未执行,key0101");
}

TAVREL_TEST_MAIN_WITH_SCENARIOS(TestCommandLink, openAndTell)
#include "test_command_link.moc"
