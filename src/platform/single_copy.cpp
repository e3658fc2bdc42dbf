#include "platform/single_copy.h"

#include <QCoreApplication>
#include <QSysInfo>

SingleCopy::SingleCopy(const QString& folder) : lock_(folder + QStringLiteral("/.tavrel.lock")) {
  lock_.setStaleLockTime(0);  // a lock is stale only when its process is gone
}

bool SingleCopy::acquire() {
  if (lock_.tryLock(0)) return true;
  if (lock_.error() != QLockFile::LockFailedError) return true;
  // After a power cut this very process may have been given the number of the dead one.
  qint64 pid = 0;
  QString host, app;
  if (lock_.getLockInfo(&pid, &host, &app) && pid == QCoreApplication::applicationPid() &&
      host == QSysInfo::machineHostName() && lock_.removeStaleLockFile())
    return lock_.tryLock(0);
  return false;
}
