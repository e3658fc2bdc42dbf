#include "platform/atomic_file.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>

namespace {

// Whether the file at path can only be written in place: it exists, but the folder it lies in
// (through symbolic links) refuses the temporary file a replace needs.
bool only_in_place(const QString& path) {
  const QFileInfo fi(path);
  if (!fi.exists()) return false;
  const QString target = fi.isSymLink() ? fi.canonicalFilePath() : fi.absoluteFilePath();
  return ::access(QFile::encodeName(QFileInfo(target).absolutePath()).constData(), W_OK) != 0 &&
         errno == EACCES;
}

bool write_all(QFileDevice& f, const QByteArray& bytes) {
  return f.write(bytes) == bytes.size() && f.flush();
}

bool denied(const QByteArray& path) {
  return ::access(path.constData(), W_OK) != 0 && errno == EACCES;
}

// Writes in place or atomically; errno tells why when it fails.
bool write_file(const QString& path, const QByteArray& bytes,
                const std::function<void()>& beforeReplace) {
  if (only_in_place(path)) {
    // Written over the old content, as the platform's own profile functions do; should that
    // fail (a full disk), the old content goes back.
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) return false;
    const QByteArray old = f.readAll();
    if (f.error() != QFileDevice::NoError) return false;
    errno = 0;
    if (f.seek(0) && write_all(f, bytes) && f.resize(bytes.size())) return true;
    const int why = errno;
    f.unsetError();
    if (f.seek(0)) write_all(f, old);
    f.resize(old.size());
    errno = why;
    return false;
  }
  QSaveFile f(path);
  errno = 0;
  if (!f.open(QIODevice::WriteOnly)) return false;
  if (!write_all(f, bytes)) {
    const int why = errno;
    f.cancelWriting();
    errno = why;
    return false;
  }
  if (beforeReplace) beforeReplace();
  errno = 0;
  return f.commit();
}

}  // namespace

WriteFailure write_failure(int errorNumber, const QString& path) {
  switch (errorNumber) {
    case ENOSPC:
    case EDQUOT:
      return WriteFailure::DiskFull;
    case EROFS:
      return WriteFailure::ReadOnly;
    case EACCES:
    case EPERM:
      return WriteFailure::NoPermission;
    case ELOOP:  // opened without following the link
      return WriteFailure::SymLink;
    default:
      break;
  }
  if (QFileInfo(path).isSymLink()) return WriteFailure::SymLink;
  const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
  struct statvfs fs {};
  if (::statvfs(folder.constData(), &fs) == 0) {
    if (fs.f_flag & ST_RDONLY) return WriteFailure::ReadOnly;
    if (fs.f_bavail == 0) return WriteFailure::DiskFull;
  }
  if (denied(folder) || (QFileInfo::exists(path) && denied(QFile::encodeName(path))))
    return WriteFailure::NoPermission;
  return WriteFailure::Other;
}

bool write_file_atomically(const QString& path, const QByteArray& bytes,
                           const std::function<void()>& beforeReplace, WriteFailure* why) {
  if (write_file(path, bytes, beforeReplace)) return true;
  if (why) *why = write_failure(errno, path);
  return false;
}

FileWriteLock::FileWriteLock(const QString& path) : lock_(path + QStringLiteral(".lock")) {
  if (QFileInfo(QFileInfo(path).absolutePath()).isWritable()) {
    lock_.setStaleLockTime(10000);
    lock_.tryLock(3000);
  }
}
