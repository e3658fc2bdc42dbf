#include "platform/data_folder.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool is_shared_program_folder(const QString& exeDir) {
  QString dir = QFileInfo(exeDir).canonicalFilePath();
  if (dir.isEmpty()) dir = QDir::cleanPath(exeDir);
  for (const char* shared : {"/bin", "/sbin", "/usr/bin", "/usr/sbin", "/usr/games",
                             "/usr/local/bin", "/usr/local/sbin", "/usr/local/games"})
    if (dir == QLatin1String(shared)) return true;
  return dir == QDir::cleanPath(QDir::homePath() + QStringLiteral("/.local/bin"));
}

bool is_portable_folder(const QString& exeDir) {
  const QDir dir(exeDir);
  if (QFileInfo::exists(dir.filePath(QStringLiteral("Name.ini"))) ||
      QFileInfo::exists(dir.filePath(QStringLiteral("Note.ini"))))
    return true;
  // access() asks the kernel, so a read-only mount and missing rights count alike.
  return !is_shared_program_folder(exeDir) &&
         ::access(QFile::encodeName(exeDir).constData(), W_OK | X_OK) == 0;
}

QString user_data_folder() {
  QString base = qEnvironmentVariable("XDG_DATA_HOME");
  if (base.isEmpty() || QDir::isRelativePath(base))
    base = QDir::homePath() + QStringLiteral("/.local/share");
  return QDir::cleanPath(base + QStringLiteral("/tavrel"));
}

QString choose_data_folder(const QString& exeDir, const QString& explicitDir) {
  if (!explicitDir.isEmpty()) return QDir::cleanPath(QDir::current().absoluteFilePath(explicitDir));
  if (is_portable_folder(exeDir)) return QDir::cleanPath(QDir(exeDir).absolutePath());
  return user_data_folder();
}

bool make_data_folder(const QString& dir) { return QDir().mkpath(dir) && QFileInfo(dir).isDir(); }
