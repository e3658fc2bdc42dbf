#include "mqtt/mqtt_client.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <poll.h>

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <QSslCertificate>
#include <QSslSocket>
#include <QTcpSocket>
#include <algorithm>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

// The library's blocking connect runs on a thread of its own. The thread and the client share
// this; whichever comes second cleans up: the client takes the connected object, or the thread
// finds itself abandoned (owner null) and ends the connection it made cleanly.
struct MqttClient::Handoff {
  std::mutex mutex;
  MqttClient* owner = nullptr;
  mosquitto* mosq = nullptr;  // the library's object once its connect returned
  int rc = MOSQ_ERR_SUCCESS;
};

namespace {

void init_library() {
  static const bool done = [] {
    mosquitto_lib_init();
    return true;
  }();
  (void)done;
}

// Ends a connection the library made without leaving the broker a will to publish.
void close_quietly(mosquitto* m) {
  if (mosquitto_socket(m) >= 0) {
    mosquitto_disconnect(m);
    mosquitto_loop_write(m, 1);
  }
  mosquitto_destroy(m);
}

// Why a socket ended. A TLS failure before the broker accepted is the certificate's: the attempt's
// own handshake showed that the broker speaks TLS and that its certificate names the host.
MqttError socket_error(int rc, bool wasConnected) {
  switch (rc) {
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
    case MOSQ_ERR_OCSP:
      return wasConnected ? MqttError::Tls : MqttError::TlsAuthority;
    case MOSQ_ERR_KEEPALIVE:
      return MqttError::NoResponse;
    case MQTT_RC_SESSION_TAKEN_OVER:  // an MQTT 5 broker's DISCONNECT says so
      return MqttError::TakenOver;
    case MOSQ_ERR_EAI:
      return MqttError::HostNotFound;
    default:
      return wasConnected ? MqttError::ConnectionLost : MqttError::Unreachable;
  }
}

// A CONNACK's refusal, in MQTT 3.1.1's return codes or MQTT 5's reason codes.
MqttError refusal(int code) {
  switch (code) {
    case 1:
    case MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION:
      return MqttError::RefusedProtocol;
    case 2:
    case MQTT_RC_CLIENTID_NOT_VALID:
      return MqttError::RefusedClientId;
    case 3:
    case MQTT_RC_SERVER_UNAVAILABLE:
    case MQTT_RC_SERVER_BUSY:
    case MQTT_RC_CONNECTION_RATE_EXCEEDED:
      return MqttError::RefusedUnavailable;
    case 4:
    case MQTT_RC_BAD_USERNAME_OR_PASSWORD:
    case MQTT_RC_BAD_AUTHENTICATION_METHOD:
      return MqttError::RefusedCredentials;
    case 5:  // what Mosquitto answers to a wrong password
    case MQTT_RC_NOT_AUTHORIZED:
    case MQTT_RC_BANNED:
      return MqttError::RefusedNotAuthorised;
    default:
      return MqttError::Refused;
  }
}

}  // namespace

int mqtt_next_retry_delay_ms(int delayMs, qint64 troubleMs) {
  const int cap = troubleMs < MqttClient::kEarlyPhaseMs
                      ? std::max(delayMs, MqttClient::kEarlyMaxDelayMs)
                      : std::max(delayMs, MqttClient::kMaxDelayMs);
  return std::min(delayMs * 2, cap);
}

MqttClient::MqttClient(QObject* parent) : QObject(parent) {
  init_library();
  tick_.setInterval(1000);
  connect(&tick_, &QTimer::timeout, this, &MqttClient::onTick);
  retry_.setSingleShot(true);
  connect(&retry_, &QTimer::timeout, this, &MqttClient::attempt);
  timeout_.setSingleShot(true);
  connect(&timeout_, &QTimer::timeout, this, [this] { fail(MqttError::Timeout); });
}

MqttClient::~MqttClient() { stop(); }

