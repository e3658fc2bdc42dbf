#include "app/file_commands.h"

#include <QCoreApplication>
#include <QDir>

#include "core/entry_store.h"

namespace {

struct FileCommands {
  Q_DECLARE_TR_FUNCTIONS(FileCommands)
};

// "保存失败：磁盘已满" and the path on the next line.
QString failed_text(const QString& failed, WriteFailure why, const QString& path) {
  const QString reason = write_failure_text(why);
  return (reason.isEmpty() ? failed : FileCommands::tr("%1：%2").arg(failed, reason)) +
         QLatin1Char('\n') + QDir::toNativeSeparators(path);
}

}  // namespace

QString write_failure_text(WriteFailure why) {
  switch (why) {
    case WriteFailure::DiskFull:
      return FileCommands::tr("磁盘已满");
    case WriteFailure::NoPermission:
      return FileCommands::tr("没有写入权限");
    case WriteFailure::ReadOnly:
      return FileCommands::tr("磁盘只读");
    case WriteFailure::None:
    case WriteFailure::Other:
      break;
  }
  return {};
}

bool save_command(const EntryCollection& colData, const QString& storePath, Prompt& prompt) {
  WriteFailure why = WriteFailure::Other;
  const bool ok = save_entry_store(colData, storePath, &why);
  prompt.message(ok ? FileCommands::tr("保存成功！")
                    : failed_text(FileCommands::tr("保存失败"), why, storePath));
  return ok;
}

bool save_as_command(const EntryCollection& colData, Prompt& prompt) {
  const QString path = prompt.saveFileName();
  if (path.isEmpty()) return false;
  WriteFailure why = WriteFailure::Other;
  const bool ok = write_entry_file(colData, path, &why);
  prompt.message(ok ? FileCommands::tr("文件已另存为") + QDir::toNativeSeparators(path)
                    : failed_text(FileCommands::tr("另存失败"), why, path));
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
