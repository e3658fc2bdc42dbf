#pragma once
// A webhook's receiver for the alerts' tests and benchmark.

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

// A webhook's receiver on 127.0.0.1: keeps each POST's JSON and answers with the statuses given,
// in turn (200 once they are used up).
struct Receiver {
  QTcpServer server;
  QList<QJsonObject> posts;
  QList<int> statuses;
  Receiver() {
    server.listen(QHostAddress::LocalHost);
    QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
      QTcpSocket* s = server.nextPendingConnection();
      QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
        const QByteArray in = s->peek(1 << 20);
        const qsizetype head = in.indexOf("\r\n\r\n");
        const qsizetype at = in.toLower().indexOf("content-length:");
        if (head < 0 || at < 0) return;
        const int length = in.mid(at + 15, in.indexOf('\r', at) - at - 15).trimmed().toInt();
        if (in.size() < head + 4 + length) return;
        const int status = statuses.isEmpty() ? 200 : statuses.takeFirst();
        if (status == 200) posts << QJsonDocument::fromJson(in.mid(head + 4, length)).object();
        s->readAll();
        s->write(QByteArray("HTTP/1.1 ") + QByteArray::number(status) +
                 " X\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
        s->disconnectFromHost();
      });
    });
  }
  QString url() const {
    return QStringLiteral("http://127.0.0.1:%1/hook").arg(server.serverPort());
  }
  QStringList told() const {
    QStringList out;
    for (const QJsonObject& o : posts)
      out << o["condition"].toString() + ' ' + o["state"].toString();
    return out;
  }
};
