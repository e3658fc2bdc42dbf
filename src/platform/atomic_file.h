#pragma once

#include <QByteArray>
#include <QLockFile>
#include <QString>
#include <functional>

// Writes bytes to path atomically (temporary file + rename; a symbolic link is followed and kept).
// beforeReplace, when given, runs once the new content is safely written and just before it
// replaces the old file. An existing file whose folder may not be written to (a file of mode 666
// in a folder of root's) is written in place instead, and beforeReplace does not run. False when
// the file could not be written: the old content is kept then.
bool write_file_atomically(const QString& path, const QByteArray& bytes,
                           const std::function<void()>& beforeReplace = {});

// Two copies of the program may write the same file: each read-modify-write holds this lock (a
// lock file beside it, "<path>.lock") for as long as the object lives, so one copy's change is
// never undone by the other's write. Waits up to 3 s for another holder; a lock older than 10 s is
// stale. Where no lock can be made (a read-only folder) nothing is held and the write goes ahead
// and fails or succeeds on its own.
class FileWriteLock {
 public:
  explicit FileWriteLock(const QString& path);

 private:
  QLockFile lock_;
};
