#pragma once

#include <sys/mount.h>

#include <QFile>
#include <QString>

// A small file system of our own over a folder (root only: ok says whether it was mounted),
// unmounted whatever way the test ends.
struct TmpfsMount {
  TmpfsMount(const QString& where, const char* options)
      : path(QFile::encodeName(where)),
        ok(mount("tmpfs", path.constData(), "tmpfs", 0, options) == 0) {}
  ~TmpfsMount() {
    if (ok) umount2(path.constData(), MNT_DETACH);
  }
  QByteArray path;
  bool ok;
};
