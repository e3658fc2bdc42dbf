// The board on a real Mosquitto broker: what a subscriber sees, what a command does, and how the
// connection lives through a broker that dies, wrong credentials and bad messages.
#include <sys/stat.h>

#include <QSysInfo>
#include <QtTest>

#include "app/startup.h"
#include "support/broker.h"
#include "support/entries.h"
#include "support/files.h"
#include "support/logic_rig.h"

namespace {

// Name.ini in GBK: route 1 is "水泵", the link opens at start, the broker is ours; the lines of
// mqtt come first in their section, so they win over the keys after them.
QByteArray name_ini(quint16 port, const QByteArray& password, bool tls, const QByteArray& mqtt) {
  return "[Note]\r\nOpen=1\r\n01=\xCB\xAE\xB1\xC3\r\n[Mqtt]\r\n" + mqtt +
         "Host=" + QByteArray(tls ? "localhost" : "127.0.0.1") +
         "\r\nPort=" + QByteArray::number(port) + "\r\nUser=tavrel\r\nPassword=" + password +
         "\r\nTls=" + (tls ? "1" : "0") + "\r\n";
}

struct Rig : LogicRig {
  explicit Rig(quint16 port, const QByteArray& password = Broker::kPassword,
               quint16 outputs = 0x0005, bool tls = false, const QByteArray& mqtt = {}) {
    RelayBoard::Options o;
    o.outputs = outputs;
    openBoard(o);
    QFile f(dir.filePath("Name.ini"));
    if (f.open(QIODevice::WriteOnly)) f.write(name_ini(port, password, tls, mqtt));
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                     QFileDevice::ReadOther);
    run_startup(logic, logic.settings().load());
  }
  bool connected() const { return logic.bridge().state() == MqttClient::Connected; }
  // How many lines of the record tell this action (for this cause, or at this place).
  int recorded(RecordAction action, RecordCause cause = RecordCause::None,
               const QString& detail = {}) const {
    int n = 0;
    for (const RecordEvent& e : logic.record().newest(1000))
      n += e.action == action && (cause == RecordCause::None || e.cause == cause) &&
           (detail.isEmpty() || e.detail == detail);
    return n;
  }
};

QString topic(const QString& rest) { return QStringLiteral("tavrel/1/") + rest; }

QJsonObject config_of(Subscriber& sub, const QString& topic) {
  return QJsonDocument::fromJson(sub.last(topic).toUtf8()).object();
}

}  // namespace

class TestMqtt : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void subscriberSeesRetainedStatesNamesAndDiscovery();
  void setSwitchesTheBoardAndIsRecorded();
  void badMessagesChangeNothing();
  void brokerThatDiesIsReconnected();
  void wrongPasswordIsToldOnceWithoutRetryStorm();
  void tlsCheckedAgainstTheSystemsAuthorities();
  void brokerOfMqtt311IsAskedAgainInItsVersion_data();
  void brokerOfMqtt311IsAskedAgainInItsVersion();
  void movedDeviceLeavesNoGhostsAndPrefixesNeverShareIds();
  void twoCopiesOnOneBrokerNeverFight();
  void refusedTopicsAreToldAndValuesKeepTheirBlanks();
  void valuesReadBackExactly_data();
  void valuesReadBackExactly();
  void retryDelays_data();
  void retryDelays();
};

void TestMqtt::initTestCase() {
  if (QStandardPaths::findExecutable(QStringLiteral("mosquitto_sub")).isEmpty() ||
      !QFile::exists(QStringLiteral("/usr/sbin/mosquitto")))
    QFAIL("mosquitto and mosquitto-clients are needed (scripts/setup --test installs them)");
}