void MqttClient::start(const Options& options) {
  stop();
  options_ = options;
  toldRefusal_ = false;
  v311_ = false;
  fightDrops_ = 0;
  unanswered_ = 0;
  takenOver_ = false;
  tryTls_ = false;
  delayMs_ = kFirstDelayMs;
  troubleSince_.invalidate();
  attempts_ = 0;
  error_ = MqttError::None;
  setState(Trying);
  attempt();
}

void MqttClient::stop() {
  ++generation_;
  retry_.stop();
  timeout_.stop();
  events_.clear();
  if (mosq_ && state_ == Connected) {
    // A clean end: what is queued and the DISCONNECT go out, and what the broker still sends is
    // read until it closes (kCloseMs at most): a socket closed with output unsent or input unread
    // ends mid-stream or with a reset, and the broker drops the last messages and publishes the
    // will. QoS 1 publications beyond the broker's window wait in the library for
    // acknowledgements: they go out first (kCloseMs at most), or after the DISCONNECT they
    // would make the broker drop the connection with an error.
    for (bool disconnecting : {false, true}) {
      if (disconnecting) mosquitto_disconnect(mosq_);
      QElapsedTimer closing;
      closing.start();
      int rc = MOSQ_ERR_SUCCESS;
      for (int fd = mosquitto_socket(mosq_);
           fd >= 0 && rc == MOSQ_ERR_SUCCESS && (disconnecting || inFlight_ > 0);
           fd = mosquitto_socket(mosq_)) {
        const qint64 left = kCloseMs - closing.elapsed();
        pollfd p{fd, short(POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0)), 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
        if (p.revents & POLLOUT) rc = mosquitto_loop_write(mosq_, 1);
        if (rc == MOSQ_ERR_SUCCESS && (p.revents & (POLLIN | POLLHUP | POLLERR)))
          rc = mosquitto_loop_read(mosq_, 1);
      }
      if (rc != MOSQ_ERR_SUCCESS) break;
    }
  }
  dropConnection();
  events_.clear();  // what the closing reported belongs to the connection just ended
  setState(Off);
}

void MqttClient::setState(State s) {
  if (s == state_) return;
  state_ = s;
  emit stateChanged(s);
}

void MqttClient::dropConnection() {
  if (lookupId_ >= 0) QHostInfo::abortHostLookup(lookupId_);
  lookupId_ = -1;
  if (handoff_) {
    const std::lock_guard<std::mutex> lock(handoff_->mutex);
    handoff_->owner = nullptr;
    if (handoff_->mosq) close_quietly(handoff_->mosq);
    handoff_->mosq = nullptr;
  }
  handoff_.reset();
  awaited_.clear();
  inFlight_ = 0;
  if (probe_) {
    probe_->disconnect(this);
    probe_->abort();
    probe_->deleteLater();
    probe_ = nullptr;
  }
  if (!mosq_) return;
  unwatchSocket();
  mosquitto_destroy(mosq_);
  mosq_ = nullptr;
}

void MqttClient::attempt() {
  dropConnection();
  ++attempts_;
  refusedNow_ = false;
  timeout_.start(kAttemptMs);
  if (options_.tls && !options_.caFile.isEmpty() && !QFileInfo::exists(options_.caFile))
    return fail(MqttError::CaFileMissing);
  const quint64 generation = generation_;
  // The address is looked up away from the event loop; a literal address needs no lookup.
  QHostAddress literal;
  if (literal.setAddress(options_.host)) {
    probe(literal.toString());
    return;
  }
  lookupId_ = QHostInfo::lookupHost(options_.host, this, [this, generation](const QHostInfo& info) {
    if (generation != generation_) return;
    lookupId_ = -1;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
      fail(MqttError::HostNotFound);
      return;
    }
    // Each attempt takes the next address (a name with an IPv6 and an IPv4 address may answer
    // on one only). With TLS the certificate is checked against the name, so the name is used.
    const QList<QHostAddress> all = info.addresses();
    probe(options_.tls ? options_.host : all.at((attempts_ - 1) % all.size()).toString());
  });
}

