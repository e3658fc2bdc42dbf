// The board through a real Mosquitto broker.
//   bench_mqtt [ROUNDS]        from a "set" published by another client to the set frame at the
//                              simulated board (goal: p95 under 50 ms), and from the board's
//                              change to the state message at that client (goal: p95 under
//                              50 ms); then the frames a minute on the idle link
//   bench_mqtt --outages 5,30,130
//                              the broker stopped for each of these seconds: how long after its
//                              return the program is connected again (goal: under 12 s)
//   bench_mqtt --flood MB      peak memory (VmHWM) while another client publishes a payload of MB
//                              megabytes on a set topic (goal: under 40 MB)
// With --paced as well, the simulated board answers at the pace of a 9600-baud line.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/startup.h"
#include "bench_support.h"
#include "relay_board.h"
#include "support/broker.h"
#include "support/logic_rig.h"
#include "support/scripted_prompt.h"

namespace {

void print(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  const auto at = [&](double q) { return quantile(ms, q); };
  std::printf("%-34s n=%zu  median %.1f ms  p95 %.1f ms  max %.1f ms\n", what, ms.size(), at(0.5),
              at(0.95), ms.back());
}

// This process's peak resident memory so far, in MB.
double peak_mb() {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').at(0).toDouble() / 1024;
  return -1;
}

MqttClient::Options peer_options(quint16 port) {
  MqttClient::Options o;
  o.host = QStringLiteral("127.0.0.1");
  o.port = port;
  o.user = QString::fromLatin1(Broker::kUser);
  o.password = QString::fromLatin1(Broker::kPassword);
  return o;
}

int latencies(AppLogic& logic, RelayBoard& board, quint16 port, int rounds) {
  // Another client, as Home Assistant would be.
  MqttClient peer;
  QByteArray lastState;  // "N ON" / "N OFF" of the last state message
  QElapsedTimer clock;
  clock.start();
  qint64 stateAt = 0;
  QObject::connect(&peer, &MqttClient::connected,
                   [&] { peer.subscribe("tavrel/1/route/+/state"); });
  QObject::connect(&peer, &MqttClient::message,
                   [&](const QByteArray& topic, const QByteArray& payload, bool retained) {
                     if (retained) return;
                     lastState = topic.split('/').value(3) + ' ' + payload;
                     stateAt = clock.elapsed();
                   });
  peer.start(peer_options(port));
  quint16 outputs = 0;
  qint64 frameAt = 0;
  QObject::connect(&board, &RelayBoard::outputsChanged, [&](quint16 now) {
    outputs = now;
    frameAt = clock.elapsed();
  });
  if (!wait_for([&] { return peer.state() == MqttClient::Connected; }, 10000)) return 1;
  wait_for([] { return false; }, 500);  // the retained states pass by

  std::vector<double> toFrame, toState;
  for (int i = 0; i < rounds; ++i) {
    const int route = i % 16 + 1;
    const bool on = (i / 16) % 2 == 0;
    const quint16 want =
        on ? quint16(outputs | (1u << (route - 1))) : quint16(outputs & ~(1u << (route - 1)));
    const QByteArray expected = QByteArray::number(route) + (on ? " ON" : " OFF");
    // Commands come at any moment of the push cycle.
    wait_for([] { return false; }, 100 + QRandomGenerator::global()->bounded(300));
    const qint64 t0 = clock.elapsed();
    peer.publish("tavrel/1/route/" + QByteArray::number(route) + "/set", on ? "ON" : "OFF", false);
    if (!wait_for([&] { return outputs == want; }, 3000) ||
        !wait_for([&] { return lastState == expected; }, 3000)) {
      std::fprintf(stderr, "round %d: no switch or no state\n", i);
      return 1;
    }
    toFrame.push_back(double(frameAt - t0));
    toState.push_back(double(stateAt - frameAt));
  }
  print("set published -> set frame at board", toFrame);
  print("board change -> state at subscriber", toState);

  int frames = 0;
  QObject::connect(&board, &RelayBoard::commandReceived, [&] { ++frames; });
  wait_for([] { return false; }, 60000);
  std::printf("frames on the idle link: %d a minute (5 a second: 300)\n", frames);
  (void)logic;
  return 0;
}

int outages(AppLogic& logic, Broker& broker, const QList<QByteArray>& seconds) {
  for (const QByteArray& s : seconds) {
    broker.stop();
    if (!wait_for([&] { return logic.bridge().state() != MqttClient::Connected; }, 10000)) return 1;
    wait_for([] { return false; }, s.toInt() * 1000);
    if (!broker.start()) return 1;
    QElapsedTimer back;
    back.start();
    if (!wait_for([&] { return logic.bridge().state() == MqttClient::Connected; }, 120000))
      return 1;
    std::printf("broker away %3d s: connected again %.1f s after its return\n", s.toInt(),
                back.elapsed() / 1000.0);
  }
  return 0;
}

int flood(AppLogic& logic, quint16 port, int megabytes) {
  wait_for([] { return false; }, 1000);
  const double before = peak_mb();
  QProcess pub;
  pub.start(QStringLiteral("mosquitto_pub"),
            {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
             QString::number(port), QStringLiteral("-u"), QString::fromLatin1(Broker::kUser),
             QStringLiteral("-P"), QString::fromLatin1(Broker::kPassword), QStringLiteral("-t"),
             QStringLiteral("tavrel/1/route/1/set"), QStringLiteral("-s")});
  if (!pub.waitForStarted()) return 1;
  const QByteArray chunk(1 << 20, 'x');
  for (int i = 0; i < megabytes; ++i) {
    pub.write(chunk);
    wait_for([&] { return pub.bytesToWrite() < (4 << 20); }, 10000);
  }
  pub.closeWriteChannel();
  wait_for([&] { return pub.state() == QProcess::NotRunning; }, 120000);
  wait_for([] { return false; }, 3000);  // the broker delivers (or does not)
  std::printf(
      "peak memory: %.1f MB before, %.1f MB after a %d MB payload on a set topic "
      "(connected with MQTT %d, still connected: %s)\n",
      before, peak_mb(), megabytes, logic.bridge().client().protocolVersion(),
      logic.bridge().state() == MqttClient::Connected ? "yes" : "no");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  Broker broker;
  if (!broker.start()) {
    std::fprintf(stderr, "mosquitto did not start\n");
    return 1;
  }
  QTemporaryDir dir;
  RelayBoard::Options paced;
  paced.pace = args.removeAll(QStringLiteral("--paced")) > 0;  // replies at 9600 baud's pace
  RelayBoard board(paced);
  if (!board.open(dir.filePath("dosdevices/com1"), nullptr)) return 1;
  QFile ini(dir.filePath("Name.ini"));
  if (!ini.open(QIODevice::WriteOnly)) return 1;
  ini.write(QStringLiteral("[Note]\r\nOpen=1\r\n[Mqtt]\r\nHost=127.0.0.1\r\nPort=%1\r\nUser=%2\r\n"
                           "Password=%3\r\n")
                .arg(broker.port())
                .arg(QString::fromLatin1(Broker::kUser), QString::fromLatin1(Broker::kPassword))
                .toUtf8());
  ini.close();
  ScriptedPrompt prompt;
  Plant plant(dir.path(), prompt);
  AppLogic& logic = plant.logic;
  run_startup(logic, logic.settings().load());
  if (!wait_for(
          [&] {
            return logic.bridge().state() == MqttClient::Connected &&
                   logic.station().link().answering();
          },
          10000)) {
    std::fprintf(stderr, "no connection\n");
    return 1;
  }
  if (args.value(0) == QLatin1String("--outages"))
    return outages(logic, broker, args.value(1).toLatin1().split(','));
  if (args.value(0) == QLatin1String("--flood"))
    return flood(logic, broker.port(), args.value(1).toInt());
  return latencies(logic, board, broker.port(), std::max(10, args.value(0, "60").toInt()));
}
