#pragma once

#include <QDialog>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

// "重命名": a route's name, at most SettingsStore::kRouteNameBytes bytes as Name.ini counts them
// (GBK bytes: two for a Chinese character). A live counter ("4/8 字节") shows what is used; typing
// beyond the limit, or a character the file cannot hold, is refused as it is typed (the field
// keeps what it had). "确定" (or Return) takes the name, "取消" (or Escape) keeps the old.
class RenameDialog : public QDialog {
  Q_OBJECT
 public:
  explicit RenameDialog(QWidget* parent);

  // Opens for route 1..16 showing its present name; the name typed when confirmed. storable tells
  // whether the file can hold a text (none: every text).
  std::optional<QString> ask(int route, const QString& name,
                             std::function<bool(const QString&)> storable = {});

  QLineEdit* TxtName = nullptr;
  QLabel* LabBytes = nullptr;
  QPushButton* OKButton = nullptr;
  QPushButton* CancelButton = nullptr;

 private:
  void showBytes();

  std::function<bool(const QString&)> storable_;
};