void MqttClient::probe(const QString& target) {
  // The attempt's own connection shows that the broker answers before the library's blocking
  // connect is asked to reach it; with TLS its handshake (no certificate is trusted or sent
  // anything) shows whether the broker speaks TLS and whether its certificate names the host.
  // Without TLS, after a connection the broker closed unanswered, the handshake only shows
  // whether the port speaks TLS.
  const bool checkOnly = !options_.tls && tryTls_;
  const bool tls = (options_.tls || checkOnly) && QSslSocket::supportsSsl();
  auto* socket = tls ? new QSslSocket(this) : new QTcpSocket(this);
  probe_ = socket;
  auto reachedPort = std::make_shared<bool>(false);
  connect(socket, &QAbstractSocket::connected, this, [this, target, tls, reachedPort] {
    *reachedPort = true;
    if (!tls) probed(target);
  });
  connect(socket, &QAbstractSocket::errorOccurred, this,
          [this, tls, checkOnly, target, reachedPort](QAbstractSocket::SocketError e) {
            if (checkOnly && *reachedPort) {  // no TLS there: the plain connection goes on
              tryTls_ = false;
              return probed(target);
            }
            if (tls && *reachedPort) return fail(MqttError::TlsNotSpoken);
            fail(e == QAbstractSocket::HostNotFoundError ? MqttError::HostNotFound
                                                         : MqttError::Unreachable);
          });
  if (!tls) return socket->connectToHost(target, static_cast<quint16>(options_.port));
  auto* ssl = static_cast<QSslSocket*>(socket);
  ssl->setPeerVerifyMode(QSslSocket::VerifyNone);
  connect(ssl, &QSslSocket::encrypted, this, [this, ssl, target, checkOnly] {
    if (checkOnly) return fail(MqttError::TlsRequired);
    const QList<QSslError> errors = QSslCertificate::verify(ssl->peerCertificateChain(), target);
    for (const QSslError& e : errors) {
      if (e.error() == QSslError::HostNameMismatch) return fail(MqttError::TlsName);
      if (e.error() == QSslError::CertificateExpired) return fail(MqttError::TlsExpired);
      if (e.error() == QSslError::CertificateNotYetValid) return fail(MqttError::Tls);
    }
    probed(target);
  });
  ssl->connectToHostEncrypted(target, static_cast<quint16>(options_.port));
}

void MqttClient::probed(const QString& target) {
  // Closed politely (TLS's close_notify first), so the broker's log reads a closed connection.
  QAbstractSocket* done = std::exchange(probe_, nullptr);
  done->disconnect(this);
  connect(done, &QAbstractSocket::disconnected, done, &QObject::deleteLater);
  done->disconnectFromHost();
  if (done->state() == QAbstractSocket::UnconnectedState) done->deleteLater();
  connectTo(target);
}

