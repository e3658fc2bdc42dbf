#pragma once

#include <QString>

// How the program asks and tells the user: message boxes titled "提示" and the file dialog.
// The window supplies the real one; tests answer through their own.
class Prompt {
 public:
  enum class SaveChoice { Save, Discard, Cancel };

  virtual ~Prompt() = default;
  // A message with one OK button.
  virtual void message(const QString& text) = 0;
  // A question with OK and Cancel; true for OK.
  virtual bool confirm(const QString& text) = 0;
  // The file dialog (filter "ini文件 (*.ini)", default suffix "ini"); an empty path means the
  // user cancelled.
  virtual QString saveFileName() = 0;
  virtual QString openFileName() = 0;
  // A question with 保存, 不保存 and 取消 (closing it counts as 取消). A prompt that cannot ask
  // answers 保存, which loses nothing.
  virtual SaveChoice askSave(const QString& /*text*/) { return SaveChoice::Save; }
  // A message that does not wait for the user: the program goes on while it is up. At most one is
  // up; withdrawNotice() takes it away once it no longer holds. A prompt without one tells it as a
  // message.
  virtual void notice(const QString& text) { message(text); }
  virtual void withdrawNotice() {}
};