void TestMqtt::subscriberSeesRetainedStatesNamesAndDiscovery() {
  Broker broker;
  QVERIFY(broker.start());
  Rig rig(broker.port());
  QTRY_VERIFY_WITH_TIMEOUT(rig.connected() && rig.logic.station().link().answering(), 5000);
  QTRY_COMPARE(rig.recorded(RecordAction::MqttConnected, RecordCause::None,
                            QStringLiteral("127.0.0.1:%1").arg(broker.port())),
               1);
  // The password is stored, so the file is the owner's alone.
  struct stat st {};
  QCOMPARE(::stat(QFile::encodeName(rig.dir.filePath("Name.ini")).constData(), &st), 0);
  QCOMPARE(st.st_mode & 0777, 0600u);

  // A subscriber that comes later gets everything from the broker's retained messages.
  QTRY_VERIFY(broker.log().contains(QStringLiteral("'tavrel/1/route/16/state'")));
  Subscriber sub(broker.port(), {QStringLiteral("tavrel/#"), QStringLiteral("homeassistant/#")});
  QTRY_COMPARE(sub.last(QStringLiteral("homeassistant/switch/tavrel_1_16/config")).isEmpty(),
               false);
  const QStringList lines = sub.lines();
  auto retained = [&](const QString& t, const QString& payload) {
    return lines.contains(QStringLiteral("1 ") + t + QLatin1Char(' ') + payload);
  };
  QVERIFY(retained(topic("availability"), "online"));
  for (int r = 1; r <= 16; ++r)
    QVERIFY2(
        retained(topic(QStringLiteral("route/%1/state").arg(r)), r == 1 || r == 3 ? "ON" : "OFF"),
        qPrintable(QString::number(r)));
  QVERIFY(retained(topic("route/1/name"), QStringLiteral("水泵")));
  QVERIFY(retained(topic("route/2/name"), QStringLiteral("未命名")));
  QVERIFY(retained(topic("route/5/next"), "NONE"));
  QVERIFY(retained(topic("auto/state"), "OFF"));  // no entries: "自动功能允许" is clear
  // A client id a broker's admin can write rules for, and MQTT 5.
  QVERIFY(broker.log().contains(" as " + mqtt_client_id(QSysInfo::machineHostName(), "tavrel_1") +
                                " (p5, c1, k30"));
  QString device;
  const QStringList others{"sensor/tavrel_1_next5", "binary_sensor/tavrel_1_board",
                           "switch/tavrel_1_auto"};
  for (int r = 1; r <= 16 + others.size(); ++r) {
    const QJsonObject c = config_of(
        sub, "homeassistant/" +
                 (r <= 16 ? QStringLiteral("switch/tavrel_1_%1").arg(r) : others[r - 17]) +
                 "/config");
    QCOMPARE(c.value("origin").toObject().value("name").toString(), QString("Tavrel"));
    const QString ids = QString::fromUtf8(
        QJsonDocument(c.value("device").toObject().value("identifiers").toArray()).toJson());
    if (device.isEmpty()) device = ids;
    QCOMPARE(ids, device);  // one device for all its entities
    if (r > 16) continue;
    QCOMPARE(c.value("default_entity_id").toString(),
             QStringLiteral("switch.tavrel_1_route_%1").arg(r));
    QCOMPARE(c.value("unique_id").toString(), QStringLiteral("tavrel_1_%1").arg(r));
    QCOMPARE(c.value("state_topic").toString(), topic(QStringLiteral("route/%1/state").arg(r)));
    QCOMPARE(c.value("command_topic").toString(), topic(QStringLiteral("route/%1/set").arg(r)));
    QCOMPARE(c.value("availability_topic").toString(), topic("availability"));
    QVERIFY(!c.value("name").toString().isEmpty());
  }
  // A route named in the program: Name.ini in its own GBK, the name topic and discovery at once.
  QVERIFY(rig.logic.renameRoute(2, QStringLiteral("风机")));
  QVERIFY(get(rig.dir.filePath("Name.ini")).contains("\r\n02=\xB7\xE7\xBB\xFA\r\n"));
  QTRY_COMPARE(sub.last(topic("route/2/name")), QStringLiteral("风机"));
  QTRY_VERIFY(sub.last(QStringLiteral("homeassistant/switch/tavrel_1_2/config")).contains("风机"));

  // Per route the next switch as a timestamp, the board's answering, "自动功能允许".
  const QJsonObject next = config_of(sub, "homeassistant/sensor/tavrel_1_next5/config");
  QCOMPARE(next.value("device_class").toString(), QString("timestamp"));
  QCOMPARE(next.value("state_topic").toString(), topic("route/5/next"));
  QCOMPARE(next.value("json_attributes_topic").toString(), topic("route/5/next"));
  const QJsonObject board = config_of(sub, "homeassistant/binary_sensor/tavrel_1_board/config");
  QCOMPARE(board.value("device_class").toString(), QString("connectivity"));
  QCOMPARE(board.value("state_topic").toString(), topic("availability"));
  QCOMPARE(board.value("payload_on").toString(), QString("online"));
  const QJsonObject allowed = config_of(sub, "homeassistant/switch/tavrel_1_auto/config");
  QCOMPARE(allowed.value("command_topic").toString(), topic("auto/set"));
  QCOMPARE(allowed.value("state_topic").toString(), topic("auto/state"));
  publish_once(broker.port(), topic("auto/set"), " on\n");
  QTRY_VERIFY(rig.logic.chkAuto());
  QTRY_COMPARE(sub.last(topic("auto/state")), QStringLiteral("ON"));
  publish_once(broker.port(), topic("auto/set"), "TOGGLE");
  QTRY_VERIFY(!rig.logic.chkAuto());

  // Someone else's retained state is put right within a second.
  publish_once(broker.port(), topic("route/2/state"), "ON", true);
  QTRY_COMPARE(sub.payloads(topic("route/2/state")).mid(1), QStringList({"ON", "OFF"}));
  // A flood of Home Assistant's announcements: the configs once, the rest wait 10 s.
  const QString config16 = "homeassistant/switch/tavrel_1_16/config";
  const qsizetype sent = sub.payloads(config16).size();
  publish_once(broker.port(), "homeassistant/status", QByteArray(" Online \n").repeated(50), false,
               {}, true);
  QTRY_COMPARE(sub.payloads(config16).size(), sent + 1);
  QTest::qWait(1000);
  QCOMPARE(sub.payloads(config16).size(), sent + 1);

  // A board that stops answering, or a link the user closes, makes the switches unavailable.
  rig.board->setSilent(true);
  QTRY_COMPARE_WITH_TIMEOUT(sub.last(topic("availability")), QStringLiteral("offline"), 5000);
  rig.board->setSilent(false);
  QTRY_COMPARE_WITH_TIMEOUT(sub.last(topic("availability")), QStringLiteral("online"), 5000);
  rig.logic.CmdOpen_Click();
  QTRY_COMPARE(sub.last(topic("availability")), QStringLiteral("offline"));
}

