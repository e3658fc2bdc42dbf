#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QString>
#include <functional>

// Runs check in a child process that is not root (user and group "nobody" when the tests run as
// root), so file permissions are honoured. Returns the child's verdict; false when it crashed.
// Folders the child uses must be open to it (make_open_to_all).
inline bool as_ordinary_user(const std::function<bool()>& check) {
  if (geteuid() != 0) return check();
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    _exit(check() ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

inline void make_open_to_all(const QString& path) {
  chmod(path.toLocal8Bit().constData(), 0777);
}
