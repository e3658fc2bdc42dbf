#pragma once

#include <QByteArray>
#include <QLockFile>
#include <QString>
#include <functional>

// Why a file could not be written.
enum class WriteFailure {
  None,
  DiskFull,      // no space left (or the user's quota spent)
  NoPermission,  // the file or its folder may not be written by this user
  ReadOnly,      // the file system is mounted read-only
  SymLink,       // a symbolic link stands where the file or its folder must be (never followed)
  Other,
};

// The reason an error number stands for, or, where it names none of the above, what the folder
// of path shows now (a read-only mount, no free space, no write permission); Other when nothing
// explains it.
WriteFailure write_failure(int errorNumber, const QString& path);

// Writes bytes to path atomically (temporary file + rename; a symbolic link is followed and kept).
// beforeReplace, when given, runs once the new content is safely written and just before it
// replaces the old file. An existing file whose folder may not be written to (a file of mode 666
// in a folder of root's) is written in place instead, and beforeReplace does not run. False when
// the file could not be written: the old content is kept then, and why (when given) says why.
bool write_file_atomically(const QString& path, const QByteArray& bytes,
                           const std::function<void()>& beforeReplace = {},
                           WriteFailure* why = nullptr);

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
