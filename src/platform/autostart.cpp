#include "platform/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/atomic_file.h"
#include "platform/data_folder.h"

QString autostart_entry_path(const QString& executablePath) {
  QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (config.isEmpty() || QDir::isRelativePath(config))
    config = QDir::homePath() + QStringLiteral("/.config");
  return config + QStringLiteral("/autostart/") + QFileInfo(executablePath).completeBaseName() +
         QStringLiteral(".desktop");
}

QString desktop_exec_quoted(const QString& path) {
  static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
  bool needsQuotes = false;
  for (QChar c : path) needsQuotes |= reserved.contains(c);
  QString arg = path;
  if (needsQuotes) {
    QString inner;
    for (QChar c : path) {
      if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
          c == QLatin1Char('\\'))
        inner += QLatin1Char('\\');
      inner += c;
    }
    arg = QLatin1Char('"') + inner + QLatin1Char('"');
  }
  // The key file's own escapes come on top: a backslash is written twice; '%' is a field code.
  arg.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
  arg.replace(QLatin1Char('%'), QStringLiteral("%%"));
  arg.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
  return arg;
}

QByteArray autostart_entry(const QString& executablePath, const QString& dataDir) {
  const QFileInfo exe(executablePath);
  QString exec = desktop_exec_quoted(exe.absoluteFilePath());
  if (!dataDir.isEmpty() && QDir::cleanPath(dataDir) != choose_data_folder(exe.absolutePath()))
    exec += QStringLiteral(" --data ") + desktop_exec_quoted(QDir::cleanPath(dataDir));
  return (QStringLiteral("[Desktop Entry]\nType=Application\nName=Tavrel\nIcon=tavrel\nExec=") +
          exec + QStringLiteral("\nX-GNOME-Autostart-enabled=true\n"))
      .toUtf8();
}

bool set_autostart(bool on, const QString& executablePath, const QString& dataDir) {
  const QString entry = autostart_entry_path(executablePath);
  if (!on) return !QFile::exists(entry) || QFile::remove(entry);
  return QDir().mkpath(QFileInfo(entry).absolutePath()) &&
         write_file_atomically(entry, autostart_entry(executablePath, dataDir));
}
