#include "app/file_commands.h"

#include <QCoreApplication>
#include <QDir>

#include "core/entry_store.h"

namespace {

struct FileCommands {
  Q_DECLARE_TR_FUNCTIONS(FileCommands)
};

}  // namespace

bool save_command(const EntryCollection& colData, const QString& storePath, Prompt& prompt) {
  const bool ok = save_entry_store(colData, storePath);
  prompt.message(ok ? FileCommands::tr("保存成功！")
                    : FileCommands::tr("保存失败") + QDir::toNativeSeparators(storePath));
  return ok;
}

bool save_as_command(const EntryCollection& colData, Prompt& prompt) {
  const QString path = prompt.saveFileName();
  if (path.isEmpty()) return false;
  const bool ok = write_entry_file(colData, path);
  prompt.message((ok ? FileCommands::tr("文件已另存为") : FileCommands::tr("另存失败")) +
                 QDir::toNativeSeparators(path));
  return ok;
}

OpenResult open_command(EntryCollection& colData, Prompt& prompt) {
  const QString path = prompt.openFileName();
  if (path.isEmpty()) return OpenResult::Cancelled;
  if (!read_entry_file(path, colData)) {
    prompt.message(FileCommands::tr("打开失败") + QDir::toNativeSeparators(path));
    return OpenResult::Failed;
  }
  return OpenResult::Loaded;
}
