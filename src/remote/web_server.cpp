#include "remote/web_server.h"

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPasswordDigestor>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThreadPool>
#include <QUrlQuery>
#include <QWebSocket>
#include <QtConcurrent/QtConcurrentRun>

#include "core/due_moments.h"
#include "editing/entry_text.h"
#include "editing/route_pages.h"
#include "remote/alerts.h"
#include "station/record_line.h"

namespace {

using Status = QHttpServerResponder::StatusCode;
const QByteArray kCookie = QByteArrayLiteral("tavrel_session");
constexpr qsizetype kHeadMax = 16 * 1024;  // the request line and the headers

// The words of this peer (the page shows them as they are).
struct Web {
  Q_DECLARE_TR_FUNCTIONS(WebServer)
};

QString dialog_word(const char* text) { return QCoreApplication::translate("Dialog", text); }

// A request that has gone on too long, or one whose head says its body is too large, gets its
// answer here, before the HTTP server reads it; what else arrives is read and dropped.
void refuse_early(QTcpSocket* s, int status, const QByteArray& reason, const QString& error) {
  QObject::disconnect(s, &QTcpSocket::readyRead, nullptr, nullptr);
  const QByteArray body =
      QJsonDocument(QJsonObject{{QStringLiteral("error"), error}}).toJson(QJsonDocument::Compact);
  s->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
           "\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body);
  QObject::connect(s, &QTcpSocket::readyRead, s, [s] {
    char drop[4096];
    while (s->read(drop, sizeof drop) > 0) {
    }
  });
  s->disconnectFromHost();
  QTimer::singleShot(2000, s, [s] { s->abort(); });
}

// Looks at each request's head as it begins, before the HTTP server reads it: a declared body
// over kWebMaxBody, or one of unknown length, is refused with 413 unread; a head over kHeadMax
// with 431. A request not complete after kRequestMs and connections beyond kMaxConnections are
// dropped. The socket's buffer holds at most a head and a body.
template <class Base>
class GuardedServer : public Base {
 public:
  using Base::Base;

  QTcpSocket* nextPendingConnection() override {
    QTcpSocket* s = Base::nextPendingConnection();
    if (!s) return s;
    s->setReadBufferSize(kHeadMax + kWebMaxBody);
    ++open_;
    QObject::connect(s, &QObject::destroyed, this, [this] { --open_; });
    if (open_ > WebServer::kMaxConnections) {
      s->abort();
      s->deleteLater();
      return s;  // the HTTP server finds it closed
    }
    // A request under way must be complete, and a connection idle, within kRequestMs; the
    // live sockets leave this watch when they are handed on (their signals are taken away).
    auto* limit = new QTimer(s);
    limit->setInterval(WebServer::kRequestMs / 3);
    auto quiet = std::make_shared<int>(0);  // the watch's ticks without a byte either way
    const auto reading = std::make_shared<QMetaObject::Connection>(
        QObject::connect(s, &QTcpSocket::readyRead, s, [s, quiet] {
          *quiet = 0;
          inspect(s);
        }));
    QObject::connect(s, &QTcpSocket::bytesWritten, s, [quiet] { *quiet = 0; });
    QObject::connect(limit, &QTimer::timeout, s, [s, quiet, reading, limit] {
      if (!*reading) return limit->stop();  // handed on to the WebSocket server
      if (++*quiet >= 3) s->abort();
    });
    limit->start();
    return s;
  }

 private:
  static void inspect(QTcpSocket* s) {
    // Its head was looked at when it began, or the server has let it go meanwhile.
    if (s->isTransactionStarted() || !s->isOpen()) return;
    const QByteArray head = s->peek(kHeadMax);
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0) {
      if (head.size() >= kHeadMax)
        refuse_early(s, 431, "Request Header Fields Too Large", Web::tr("请求过大"));
      return;
    }
    for (const QByteArray& line : head.left(end).split('\n')) {
      const qsizetype colon = line.indexOf(':');
      if (colon < 0) continue;
      const QByteArray name = line.left(colon).trimmed().toLower();
      const QByteArray value = line.mid(colon + 1).trimmed();
      bool ok = false;
      if ((name == "content-length" && (value.toLongLong(&ok) > kWebMaxBody || !ok)) ||
          name == "transfer-encoding") {
        refuse_early(s, 413, "Payload Too Large", Web::tr("请求过大"));
        return;
      }
    }
  }

