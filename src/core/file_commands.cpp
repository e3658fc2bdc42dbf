#include "core/file_commands.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>

#include "core/entry_store.h"
#include "platform/trash.h"

namespace {

// A second name for the content the store's path leads to now (through a symbolic link, if it is
// one), in the store's folder under a name no one uses: a hard link, or a copy where no link can
// be made. Empty when there is no store or no backup could be made.
QString make_backup(const QString& storePath) {
  const QFileInfo store(storePath);
  if (!store.exists()) return {};
  const QByteArray from = QFile::encodeName(storePath);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const QString name = store.absoluteDir().filePath(
        QStringLiteral("%1.bak-%2")
            .arg(store.fileName())
            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    if (::linkat(AT_FDCWD, from.constData(), AT_FDCWD, QFile::encodeName(name).constData(),
                 AT_SYMLINK_FOLLOW) == 0)
      return name;
    if (errno == EEXIST) continue;
    QFile in(storePath), out(name);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
      if (out.error() == QFileDevice::OpenError && QFileInfo::exists(name)) continue;
      return {};
    }
    if (in.open(QIODevice::ReadOnly) && out.write(in.readAll()) == in.size() && out.flush() &&
        in.error() == QFileDevice::NoError)
      return name;
    out.remove();
    return {};
  }
  return {};
}

}  // namespace

bool save_entry_store(const EntryCollection& colData, const QString& storePath, Prompt& prompt) {
  // The backup is made once the new store is safely written and moved to the trash after the new
  // store has taken the old one's place: at no moment is there no store. No file the program did
  // not make is touched (a user's own "Note.ini.bak" stays).
  QString backup;
  const bool ok = write_file_atomically(storePath, render_entry_file(colData),
                                        [&] { backup = make_backup(storePath); });
  if (!backup.isEmpty() &&
      !move_to_trash(backup, QFileInfo(storePath).fileName() + QStringLiteral(".bak")))
    QFile::remove(backup);
  prompt.message(ok ? QStringLiteral("保存成功！")
                    : QStringLiteral("保存失败") + QDir::toNativeSeparators(storePath));
  return ok;
}

bool save_entries_as(const EntryCollection& colData, Prompt& prompt) {
  const QString path = prompt.saveFileName();
  if (path.isEmpty()) return false;
  const bool ok = write_file_atomically(path, render_entry_file(colData));
  prompt.message((ok ? QStringLiteral("文件已另存为") : QStringLiteral("另存失败")) +
                 QDir::toNativeSeparators(path));
  return ok;
}

OpenResult open_entry_file(EntryCollection& colData, Prompt& prompt) {
  const QString path = prompt.openFileName();
  if (path.isEmpty()) return OpenResult::Cancelled;
  const ProfileFile file = ProfileFile::load(path);
  if (file.status() != ProfileFile::Status::Ok) {
    prompt.message(QStringLiteral("打开失败") + QDir::toNativeSeparators(path));
    return OpenResult::Failed;
  }
  EntryCollection fresh;
  load_entry_set(file, fresh);
  colData.replace(std::move(fresh));
  return OpenResult::Loaded;
}
