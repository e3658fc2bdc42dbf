#include "remote/webhook.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#if QT_CONFIG(ssl)
#include <QSslCertificate>
#include <QSslConfiguration>
#endif

namespace {
const QString kSection = QStringLiteral("Alerts");
constexpr int kValueBytes = 1024;
}  // namespace

bool WebhookSettings::enabled() const {
  const QUrl u(url, QUrl::StrictMode);
  return u.isValid() && !u.host().isEmpty() &&
         (u.scheme() == QLatin1String("http") || u.scheme() == QLatin1String("https"));
}

WebhookSettings WebhookSettings::read(const ProfileFile& names) {
  WebhookSettings s;
  s.url = names.read(kSection, QStringLiteral("Webhook"), QString(), kValueBytes).trimmed();
  s.caFile = names.read(kSection, QStringLiteral("CaFile"), QString(), kValueBytes).trimmed();
  return s;
}

bool WebhookSettings::write(const QString& path, WriteFailure* why) const {
  return profile_write_section(path, kSection,
                               {{QStringLiteral("Webhook"), profile_quoted(url)},
                                {QStringLiteral("CaFile"), profile_quoted(caFile)}},
                               why);
}

Webhook::Webhook(QObject* parent) : QObject(parent), net_(this) {
  retry_.setSingleShot(true);
  connect(&retry_, &QTimer::timeout, this, &Webhook::next);
}

void Webhook::configure(const WebhookSettings& s) {
  if (s == settings_) return;
  settings_ = s;
  if (!settings_.enabled()) queue_.clear();
  delayMs_ = kFirstRetryMs;
  if (!inFlight_) next();
}

void Webhook::post(const QByteArray& body) {
  if (!settings_.enabled()) return;
  queue_.append({body, QDeadlineTimer(kGiveUpMs)});
  if (!inFlight_ && !retry_.isActive()) next();
}

QNetworkReply* Webhook::send(const QByteArray& body) {
  QNetworkRequest request{QUrl(settings_.url)};
  request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
  request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Tavrel"));
  request.setTransferTimeout(kAnswerMs);
#if QT_CONFIG(ssl)
  if (!settings_.caFile.isEmpty()) {
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setCaCertificates(QSslCertificate::fromPath(settings_.caFile));
    request.setSslConfiguration(ssl);
  }
#endif
  return net_.post(request, body);
}

void Webhook::next() {
  if (inFlight_ || !settings_.enabled()) return;
  while (!queue_.isEmpty() && queue_.first().until.hasExpired()) {
    queue_.removeFirst();
    emit givenUp();
  }
  if (queue_.isEmpty()) return;
  inFlight_ = send(queue_.first().body);
  connect(inFlight_, &QNetworkReply::finished, this, [this, r = inFlight_] { onFinished(r); });
}

void Webhook::onFinished(QNetworkReply* reply) {
  reply->deleteLater();
  inFlight_ = nullptr;
  const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (status >= 200 && status < 300 && !queue_.isEmpty()) {
    queue_.removeFirst();
    delayMs_ = kFirstRetryMs;
    emit delivered(status);
    next();
    return;
  }
  retry_.start(delayMs_);
  delayMs_ = qMin(delayMs_ * 2, kMaxRetryMs);
}

void Webhook::test(const QByteArray& body) {
  if (!settings_.enabled()) {
    emit tested(0, QString());
    return;
  }
  QNetworkReply* reply = send(body);
  connect(reply, &QNetworkReply::finished, this, [this, reply] {
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 0) {
      emit tested(0, reply->errorString());
      return;
    }
    const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    const QString body =
        QString::fromUtf8(reply->readAll().left(200)).section(QLatin1Char('\n'), 0, 0);
    emit tested(status, (reason + QLatin1Char(' ') + body).trimmed());
  });
}
