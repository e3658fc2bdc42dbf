#include "platform/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <cerrno>

namespace {

QByteArray enc(const QString& s) { return QFile::encodeName(s); }

bool device_of(const QString& path, dev_t* dev) {
  struct stat st {};
  if (::lstat(enc(path).constData(), &st) != 0) return false;
  *dev = st.st_dev;
  return true;
}

// A folder we own with files/ and info/ in it, created when missing (never through a symlink).
bool prepare(const QString& trash) {
  for (const QString& dir :
       {trash, trash + QStringLiteral("/files"), trash + QStringLiteral("/info")}) {
    if (::mkdir(enc(dir).constData(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(enc(dir).constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
      return false;
  }
  return true;
}

// The top of the file system path lies on.
QString mount_top(const QString& path, dev_t dev) {
  QString top = QFileInfo(path).absolutePath();
  for (;;) {
    const QString parent = QFileInfo(top).absolutePath();
    dev_t d;
    if (parent == top || !device_of(parent, &d) || d != dev) return top;
    top = parent;
  }
}

bool move_into(const QString& trash, const QString& path, const QString& trashName) {
  const QFileInfo fi(path);
  const QString base = trashName.isEmpty() ? fi.fileName() : trashName;
  const QString origin = fi.absoluteDir().filePath(base);
  for (int n = 0; n < 10000; ++n) {
    const QString name =
        n == 0 ? base : QStringLiteral("%1-%2").arg(base).arg(n, 4, 10, QLatin1Char('0'));
    const QString info = trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo");
    // The info file, created exclusively, reserves the name.
    const int fd = ::open(enc(info).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    const QByteArray text =
        "[Trash Info]\nPath=" + QUrl::toPercentEncoding(origin, "/") + "\nDeletionDate=" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() +
        "\n";
    const bool written =
        ::write(fd, text.constData(), static_cast<size_t>(text.size())) == text.size();
    ::close(fd);
    const QString target = trash + QStringLiteral("/files/") + name;
    if (written && !QFileInfo::exists(target) &&
        ::rename(enc(path).constData(), enc(target).constData()) == 0)
      return true;
    ::unlink(enc(info).constData());
    return false;
  }
  return false;
}

}  // namespace

bool move_to_trash(const QString& path, const QString& trashName) {
  dev_t fileDev;
  if (!device_of(path, &fileDev)) return false;
  QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
  if (dataHome.isEmpty()) dataHome = QDir::homePath() + QStringLiteral("/.local/share");
  const QString home = dataHome + QStringLiteral("/Trash");
  dev_t homeDev;
  if (QDir().mkpath(dataHome) && device_of(dataHome, &homeDev) && homeDev == fileDev &&
      prepare(home))
    return move_into(home, path, trashName);
  const QString top = mount_top(path, fileDev) + QStringLiteral("/.Trash-%1").arg(::getuid());
  return prepare(top) && move_into(top, path, trashName);
}
