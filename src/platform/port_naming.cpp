#include "platform/port_naming.h"

#include <QDir>
#include <QFileInfo>

QString port_device_path(const QString& appDir, int n) {
  const QString dos = QDir(appDir).filePath(QStringLiteral("dosdevices/com%1").arg(n));
  const QFileInfo fi(dos);
  if (fi.exists() || fi.isSymLink()) return dos;
  return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}

QString port_target_path(const QString& devicePath) {
  const QString target = QFileInfo(devicePath).canonicalFilePath();
  return target.isEmpty() ? devicePath : target;
}