void MqttClient::connectTo(const QString& target) {
  const QByteArray id = options_.clientId;
  mosquitto* m = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), true, this);
  if (!m) return fail(MqttError::Unreachable);
  mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, v311_ ? MQTT_PROTOCOL_V311 : MQTT_PROTOCOL_V5);
  mosquitto_int_option(m, MOSQ_OPT_TCP_NODELAY, 1);  // a small packet never waits for an ACK
  if (!options_.user.isEmpty())
    mosquitto_username_pw_set(
        m, options_.user.toUtf8().constData(),
        options_.password.isEmpty() ? nullptr : options_.password.toUtf8().constData());
  if (!options_.willTopic.isEmpty())
    mosquitto_will_set(m, options_.willTopic.constData(),
                       static_cast<int>(options_.willPayload.size()),
                       options_.willPayload.constData(), 1, true);
  if (options_.tls) {
    const int rc = options_.caFile.isEmpty()
                       ? mosquitto_int_option(m, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                       : mosquitto_tls_set(m, QFile::encodeName(options_.caFile).constData(),
                                           nullptr, nullptr, nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {  // an authority file that cannot be read
      mosquitto_destroy(m);
      return fail(MqttError::TlsAuthority);
    }
  }
  mosquitto_property* properties = nullptr;
  if (!v311_)
    mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE, kMaxPacketBytes);
  auto job = std::make_shared<Handoff>();
  job->owner = this;
  handoff_ = job;
  std::thread([job, m, properties, host = target.toStdString(), port = options_.port]() mutable {
    const int rc =
        mosquitto_connect_bind_v5(m, host.c_str(), port, kKeepAliveS, nullptr, properties);
    mosquitto_property_free_all(&properties);
    const std::lock_guard<std::mutex> lock(job->mutex);
    if (!job->owner) return close_quietly(m);
    job->mosq = m;
    job->rc = rc;
    MqttClient* owner = job->owner;
    QMetaObject::invokeMethod(
        owner, [owner, job] { owner->connectReturned(job); }, Qt::QueuedConnection);
  }).detach();
}

void MqttClient::connectReturned(const std::shared_ptr<Handoff>& job) {
  if (job != handoff_) return;  // abandoned: the thread's object was closed then
  int rc;
  {
    const std::lock_guard<std::mutex> lock(job->mutex);
    mosq_ = job->mosq;
    rc = job->rc;
    job->mosq = nullptr;
    job->owner = nullptr;
  }
  handoff_.reset();
  if (rc != MOSQ_ERR_SUCCESS) return fail(socket_error(rc, false));
  mosquitto_connect_callback_set(mosq_, &MqttClient::onConnect);
  mosquitto_disconnect_callback_set(mosq_, &MqttClient::onDisconnect);
  mosquitto_message_callback_set(mosq_, &MqttClient::onMessage);
  mosquitto_publish_v5_callback_set(mosq_, &MqttClient::onPublished);
  mosquitto_subscribe_v5_callback_set(mosq_, &MqttClient::onSubscribed);
  watchSocket();
  if (mosq_ && options_.tls) stepHandshake();
}

void MqttClient::watchSocket() {
  const int fd = mosquitto_socket(mosq_);
  if (fd < 0) {
    fail(MqttError::Unreachable);
    return;
  }
  readWatch_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(readWatch_, &QSocketNotifier::activated, this, &MqttClient::onReadable);
  writeWatch_ = new QSocketNotifier(fd, QSocketNotifier::Write, this);
  connect(writeWatch_, &QSocketNotifier::activated, this, &MqttClient::onWritable);
  updateWriteWatch();
  tick_.start();
}

void MqttClient::unwatchSocket() {
  // The socket may be dropped from inside one of its own notifiers' signals: they are switched
  // off now and deleted once the event loop is back.
  for (QSocketNotifier** watch : {&readWatch_, &writeWatch_}) {
    if (!*watch) continue;
    (*watch)->setEnabled(false);
    (*watch)->deleteLater();
    *watch = nullptr;
  }
  tick_.stop();
}

bool MqttClient::inHandshake() const { return options_.tls && mosq_ && state_ != Connected; }

void MqttClient::updateWriteWatch() {
  // During the TLS handshake the library's CONNECT waits queued while the handshake waits for
  // the broker: the socket's readiness to write means nothing then, and watching it would spin.
  if (writeWatch_) writeWatch_->setEnabled(mosq_ && !inHandshake() && mosquitto_want_write(mosq_));
}

void MqttClient::stepHandshake() {
  // Reading carries the handshake on; once it is done, the queued CONNECT goes out.
  int rc = mosquitto_loop_read(mosq_, 1);
  if (rc == MOSQ_ERR_SUCCESS && mosq_ && mosquitto_socket(mosq_) >= 0)
    rc = mosquitto_loop_write(mosq_, 1);
  afterLibrary(rc);
}