  int open_ = 0;
};

QJsonValue tri(std::optional<bool> v) { return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null); }

std::optional<bool> wanted_of(qint32 state) {
  if (state == kEnergise) return true;
  if (state == kRelease) return false;
  return std::nullopt;
}

std::optional<bool> reported_of(LampLook l) {
  if (l == LampLook::Energised) return true;
  if (l == LampLook::Released) return false;
  return std::nullopt;
}

int route_of(const QString& text) {
  bool ok = false;
  const int r = text.toInt(&ok);
  return ok && r >= 1 && r <= kRouteCount ? r : 0;
}

QJsonValue revision_json(quint64 r) { return static_cast<qint64>(r); }

bool loopback(const QString& address) {
  const QHostAddress a(address);
  return a.isLoopback() || address == QLatin1String("localhost");
}

}  // namespace

// One answer: a status, a JSON body (or the bytes of a file) and extra headers.
struct WebServer::Reply {
  int status = 200;
  QJsonObject json;
  QByteArray bytes;
  QByteArray mime;
  QList<QPair<QByteArray, QByteArray>> headers;

  Reply() = default;
  Reply(int s, QJsonObject j) : status(s), json(std::move(j)) {}
  static Reply error(int s, const QString& text) {
    return Reply(s, QJsonObject{{QStringLiteral("error"), text}});
  }
};

WebServer::WebServer(Station& station, const Alerts* alerts, QObject* parent)
    : QObject(parent), station_(station), alerts_(alerts) {
  pool_.setMaxThreadCount(kMaxHashing);
  clock_.start();
  ms_ = [this] { return clock_.elapsed(); };
  readNames();
  lamps_ = station_.lamps();
  connect(&station_, &Station::lampsChanged, this, [this](const LampLooks& l) {
    lamps_ = l;
    pushRoutes();
  });
  connect(&station_, &Station::wantedChanged, this, &WebServer::pushRoutes);
  connect(&station_, &Station::nextChanged, this, &WebServer::pushRoutes);
  connect(&station_, &Station::namesChanged, this, [this] {
    readNames();
    pushRoutes();
  });
  connect(&station_, &Station::healthChanged, this, &WebServer::pushLink);
  connect(&station_, &Station::autoChanged, this, [this] {
    pushLink();
    pushRoutes();  // the next switches show only while the timetable runs
  });
  connect(&station_, &Station::restoreChanged, this, &WebServer::pushLink);
  connect(&station_, &Station::entriesChanged, this, [this](const EntrySnapshot& s) {
    if (s.revision == sentRevision_) return;
    sentRevision_ = s.revision;
    push(QJsonObject{{QStringLiteral("revision"), revision_json(s.revision)}});
  });
  sentRevision_ = station_.snapshot().revision;
}

WebServer::~WebServer() {
  stop();
  // What still reads the station's record on the pool ends before the station may.
  pool_.waitForDone();
}

void WebServer::stop() {
  for (const Live& l : std::exchange(live_, {})) {
    QObject::disconnect(l.socket, nullptr, this, nullptr);
    l.socket->abort();
    l.socket->deleteLater();
  }
  // The answers still owed go before their server: each holds on to its connection.
  pending_.clear();
  http_.reset();
  port_ = 0;
}

