#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

// One program per data folder, so two programs never drive one board: a lock file ".tavrel.lock"
// in the folder, held for as long as this object lives. The lock of a copy that died (killed,
// power cut, even when this process now has its number) is taken over. A folder that cannot hold
// the lock (read-only) is locked in the user's runtime folder ($XDG_RUNTIME_DIR) instead, under a
// name made of the folder's device and inode numbers, so every path to the same folder meets the
// same lock; only where neither can be made does the program go ahead unlocked.
class SingleCopy {
 public:
  explicit SingleCopy(const QString& folder);
  // Whether this copy may run: false only while another living copy holds the folder.
  bool acquire();

 private:
  QString folder_;
  QLockFile lock_;
  std::unique_ptr<QLockFile> runtime_;  // the lock in the runtime folder, when that one is used
};
