#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include "relay_board.h"
#include "remote/alerts.h"
#include "remote/mqtt_bridge.h"
#include "support/entries.h"
#include "support/frames.h"
#include "support/webhook_receiver.h"

namespace {

// A datagram socket standing in for the service manager's.
struct NotifySocket {
  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  explicit NotifySocket(const QString& path) {
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    qstrncpy(sa.sun_path, QFile::encodeName(path).constData(), sizeof sa.sun_path);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  }
  ~NotifySocket() { ::close(fd); }
  // The datagrams waiting, each with the moment it was read.
  QList<QPair<qint64, QByteArray>> take(QElapsedTimer& t) const {
    QList<QPair<qint64, QByteArray>> out;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
      out.append({t.elapsed(), QByteArray(buffer, static_cast<int>(n))});
    return out;
  }
};

constexpr Alerts::Timing kQuick{2000, 300, 500};

// The station with its bridge and alerts on a temporary data folder, Com1 leading to a simulated
// board, and a clock the test may move.
struct Rig {
  QTemporaryDir dir;
  RelayBoard board;
  qint64 shiftSecs = 0;
  Station station{dir.path(), [this] { return QDateTime::currentDateTime().addSecs(shiftSecs); }};
  MqttBridge bridge{station};
  Receiver receiver;
  Alerts alerts;
  QStringList lines;  // the record's alert lines, as the record announced them
  explicit Rig(const RelayBoard::Options& o = {}, Alerts::Timing t = kQuick)
      : board(o), alerts(station, &bridge, t) {
    QObject::connect(&station, &Station::recordAppended, &station, [this](const RecordEvent& e) {
      if (e.action == RecordAction::AlertRaised || e.action == RecordAction::AlertCleared)
        lines << RecordLine::actionWord(e) + ' ' + RecordLine::causeWord(e);
    });
    board.open(dir.filePath("dosdevices/com1"), nullptr);
    station.start();
    alerts.configure({receiver.url(), {}});
  }
  // A file where the record's folder belongs, or the folder again; then a line to write.
  bool blockRecord(bool blocked) {
    const QString log = station.record().logFolder();
    const bool done = blocked ? QDir(log).removeRecursively() && QFile(log).open(QFile::WriteOnly)
                              : QFile::remove(log);
    station.record(0, RecordAction::PortOpened, RecordCause::None);
    return done;
  }
  bool open() {
    station.openLink(true);
    alerts.start();
    return QTest::qWaitFor([&] { return station.health() == LinkHealth::Answering; }, 5000);
  }
};

}  // namespace

class TestAlerts : public QObject {
  Q_OBJECT
 private slots:
  void eachConditionRaisedAndClearedOnce_data();
  void eachConditionRaisedAndClearedOnce();
  void pacedAnHourAndCountedWithTheClear();
  void webhookRetriedWhileTheReceiverFails();
  void watchdogFollowsTheSchedulersTick();
  void stuckRoutes_data();
  void stuckRoutes();
};

enum class Cause { Silent, Stuck, Unplugged, RecordBlocked, ClockAhead, MissedEntry, NoBroker };
Q_DECLARE_METATYPE(Cause)

void TestAlerts::eachConditionRaisedAndClearedOnce_data() {
  QTest::addColumn<Cause>("cause");
  QTest::addColumn<QString>("raisedLine");
  QTest::addColumn<QList<int>>("routes");
  QTest::newRow("silent board") << Cause::Silent << "告警 board-silent" << QList<int>{};
  QTest::newRow("stuck relay") << Cause::Stuck << "告警 relay-not-following 3" << QList<int>{3};
  QTest::newRow("unplugged") << Cause::Unplugged << "告警 port-lost" << QList<int>{};
  QTest::newRow("record") << Cause::RecordBlocked << "告警 record-unwritable" << QList<int>{};
  QTest::newRow("clock") << Cause::ClockAhead << "告警 clock-jump" << QList<int>{};
  QTest::newRow("missed") << Cause::MissedEntry << "告警 entries-missed 1 key0101" << QList<int>{1};
  QTest::newRow("broker") << Cause::NoBroker << "告警 broker-lost" << QList<int>{};
}