void TestMqtt::setSwitchesTheBoardAndIsRecorded() {
  Broker broker;
  QVERIFY(broker.start());
  Rig rig(broker.port());
  QTRY_VERIFY_WITH_TIMEOUT(rig.connected() && rig.logic.station().link().answering(), 5000);
  Subscriber sub(broker.port(), {topic("route/+/state"), topic("record")});
  QTRY_COMPARE(sub.last(topic("route/2/state")), QStringLiteral("OFF"));

  const struct {
    const char* route;
    QByteArray payload;
    quint16 outputs;  // at the board afterwards
  } steps[] = {
      {"2", "ON", 0x0007},
      {"2", "TOGGLE", 0x0005},
      {"16", " on\n", 0x8005},
      {"1", "Toggle", 0x8004},
      {"16", "OFF" + QByteArray(61, ' '), 0x0004},  // 64 bytes
  };
  for (const auto& s : steps) {
    publish_once(broker.port(), topic(QStringLiteral("route/%1/set").arg(s.route)), s.payload);
    QTRY_COMPARE_WITH_TIMEOUT(rig.board->outputs(), s.outputs, 3000);
  }
  // The board's report follows (route 1 was on at the start).
  QTRY_COMPARE(sub.last(topic("route/1/state")), QStringLiteral("OFF"));
  QCOMPARE(sub.last(topic("route/2/state")), QStringLiteral("OFF"));
  QTRY_COMPARE(sub.last(topic("route/16/state")), QStringLiteral("OFF"));
  QCOMPARE(rig.recorded(RecordAction::Energise, RecordCause::Mqtt), 2);
  QCOMPARE(rig.recorded(RecordAction::Release, RecordCause::Mqtt), 3);
  // Each record line also went out as JSON.
  QVERIFY(sub.lines().contains(QRegularExpression(QStringLiteral(
      R"(^0 tavrel/1/record \{"action":"吸合","cause":"远程","route":2,"time":"[-0-9T:.+Z]+"\}$)"))));

  // A burst of 1,000 TOGGLEs on route 4: one change at once, the rest gathered into one a second
  // later, ending where 1,000 toggles end (off); a change a second at most, recorded as made.
  int changes = 0;
  connect(rig.board.get(), &RelayBoard::outputsChanged, this, [&] { ++changes; });
  QElapsedTimer burst;
  burst.start();
  publish_once(broker.port(), topic("route/4/set"), QByteArray("TOGGLE\n").repeated(1000), false,
               {}, true);
  const qint64 seconds = burst.elapsed() / 1000 + 1;
  QTest::qWait(2500);
  const int lines = rig.recorded(RecordAction::Energise, RecordCause::Mqtt) +
                    rig.recorded(RecordAction::Release, RecordCause::Mqtt) - 5;
  qInfo("burst sent in %lld s or less: %d board changes, %d lines", seconds, changes, lines);
  QCOMPARE(rig.board->outputs(), quint16(0x0004));
  QVERIFY(changes >= 2 && changes <= seconds + 1);
  QCOMPARE(lines, changes);

  // The same for the timetable's switch: each change recorded with its cause.
  const bool allowed = rig.logic.chkAuto();
  burst.restart();
  publish_once(broker.port(), topic("auto/set"), QByteArray("TOGGLE\n").repeated(1000), false, {},
               true);
  const qint64 autoSeconds = burst.elapsed() / 1000 + 1;
  QTest::qWait(2500);
  const int autoLines = rig.recorded(RecordAction::AutoAllowed, RecordCause::Mqtt) +
                        rig.recorded(RecordAction::AutoForbidden, RecordCause::Mqtt);
  QCOMPARE(rig.logic.chkAuto(), allowed);
  QVERIFY2(autoLines >= 2 && autoLines <= autoSeconds + 1, qPrintable(QString::number(autoLines)));
}

