#pragma once

#include <QLockFile>
#include <QString>

// One program per data folder, so two programs never drive one board: a lock file ".tavrel.lock"
// in the folder, held for as long as this object lives. The lock of a copy that died (killed,
// power cut, even when this process now has its number) is taken over; a lock that cannot be
// created (read-only folder) does not hold the program back, since such a folder cannot be shared
// by writing either.
class SingleCopy {
 public:
  explicit SingleCopy(const QString& folder);
  // Whether this copy may run: false only while another living copy holds the folder.
  bool acquire();

 private:
  QLockFile lock_;
};