void TestAlerts::eachConditionRaisedAndClearedOnce() {
  QFETCH(Cause, cause);
  QFETCH(QString, raisedLine);
  QFETCH(QList<int>, routes);
  RelayBoard::Options o;
  if (cause == Cause::Stuck) o.stuck = 1u << 2;
  Rig r(o);
  const QString name = raisedLine.section(' ', 1, 1);
  if (cause != Cause::MissedEntry) QVERIFY(r.open());
  // The condition begins.
  if (cause == Cause::Silent) r.board.setSilent(true);
  if (cause == Cause::Stuck) r.station.want(3, true, RecordCause::Manual);
  if (cause == Cause::Unplugged) r.board.close();
  if (cause == Cause::RecordBlocked) QVERIFY(r.blockRecord(true));
  if (cause == Cause::ClockAhead) {
    r.station.setAuto(true);  // the scheduler runs
    QTest::qWait(1200);
    r.shiftSecs = 3600;
  } else if (cause == Cause::MissedEntry) {
    EntryCollection c;
    c.add("key0101", entry("11000000000100000000" +
                           QDateTime::currentDateTime().addSecs(2).toString("HHmmss")));
    r.station.setEntries(c, 0, true);
    r.station.setAuto(true);  // the link stays closed: nothing can act
    r.alerts.start();
  } else if (cause == Cause::NoBroker) {
    QTcpServer closed;  // a port nobody listens on once it is closed
    closed.listen(QHostAddress::LocalHost);
    MqttSettings s;
    s.present = true;
    s.host = "127.0.0.1";
    s.port = closed.serverPort();
    closed.close();
    r.bridge.configure(s);
  }
  QTRY_COMPARE_WITH_TIMEOUT(r.receiver.told(), QStringList{name + " raised"}, 10000);
  const QJsonObject raised = r.receiver.posts[0];
  QCOMPARE(raised["routes"].toVariant().value<QVariantList>().size(), routes.size());
  for (const int route : routes) QVERIFY(raised["routes"].toArray().contains(route));
  QVERIFY(!raised["text"].toString().isEmpty());
  QVERIFY(QDateTime::fromString(raised["time"].toString(), Qt::ISODate).isValid());
  QVERIFY(raised["time"].toString().contains(QRegularExpression("[+-]\\d\\d:\\d\\d$")));
  QVERIFY(raised["station"].toString().endsWith("Tavrel 1"));
  QVERIFY(r.alerts.state().any());
  // ... and ends (an event's condition clears after the hold).
  if (cause == Cause::Silent) r.board.setSilent(false);
  if (cause == Cause::Stuck) r.board.setStuck(0);
  if (cause == Cause::Unplugged) r.board.open(r.dir.filePath("dosdevices/com1"), nullptr);
  if (cause == Cause::RecordBlocked) QVERIFY(r.blockRecord(false));
  if (cause == Cause::NoBroker) r.bridge.configure(MqttSettings{});
  QTRY_COMPARE_WITH_TIMEOUT(r.receiver.told(), QStringList({name + " raised", name + " cleared"}),
                            10000);
  QVERIFY(!r.alerts.state().any());
  QCOMPARE(r.lines, QStringList({raisedLine, "告警解除 " + name}));
}

void TestAlerts::pacedAnHourAndCountedWithTheClear() {
  // Three beginnings within the pace: the first told with its clear, the two after it counted and
  // said with a clear once the pace is over; the record has every one.
  Alerts::Timing t = kQuick;
  t.paceMs = 3000;
  Rig r({}, t);
  QVERIFY(r.open());
  QList<AlertMessage> told;
  connect(&r.alerts, &Alerts::told, this, [&](const AlertMessage& m) { told << m; });
  for (int i = 0; i < 3; ++i) {
    QVERIFY(r.blockRecord(true));
    QTRY_VERIFY(r.alerts.state()[AlertCondition::RecordUnwritable].raised);
    QVERIFY(r.blockRecord(false));
    QTRY_VERIFY(!r.alerts.state()[AlertCondition::RecordUnwritable].raised);
  }
  QCOMPARE(told.size(), 2);
  QVERIFY(told[0].raised && !told[1].raised && told[1].repeats == 0);
  QTRY_COMPARE_WITH_TIMEOUT(told.size(), 3, 10000);
  QCOMPARE(told[2].raised, false);
  QCOMPARE(told[2].repeats, 2);
  QVERIFY(alert_text(told[2]).contains('2'));
  QTRY_COMPARE(r.receiver.posts.size(), 3);
  QCOMPARE(r.receiver.posts[2]["repeats"].toInt(), 2);
  QCOMPARE(r.lines.size(), 6);
}

