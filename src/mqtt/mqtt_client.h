#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <utility>

class QAbstractSocket;
class QSocketNotifier;
struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;
typedef struct mqtt5__property mosquitto_property;

// One connection to an MQTT broker through libmosquitto, driven from the Qt event loop: the
// library's socket is watched with socket notifiers and its keep-alive runs from a timer, so it
// never blocks the loop. An attempt looks the name up (QHostInfo), tries the address with a
// socket of its own (with TLS, a handshake that shows whether the broker speaks TLS and whether
// its certificate names the host and is in date), and then has the library connect on a
// short-lived thread of its own: the library sends MQTT 5 connection properties only from its
// blocking connect, which to an address that has just answered returns at once (a blocking
// connect to an address that does not answer would hold its thread for minutes). After a plain
// connection that the broker closed without answering, the next attempt's own connection tries
// a TLS handshake instead, to tell a TLS port.
//
// Why an attempt failed or a connection ended.
enum class MqttError {
  None,
  HostNotFound,    // the name did not resolve
  Unreachable,     // no connection to the address
  Timeout,         // no answer to the attempt in time
  ConnectionLost,  // an accepted connection broke
  NoResponse,      // the broker stopped answering the keep-alive
  TakenOver,       // another connection with the same client id took this one's place
  Tls,             // a TLS failure of another kind (a certificate out of date, a broken session)
  TlsName,         // the broker's certificate is made out to another name
  TlsAuthority,    // the broker's certificate comes from an authority not trusted here
  TlsNotSpoken,    // the broker does not speak TLS on that port
  TlsExpired,      // the broker's certificate is out of date
  CaFileMissing,   // the authority's certificate file (caFile) does not exist
  TlsRequired,     // the broker speaks TLS only on that port, and TLS is off
  // The broker's refusal in its CONNACK (MQTT 3.1.1 return codes 1..5 and their MQTT 5 reason
  // codes; anything else: Refused).
  RefusedProtocol,
  RefusedClientId,
  RefusedUnavailable,
  RefusedCredentials,
  RefusedNotAuthorised,
  Refused,
};

// The retry rule: the delay that follows delayMs, after troubleMs of trouble (since the first
// failure after a start or an accepted connection). It doubles from kFirstDelayMs, is held at
// kEarlyMaxDelayMs during the first kEarlyPhaseMs of trouble, so a broker that restarts is found
// again within seconds, and then grows up to kMaxDelayMs, so a broker back after any outage is
// found again within that. A delay already beyond that (kRefusedDelayMs) stays.
int mqtt_next_retry_delay_ms(int delayMs, qint64 troubleMs);

// After start() it keeps trying: an attempt that fails or a connection that drops is followed by
// another after a delay that follows mqtt_next_retry_delay_ms from kFirstDelayMs; it starts again
// at kFirstDelayMs once a connection was accepted. An attempt that has no answer within kAttemptMs
// counts as failed. A name with several addresses is tried on each in turn. A broker that refuses
// the user name or password is told once (refused()) and tried again only every kRefusedDelayMs;
// so is a connection that another one with the same client id took over (two programs would
// otherwise take it from each other every second): the broker says so (MQTT 5's "session taken
// over"), or it is the kFightDrops-th drop of a fight. A broker that says nothing just closes the
// older connection whenever the other copy's is accepted, so each copy sees its connections drop
// without a reason while the broker stays reachable. A fight is a row of such drops: the first of
// a connection accepted less than kQuickDropMs before (one that had lasted longer was dropped by
// a broker restart or by the other copy's arrival), each later one within kFightWindowMs of the
// one before, however long the connection lasted, and every attempt between accepted at once (a
// failed attempt means the broker went away, no fight). Then lastError() is TakenOver and
// takenOver() holds until a connection lasts kQuickDropMs or the next start(); meanwhile a single
// quick drop waits kRefusedDelayMs again. Two copies thus take each other's place at most
// 2 * kFightDrops times in a row, and then twice per kRefusedDelayMs.
// It connects with MQTT 5 and a maximum packet size of kMaxPacketBytes, so the broker never
// sends it a larger message; a broker that refuses version 5, or closes kQuickDrops connections
// in a row after a version 5 CONNECT without answering, is asked again with 3.1.1 (then until
// the next start()), where a message of any size is read before it is dropped. Its packets go
// out at once (no Nagle delay).
// Signals are emitted from the event loop, never from inside the library, so their slots may
// publish, stop or start again.
class MqttClient : public QObject {
  Q_OBJECT
 public:
  enum State { Off, Trying, Connected };
  static constexpr int kFirstDelayMs = 1000;
  static constexpr int kEarlyMaxDelayMs = 4000;
  static constexpr int kEarlyPhaseMs = 60000;
  static constexpr int kMaxDelayMs = 10000;
  static constexpr int kRefusedDelayMs = 60000;
  static constexpr int kAttemptMs = 10000;
  static constexpr int kKeepAliveS = 30;
  static constexpr int kCloseMs = 200;    // stop() waits this long at most for the broker to close
  static constexpr int kMaxPayload = 64;  // longer incoming payloads are dropped unread
  static constexpr int kMaxPacketBytes = 4096;  // MQTT 5: the largest packet the broker may send
  static constexpr int kQuickDropMs = 5000;
  static constexpr int kQuickDrops = 3;  // MQTT 5 CONNECTs closed unanswered before 3.1.1 is tried
  static constexpr int kFightDrops = 2;
  static constexpr int kFightWindowMs = 60000;