WebServer::Outcome WebServer::configure(const WebSettings& s) {
  if (configured_ && outcome_ == Outcome::Listening && s.sameServer(settings_)) {
    settings_ = s;
    return outcome_;
  }
  configured_ = true;
  stop();
  settings_ = s;
  Outcome outcome = Outcome::Off;
  const auto done = [&](Outcome o) {
    outcome_ = o;
    emit started(o, settings_);
    return o;
  };
  if (!s.enabled()) return done(outcome);
  if (s.passwordHash.isEmpty()) return done(Outcome::NoPassword);
  std::unique_ptr<QTcpServer> tcp;
  if (s.tls()) {
    QFile certFile(s.certFile), keyFile(s.keyFile);
    const QList<QSslCertificate> chain = certFile.open(QIODevice::ReadOnly)
                                             ? QSslCertificate::fromDevice(&certFile)
                                             : QList<QSslCertificate>();
    QByteArray keyPem;
    if (keyFile.open(QIODevice::ReadOnly)) keyPem = keyFile.read(1024 * 1024);
    QSslKey key(keyPem, QSsl::Rsa);
    if (key.isNull()) key = QSslKey(keyPem, QSsl::Ec);
    if (chain.isEmpty() || key.isNull()) return done(Outcome::CertUnreadable);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    auto server = std::make_unique<GuardedServer<QSslServer>>();
    server->setSslConfiguration(tls);
    tcp = std::move(server);
  } else {
    tcp = std::make_unique<GuardedServer<QTcpServer>>();
  }
  const QHostAddress address(s.address == QLatin1String("localhost") ? QStringLiteral("127.0.0.1")
                                                                     : s.address);
  if (address.isNull() || !tcp->listen(address, s.port)) return done(Outcome::CannotListen);
  port_ = tcp->serverPort();
  http_ = std::make_unique<QHttpServer>();
  // The live socket's upgrade must find a route; its session is checked once it is open.
  http_->route(QStringLiteral("/api/live"),
               [](const QHttpServerRequest& req, QHttpServerResponder&& r) {
                 // An upgrade goes on to the WebSocket server untouched; anything else is told.
                 if (req.value("Upgrade").compare("websocket", Qt::CaseInsensitive) != 0)
                   r.write(QHttpServerResponder::StatusCode::UpgradeRequired);
               });
  http_->setMissingHandler([this](const QHttpServerRequest& req, QHttpServerResponder&& r) {
    handle(req, std::move(r));
  });
  connect(http_.get(), &QHttpServer::newWebSocketConnection, this, &WebServer::acceptLive);
  http_->bind(tcp.release());
  if (!s.tls() && !loopback(s.address)) emit cleartext(s.address);
  return done(Outcome::Listening);
}

// --- answers ---

void WebServer::send(QHttpServerResponder& r, const Reply& reply) const {
  const auto status = static_cast<Status>(reply.status);
  QHttpServerResponse response =
      reply.mime.isEmpty()
          ? QHttpServerResponse(QByteArrayLiteral("application/json"),
                                QJsonDocument(reply.json).toJson(QJsonDocument::Compact), status)
          : QHttpServerResponse(reply.mime, reply.bytes, status);
  response.setHeader("Content-Security-Policy",
                     "default-src 'self'; frame-ancestors 'none'; base-uri 'none'; "
                     "form-action 'self'");
  response.setHeader("X-Frame-Options", "DENY");
  response.setHeader("X-Content-Type-Options", "nosniff");
  response.setHeader("Referrer-Policy", "no-referrer");
  response.setHeader("Cache-Control", "no-store");
  for (const auto& [name, value] : reply.headers) response.addHeader(name, value);
  response.write(std::move(r));
}

QByteArray WebServer::sessionCookie(const QByteArray& id, int maxAgeSeconds) const {
  QByteArray c = kCookie + '=' + id + "; Path=/; HttpOnly; SameSite=Strict; Max-Age=" +
                 QByteArray::number(maxAgeSeconds);
  if (settings_.tls()) c += "; Secure";
  return c;
}

void WebServer::handle(const QHttpServerRequest& req, QHttpServerResponder&& responder) {
  const QString path = req.url().path();
  const auto method = req.method();
  // Anything held beyond this call (a login's hash, the record read from disk) answers later,
  // from pending_, which the server empties before it goes.
  auto held = std::make_shared<QHttpServerResponder>(std::move(responder));
  const auto answer = [&](const Reply& reply) { send(*held, reply); };
  const auto later = [&] {
    pending_.push_back(held);
    return Later(held);
  };

  if (method == QHttpServerRequest::Method::Get) {
    static const QHash<QString, QPair<QString, QByteArray>> files{
        {QStringLiteral("/"), {QStringLiteral(":/web/index.html"), "text/html; charset=utf-8"}},
        {QStringLiteral("/app.js"),
         {QStringLiteral(":/web/app.js"), "text/javascript; charset=utf-8"}},
        {QStringLiteral("/style.css"),
         {QStringLiteral(":/web/style.css"), "text/css; charset=utf-8"}},
        {QStringLiteral("/icon.svg"), {QStringLiteral(":/web/icon.svg"), "image/svg+xml"}},
    };
    const auto file = files.constFind(path);
    if (file != files.cend()) {
      QFile f(file->first);
      if (f.open(QIODevice::ReadOnly)) {
        Reply r;
        r.bytes = f.readAll();
        r.mime = file->second;
        return answer(r);
      }
    }
    if (path == QLatin1String("/healthz")) return answer(health());
  }
  if (!path.startsWith(QLatin1String("/api/")))
    return answer(Reply::error(404, Web::tr("没有此页")));
  if (req.body().size() > kWebMaxBody) return answer(Reply::error(413, Web::tr("请求过大")));
  const bool changes = method != QHttpServerRequest::Method::Get;
  if (path == QLatin1String("/api/login") && method == QHttpServerRequest::Method::Post)
    return login(req, later());

  const QByteArray id = web_cookie(req.value("Cookie"), kCookie);
  const WebSessions::Session* session = id.isEmpty() ? nullptr : sessions_.use(id, ms_());
  if (!session) return answer(Reply::error(401, Web::tr("请先登录")));
  if (changes && req.value("X-CSRF-Token") != session->csrf)
    return answer(Reply::error(403, Web::tr("请求被拒绝")));
  const WebSessions::Session s = *session;
  Reply reply = api(req, path, s, later);
  if (reply.status == 0) return;  // answered later
  if (path != QLatin1String("/api/logout"))
    reply.headers.append({"Set-Cookie", sessionCookie(s.id, kSessionCookieDays * 86400)});
  answer(reply);
}