void TestMqtt::badMessagesChangeNothing() {
  Broker broker;
  QVERIFY(broker.start());
  Rig rig(broker.port());
  QTRY_VERIFY_WITH_TIMEOUT(rig.connected() && rig.logic.station().link().answering(), 5000);
  const RouteStateTable wanted = rig.logic.station().link().nState();
  const QByteArray padded = "ON" + QByteArray(63, ' ');  // 65 bytes that would read as ON
  const struct {
    QString topic;
    QByteArray payload;
    bool retain;
  } bad[] = {
      {topic("route/17/set"), "ON", false},  {topic("route/0/set"), "ON", false},
      {topic("route/02/set"), "ON", false},  {topic("route/x/set"), "ON", false},
      {topic("route/1/set"), "ONN", false},  {topic("route/2/set"), "", false},
      {topic("route/2/set"), padded, false}, {topic("route/2/set"), "1", false},
  };
  for (const auto& b : bad) publish_once(broker.port(), b.topic, b.payload, b.retain);
  // A command the broker kept while the program was away would switch long after it was meant.
  rig.logic.startMqtt(ProfileFile::fromBytes({}));  // no section: ends the connection
  publish_once(broker.port(), topic("route/4/set"), "ON", true);
  rig.logic.startMqtt(rig.logic.settings().load());  // the retained command arrives
  QTRY_VERIFY_WITH_TIMEOUT(rig.connected(), 5000);
  QTRY_COMPARE(broker.log().count(QStringLiteral("Received SUBSCRIBE")), 2 * 7);
  // A good command afterwards shows every earlier one was handled.
  publish_once(broker.port(), topic("route/8/set"), "ON");
  QTRY_COMPARE_WITH_TIMEOUT(rig.board->outputs(), quint16(0x0085), 3000);
  RouteStateTable expected = wanted;
  expected[8] = kEnergise;
  QCOMPARE(rig.logic.station().link().nState(), expected);
  // Once a minute at most per route (1, 2, 4), and once for the topics of no route.
  QCOMPARE(rig.recorded(RecordAction::MqttInvalid), 4);
  QCOMPARE(rig.recorded(RecordAction::Energise, RecordCause::Mqtt), 1);
  publish_once(broker.port(), topic("route/4/set"), "", true);  // clears the retained command

  // While the board is away a command changes nothing, then or later, and is told once a minute.
  rig.board->close();
  QTRY_VERIFY(rig.logic.health() == LinkHealth::Waiting);
  for (const char* route : {"5", "6", "6", "5"})
    publish_once(broker.port(), topic(QStringLiteral("route/%1/set").arg(route)), "ON");
  QTRY_COMPARE(rig.recorded(RecordAction::MqttNotDone, RecordCause::Mqtt), 2);  // per route
  QVERIFY(rig.board->open(rig.dir.filePath("dosdevices/com1"), nullptr));
  QTRY_VERIFY_WITH_TIMEOUT(rig.logic.station().link().answering(), 5000);
  QTest::qWait(300);
  QCOMPARE(rig.board->outputs(), quint16(0x0085));
  QCOMPARE(rig.recorded(RecordAction::MqttNotDone, RecordCause::Mqtt), 2);
}

