#include "platform/single_copy.h"

SingleCopy::SingleCopy(const QString& folder) : lock_(folder + QStringLiteral("/.tavrel.lock")) {
  lock_.setStaleLockTime(0);  // a lock is stale only when its process is gone
}

bool SingleCopy::acquire() {
  if (lock_.tryLock(0)) return true;
  return lock_.error() != QLockFile::LockFailedError;
}
