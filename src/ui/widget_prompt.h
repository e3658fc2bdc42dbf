#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "app/prompt.h"

// The prompt of the running program: message boxes titled "提示" and Qt's own file dialog for entry
// files (filter "ini文件 (*.ini)", default suffix "ini", asking before it replaces a file). The
// dialog opens where the last entry file was chosen, at first in the user's documents (never the
// data folder by default), and never offers Name.ini or Note.ini as the file's name. Saving onto
// one of the program's own files in the data folder is refused in the dialog, before any question
// about replacing it ("不能另存为程序自己的文件" and the path); the dialog stays open. Icons and
// types in its list come from the names alone: it never reads a file to choose them, so a folder
// with special files (a FIFO, /proc, a hung share) keeps it responsive. Every box is at least wide
// enough for its title.
class WidgetPrompt : public Prompt {
 public:
  ~WidgetPrompt() override;
  void setParent(QWidget* parent) { parent_ = parent; }
  void setDataDir(const QString& dataDir) { dataDir_ = dataDir; }
  void message(const QString& text) override;
  bool confirm(const QString& text) override;
  QString saveFileName() override;
  QString openFileName() override;
  SaveChoice askSave(const QString& text) override;
  // A message box that does not block, shown until the next notice or withdrawNotice().
  void notice(const QString& text) override;
  void withdrawNotice() override;
  QMessageBox* shownNotice() const { return notice_; }

 private:
  static QString title();
  QString ask(bool save);
  QPointer<QWidget> parent_;
  QPointer<QMessageBox> notice_;
  QString dataDir_;
  QString lastDir_;   // where the last file was chosen
  QString lastFile_;  // the last file chosen, unless one of the program's
};
