#include "platform/port_naming.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
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

QList<SerialDevice> present_serial_devices(const QString& devRoot) {
  const QDir dev(devRoot);
  const QDir byIdDir(dev.filePath(QStringLiteral("serial/by-id")));
  const QFileInfoList links = byIdDir.entryInfoList(QDir::System | QDir::Files, QDir::Name);
  QList<SerialDevice> found;
  const QStringList names = dev.entryList({QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")},
                                          QDir::System | QDir::Files, QDir::Name);
  for (const QString& name : names) {
    SerialDevice d;
    d.path = dev.filePath(name);
    const QString canonical = QFileInfo(d.path).canonicalFilePath();
    for (const QFileInfo& link : links)
      if (link.isSymLink() && link.canonicalFilePath() == canonical) {
        d.byId = link.absoluteFilePath();
        break;
      }
    const QByteArray native = QFile::encodeName(d.path);
    d.mayOpen = ::access(native.constData(), R_OK | W_OK) == 0;
    struct stat st {};
    if (::stat(native.constData(), &st) == 0) {
      const struct group* g = ::getgrgid(st.st_gid);
      d.group = g ? QString::fromLocal8Bit(g->gr_name) : QString::number(st.st_gid);
    }
    found << d;
  }
  return found;
}

QString stable_device_name(const QString& device, const QString& devRoot) {
  const QString canonical = QFileInfo(device).canonicalFilePath();
  if (canonical.isEmpty() || QFileInfo(device).isSymLink()) return device;
  const QDir byIdDir(QDir(devRoot).filePath(QStringLiteral("serial/by-id")));
  for (const QFileInfo& link : byIdDir.entryInfoList(QDir::System | QDir::Files, QDir::Name))
    if (link.isSymLink() && link.canonicalFilePath() == canonical) return link.absoluteFilePath();
  return device;
}

namespace {

// Whether the system files the character device `rdev` under another class than terminals. A
// device it does not list (a pseudo-terminal's far side) or a system without /sys counts as one.
bool known_non_terminal(dev_t rdev) {
  const QString subsystem =
      QStringLiteral("/sys/dev/char/%1:%2/subsystem").arg(major(rdev)).arg(minor(rdev));
  const QString target = QFileInfo(subsystem).symLinkTarget();
  return !target.isEmpty() && QFileInfo(target).fileName() != QLatin1String("tty");
}

}  // namespace

LinkPortResult link_port(const QString& dataDir, int n, const QString& device,
                         const QString& devRoot) {
  if (n < 1 || n > 20) return {LinkPortError::BadNumber, QString::number(n)};
  const QString absolute = QDir::current().absoluteFilePath(device);
  struct stat st {};
  if (::stat(QFile::encodeName(absolute).constData(), &st) != 0)
    return {LinkPortError::NoDevice, absolute};
  if (!S_ISCHR(st.st_mode)) return {LinkPortError::NotADevice, absolute};
  if (known_non_terminal(st.st_rdev)) return {LinkPortError::NotATerminal, absolute};
  const QString target = stable_device_name(QDir::cleanPath(absolute), devRoot);
  const QDir dir(dataDir);
  const QString link = dir.filePath(QStringLiteral("dosdevices/com%1").arg(n));
  const QFileInfo old(link);
  if (old.exists() && !old.isSymLink()) return {LinkPortError::NotALink, link};
  if (!dir.mkpath(QStringLiteral("dosdevices")) || (old.isSymLink() && !QFile::remove(link)) ||
      !QFile::link(target, link))
    return {LinkPortError::CannotLink, link};
  return {LinkPortError::None, target};
}
