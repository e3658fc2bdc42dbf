#include "ui/widget_prompt.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

QString WidgetPrompt::title() { return QCoreApplication::translate("WidgetPrompt", "提示"); }

void WidgetPrompt::message(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::Ok, parent_);
  box.exec();
}

bool WidgetPrompt::confirm(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::Ok | QMessageBox::Cancel,
                  parent_);
  return box.exec() == QMessageBox::Ok;
}

QString WidgetPrompt::ask(bool save) {
  QFileDialog dialog(parent_);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setNameFilter(QCoreApplication::translate("WidgetPrompt", "ini文件 (*.ini)"));
  dialog.setDefaultSuffix(QStringLiteral("ini"));
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!lastName_.isEmpty()) dialog.selectFile(lastName_);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  lastName_ = dialog.selectedFiles().first();
  return lastName_;
}

QString WidgetPrompt::saveFileName() { return ask(true); }
QString WidgetPrompt::openFileName() { return ask(false); }