WebServer::Reply WebServer::api(const QHttpServerRequest& req, const QString& path,
                                const WebSessions::Session& s,
                                const std::function<Later()>& later) {
  using M = QHttpServerRequest::Method;
  const M method = req.method();
  const QStringList parts = path.mid(5).split(QLatin1Char('/'));  // after "/api/"
  const QString first = parts.value(0);
  Reply later_reply;
  later_reply.status = 0;

  if (first == QLatin1String("logout") && parts.size() == 1 && method == M::Post) {
    sessions_.end(s.id);
    for (const Live& l : std::vector<Live>(live_))  // closing one takes it out of live_
      if (l.session == s.id) l.socket->close(QWebSocketProtocol::CloseCode(4401));
    Reply r(200, {});
    r.headers.append({"Set-Cookie", sessionCookie("", 0)});
    return r;
  }
  if (first == QLatin1String("session") && parts.size() == 1 && method == M::Get)
    return Reply(200, {{QStringLiteral("csrf"), QString::fromLatin1(s.csrf)}});
  if (first == QLatin1String("state") && parts.size() == 1 && method == M::Get)
    return Reply(200, stateJson());
  if (first == QLatin1String("entries")) {
    if (parts.size() == 1 && method == M::Get) return Reply(200, entriesJson());
    if (parts.size() == 1 && method == M::Post) return changeEntries(req, {});
    if (parts.size() == 2 && (method == M::Put || method == M::Delete))
      return changeEntries(req, parts[1]);
  }
  if (first == QLatin1String("routes") && parts.size() == 3) {
    const int route = route_of(parts[1]);
    if (route == 0) return Reply::error(404, Web::tr("没有此页"));
    if (parts[2] == QLatin1String("switch") && method == M::Post)
      return switchRoute(route, req.body());
    if (parts[2] == QLatin1String("name") && method == M::Put)
      return renameRoute(route, req.body());
  }
  if (first == QLatin1String("settings") && parts.size() == 1 && method == M::Put)
    return settings(req.body());
  if (first == QLatin1String("record") && parts.size() == 1 && method == M::Get)
    return record(req, later()), later_reply;
  if (first == QLatin1String("plan") && parts.size() == 1 && method == M::Get)
    return plan(req, later()), later_reply;
  return Reply::error(404, Web::tr("没有此页"));
}

void WebServer::answerLater(const Later& later, const Reply& reply) {
  const std::shared_ptr<QHttpServerResponder> r = later.lock();
  if (!r) return;  // the server was stopped meanwhile
  send(*r, reply);
  pending_.erase(std::remove(pending_.begin(), pending_.end(), r), pending_.end());
}

