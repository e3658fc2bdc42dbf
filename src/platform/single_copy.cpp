#include "platform/single_copy.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>
#include <QSysInfo>

namespace {

// Takes lock; false only while a living copy holds it. Sets *made when the lock file could not be
// made at all.
bool take(QLockFile& lock, bool* made) {
  *made = true;
  if (lock.tryLock(0)) return true;
  if (lock.error() != QLockFile::LockFailedError) {
    *made = false;
    return true;
  }
  // After a power cut this very process may have been given the number of the dead one.
  qint64 pid = 0;
  QString host, app;
  if (lock.getLockInfo(&pid, &host, &app) && pid == QCoreApplication::applicationPid() &&
      host == QSysInfo::machineHostName() && lock.removeStaleLockFile())
    return lock.tryLock(0);
  return false;
}

}  // namespace

SingleCopy::SingleCopy(const QString& folder)
    : folder_(folder), lock_(folder + QStringLiteral("/.tavrel.lock")) {
  lock_.setStaleLockTime(0);  // a lock is stale only when its process is gone
}

bool SingleCopy::acquire() {
  bool made = false;
  if (!take(lock_, &made)) return false;
  if (made) return true;
  struct stat st {};
  const QString runtimeDir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (runtimeDir.isEmpty() || ::stat(QFile::encodeName(folder_).constData(), &st) != 0) return true;
  runtime_ = std::make_unique<QLockFile>(QStringLiteral("%1/tavrel-%2-%3.lock")
                                             .arg(runtimeDir)
                                             .arg(static_cast<quint64>(st.st_dev))
                                             .arg(static_cast<quint64>(st.st_ino)));
  runtime_->setStaleLockTime(0);
  return take(*runtime_, &made);
}
