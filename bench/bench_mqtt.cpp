// The board through a real Mosquitto broker: from a "set" published by another client to the set
// frame at the simulated board (goal: p95 under 50 ms), and from the board's change to the state
// message at that client (the board's report counts once two replies agree, so the periodic
// 200 ms query paces it).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/app_logic.h"
#include "app/startup.h"
#include "relay_board.h"
#include "support/broker.h"
#include "support/scripted_prompt.h"

namespace {

void print(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  const auto at = [&](double q) { return ms[std::min(ms.size() - 1, size_t(q * ms.size()))]; };
  std::printf("%-34s n=%zu  median %.1f ms  p95 %.1f ms  max %.1f ms\n", what, ms.size(), at(0.5),
              at(0.95), ms.back());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 60;
  Broker broker;
  if (!broker.start()) {
    std::fprintf(stderr, "mosquitto did not start\n");
    return 1;
  }
  QTemporaryDir dir;
  RelayBoard board({});
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
  AppLogic logic(dir.path(), prompt);
  run_startup(logic, logic.settings().load());

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
  MqttClient::Options o;
  o.host = QStringLiteral("127.0.0.1");
  o.port = broker.port();
  o.user = QString::fromLatin1(Broker::kUser);
  o.password = QString::fromLatin1(Broker::kPassword);
  peer.start(o);
  quint16 outputs = 0;
  qint64 frameAt = 0;
  QObject::connect(&board, &RelayBoard::outputsChanged, [&](quint16 now) {
    outputs = now;
    frameAt = clock.elapsed();
  });
  auto waitFor = [&](const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return done();
  };
  if (!waitFor(
          [&] {
            return peer.state() == MqttClient::Connected &&
                   logic.mqtt().state() == MqttClient::Connected && logic.link().answering();
          },
          10000)) {
    std::fprintf(stderr, "no connection\n");
    return 1;
  }
  waitFor([] { return false; }, 500);  // the retained states pass by

  std::vector<double> toFrame, toState;
  for (int i = 0; i < rounds; ++i) {
    const int route = i % 16 + 1;
    const bool on = (i / 16) % 2 == 0;
    const quint16 want =
        on ? quint16(outputs | (1u << (route - 1))) : quint16(outputs & ~(1u << (route - 1)));
    const QByteArray expected = QByteArray::number(route) + (on ? " ON" : " OFF");
    // Commands come at any moment of the push cycle.
    waitFor([] { return false; }, 100 + QRandomGenerator::global()->bounded(300));
    const qint64 t0 = clock.elapsed();
    peer.publish("tavrel/1/route/" + QByteArray::number(route) + "/set", on ? "ON" : "OFF", false);
    if (!waitFor([&] { return outputs == want; }, 3000) ||
        !waitFor([&] { return lastState == expected; }, 3000)) {
      std::fprintf(stderr, "round %d: no switch or no state\n", i);
      return 1;
    }
    toFrame.push_back(double(frameAt - t0));
    toState.push_back(double(stateAt - frameAt));
  }
  print("set published -> set frame at board", toFrame);
  print("board change -> state at subscriber", toState);
  return 0;
}