void MqttClient::onReadable() {
  if (!mosq_) return;
  if (inHandshake())
    stepHandshake();
  else
    afterLibrary(mosquitto_loop_read(mosq_, 1));
}

void MqttClient::onWritable() {
  if (!mosq_) return;
  afterLibrary(mosquitto_loop_write(mosq_, 1));
}

void MqttClient::onTick() {
  if (!mosq_) return;
  if (inHandshake()) return stepHandshake();  // a handshake write the socket held back
  afterLibrary(mosquitto_loop_misc(mosq_));
}

void MqttClient::afterLibrary(int rc) {
  // A socket the library closed is no longer watched, not even while a slot below runs a nested
  // event loop (a message box): its number may soon belong to another file.
  if (mosq_ && mosquitto_socket(mosq_) < 0) unwatchSocket();
  // An error the library did not report through its disconnect callback still ends the socket.
  if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_CONN_PENDING &&
      std::none_of(events_.cbegin(), events_.cend(),
                   [](const Event& e) { return e.kind == Event::Disconnect; }))
    events_.append({Event::Disconnect, rc, {}, {}});
  dispatch();
  updateWriteWatch();
}

void MqttClient::onConnect(mosquitto*, void* self, int rc) {
  static_cast<MqttClient*>(self)->events_.append({Event::Connack, rc, {}, {}});
}

void MqttClient::onDisconnect(mosquitto*, void* self, int rc) {
  static_cast<MqttClient*>(self)->events_.append({Event::Disconnect, rc, {}, {}});
}

void MqttClient::onMessage(mosquitto*, void* self, const mosquitto_message* m) {
  auto* c = static_cast<MqttClient*>(self);
  const QByteArray topic(m->topic);
  if (m->payloadlen > kMaxPayload) {
    c->events_.append({Event::Oversized, 0, topic, {}});
    return;
  }
  c->events_.append({Event::Message, m->retain ? 1 : 0, topic,
                     QByteArray(static_cast<const char*>(m->payload), m->payloadlen)});
}

void MqttClient::onPublished(mosquitto*, void* self, int mid, int reason,
                             const mosquitto_property*) {
  auto* c = static_cast<MqttClient*>(self);
  if (c->awaited_.contains(mid)) --c->inFlight_;
  c->events_.append({Event::Ack, reason, QByteArray::number(mid), {}});
}

void MqttClient::onSubscribed(mosquitto*, void* self, int mid, int count, const int* granted,
                              const mosquitto_property*) {
  static_cast<MqttClient*>(self)->events_.append(
      {Event::Ack, count > 0 ? granted[0] : 0, QByteArray::number(mid), {}});
}

bool MqttClient::takenOver() const {
  return takenOver_ && !(state_ == Connected && acceptedAt_.elapsed() >= kQuickDropMs);
}

