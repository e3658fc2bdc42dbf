#pragma once

#include <QString>

// How the program asks and tells the user: message boxes titled "提示" and the file dialog.
// The window supplies the real one; tests answer through their own.
class Prompt {
 public:
  virtual ~Prompt() = default;
  // A message with one OK button.
  virtual void message(const QString& text) = 0;
  // A question with OK and Cancel; true for OK.
  virtual bool confirm(const QString& text) = 0;
  // The file dialog (filter "ini文件 (*.ini)", default suffix "ini"); an empty path means the
  // user cancelled.
  virtual QString saveFileName() = 0;
  virtual QString openFileName() = 0;
};