void WebServer::login(const QHttpServerRequest& req, const Later& r) {
  const QString from = req.remoteAddress().toString();
  if (const int wait = brake_.retryAfter(from, ms_()); wait > 0) {
    Reply reply = Reply::error(429, Web::tr("尝试次数过多，请 %1 秒后再试").arg(wait));
    reply.headers.append({"Retry-After", QByteArray::number(wait)});
    return answerLater(r, reply);
  }
  if (hashing_ >= kMaxHashing) {  // a flood of logins: each waits its turn, not in a queue here
    Reply reply = Reply::error(429, Web::tr("尝试次数过多，请 %1 秒后再试").arg(1));
    reply.headers.append({QByteArrayLiteral("Retry-After"), QByteArrayLiteral("1")});
    return answerLater(r, reply);
  }
  // Counted as a failure until it proves right, so logins sent at once cannot pass the brake.
  brake_.failed(from, ms_());
  ++hashing_;
  const std::optional<QJsonObject> body = web_json_object(req.body());
  const QString password = body ? body->value(QStringLiteral("password")).toString() : QString();
  // Read afresh: tavrel --web-password may have set a new one meanwhile.
  QString stored = WebSettings::read(station_.settings().load()).passwordHash;
  if (stored.isEmpty()) stored = settings_.passwordHash;
  // The hash takes a tenth of a second: on the pool, never on the station's thread.
  QtConcurrent::run(&pool_, [stored, password] {
    return web_password_matches(stored, password);
  }).then(this, [this, r, from](bool ok) {
    --hashing_;
    if (!ok) return answerLater(r, Reply::error(401, Web::tr("密码错误")));
    brake_.forgetLast(from);
    const WebSessions::Session s = sessions_.create(ms_());
    Reply reply(200, {{QStringLiteral("csrf"), QString::fromLatin1(s.csrf)}});
    reply.headers.append({"Set-Cookie", sessionCookie(s.id, kSessionCookieDays * 86400)});
    answerLater(r, reply);
  });
}

// --- state and entries ---

void WebServer::readNames() {
  const ProfileFile names = station_.settings().load();
  for (int r = 1; r <= kRouteCount; ++r)
    names_[static_cast<size_t>(r)] =
        SettingsStore::stored(names, SettingsStore::routeKey(r)).trimmed().isEmpty()
            ? QString()  // unnamed
            : station_.settings().ReadRouteName(names, r).trimmed();
}

QJsonObject WebServer::routeJson(int route) const {
  const auto i = static_cast<size_t>(route);
  const std::optional<RouteSwitch> next =
      station_.autoAllowed() ? station_.nextSwitches()[i] : std::nullopt;
  return QJsonObject{
      {QStringLiteral("route"), route},
      {QStringLiteral("name"), names_[i]},
      {QStringLiteral("wanted"), tri(wanted_of(station_.link().nState()[i]))},
      {QStringLiteral("reported"), tri(reported_of(lamps_[i - 1]))},
      {QStringLiteral("next"), next ? web_time(next->at) : QJsonValue(QJsonValue::Null)},
      {QStringLiteral("nextOn"), next ? QJsonValue(next->energise) : QJsonValue(QJsonValue::Null)},
  };
}

QJsonObject WebServer::stateJson() const {
  QJsonArray routes;
  for (int r = 1; r <= kRouteCount; ++r) routes.append(routeJson(r));
  return QJsonObject{{QStringLiteral("revision"), revision_json(station_.snapshot().revision)},
                     {QStringLiteral("link"), web_link_word(station_.health())},
                     {QStringLiteral("auto"), station_.autoAllowed()},
                     {QStringLiteral("restore"), station_.restore()},
                     {QStringLiteral("routes"), routes}};
}

QJsonObject WebServer::entriesJson() const {
  QJsonArray entries;
  for (const EntryCollection::Item& it : station_.entries())
    entries.append(web_entry_json(it.key, *it.entry, entry_text(*it.entry)));
  return QJsonObject{{QStringLiteral("revision"), revision_json(station_.snapshot().revision)},
                     {QStringLiteral("entries"), entries}};
}

