#include "core/file_commands.h"

#include <unistd.h>

#include <QDir>
#include <QFile>

#include "core/entry_store.h"
#include "platform/trash.h"

bool save_entry_store(const EntryCollection& colData, const QString& storePath, Prompt& prompt) {
  // The backup of the old store is a second name for it (a hard link, or a copy where links are
  // not possible), made once the new store is safely written and moved to the trash after the new
  // store has taken the old one's place: at no moment is there no store.
  const QString backup = storePath + QStringLiteral(".bak");
  bool haveBackup = false;
  const bool ok = write_file_atomically(storePath, render_entry_file(colData), [&] {
    QFile::remove(backup);  // left over from a save that was cut short
    if (!QFile::exists(storePath)) return;
    haveBackup = ::link(QFile::encodeName(storePath).constData(),
                        QFile::encodeName(backup).constData()) == 0 ||
                 QFile::copy(storePath, backup);
  });
  if (haveBackup && !move_to_trash(backup)) QFile::remove(backup);
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
