// The page's live socket: from the station's report of a changed board (its lamps) to the message
// at a browser's socket, in one process on loopback, as the p50 and p95 over ROUNDS changes.
//   bench_web [ROUNDS]
// bench_web.py measures the rest against the real program (page weight, sockets, memory).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebSocket>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "bench_support.h"
#include "relay_board.h"
#include "remote/web_server.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 100;
  QTemporaryDir dir;
  RelayBoard board({});
  board.open(dir.filePath("dosdevices/com1"), nullptr);
  Station station(dir.path());
  QElapsedTimer clock;
  clock.start();
  qint64 reportedAt = -1;
  // Connected before the server's own slot: the moment the station tells.
  QObject::connect(&station, &Station::lampsChanged, [&] { reportedAt = clock.nsecsElapsed(); });
  WebServer web(station);
  WebSettings s;
  s.passwordHash = web_password_hash(QStringLiteral("pw"), 1000);
  for (s.port = 25000; web.configure(s) != WebServer::Outcome::Listening; ++s.port) {
  }
  station.start();
  station.openLink(true);
  if (!wait_for([&] { return station.health() == LinkHealth::Answering; }, 5000))
    return std::fprintf(stderr, "board does not answer\n"), 1;

  QNetworkAccessManager net;
  const QString base = QStringLiteral("http://127.0.0.1:%1").arg(s.port);
  QNetworkReply* login = net.post(
      [&] {
        QNetworkRequest r(QUrl(base + QStringLiteral("/api/login")));
        r.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        return r;
      }(),
      QByteArray(R"({"password":"pw"})"));
  wait_for([&] { return login->isFinished(); }, 5000);
  QByteArray cookie;
  for (const QNetworkCookie& c : net.cookieJar()->cookiesForUrl(QUrl(base)))
    cookie = c.name() + '=' + c.value();
  QNetworkRequest live(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/live").arg(s.port)));
  live.setRawHeader("Cookie", cookie);
  live.setRawHeader("Origin", base.toLatin1());
  QWebSocket socket;
  std::vector<double> ms;
  int hello = 0;
  QObject::connect(&socket, &QWebSocket::textMessageReceived, [&](const QString& text) {
    const QJsonObject o = QJsonDocument::fromJson(text.toUtf8()).object();
    if (o.contains(QStringLiteral("link")) && o.contains(QStringLiteral("routes")))
      ++hello;
    else if (o.contains(QStringLiteral("routes")) && reportedAt >= 0)
      ms.push_back((clock.nsecsElapsed() - reportedAt) / 1e6), reportedAt = -1;
  });
  socket.open(live);
  if (!wait_for([&] { return hello == 1; }, 5000))
    return std::fprintf(stderr, "live socket refused\n"), 1;
  for (int i = 0; i < rounds; ++i) {
    const size_t before = ms.size();
    station.want(1 + i % 16, (i / 16) % 2 == 0, RecordCause::Manual);
    wait_for([&] { return ms.size() > before; }, 3000);
  }
  std::sort(ms.begin(), ms.end());
  if (ms.empty()) return std::fprintf(stderr, "no message\n"), 1;
  std::printf("report -> live socket message: n=%zu  p50 %.2f ms  p95 %.2f ms  max %.2f ms\n",
              ms.size(), quantile(ms, 0.5), quantile(ms, 0.95), ms.back());
  return 0;
}
