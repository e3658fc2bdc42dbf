#include "platform/port_naming.h"

#include <QDir>
#include <QFileInfo>

QString port_device_path(const QString& appDir, int n) {
  const QDir dir(appDir);
  const QFileInfo dos(dir.filePath(QStringLiteral("dosdevices")));
  if (dos.exists() || dos.isSymLink())
    return dir.filePath(QStringLiteral("dosdevices/com%1").arg(n));
  return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}

QString port_target_path(const QString& devicePath) {
  const QFileInfo fi(devicePath);
  const QString target = fi.canonicalFilePath();
  if (!target.isEmpty()) return target;
  // A dangling link: follow it as far as it goes, to name the device that is missing.
  QString path = devicePath;
  for (int hops = 0; hops < 16 && QFileInfo(path).isSymLink(); ++hops)
    path = QFileInfo(path).symLinkTarget();
  return path;
}