void TestAlerts::webhookRetriedWhileTheReceiverFails() {
  Receiver receiver;
  receiver.statuses = {503, 500};
  Webhook hook;
  hook.configure({receiver.url(), {}});
  hook.post(R"({"condition":"a"})");
  hook.post(R"({"condition":"b"})");
  QTRY_COMPARE_WITH_TIMEOUT(receiver.posts.size(), 2, 15000);
  QCOMPARE(receiver.posts[0]["condition"].toString(), "a");  // in order, none lost
  QCOMPARE(receiver.posts[1]["condition"].toString(), "b");
  QTRY_COMPARE(hook.waiting(), 0);
  int answer = -1;
  connect(&hook, &Webhook::tested, this, [&](int status, const QString&) { answer = status; });
  hook.test("{}");
  QTRY_COMPARE(answer, 200);
}

void TestAlerts::watchdogFollowsTheSchedulersTick() {
  QTemporaryDir sockets;
  const QString path = sockets.filePath("notify");
  NotifySocket manager(path);
  qputenv("NOTIFY_SOCKET", QFile::encodeName(path));
  qputenv("WATCHDOG_USEC", "4000000");
  Rig r;
  qunsetenv("NOTIFY_SOCKET");
  qunsetenv("WATCHDOG_USEC");
  QElapsedTimer t;
  t.start();
  QVERIFY(r.open());  // READY=1 and pings at least every half WatchdogSec, from the heartbeat
  QList<QPair<qint64, QByteArray>> got;
  QTRY_VERIFY_WITH_TIMEOUT((got += manager.take(t), got.size() >= 6), 15000);
  QList<qint64> pings;
  bool ready = false;
  for (const auto& [at, text] : got) {
    ready = ready || text.startsWith("READY=1\nSTATUS=");
    if (text == "WATCHDOG=1") pings << at;
  }
  QVERIFY(ready);
  QVERIFY(pings.size() >= 3);
  for (int i = 1; i < pings.size(); ++i)
    QVERIFY2(pings[i] - pings[i - 1] <= 2000, qPrintable(QString::number(pings[i] - pings[i - 1])));
  // The timetable running: its own tick feeds the watchdog.
  EntryCollection c;
  c.add("key0101", entry("11000000000100000000" +
                         QDateTime::currentDateTime().addSecs(3600).toString("HHmmss")));
  r.station.setEntries(c, 0, true);
  r.station.setAuto(true);
  int running = 0, held = 0;
  manager.take(t);
  QTest::qWait(2500);
  for (const auto& d : manager.take(t)) running += d.second == "WATCHDOG=1";
  r.station.holdTimers();  // the tick stops: so do the pings
  QTest::qWait(100);
  manager.take(t);
  QTest::qWait(2500);
  for (const auto& d : manager.take(t)) held += d.second == "WATCHDOG=1";
  QVERIFY(running > 0);
  QCOMPARE(held, 0);
}

void TestAlerts::stuckRoutes_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("valid");
  QTest::addColumn<int>("routes");
  QTest::newRow("one") << "3" << true << 0x0004;
  QTest::newRow("list and run") << "1,3,9-11" << true << 0x0705;
  QTest::newRow("zero") << "0" << false << 0;
  QTest::newRow("seventeen") << "16,17" << false << 0;
  QTest::newRow("backwards") << "5-3" << false << 0;
  QTest::newRow("word") << "three" << false << 0;
}

void TestAlerts::stuckRoutes() {
  QFETCH(QString, text);
  QFETCH(bool, valid);
  QFETCH(int, routes);
  quint16 mask = 0;
  QCOMPARE(parse_route_list(text, &mask), valid);
  if (!valid) return;
  QCOMPARE(mask, quint16(routes));
  // A set frame leaves the stuck routes as they are.
  BoardProtocol board(1, 0x0000);
  board.setStuck(mask);
  board.feed(command_bytes(1, 19, 0xFF, 0xFF));
  QCOMPARE(board.outputs(), quint16(~mask));
}

QTEST_GUILESS_MAIN(TestAlerts)
#include "test_alerts.moc"
