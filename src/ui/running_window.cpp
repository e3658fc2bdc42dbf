#include "ui/running_window.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QFileInfo>
#include <QLocalSocket>
#include <QWidget>

#include "ui/ui_support.h"

namespace {
const QByteArray kShow = QByteArrayLiteral("show\n");
const QByteArray kShown = QByteArrayLiteral("shown\n");
}  // namespace

QString RunningWindow::serverName(const QString& dataDir) {
  const QString canonical = QFileInfo(dataDir).canonicalFilePath();
  const QByteArray hash = QCryptographicHash::hash(
      (canonical.isEmpty() ? dataDir : canonical).toUtf8(), QCryptographicHash::Sha1);
  return QStringLiteral("tavrel-%1-%2")
      .arg(::getuid())
      .arg(QString::fromLatin1(hash.toHex().left(16)));
}

RunningWindow::RunningWindow(const QString& dataDir, QWidget* window) : window_(window) {
  const QString name = serverName(dataDir);
  QLocalServer::removeServer(name);  // the lock is ours: a socket there is a dead copy's
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  server_.listen(name);
  connect(&server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* s = server_.nextPendingConnection()) {
      connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
      connect(s, &QLocalSocket::readyRead, this, [this, s] {
        if (!s->canReadLine()) return;
        if (s->readLine() == kShow) {
          bring_forward(window_);
          s->write(kShown);
          s->flush();
        }
        s->disconnectFromServer();
      });
    }
  });
}

bool RunningWindow::call(const QString& dataDir) {
  QLocalSocket s;
  s.connectToServer(serverName(dataDir));
  if (!s.waitForConnected(kCallTimeoutMs)) return false;
  s.write(kShow);
  if (!s.waitForBytesWritten(kCallTimeoutMs)) return false;
  while (!s.canReadLine())
    if (!s.waitForReadyRead(kCallTimeoutMs)) return false;
  return s.readLine() == kShown;
}