WebServer::Reply WebServer::changeEntries(const QHttpServerRequest& req, const QString& key) {
  // The window's unsaved entries are never saved behind its back.
  if (station_.modified()) return Reply::error(409, Web::tr("窗口中有未保存的修改"));
  const EntrySnapshot before = station_.snapshot();
  QByteArray match = req.value("If-Match").trimmed();
  if (match.startsWith("W/")) match = match.mid(2);
  if (match.size() >= 2 && match.startsWith('"') && match.endsWith('"'))
    match = match.mid(1, match.size() - 2);
  bool ok = false;
  const quint64 base = match.toULongLong(&ok);
  if (!ok) return Reply::error(428, Web::tr("缺少版本号"));
  if (base != before.revision) return Reply::error(409, Web::tr("条目已被修改，请刷新"));

  EntryCollection entries = station_.entries().clone();
  const bool wasEmpty = entries.isEmpty();
  const auto method = req.method();
  EntryPtr old = key.isEmpty() ? nullptr : entries.item(key);
  if (!key.isEmpty() && !old) return Reply::error(404, Web::tr("没有此条目"));
  EntryPtr written;
  if (method == QHttpServerRequest::Method::Delete) {
    remove_entries(entries, {old});
    rebuild_keys(entries);
  } else {
    WebEntry w;
    switch (read_web_entry(req.body(), &w)) {
      case WebEntryError::None:
        break;
      case WebEntryError::NotJson:
        return Reply::error(400, Web::tr("请求无效"));
      case WebEntryError::Route:
        return Reply::error(422, Web::tr("路号无效"));
      case WebEntryError::Kind:
        return Reply::error(422, Web::tr("重复方式无效"));
      case WebEntryError::Time:
        return Reply::error(422, Web::tr("时间无效"));
      case WebEntryError::Days:
        return Reply::error(422, dialog_word("每星期至少选择一天"));
      case WebEntryError::Date:
        return Reply::error(422, Web::tr("日期无效"));
      case WebEntryError::Action:
        return Reply::error(422, Web::tr("动作无效"));
    }
    const EditorState state = web_editor_state(w);
    if (editor_moment_past(state, station_.clock()()) && !w.confirmPast) {
      Reply r = Reply::error(422, dialog_word("日期已过，仍要保存吗？"));
      r.json[QStringLiteral("past")] = true;
      return r;
    }
    // An entry moved to another route is a new one there.
    const bool fresh = !old || old->nRoute != w.route;
    if (fresh && count_page(entries, w.route) >= kMaxEntriesPerRoute)
      return Reply::error(422, dialog_word("最多99条"));
    if (old && fresh) {
      remove_entries(entries, {old});
      rebuild_keys(entries);
    }
    written = fresh ? nullptr : old;
    editor_confirm(state, fresh, written, entries, w.route);
  }
  QString writtenKey;
  for (const EntryCollection::Item& it : entries)
    if (written && it.entry == written) writtenKey = it.key;
  station_.setEntries(entries, before.revision, false);
  if (const WriteFailure why = station_.save(); why != WriteFailure::None) {
    // Note.ini still holds the entries as they were: they come back.
    station_.setEntries(*before.entries, 0, true);
    return Reply::error(500, QCoreApplication::translate("FileCommands", "保存失败"));
  }
  if (wasEmpty) station_.followEntries();
  Reply r(method == QHttpServerRequest::Method::Post ? 201 : 200,
          {{QStringLiteral("revision"), revision_json(station_.snapshot().revision)}});
  if (!writtenKey.isEmpty()) r.json[QStringLiteral("key")] = writtenKey;
  return r;
}

// --- routes and settings ---

WebServer::Reply WebServer::switchRoute(int route, const QByteArray& body) {
  const std::optional<QJsonObject> o = web_json_object(body);
  if (!o || !o->value(QStringLiteral("on")).isBool()) return Reply::error(400, Web::tr("请求无效"));
  const bool on = o->value(QStringLiteral("on")).toBool();
  switch (station_.want(route, on, RecordCause::Web)) {
    case Switchboard::Result::Done:
      return Reply(200, {{QStringLiteral("route"), route}, {QStringLiteral("wanted"), on}});
    case Switchboard::Result::LinkClosed:
      return Reply::error(409, QCoreApplication::translate("Frmmain", "串口未打开"));
    case Switchboard::Result::NotTakenOver:
      break;
  }
  return Reply::error(409, QCoreApplication::translate("Frmmain", "板无应答"));
}

WebServer::Reply WebServer::renameRoute(int route, const QByteArray& body) {
  const std::optional<QJsonObject> o = web_json_object(body);
  if (!o || !o->value(QStringLiteral("name")).isString())
    return Reply::error(400, Web::tr("请求无效"));
  switch (station_.renameRoute(route, o->value(QStringLiteral("name")).toString())) {
    case Station::NameResult::Done:
      return Reply(200, routeJson(route));
    case Station::NameResult::NotStorable:
      return Reply::error(422, QCoreApplication::translate("AppLogic", "名称含有无法保存的字符"));
    case Station::NameResult::NotWritten:
      break;
  }
  return Reply::error(500, QCoreApplication::translate("FileCommands", "保存设置失败"));
}