  struct Options {
    QString host;
    int port = 1883;
    QString user;
    QString password;
    bool tls = false;  // TLS, checked against the authority in caFile, or the system's without one
    QString caFile;
    QByteArray clientId;   // empty: one the library makes up at every connection
    QByteArray willTopic;  // published retained by the broker when the connection dies
    QByteArray willPayload;
  };

  explicit MqttClient(QObject* parent = nullptr);
  ~MqttClient() override;

  // Drops any connection and starts connecting with these options.
  void start(const Options& options);
  // Ends the connection cleanly (the broker then does not publish the will) and stops trying;
  // waits up to kCloseMs for the broker to close its side.
  void stop();

  State state() const { return state_; }
  // Why the last attempt failed or the connection dropped; None while connected.
  MqttError lastError() const { return error_; }
  // How many connection attempts were made since start().
  int attempts() const { return attempts_; }
  // Milliseconds until the next attempt, or -1 when none is waiting.
  int nextAttemptMs() const { return retry_.isActive() ? retry_.remainingTime() : -1; }

  // 5 while MQTT 5 is spoken (or tried), 4 after a broker refused it (MQTT 3.1.1).
  int protocolVersion() const { return v311_ ? 4 : 5; }
  // Another connection with the same client id takes this one's place (see above).
  bool takenOver() const;

  // QoS 0, or QoS 1 with acknowledged: the broker's refusal (MQTT 5's PUBACK reason code) is
  // told by denied(). False when not connected (nothing is queued for later).
  bool publish(const QByteArray& topic, const QByteArray& payload, bool retain,
               bool acknowledged = false);
  // With noLocal, the broker sends nothing this connection published itself (MQTT 5 only: false
  // under 3.1.1, nothing subscribed). A refusal in the SUBACK is told by denied().
  bool subscribe(const QByteArray& filter, bool noLocal = false);

 signals:
  // The state changed, or the reason of the last failure did while trying.
  void stateChanged(MqttClient::State state);
  void connected();
  // A connection that was accepted went down.
  void lost();
  // The broker refused the credentials; told once per start().
  void refused(MqttError why);
  // An incoming message whose payload is at most kMaxPayload bytes; retained tells one the broker
  // kept from before (sent on subscribing), not one published just now.
  void message(const QByteArray& topic, const QByteArray& payload, bool retained);
  // An incoming message with a longer payload, dropped unread.
  void oversized(const QByteArray& topic);
  // The broker refused a subscription (publishing false) or an acknowledged publication.
  void denied(const QByteArray& topic, bool publishing);

 private:
  struct Event {
    enum Kind { Connack, Disconnect, Message, Oversized, Ack } kind;
    int code = 0;  // CONNACK, disconnect or ack reason code; for a message, 1 when retained
    QByteArray topic;
    QByteArray payload;
  };
  struct Handoff;  // the library's connect on its thread, and its outcome
  static void onConnect(mosquitto*, void* self, int rc);
  static void onDisconnect(mosquitto*, void* self, int rc);
  static void onMessage(mosquitto*, void* self, const mosquitto_message* m);
  static void onPublished(mosquitto*, void* self, int mid, int reason, const mosquitto_property*);
  static void onSubscribed(mosquitto*, void* self, int mid, int count, const int* granted,
                           const mosquitto_property*);

  void attempt();
  void probe(const QString& target);
  void probed(const QString& target);
  void connectTo(const QString& target);
  void connectReturned(const std::shared_ptr<Handoff>& job);
  void watchSocket();
  void unwatchSocket();
  // Ends whatever the attempt or connection holds: the lookup, the first connection, the
  // library's connect and its object (the socket unwatched).
  void dropConnection();
  void onReadable();
  void onWritable();
  void onTick();
  void afterLibrary(int rc);
  bool inHandshake() const;  // TLS: the socket is connected, the broker has not accepted yet
  void stepHandshake();
  void dispatch();
  // Drops the socket and schedules the next attempt.
  void fail(MqttError why);
  void setState(State s);
  void updateWriteWatch();

  mosquitto* mosq_ = nullptr;
  Options options_;
  State state_ = Off;
  MqttError error_ = MqttError::None;
  int delayMs_ = kFirstDelayMs;
  int attempts_ = 0;
  int lookupId_ = -1;
  bool toldRefusal_ = false;
  bool refusedNow_ = false;  // the broker refused this attempt
  bool v311_ = false;        // the broker refused MQTT 5
  int fightDrops_ = 0;       // the drops of a fight so far (see above)
  QElapsedTimer droppedAt_;  // since the last of them
  int unanswered_ = 0;       // MQTT 5 connections in a row closed before the CONNACK
  bool takenOver_ = false;
  bool tryTls_ = false;  // the next attempt's own connection tries a TLS handshake
  QElapsedTimer acceptedAt_;
  // Message id: the topic or filter of a packet the broker has not acknowledged yet, and whether
  // it was a publication.
  QHash<int, std::pair<QByteArray, bool>> awaited_;
  int inFlight_ = 0;            // QoS 1 publications not acknowledged yet
  QElapsedTimer troubleSince_;  // since the first failure after start() or a connection
  quint64 generation_ = 0;  // bumped by start() and stop(): stale lookups and events are ignored
  QSocketNotifier* readWatch_ = nullptr;  // children: whatever deleteLater leaves goes with us
  QSocketNotifier* writeWatch_ = nullptr;
  QAbstractSocket* probe_ = nullptr;  // the attempt's own first connection
  std::shared_ptr<Handoff> handoff_;  // the library's connect while it runs
  QTimer tick_;                       // keep-alive, once a second while a socket exists
  QTimer retry_;                      // the next attempt
  QTimer timeout_;                    // an attempt without an answer
  QList<Event> events_;
};