void TestMqtt::brokerThatDiesIsReconnected() {
  Broker broker;
  QVERIFY(broker.start());
  Rig rig(broker.port());
  QTRY_VERIFY_WITH_TIMEOUT(rig.connected() && rig.logic.station().link().answering(), 5000);
  broker.stop();
  QTRY_COMPARE(rig.logic.bridge().state(), MqttClient::Trying);
  QTRY_COMPARE(rig.recorded(RecordAction::MqttLost), 1);
  // Switching goes on without the broker.
  rig.logic.CmdIn_Click();  // route 1, already on: the board keeps its outputs
  rig.logic.SSTab2_Click(1);
  rig.logic.CmdIn_Click();
  QTRY_COMPARE(rig.board->outputs(), quint16(0x0007));
  QTest::qWait(1500);
  QVERIFY(broker.start());
  QElapsedTimer back;
  back.start();
  QTRY_VERIFY_WITH_TIMEOUT(rig.connected(), 5000);
  qInfo("connected again %lld ms after the broker was back", back.elapsed());
  Subscriber sub(broker.port(), {topic("#")});
  QTRY_COMPARE(sub.last(topic("route/2/state")), QStringLiteral("ON"));
  QTRY_COMPARE(sub.last(topic("availability")), QStringLiteral("online"));
  QCOMPARE(rig.recorded(RecordAction::MqttConnected), 2);
}

void TestMqtt::wrongPasswordIsToldOnceWithoutRetryStorm() {
  Broker broker;
  QVERIFY(broker.start());
  Rig rig(broker.port(), "wrong");
  QTRY_COMPARE(rig.prompt.messages.size(), 1);
  QVERIFY(rig.prompt.messages[0].startsWith(QStringLiteral("远程服务器拒绝登录：")));
  QVERIFY(!rig.prompt.messages[0].contains(QStringLiteral("wrong")));
  // Asking again soon would change nothing: the next attempt waits the longest delay.
  QTRY_COMPARE(rig.logic.bridge().state(), MqttClient::Trying);
  QVERIFY(rig.logic.bridge().client().nextAttemptMs() > MqttClient::kMaxDelayMs - 5000);
  QCOMPARE(rig.logic.bridge().client().attempts(), 1);
  QCOMPARE(broker.log().count(QStringLiteral("not authorised")), 1);
  QCOMPARE(rig.logic.bridge().stateText(),
           QStringLiteral("远程：正在连接（用户名或密码不被接受）"));
  QCOMPARE(rig.recorded(RecordAction::MqttFailed), 1);
}

void TestMqtt::tlsCheckedAgainstTheSystemsAuthorities() {
  Broker broker(true), plain, expired(true, true);
  QVERIFY(broker.start() && plain.start() && expired.start());
  const QByteArray ca = "CaFile=" + broker.caFile().toUtf8() + "\r\n";
  const struct {
    quint16 port;
    QByteArray mqtt;
    QString shown;  // why it does not connect, or that it does
  } rows[] = {
      {broker.port(), {}, "远程：正在连接（证书颁发机构未知）"},  // not the system's
      {broker.port(), "Host=127.0.0.1\r\n" + ca, "远程：正在连接（证书名称不符）"},
      {plain.port(), {}, "远程：正在连接（服务器不支持 TLS）"},
      {broker.port(), "Host=127.0.0.1\r\nTls=0\r\n", "远程：正在连接（服务器要求 TLS）"},
      {broker.port(), "CaFile=/nonexistent/ca.crt\r\n", "远程：正在连接（证书文件不存在）"},
      {expired.port(), "CaFile=" + expired.caFile().toUtf8() + "\r\n",
       "远程：正在连接（证书已过期）"},
      {plain.port(), "Tls=0\r\nPrefix=a//b\r\n", "远程：前缀无效"},  // the bridge stays off
      {broker.port(), ca, "远程：已连接"},                           // an authority of one's own
  };
  for (const auto& row : rows) {
    Rig rig(row.port, Broker::kPassword, 0x0005, true, row.mqtt);
    QTRY_COMPARE_WITH_TIMEOUT(rig.logic.bridge().stateText(), row.shown, 5000);
  }
  // The system's store is where OpenSSL's default paths lead; for this test, to our authority.
  qputenv("SSL_CERT_FILE", broker.caFile().toLocal8Bit());
  Rig rig(broker.port(), Broker::kPassword, 0x0005, true);
  QTRY_VERIFY_WITH_TIMEOUT(rig.connected() && rig.logic.station().link().answering(), 5000);
  QTRY_COMPARE(broker.log().count(QStringLiteral("Received SUBSCRIBE")), 2 * 7);
  publish_once(broker.port(), topic("route/6/set"), "ON", false, broker.caFile());
  QTRY_COMPARE_WITH_TIMEOUT(rig.board->outputs(), quint16(0x0025), 3000);
  qunsetenv("SSL_CERT_FILE");
}

