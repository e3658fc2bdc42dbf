#pragma once

#include <QString>

#include "app/prompt.h"
#include "core/entry_collection.h"
#include "device/comm_port.h"
#include "platform/atomic_file.h"

// The three commands that exchange the entry set with files (see entry_store.h for what each
// does to the files). Every message goes through prompt.

// Why writing failed, in a few words ("磁盘已满", "没有写入权限", "磁盘只读"); empty for a reason
// the program cannot name.
QString write_failure_text(WriteFailure why);

// While the record cannot be written: "记录无法写入" and the reason where it is known, e.g.
// "记录无法写入：磁盘已满"; empty for None.
QString record_failure_text(WriteFailure why);

// "串口打开错误", a second line naming the device and why it did not open.
QString port_failure_text(const PortFailure& f);

// "保存失败" with the reason and the path, as Save tells a store it could not write.
QString save_failed_text(WriteFailure why, const QString& storePath);

// What Save tells: "保存成功！" for None, otherwise as save_failed_text.
QString saved_text(WriteFailure why, const QString& storePath);

// "保存设置失败" with the reason and the path, as the window tells a setting Name.ini (its path)
// would not take, e.g. "保存设置失败：磁盘只读\n/home/u/Name.ini".
QString settings_failed_text(WriteFailure why, const QString& path);

// Save: colData as the whole store at storePath. Tells "保存成功！", or, when writing failed,
// "保存失败" with the reason and the path on the next line, e.g.
// "保存失败：磁盘已满\n/home/u/Note.ini". Returns whether it saved.
bool save_command(const EntryCollection& colData, const QString& storePath, Prompt& prompt);

// Save As: asks for a path, writes colData as it is now to it and tells "文件已另存为", or
// "另存失败" with the reason, as Save tells them; the path on a line of its own. Cancelling changes
// nothing and says nothing. One of the program's own files in dataDir is refused with
// "不能另存为程序自己的文件" and the path, and left as it was.
bool save_as_command(const EntryCollection& colData, Prompt& prompt,
                     const QString& dataDir = QString());

// Whether path is one of the program's own files in the data folder dataDir: Name.ini, Note.ini,
// the recovery file of unsaved entries, the lock, anything under log/ or dosdevices/. Names match
// in any letter case (a folder on a Windows file system holds "name.ini" as the same file) and a
// link counts as what it leads to.
bool is_program_file(const QString& dataDir, const QString& path);

enum class OpenResult { Cancelled, Failed, Empty, Loaded };

// Open: asks for a path and reads the file into colData, replacing its content only when the file
// could be read and holds entries. A file that is missing or cannot be read is told with
// "打开失败"; a file without entries (Name.ini offered by the filter, an empty file) with
// "文件中没有条目", and so is one of the program's own files in dataDir (see is_program_file; its
// entries are the timetable itself); the path follows on a line of its own. Either way colData
// stays as it was. On Loaded the caller sets ChkAuto from the count and refills the list.
OpenResult open_command(EntryCollection& colData, Prompt& prompt,
                        const QString& dataDir = QString());
