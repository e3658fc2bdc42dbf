#include "app/file_commands.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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

bool is_program_file(const QString& dataDir, const QString& path) {
  const QString dir = QFileInfo(dataDir).canonicalFilePath();
  const QFileInfo target(path);
  // Where the file really is: itself when it exists, else its folder's real place and its name.
  QString real = target.canonicalFilePath();
  if (real.isEmpty() && !target.absoluteDir().canonicalPath().isEmpty())
    real = target.absoluteDir().canonicalPath() + QLatin1Char('/') + target.fileName();
  if (dir.isEmpty() || real.isEmpty()) return false;
  for (const char* folder : {"/log/", "/dosdevices/"})
    if (real.startsWith(dir + QLatin1String(folder), Qt::CaseInsensitive)) return true;
  if (QFileInfo(real).path() != dir) return false;
  const QString name = QFileInfo(real).fileName();
  for (const char* own : {"Name.ini", "Note.ini", ".tavrel.lock"})
    if (name.compare(QLatin1String(own), Qt::CaseInsensitive) == 0) return true;
  return false;
}

bool save_as_command(const EntryCollection& colData, Prompt& prompt, const QString& dataDir) {
  const QString path = prompt.saveFileName();
  if (path.isEmpty()) return false;
  if (is_program_file(dataDir, path)) {
    prompt.message(FileCommands::tr("不能另存为程序自己的文件") + QDir::toNativeSeparators(path));
    return false;
  }
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