void TestMqtt::brokerOfMqtt311IsAskedAgainInItsVersion_data() {
  QTest::addColumn<bool>("closes");  // instead of answering a CONNECT of version 5
  QTest::addColumn<QList<int>>("expected");
  QTest::newRow("refuses version 5") << false << QList<int>({5, 4});
  QTest::newRow("closes on version 5") << true << QList<int>({5, 5, 5, 4});
}

void TestMqtt::brokerOfMqtt311IsAskedAgainInItsVersion() {
  // A broker of MQTT 3.1.1 only answers a CONNECT of version 5 with return code 1; a proxy may
  // close the connection instead.
  QFETCH(bool, closes);
  QFETCH(QList<int>, expected);
  QTcpServer broker;
  QVERIFY(broker.listen(QHostAddress::LocalHost));
  QList<int> versions;
  connect(&broker, &QTcpServer::newConnection, this, [&] {
    QTcpSocket* s = broker.nextPendingConnection();
    connect(s, &QTcpSocket::readyRead, this, [&versions, s, closes] {
      const QByteArray connect = s->readAll();
      if (!connect.contains("MQTT")) return s->abort();     // a TLS handshake: not spoken here
      versions << connect.at(connect.indexOf("MQTT") + 4);  // the protocol level
      if (closes && versions.last() == 5) return s->disconnectFromHost();
      s->write(QByteArray("\x20\x02\x00", 3) + char(versions.last() == 5 ? 1 : 0));
    });
  });
  MqttClient client;
  MqttClient::Options o;
  o.host = QStringLiteral("127.0.0.1");
  o.port = broker.serverPort();
  client.start(o);
  QTRY_COMPARE_WITH_TIMEOUT(client.state(), MqttClient::Connected, 15000);
  QCOMPARE(versions, expected);
  QCOMPARE(client.protocolVersion(), 4);
  QVERIFY(!client.subscribe("tavrel/1/availability", true));  // no "no local" in 3.1.1
}

void TestMqtt::movedDeviceLeavesNoGhostsAndPrefixesNeverShareIds() {
  Broker broker;
  QVERIFY(broker.start());
  Rig rig(broker.port());
  QTRY_VERIFY_WITH_TIMEOUT(rig.connected() && rig.logic.station().link().answering(), 5000);
  QTRY_VERIFY(broker.log().contains("'homeassistant/switch/tavrel_1_auto/config'"));
  // Another prefix and discovery prefix: what was published under the old ones is cleared.
  MqttSettings s = rig.logic.bridge().settings();
  s.prefix = QStringLiteral("温室/继电器");
  s.discoveryPrefix = QStringLiteral("ha");
  QVERIFY(rig.logic.setMqtt(s));
  // A second program on the same broker, whose prefix differs in its Chinese only.
  Rig other(broker.port(), Broker::kPassword, 0, false,
            "DiscoveryPrefix=ha\r\nPrefix=" + gbk(QStringLiteral("车库/继电器")) + "\r\n");
  QTRY_VERIFY_WITH_TIMEOUT(rig.connected() && other.connected(), 5000);
  // The old configs were cleared when the settings changed and once more after reconnecting.

  QTRY_COMPARE(broker.log().count("/config', ... (0 bytes)"), 2 * 35);
  Subscriber sub(broker.port(), {QStringLiteral("#")});  // what the broker keeps
  QSet<QString> topics, ids, entityIds;
  const auto configs = [&] {
    for (const QString& line : sub.lines()) {
      if (!line.contains("/config ")) continue;
      topics << line.section(' ', 1, 1);
      const QJsonDocument c = QJsonDocument::fromJson(line.section(' ', 2).toUtf8());
      ids << c["unique_id"].toString();
      entityIds << c["default_entity_id"].toString();
    }
    return topics.size();
  };
  QTRY_COMPARE(configs(), 2 * 35);
  QCOMPARE(ids.size(), 2 * 35);
  for (const QString& e : entityIds)  // what Home Assistant takes as an entity id
    QVERIFY2(QRegularExpression("^[a-z_]+\\.[a-z0-9]+(_[a-z0-9]+)*$").match(e).hasMatch(),
             qPrintable(e));
  for (const QString& line : sub.lines())
    QVERIFY2(!line.contains(" tavrel/1/") && !line.contains(" homeassistant/"), qPrintable(line));
  QCOMPARE(SettingsStore::ReadMqttLastPrefix(rig.logic.settings().load()), s.prefix);
}