void MqttClient::dispatch() {
  const quint64 generation = generation_;
  while (!events_.isEmpty() && generation == generation_) {
    const Event e = events_.takeFirst();
    switch (e.kind) {
      case Event::Connack:
        if (e.code == 0) {
          timeout_.stop();
          acceptedAt_.start();
          unanswered_ = 0;
          delayMs_ = kFirstDelayMs;
          troubleSince_.invalidate();
          error_ = MqttError::None;
          setState(Connected);
          if (generation == generation_) emit connected();
        } else if (!v311_ && refusal(e.code) == MqttError::RefusedProtocol) {
          // A broker of MQTT 3.1.1 only: asked again at once in its version.
          v311_ = true;
          events_.clear();
          attempt();
          return;
        } else {
          error_ = refusal(e.code);
          refusedNow_ = true;
          emit stateChanged(state_);  // the reason is shown with the state
          if (generation != generation_) return;
          // Refused credentials: asking again soon changes nothing.
          if (error_ == MqttError::RefusedCredentials ||
              error_ == MqttError::RefusedNotAuthorised) {
            delayMs_ = kRefusedDelayMs;
            if (!toldRefusal_) {
              toldRefusal_ = true;
              emit refused(error_);
            }
          }
        }
        break;
      case Event::Disconnect: {
        const bool wasConnected = state_ == Connected;
        MqttError why = refusedNow_ ? error_ : socket_error(e.code, wasConnected);
        if (wasConnected) {
          // Another connection with the same client id: a broker of MQTT 3.1.1, or one that does
          // not say so, just closes this one. The other copy's connection then drops the same way
          // as soon as this one is back, be it a second or a minute later.
          const bool quick = acceptedAt_.elapsed() < kQuickDropMs;
          const bool follows = fightDrops_ > 0 && droppedAt_.elapsed() < kFightWindowMs;
          if (why != MqttError::ConnectionLost)
            fightDrops_ = 0;
          else if (follows)
            ++fightDrops_;
          else
            fightDrops_ = quick ? 1 : 0;
          droppedAt_.start();
          if (!quick) takenOver_ = false;
          if (why == MqttError::TakenOver || (quick && takenOver_) || fightDrops_ >= kFightDrops) {
            why = MqttError::TakenOver;
            takenOver_ = true;
            delayMs_ = kRefusedDelayMs;
          }
        } else if (!refusedNow_ && why == MqttError::Unreachable) {
          // The connection was made and closed before the broker answered: a TLS port (the next
          // attempt's handshake tells), or a broker or proxy that does not take MQTT 5.
          why = MqttError::ConnectionLost;
          tryTls_ = !options_.tls;
          if (!v311_ && ++unanswered_ >= kQuickDrops) v311_ = true;
        }
        fail(why);
        if (wasConnected && generation == generation_) emit lost();
        return;  // whatever else the library reported belongs to the socket just dropped
      }
      case Event::Message:
        emit message(e.topic, e.payload, e.code != 0);
        break;
      case Event::Oversized:
        emit oversized(e.topic);
        break;
      case Event::Ack: {
        const auto awaited = awaited_.take(e.topic.toInt());
        if (e.code >= 0x80 && !awaited.first.isEmpty()) emit denied(awaited.first, awaited.second);
        break;
      }
    }
  }
}

void MqttClient::fail(MqttError why) {
  if (state_ != Connected) fightDrops_ = 0;  // an attempt failed: the broker is away or refuses
  timeout_.stop();
  events_.clear();
  dropConnection();
  // Still trying, a new reason is news too: the state's words name it.
  const bool newReason = state_ == Trying && error_ != why;
  error_ = why;
  if (!troubleSince_.isValid()) troubleSince_.start();
  retry_.start(delayMs_);
  delayMs_ = mqtt_next_retry_delay_ms(delayMs_, troubleSince_.elapsed());
  if (newReason)
    emit stateChanged(Trying);
  else
    setState(Trying);
}

bool MqttClient::publish(const QByteArray& topic, const QByteArray& payload, bool retain,
                         bool acknowledged) {
  if (state_ != Connected || !mosq_) return false;
  int mid = 0;
  const int rc = mosquitto_publish(mosq_, &mid, topic.constData(), static_cast<int>(payload.size()),
                                   payload.constData(), acknowledged ? 1 : 0, retain);
  if (rc == MOSQ_ERR_SUCCESS && acknowledged) {
    awaited_.insert(mid, {topic, true});
    ++inFlight_;
  }
  updateWriteWatch();
  return rc == MOSQ_ERR_SUCCESS;
}

bool MqttClient::subscribe(const QByteArray& filter, bool noLocal) {
  if (state_ != Connected || !mosq_ || (noLocal && v311_)) return false;
  int mid = 0;
  const int rc = mosquitto_subscribe_v5(mosq_, &mid, filter.constData(), 0,
                                        noLocal ? MQTT_SUB_OPT_NO_LOCAL : 0, nullptr);
  if (rc == MOSQ_ERR_SUCCESS) awaited_.insert(mid, {filter, false});
  updateWriteWatch();
  return rc == MOSQ_ERR_SUCCESS;
}
