#include "mqtt/mqtt_client.h"

#include <mosquitto.h>
#include <sys/socket.h>

#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <algorithm>

namespace {

void init_library() {
  static const bool done = [] {
    mosquitto_lib_init();
    return true;
  }();
  (void)done;
}

// Why a socket ended.
MqttError socket_error(int rc, bool wasConnected) {
  switch (rc) {
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
    case MOSQ_ERR_OCSP:
      return MqttError::Tls;
    case MOSQ_ERR_KEEPALIVE:
      return MqttError::NoResponse;
    default:
      return wasConnected ? MqttError::ConnectionLost : MqttError::Unreachable;
  }
}

// A CONNACK's refusal.
MqttError refusal(int code) {
  switch (code) {
    case 1:
      return MqttError::RefusedProtocol;
    case 2:
      return MqttError::RefusedClientId;
    case 3:
      return MqttError::RefusedUnavailable;
    case 4:
      return MqttError::RefusedCredentials;
    case 5:  // what Mosquitto answers to a wrong password
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
  if (lookupId_ >= 0) QHostInfo::abortHostLookup(lookupId_);
  lookupId_ = -1;
  events_.clear();
  if (mosq_) {
    if (state_ == Connected) {
      // A clean end: the DISCONNECT goes out now (the socket takes it at once).
      mosquitto_disconnect(mosq_);
      mosquitto_loop_write(mosq_, 1);
    }
    dropConnection();
  }
  setState(Off);
}

void MqttClient::setState(State s) {
  if (s == state_) return;
  state_ = s;
  emit stateChanged(s);
}

void MqttClient::dropConnection() {
  if (!mosq_) return;
  unwatchSocket();
  mosquitto_destroy(mosq_);
  mosq_ = nullptr;
}

void MqttClient::attempt() {
  dropConnection();
  ++attempts_;
  refusedNow_ = false;
  const quint64 generation = generation_;
  // The address is looked up away from the event loop; a literal address needs no lookup.
  QHostAddress literal;
  if (literal.setAddress(options_.host)) {
    connectTo(literal.toString());
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
    // on one only). With TLS the library checks the certificate against the name, so it gets
    // the name and looks it up once more itself, on this thread: the lookup just made shows the
    // name resolves, so that second one is quick unless the resolver turns slow in between.
    const QList<QHostAddress> all = info.addresses();
    connectTo(options_.tls ? options_.host : all.at((attempts_ - 1) % all.size()).toString());
  });
}

void MqttClient::connectTo(const QString& address) {
  mosq_ = mosquitto_new(nullptr, true, this);
  if (!mosq_) {
    fail(MqttError::Unreachable);
    return;
  }
  mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  mosquitto_connect_callback_set(mosq_, &MqttClient::onConnect);
  mosquitto_disconnect_callback_set(mosq_, &MqttClient::onDisconnect);
  mosquitto_message_callback_set(mosq_, &MqttClient::onMessage);
  if (!options_.user.isEmpty())
    mosquitto_username_pw_set(
        mosq_, options_.user.toUtf8().constData(),
        options_.password.isEmpty() ? nullptr : options_.password.toUtf8().constData());
  if (!options_.willTopic.isEmpty())
    mosquitto_will_set(mosq_, options_.willTopic.constData(),
                       static_cast<int>(options_.willPayload.size()),
                       options_.willPayload.constData(), 1, true);
  if (options_.tls) mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
  const int rc =
      mosquitto_connect_async(mosq_, address.toUtf8().constData(), options_.port, kKeepAliveS);
  if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_CONN_PENDING) {
    fail(socket_error(rc, false));
    return;
  }
  socketUp_ = false;
  watchSocket();
  timeout_.start(kAttemptMs);
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

bool MqttClient::inHandshake() const { return options_.tls && socketUp_ && state_ != Connected; }

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

bool MqttClient::socketConnected() {
  if (socketUp_) return true;
  // The connection's outcome: a refusal ends the attempt here (the library, in the middle of its
  // TLS handshake, would take it for a reason to try again and again).
  // (The TLS library's first write may already have taken the error from SO_ERROR; a socket
  // without a peer tells it all the same.)
  const int fd = mosquitto_socket(mosq_);
  int error = 0;
  socklen_t size = sizeof error;
  sockaddr_storage peer{};
  socklen_t peerSize = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0 ||
      ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0) {
    fail(MqttError::Unreachable);
    return false;
  }
  socketUp_ = true;
  if (options_.tls) {
    stepHandshake();
    return false;  // the handshake took this event
  }
  return true;
}

void MqttClient::onReadable() {
  if (!mosq_ || !socketConnected()) return;
  if (inHandshake())
    stepHandshake();
  else
    afterLibrary(mosquitto_loop_read(mosq_, 1));
}

void MqttClient::onWritable() {
  if (!mosq_ || !socketConnected()) return;
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

void MqttClient::dispatch() {
  const quint64 generation = generation_;
  while (!events_.isEmpty() && generation == generation_) {
    const Event e = events_.takeFirst();
    switch (e.kind) {
      case Event::Connack:
        if (e.code == 0) {
          timeout_.stop();
          delayMs_ = kFirstDelayMs;
          troubleSince_.invalidate();
          error_ = MqttError::None;
          setState(Connected);
          if (generation == generation_) emit connected();
        } else {
          error_ = refusal(e.code);
          refusedNow_ = true;
          emit stateChanged(state_);  // the reason is shown with the state
          if (generation != generation_) return;
          // 4: bad user name or password, 5: not authorised. Asking again soon changes nothing.
          if (e.code == 4 || e.code == 5) {
            delayMs_ = kMaxDelayMs;
            if (!toldRefusal_) {
              toldRefusal_ = true;
              emit refused(error_);
            }
          }
        }
        break;
      case Event::Disconnect: {
        const bool wasConnected = state_ == Connected;
        fail(refusedNow_ ? error_ : socket_error(e.code, wasConnected));
        if (wasConnected && generation == generation_) emit lost();
        return;  // whatever else the library reported belongs to the socket just dropped
      }
      case Event::Message:
        emit message(e.topic, e.payload, e.code != 0);
        break;
      case Event::Oversized:
        emit oversized(e.topic);
        break;
    }
  }
}

void MqttClient::fail(MqttError why) {
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

bool MqttClient::publish(const QByteArray& topic, const QByteArray& payload, bool retain) {
  if (state_ != Connected || !mosq_) return false;
  const int rc =
      mosquitto_publish(mosq_, nullptr, topic.constData(), static_cast<int>(payload.size()),
                        payload.constData(), 0, retain);
  updateWriteWatch();
  return rc == MOSQ_ERR_SUCCESS;
}

bool MqttClient::subscribe(const QByteArray& filter) {
  if (state_ != Connected || !mosq_) return false;
  const int rc = mosquitto_subscribe(mosq_, nullptr, filter.constData(), 0);
  updateWriteWatch();
  return rc == MOSQ_ERR_SUCCESS;
}
