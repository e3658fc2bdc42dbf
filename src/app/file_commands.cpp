#include "app/file_commands.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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

QString record_failure_text(WriteFailure why) {
  if (why == WriteFailure::None) return {};
  const QString reason = write_failure_text(why);
  return reason.isEmpty() ? QCoreApplication::translate("AppLogic", "记录无法写入")
                          : QCoreApplication::translate("AppLogic", "记录无法写入：%1").arg(reason);
}

QString port_failure_text(const PortFailure& f) {
  QString why;
  switch (f.reason) {
    case OpenFailure::Missing:
    case OpenFailure::None:
      why = QCoreApplication::translate("LinkControl", "设备不存在");
      break;
    case OpenFailure::NotInGroup:
      why = QCoreApplication::translate("LinkControl", "没有权限（把用户加入 %1 组后重新登录）")
                .arg(f.group);
      break;
    case OpenFailure::NoPermission:
      why = QCoreApplication::translate("LinkControl", "没有权限");
      break;
    case OpenFailure::NotSerial:
      why = QCoreApplication::translate("LinkControl", "不是串口设备");
      break;
    case OpenFailure::Busy:
      why = QCoreApplication::translate("LinkControl", "已被其他程序占用");
      break;
    case OpenFailure::Other:
      why = QCoreApplication::translate("LinkControl", "无法打开");
      break;
  }
  return QCoreApplication::translate("LinkControl", "串口打开错误\n%1：%2").arg(f.device, why);
}

QString write_failure_text(WriteFailure why) {
  switch (why) {
    case WriteFailure::DiskFull:
      return FileCommands::tr("磁盘已满");
    case WriteFailure::NoPermission:
      return FileCommands::tr("没有写入权限");
    case WriteFailure::ReadOnly:
      return FileCommands::tr("磁盘只读");
    case WriteFailure::SymLink:
      return FileCommands::tr("是符号链接");
    case WriteFailure::None:
    case WriteFailure::Other:
      break;
  }
  return {};
}

QString save_failed_text(WriteFailure why, const QString& storePath) {
  return failed_text(FileCommands::tr("保存失败"), why, storePath);
}

QString settings_failed_text(WriteFailure why, const QString& path) {
  return failed_text(FileCommands::tr("保存设置失败"), why, path);
}

QString saved_text(WriteFailure why, const QString& storePath) {
  return why == WriteFailure::None ? FileCommands::tr("保存成功！")
                                   : save_failed_text(why, storePath);
}

bool save_command(const EntryCollection& colData, const QString& storePath, Prompt& prompt) {
  WriteFailure why = WriteFailure::Other;
  const bool ok = save_entry_store(colData, storePath, &why);
  prompt.message(saved_text(ok ? WriteFailure::None : why, storePath));
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
  for (const char* own : {"Name.ini", "Note.ini", ".tavrel.lock", "Note.ini.unsaved"})
    if (name.compare(QLatin1String(own), Qt::CaseInsensitive) == 0) return true;
  return false;
}

bool save_as_command(const EntryCollection& colData, Prompt& prompt, const QString& dataDir) {
  const QString path = prompt.saveFileName();
  if (path.isEmpty()) return false;
  if (is_program_file(dataDir, path)) {
    prompt.message(FileCommands::tr("不能另存为程序自己的文件") + QLatin1Char('\n') +
                   QDir::toNativeSeparators(path));
    return false;
  }
  WriteFailure why = WriteFailure::Other;
  const bool ok = write_entry_file(colData, path, &why);
  prompt.message(ok ? FileCommands::tr("文件已另存为") + QLatin1Char('\n') +
                          QDir::toNativeSeparators(path)
                    : failed_text(FileCommands::tr("另存失败"), why, path));
  return ok;
}

OpenResult open_command(EntryCollection& colData, Prompt& prompt, const QString& dataDir) {
  const QString path = prompt.openFileName();
  if (path.isEmpty()) return OpenResult::Cancelled;
  const QString shown = QDir::toNativeSeparators(path);
  if (is_program_file(dataDir, path)) {
    prompt.message(FileCommands::tr("文件中没有条目") + QLatin1Char('\n') + shown);
    return OpenResult::Empty;
  }
  EntryCollection read;
  if (!read_entry_file(path, read)) {
    prompt.message(FileCommands::tr("打开失败") + QLatin1Char('\n') + shown);
    return OpenResult::Failed;
  }
  if (read.isEmpty()) {
    prompt.message(FileCommands::tr("文件中没有条目") + QLatin1Char('\n') + shown);
    return OpenResult::Empty;
  }
  colData.replace(std::move(read));
  return OpenResult::Loaded;
}
