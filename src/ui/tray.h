#pragma once

#include <QObject>

#include "app/app_logic.h"

class QSystemTrayIcon;
class QWidget;

// The program's icon in the notification area, tip "<name>(版本 <version>)". A left click shows,
// restores and raises the window; other clicks do nothing; there is no menu. The icon goes away
// with this object. showLink() gives the icon's lamp the link's health (green: open and the board
// answers; amber: no answer, or waiting for the port; grey: closed) and adds the link's state,
// the broker's state (only while a broker is configured), the record's trouble (only while it
// cannot be written) and the data folder to the tip.
class Tray : public QObject {
  Q_OBJECT
 public:
  explicit Tray(QWidget* window);
  ~Tray() override;

  // Adds the icon. Returns whether a notification area exists to hold it.
  bool AddTrayIcon();
  QString toolTip() const;
  void showLink(const AppLogic& logic);

  static QString tipText();  // from the application's name and version

 private:
  QWidget* window_;
  QSystemTrayIcon* icon_;
  int look_ = -1;
};