void TestMqtt::twoCopiesOnOneBrokerNeverFight() {
  Broker broker;
  QVERIFY(broker.start());
  Rig first(broker.port());
  QTRY_VERIFY_WITH_TIMEOUT(first.connected() && first.logic.station().link().answering(), 5000);
  QTest::qWait(MqttClient::kQuickDropMs);  // its connection is no new one when the copy comes
  // A copied data folder: the same client id. The broker drops one for the other a few times,
  // then one waits a minute and says why, once.
  Rig copy(broker.port(), Broker::kPassword, 0x0002);
  const auto waiting = [](Rig& r) {
    return r.logic.bridge().client().nextAttemptMs() > MqttClient::kRefusedDelayMs - 10000;
  };
  QTRY_VERIFY_WITH_TIMEOUT(waiting(first) || waiting(copy), 20000);
  QVERIFY(!waiting(first));  // the copy that came later waits
  Rig& waiter = waiting(first) ? first : copy;
  Rig& other = waiting(first) ? copy : first;
  const QString takeOver = QStringLiteral("already connected, closing old connection");
  const qsizetype takeOvers = broker.log().count(takeOver);
  qInfo("%lld take-overs before one copy waited", qlonglong(takeOvers));
  QVERIFY2(takeOvers <= 2 * MqttClient::kFightDrops, qPrintable(QString::number(takeOvers)));
  QCOMPARE(waiter.logic.bridge().stateText(), QStringLiteral("远程：正在连接（客户端标识被占用）"));
  // After its minute it comes back, is taken over at once and waits again; then all is quiet.
  QTRY_VERIFY_WITH_TIMEOUT(broker.log().count(takeOver) >= takeOvers + 2, 75000);
  QTRY_VERIFY(waiting(waiter) && other.connected());
  QTest::qWait(2000);
  QCOMPARE(broker.log().count(takeOver), takeOvers + 2);
  QList<qint64> at;  // the take-overs' seconds, which start the broker's lines
  for (const QString& line : broker.log().split('\n'))
    if (line.contains(takeOver)) at << line.section(':', 0, 0).toLongLong();
  for (qsizetype i = 4; i < at.size(); ++i)  // at most 4 in any minute
    QVERIFY2(at[i] - at[i - 4] >= 60, qPrintable(QString::number(at[i] - at[i - 4])));
  int told = 0;
  for (const RecordEvent& e : waiter.logic.record().newest(1000))
    told += e.action == RecordAction::MqttFailed && e.error == MqttError::TakenOver;
  QCOMPARE(told, 1);

  // An id of its own: now two copies on one prefix. The one there first serves it.
  Subscriber sub(broker.port(), {topic("route/+/state")});
  QTRY_COMPARE(sub.payloads(topic("route/16/state")).size(), 1);
  MqttSettings s = waiter.logic.bridge().settings();
  s.clientId = QStringLiteral("tavrel-second");
  QVERIFY(waiter.logic.setMqtt(s));
  const QString otherId = mqtt_client_id(QSysInfo::machineHostName(), "tavrel_1");
  QTRY_COMPARE(waiter.logic.bridge().stateText(), "远程：前缀被占用（" + otherId + "）");
  QVERIFY(waiter.logic.bridge().troubled() && !other.logic.bridge().troubled());
  QCOMPARE(waiter.recorded(RecordAction::MqttPrefixTaken, RecordCause::None, otherId), 1);
  const quint16 waiterOutputs = waiter.board->outputs();
  publish_once(broker.port(), topic("route/4/set"), "ON");
  QTRY_COMPARE(other.board->outputs() & 0x0008, 0x0008);
  QTest::qWait(1500);
  QCOMPARE(waiter.board->outputs(), waiterOutputs);  // commands are the serving copy's
  QVERIFY2(sub.lines().size() <= 40, qPrintable(sub.lines().join('\n')));
  // The serving copy ends cleanly: the prefix is free, and the other one serves it.
  other.logic.startMqtt(ProfileFile::fromBytes({}));
  QTRY_COMPARE(waiter.logic.bridge().stateText(), QStringLiteral("远程：已连接"));
  QTRY_COMPARE(sub.last(topic("route/4/state")), QString(waiterOutputs & 0x0008 ? "ON" : "OFF"));
}

