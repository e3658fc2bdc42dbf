#include "platform/atomic_file.h"

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

}  // namespace

bool write_file_atomically(const QString& path, const QByteArray& bytes,
                           const std::function<void()>& beforeReplace) {
  if (only_in_place(path)) {
    // Written over the old content, as the platform's own profile functions do; should that
    // fail (a full disk), the old content goes back.
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) return false;
    const QByteArray old = f.readAll();
    if (f.error() != QFileDevice::NoError) return false;
    if (f.seek(0) && write_all(f, bytes) && f.resize(bytes.size())) return true;
    f.unsetError();
    if (f.seek(0)) write_all(f, old);
    f.resize(old.size());
    return false;
  }
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return false;
  if (!write_all(f, bytes)) {
    f.cancelWriting();
    return false;
  }
  if (beforeReplace) beforeReplace();
  return f.commit();
}

FileWriteLock::FileWriteLock(const QString& path) : lock_(path + QStringLiteral(".lock")) {
  if (QFileInfo(QFileInfo(path).absolutePath()).isWritable()) {
    lock_.setStaleLockTime(10000);
    lock_.tryLock(3000);
  }
}
