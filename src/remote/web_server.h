#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <array>
#include <memory>

#include "remote/web_api.h"
#include "remote/web_settings.h"
#include "station/station.h"

class Alerts;
class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponder;
class QTcpServer;
class QWebSocket;

// The page in a browser and its API: a peer over one station, living on the station's thread
// (it calls the station's commands directly and reads it through its signals; the slow work, a
// password's hash and the record read from disk, runs on the thread pool and answers back here).
//
//   /, /app.js, /style.css   the page, from the program's resources
//   /api/...                 JSON (see web_api.h and the README's table); a session from
//                            POST /api/login, its token in X-CSRF-Token on every change
//   /api/live                a WebSocket pushing changed routes, the revision and the link
//   /healthz                 200 while the station runs and the board answers, 503 otherwise
//
// Every answer carries Content-Security-Policy "default-src 'self'" and refuses framing. A
// request body over kWebMaxBody is refused with 413 before it is read (the connection's buffer is
// bounded too); a request not complete within kRequestMs, and connections beyond kMaxConnections,
// are dropped.
//
// Changes of the entries are refused (409) while the entries differ from Note.ini (the window
// holds unsaved ones); otherwise they go into the station and are saved before the answer.
class WebServer : public QObject {
  Q_OBJECT
 public:
  static constexpr int kRequestMs = 30000;
  static constexpr int kMaxConnections = 256;
  static constexpr int kMaxRecordLines = 1000;
  static constexpr int kSessionCookieDays = 7;
  static constexpr int kMaxHashing = 2;          // passwords checked at once; more: 429
  static constexpr qint64 kMaxUnsent = 1 << 20;  // a live socket's unsent bytes before it goes

  // What configure() found, for the peers to word.
  enum class Outcome {
    Off,             // no port set
    Listening,       // serving
    NoPassword,      // a port but no password: not started
    CertUnreadable,  // CertFile or KeyFile could not be read as PEM
    CannotListen,    // the address or port could not be taken
  };
  Q_ENUM(Outcome)

  // station (and alerts, when given) must outlive the server; all live on one thread.
  explicit WebServer(Station& station, const Alerts* alerts = nullptr, QObject* parent = nullptr);
  ~WebServer() override;

  // Stops what runs and starts again with s (nothing happens when s is the same server as the one
  // running). Says cleartext() once per start on an address that
  // is not the loopback, without TLS.
  Outcome configure(const WebSettings& s);
  quint16 port() const { return port_; }
  const WebSettings& settings() const { return settings_; }
  int liveSockets() const { return static_cast<int>(live_.size()); }

  // The time the server reads (sessions' age, the brake); a test may set its own.
  void setMonotonicClock(std::function<qint64()> ms) { ms_ = std::move(ms); }

 signals:
  void started(WebServer::Outcome what, const WebSettings& settings);
  // Listening on another address than the loopback without TLS: passwords travel in clear.
  void cleartext(const QString& address);

 private:
  struct Reply;
  // An answer owed after this call: pending_ holds it, the work that answers only refers to it.
  using Later = std::weak_ptr<QHttpServerResponder>;
  void answerLater(const Later& later, const Reply& reply);
  void handle(const QHttpServerRequest& req, QHttpServerResponder&& responder);
  void send(QHttpServerResponder& r, const Reply& reply) const;
  Reply api(const QHttpServerRequest& req, const QString& path, const WebSessions::Session& s,
            const std::function<Later()>& later);
  void login(const QHttpServerRequest& req, const Later& r);
  Reply changeEntries(const QHttpServerRequest& req, const QString& key);
  Reply switchRoute(int route, const QByteArray& body);
  Reply renameRoute(int route, const QByteArray& body);
  Reply settings(const QByteArray& body);
  void record(const QHttpServerRequest& req, const Later& r);
  void plan(const QHttpServerRequest& req, const Later& r);
  Reply health() const;
  void acceptLive();
  void pushRoutes();
  void pushLink();
  void push(const QJsonObject& message);
  QJsonObject routeJson(int route) const;
  QJsonObject stateJson() const;
  QJsonObject entriesJson() const;
  void readNames();
  QByteArray sessionCookie(const QByteArray& id, int maxAgeSeconds) const;
  void stop();

  Station& station_;
  const Alerts* alerts_;
  WebSettings settings_;
  std::unique_ptr<QHttpServer> http_;
  std::vector<std::shared_ptr<QHttpServerResponder>> pending_;
  QThreadPool pool_;  // the password's hash and the record's reading
  int hashing_ = 0;
  quint16 port_ = 0;
  bool configured_ = false;
  Outcome outcome_ = Outcome::Off;
  WebSessions sessions_;
  LoginBrake brake_;
  QElapsedTimer clock_;
  std::function<qint64()> ms_;
  struct Live {
    QWebSocket* socket;
    QByteArray session;
  };
  std::vector<Live> live_;
  std::array<QJsonObject, kRouteCount + 1> sentRoutes_;  // what the live sockets last got
  std::array<QString, kRouteCount + 1> names_;
  quint64 sentRevision_ = 0;
  LampLooks lamps_{};
};
