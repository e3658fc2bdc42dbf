#pragma once

#include <QPointer>
#include <QWidget>

#include "app/prompt.h"

// The prompt of the running program: message boxes titled "提示" and the file dialog for entry
// files (filter "ini文件 (*.ini)", default suffix "ini", offering the name chosen last).
class WidgetPrompt : public Prompt {
 public:
  void setParent(QWidget* parent) { parent_ = parent; }
  void message(const QString& text) override;
  bool confirm(const QString& text) override;
  QString saveFileName() override;
  QString openFileName() override;

 private:
  static QString title();
  QString ask(bool save);
  QPointer<QWidget> parent_;
  QString lastName_;
};
