#include "core/file_commands.h"

#include <QDir>
#include <QFile>

#include "core/entry_store.h"

bool save_entry_store(const EntryCollection& colData, const QString& storePath, Prompt& prompt) {
  const bool ok = write_file_atomically(storePath, render_entry_file(colData), [&] {
    // The backup: the old store goes to the trash only once its successor is safely written.
    if (QFile::exists(storePath)) QFile::moveToTrash(storePath);
  });
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
