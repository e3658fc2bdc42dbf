#pragma once

#include <QObject>

class QSystemTrayIcon;
class QWidget;

// The program's icon in the notification area, tip "<name>(版本 <version>)". A left click shows,
// restores and raises the window; other clicks do nothing; there is no menu. The icon goes away
// with this object.
class Tray : public QObject {
  Q_OBJECT
 public:
  explicit Tray(QWidget* window);
  ~Tray() override;

  // Adds the icon. Returns whether a notification area exists to hold it.
  bool AddTrayIcon();
  QString toolTip() const;

  static QString tipText();  // from the application's name and version

 private:
  QWidget* window_;
  QSystemTrayIcon* icon_;
};
