// The alerts, against the simulated board and a webhook receiver on loopback.
//   bench_alerts [ROUNDS] [--idle SECONDS]
// For each condition, from its cause (the board silenced, a relay stuck, the port pulled, the
// record made unwritable, the clock set ahead, an entry due while the link is closed, the broker
// unreachable) to the webhook's POST at the receiver; the conditions' own definitions come first
// (2 s of silence or difference, 60 s without the broker), the goal is within 10 s after that.
// Then the CPU a second of an idle answering link, without and with the alerts (goal: the same).
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "bench_support.h"
#include "relay_board.h"
#include "remote/alerts.h"
#include "remote/mqtt_bridge.h"
#include "support/entries.h"
#include "support/webhook_receiver.h"

namespace {

double cpu_ms() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
         (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

struct Rig {
  QTemporaryDir dir;
  RelayBoard board;
  qint64 shift = 0;
  Station station{dir.path(), [this] { return QDateTime::currentDateTime().addSecs(shift); }};
  MqttBridge bridge{station};
  Receiver receiver;
  std::unique_ptr<Alerts> alerts;
  Rig(bool withAlerts, quint16 stuck = 0)
      : board([stuck] {
          RelayBoard::Options o;
          o.stuck = stuck;
          return o;
        }()) {
    board.open(dir.filePath("dosdevices/com1"), nullptr);
    station.start();
    if (withAlerts) {
      alerts = std::make_unique<Alerts>(station, &bridge);
      alerts->configure({receiver.url(), {}});
    }
  }
  bool open() {
    station.openLink(true);
    if (alerts) alerts->start();
    return wait_for([&] { return station.health() == LinkHealth::Answering; }, 5000);
  }
};

void print(const char* what, std::vector<double> ms) {
  if (ms.empty()) return (void)std::printf("%-22s no POST\n", what);
  std::sort(ms.begin(), ms.end());
  std::printf("%-22s n=%zu  median %.0f ms  max %.0f ms\n", what, ms.size(), ms[ms.size() / 2],
              ms.back());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  int rounds = 3, idle = 20;
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == QLatin1String("--idle") && i + 1 < args.size())
      idle = args[++i].toInt();
    else
      rounds = std::max(1, args[i].toInt());
  }
  const char* names[] = {"board-silent", "relay-not-following", "port-lost",  "record-unwritable",
                         "clock-jump",   "entries-missed",      "broker-lost"};
  for (int c = 0; c < 7; ++c) {
    std::vector<double> ms;
    for (int r = 0; r < rounds; ++r) {
      Rig rig(true, c == 1 ? 0x0004 : 0);
      if (c != 5 && !rig.open()) return std::fprintf(stderr, "board does not answer\n"), 1;
      if (c == 4) {
        rig.station.setAuto(true);
        wait_for([] { return false; }, 1200);
      }
      EntryCollection entries;
      entries.add(
          QStringLiteral("key0101"),
          entry(QStringLiteral("11000000000100000000") +
                QDateTime::currentDateTime().addSecs(1).toString(QStringLiteral("HHmmss"))));
      QTcpServer closed;
      closed.listen(QHostAddress::LocalHost);
      const quint16 closedPort = closed.serverPort();
      closed.close();
      QElapsedTimer t;
      t.start();
      switch (c) {
        case 0:
          rig.board.setSilent(true);
          break;
        case 1:
          rig.station.want(3, true, RecordCause::Manual);
          break;
        case 2:
          rig.board.close();
          break;
        case 3: {
          const QString log = rig.station.record().logFolder();
          QDir(log).removeRecursively();
          QFile(log).open(QIODevice::WriteOnly);
          rig.station.record(0, RecordAction::PortOpened, RecordCause::None);
          break;
        }
        case 4:
          rig.shift = 3600;
          break;
        case 5:
          rig.station.setEntries(entries, 0, true);
          rig.station.setAuto(true);
          rig.alerts->start();
          break;  // the entry falls due within the next second or so
        case 6: {
          MqttSettings s;
          s.present = true;
          s.host = QStringLiteral("127.0.0.1");
          s.port = closedPort;
          rig.bridge.configure(s);
          break;
        }
      }
      if (wait_for([&] { return !rig.receiver.posts.isEmpty(); }, c == 6 ? 75000 : 20000))
        ms.push_back(static_cast<double>(t.elapsed()));
    }
    print(names[c], ms);
  }
  for (const bool withAlerts : {false, true}) {
    Rig rig(withAlerts);
    if (!rig.open()) return 1;
    wait_for([] { return false; }, 1000);
    const double before = cpu_ms();
    QEventLoop loop;  // nothing of the bench's own wakes it meanwhile
    QTimer::singleShot(idle * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    std::printf("idle CPU %-14s %.2f ms/s\n", withAlerts ? "with alerts" : "without alerts",
                (cpu_ms() - before) / idle);
  }
  return 0;
}