WebServer::Reply WebServer::settings(const QByteArray& body) {
  const std::optional<QJsonObject> o = web_json_object(body);
  const QJsonValue allowed = o ? o->value(QStringLiteral("auto")) : QJsonValue();
  const QJsonValue restore = o ? o->value(QStringLiteral("restore")) : QJsonValue();
  if (!o || !(allowed.isBool() || allowed.isUndefined()) ||
      !(restore.isBool() || restore.isUndefined()))
    return Reply::error(400, Web::tr("请求无效"));
  if (allowed.isBool() && allowed.toBool() != station_.autoAllowed())
    station_.setAuto(allowed.toBool(), RecordCause::Web);
  if (restore.isBool()) station_.setRestore(restore.toBool(), true);
  return Reply(200, {{QStringLiteral("auto"), station_.autoAllowed()},
                     {QStringLiteral("restore"), station_.restore()}});
}

// --- the record and the week, read from disk on the pool ---

void WebServer::record(const QHttpServerRequest& req, const Later& r) {
  const QUrlQuery q = req.query();
  const int route = route_of(q.queryItemValue(QStringLiteral("route")));
  bool ok = false;
  int limit = q.queryItemValue(QStringLiteral("limit")).toInt(&ok);
  if (!ok || limit <= 0) limit = 100;
  limit = std::min(limit, kMaxRecordLines);
  const SwitchRecord* log = &station_.record();
  const std::shared_ptr<const EntryCollection> entries = station_.snapshot().entries;
  QtConcurrent::run(&pool_, [log, limit, route] {
    return log->newest(limit, route == 0 ? SwitchRecord::kEveryRoute : route);
  }).then(this, [this, r, entries](const QList<RecordEvent>& events) {
    QJsonArray lines;
    for (const RecordEvent& e : events) {
      // An entry's switch is told as the window's 记录 tells it: by the entry, while its key
      // still names it.
      QString cause = RecordLine::causeWord(e, true);
      if (e.cause == RecordCause::Entry) {
        QString text;
        switch (recorded_entry(*entries, e.detail, e.route, e.action == RecordAction::Energise,
                               e.at, &text)) {
          case RecordedEntry::Same:
            cause = text;
            break;
          case RecordedEntry::Deleted:
            cause = Web::tr("已删除的条目 %1").arg(cause);
            break;
          case RecordedEntry::Other:
            break;
        }
      }
      lines.append(QJsonObject{
          {QStringLiteral("time"), web_time(e.at)},
          {QStringLiteral("route"), e.route},
          {QStringLiteral("action"), RecordLine::actionWord(e)},
          {QStringLiteral("cause"), RecordLine::causeWord(e)},
          {QStringLiteral("detail"), e.detail},
          {QStringLiteral("text"), RecordLine::actionWord(e, true) +
                                       (cause.isEmpty() ? QString() : QLatin1Char(' ') + cause)},
      });
    }
    answerLater(r, Reply(200, {{QStringLiteral("lines"), lines}}));
  });
}

void WebServer::plan(const QHttpServerRequest& req, const Later& r) {
  const QUrlQuery q = req.query();
  const QDateTime now = station_.clock()();
  const auto read = [&](const char* name, const QDateTime& def) {
    const QDateTime t =
        QDateTime::fromString(q.queryItemValue(QLatin1String(name)), Qt::ISODateWithMs);
    return t.isValid() ? t : def;
  };
  const QDateTime from = read("from", now.date().startOfDay());
  QDateTime to = read("to", from.addDays(7));
  // At most five weeks at once: the plan and the record's lines grow with the span.
  if (to <= from || from.daysTo(to) > 35) to = from.addDays(7);
  const SwitchRecord* log = &station_.record();
  const std::shared_ptr<const EntryCollection> entries = station_.snapshot().entries;
  std::optional<quint16> reported;
  if (station_.health() == LinkHealth::Answering) reported = station_.link().reportedStates();
  const auto names = names_;
  QtConcurrent::run(&pool_, [=] {
    const qint64 a = from.toMSecsSinceEpoch(), b = to.toMSecsSinceEpoch();
    std::array<QString, kRouteCount + 1> startKeys;
    const RouteStateTable start = last_route_states(*entries, from, &startKeys);
    const WeekPlan plan = week_plan(*entries, a, b, start, now.toMSecsSinceEpoch(), &startKeys);
    // The record from a week before on, for the states the span starts in.
    QList<RecordEvent> events = log->since(from.addDays(-7), true, 100000);
    for (RecordEvent& e : events) e.at = e.at.toUTC();
    const ActualRoutes actual = actual_periods(events, a, b, now.toMSecsSinceEpoch(), reported);
    return web_plan_json(plan, actual, actual_misses(events, a, b), names, now.toMSecsSinceEpoch());
  }).then(this, [this, r](const QJsonObject& json) { answerLater(r, Reply(200, json)); });
}

