#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QTimer>

#include "platform/private_profile.h"

class QNetworkReply;

// Section "Alerts" of Name.ini: Webhook=URL (http or https), CaFile= the certificate (PEM) of an
// authority of one's own that an https receiver's certificate is checked against (as the broker's
// CaFile; the system's authorities without it).
struct WebhookSettings {
  QString url;
  QString caFile;
  bool enabled() const;  // a URL of http or https with a host
  bool operator==(const WebhookSettings& o) const { return url == o.url && caFile == o.caFile; }
  static WebhookSettings read(const ProfileFile& names);
  // Writes the section "Alerts" of the Name.ini at path as a whole; why, when given, says why it
  // could not.
  bool write(const QString& path, WriteFailure* why = nullptr) const;
};

// The alerts' messages to a webhook: each a POST of a JSON body (Content-Type application/json),
// in the order given. A receiver that cannot be reached, does not answer within kAnswerMs or
// answers other than 2xx gets the same message again after kFirstRetryMs, doubling up to
// kMaxRetryMs, until kGiveUpMs after the message was given; later messages wait behind it.
class Webhook : public QObject {
  Q_OBJECT
 public:
  static constexpr int kAnswerMs = 10000;
  static constexpr int kFirstRetryMs = 1000;
  static constexpr int kMaxRetryMs = 60000;
  static constexpr qint64 kGiveUpMs = 3600 * 1000;

  explicit Webhook(QObject* parent = nullptr);

  // A changed receiver: what waits is kept and goes to the new one; none drops it.
  void configure(const WebhookSettings& s);
  const WebhookSettings& settings() const { return settings_; }
  void post(const QByteArray& body);
  // One POST at once, apart from the queue and never repeated: tested() tells the answer.
  void test(const QByteArray& body);
  qsizetype waiting() const { return queue_.size(); }

 signals:
  // A queued message was taken (2xx).
  void delivered(int status);
  // A queued message given up after kGiveUpMs.
  void givenUp();
  // The test's answer: the HTTP status and the first line of the body, or status 0 and why no
  // answer came.
  void tested(int status, const QString& answer);

 private:
  struct Message {
    QByteArray body;
    QDeadlineTimer until;
  };
  QNetworkReply* send(const QByteArray& body);
  void next();
  void onFinished(QNetworkReply* reply);

  WebhookSettings settings_;
  QNetworkAccessManager net_;
  QList<Message> queue_;
  QNetworkReply* inFlight_ = nullptr;
  QTimer retry_;
  int delayMs_ = kFirstRetryMs;
};