void TestMqtt::refusedTopicsAreToldAndValuesKeepTheirBlanks() {
  // User "q" (quotes and all) may not publish the timetable's state nor read its commands.
  Broker broker(
      false, false,
      "user \"q\"\ntopic readwrite tavrel/1/availability\ntopic readwrite tavrel/1/owner\n"
      "topic readwrite tavrel/1/route/+/state\ntopic write tavrel/1/route/+/name\n"
      "topic write tavrel/1/route/+/next\ntopic write tavrel/1/route/+/set\n"
      "topic readwrite homeassistant/#\n");
  broker.addUser(QStringLiteral("\"q\""), QStringLiteral("  sp ace  "));
  QVERIFY(broker.start());
  Rig rig(broker.port(), Broker::kPassword, 0x0005, false, "Host=\r\n");  // off
  MqttSettings s = SettingsStore::ReadMqtt(rig.logic.settings().load());
  s.host = QStringLiteral("127.0.0.1");
  s.user = QStringLiteral("\"q\"");
  s.password = QStringLiteral("  sp ace  ");
  QVERIFY(rig.logic.setMqtt(s));
  QCOMPARE(SettingsStore::ReadMqtt(rig.logic.settings().load()), rig.logic.bridge().settings());
  QTRY_VERIFY_WITH_TIMEOUT(rig.connected(), 5000);
  QTRY_COMPARE_WITH_TIMEOUT(rig.recorded(RecordAction::MqttSubscribeDenied), 1, 8000);
  QCOMPARE(rig.recorded(RecordAction::MqttSubscribeDenied, RecordCause::None, topic("route/+/set")),
           1);
  QCOMPARE(rig.recorded(RecordAction::MqttPublishDenied), 1);
  QCOMPARE(rig.recorded(RecordAction::MqttPublishDenied, RecordCause::None, topic("auto/state")),
           1);
  QVERIFY(rig.logic.bridge().troubled());
  QCOMPARE(rig.logic.bridge().stateText(), "远程：已连接（无权发布 " + topic("auto/state") + "）");
}

void TestMqtt::valuesReadBackExactly_data() {
  QTest::addColumn<QString>("value");
  QTest::newRow("plain") << "s3cret";
  QTest::newRow("blanks around") << "  sp ace  ";
  QTest::newRow("in quotes") << "\"q\"";
  QTest::newRow("in single quotes") << "'q'";
  QTest::newRow("one quote") << "\"";
  QTest::newRow("quotes inside") << "a\"b\"";
  QTest::newRow("quotes and blanks") << " \"x\" ";
  QTest::newRow("a tab") << "\tx";
}

void TestMqtt::valuesReadBackExactly() {
  QFETCH(QString, value);
  QTemporaryDir dir;
  SettingsStore store(dir.path());
  MqttSettings s;
  s.present = true;
  s.host = QStringLiteral("h");
  s.user = s.password = value;
  QVERIFY(store.WriteMqtt(s));
  QCOMPARE(SettingsStore::ReadMqtt(store.load()), s);
}

void TestMqtt::retryDelays_data() {
  QTest::addColumn<int>("delay");
  QTest::addColumn<int>("troubleMs");
  QTest::addColumn<int>("next");
  QTest::newRow("doubles from the first") << 1000 << 0 << 2000;
  QTest::newRow("held at 4 s in the first minute") << 4000 << 30000 << 4000;
  QTest::newRow("grows after the first minute") << 4000 << 61000 << 8000;
  QTest::newRow("up to 10 s") << 8000 << 130000 << 10000;
  QTest::newRow("10 s after any outage") << 10000 << 3600000 << 10000;
  QTest::newRow("refused credentials stay at a minute") << 60000 << 1000 << 60000;
}

void TestMqtt::retryDelays() {
  QFETCH(int, delay);
  QFETCH(int, troubleMs);
  QFETCH(int, next);
  QCOMPARE(mqtt_next_retry_delay_ms(delay, troubleMs), next);
}

QTEST_GUILESS_MAIN(TestMqtt)
#include "test_mqtt.moc"