WebServer::Reply WebServer::health() const {
  const LinkHealth h = station_.health();
  QJsonObject o{{QStringLiteral("link"), web_link_word(h)}};
  bool running = true;
  if (alerts_) {
    const AlertsState& a = alerts_->state();
    // The station's pulse comes every second; three missed ones mean it is stuck.
    running = a.lastTick.isValid() ? a.lastTick.secsTo(station_.clock()()) <= 3
                                   : clock_.elapsed() <= 3000;  // the first pulse is yet to come
    QJsonArray raised;
    for (int c = 0; c < kAlertConditions; ++c)
      if (a.conditions[static_cast<size_t>(c)].raised)
        raised.append(alert_name(static_cast<AlertCondition>(c)));
    o[QStringLiteral("conditions")] = raised;
    o[QStringLiteral("lastTick")] = web_time(a.lastTick);
    o[QStringLiteral("lastAnswer")] = web_time(a.lastAnswer);
  }
  const bool ok = running && h == LinkHealth::Answering;
  o[QStringLiteral("ok")] = ok;
  return Reply(ok ? 200 : 503, o);
}

// --- the live socket ---

void WebServer::acceptLive() {
  while (http_ && http_->hasPendingWebSocketConnections()) {
    QWebSocket* ws = http_->nextPendingWebSocketConnection().release();
    if (!ws) break;
    ws->setParent(this);
    ws->setMaxAllowedIncomingFrameSize(1024);
    ws->setMaxAllowedIncomingMessageSize(1024);
    const QNetworkRequest& req = ws->request();
    const QByteArray id = web_cookie(req.rawHeader("Cookie"), kCookie);
    const QString own = QStringLiteral("%1://%2").arg(
        settings_.tls() ? QStringLiteral("https") : QStringLiteral("http"),
        QString::fromLatin1(req.rawHeader("Host")));
    const bool allowed = !id.isEmpty() && sessions_.use(id, ms_()) && ws->origin() == own &&
                         live_.size() < static_cast<size_t>(kMaxConnections);
    if (!allowed) {
      ws->close(QWebSocketProtocol::CloseCode(4401));
      ws->deleteLater();
      continue;
    }
    live_.push_back({ws, id});
    connect(ws, &QWebSocket::disconnected, this, [this, ws] {
      live_.erase(std::remove_if(live_.begin(), live_.end(),
                                 [ws](const Live& l) { return l.socket == ws; }),
                  live_.end());
      ws->deleteLater();
    });
    QJsonObject hello = stateJson();
    ws->sendTextMessage(QString::fromUtf8(QJsonDocument(hello).toJson(QJsonDocument::Compact)));
  }
  if (!live_.empty() && sentRoutes_[1].isEmpty())
    for (int r = 1; r <= kRouteCount; ++r) sentRoutes_[static_cast<size_t>(r)] = routeJson(r);
}

void WebServer::push(const QJsonObject& message) {
  if (live_.empty()) return;
  const QString text = QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact));
  for (const Live& l : std::vector<Live>(live_)) {
    if (l.socket->bytesToWrite() > kMaxUnsent) {
      l.socket->abort();  // a client that stops reading is let go, not buffered for
      continue;
    }
    l.socket->sendTextMessage(text);
  }
}

void WebServer::pushRoutes() {
  if (live_.empty()) {
    sentRoutes_ = {};
    return;
  }
  QJsonArray changed;
  for (int r = 1; r <= kRouteCount; ++r) {
    QJsonObject now = routeJson(r);
    QJsonObject& sent = sentRoutes_[static_cast<size_t>(r)];
    if (now == sent) continue;
    sent = now;
    changed.append(now);
  }
  if (!changed.isEmpty()) push(QJsonObject{{QStringLiteral("routes"), changed}});
}

void WebServer::pushLink() {
  push(QJsonObject{{QStringLiteral("link"), web_link_word(station_.health())},
                   {QStringLiteral("auto"), station_.autoAllowed()},
                   {QStringLiteral("restore"), station_.restore()}});
}
