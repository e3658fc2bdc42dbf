#pragma once

#include <QObject>

#include "app/app_logic.h"

class QMenu;
class QSystemTrayIcon;
class QWidget;

// The program's icon in the notification area, tip "<name>(版本 <version>)". A left click shows,
// restores and raises the window; the right button opens a menu: "显示主窗口" (or "隐藏主窗口"
// while the window is shown), "记录" and "退出", the last two raised as signals for the window to
// run. The icon goes away with this object. showLink() gives the icon's lamp the link's health
// (green: open and the board answers; amber: no answer, or waiting for the port; grey: closed)
// and adds the link's state, the broker's state (only while a broker is configured), the record's
// trouble (only while it cannot be written), a paused timetable, the alerts' conditions that hold
// (the lamp then red) and the data folder to the tip. showAlert() tells a raised or cleared
// condition in a balloon.
class Tray : public QObject {
  Q_OBJECT
 public:
  explicit Tray(QWidget* window);
  ~Tray() override;

  // Adds the icon. Returns whether a notification area exists to hold it.
  bool AddTrayIcon();
  QString toolTip() const;
  void showLink(const AppLogic& logic);
  // The first time in a run: a balloon telling that the program goes on in the tray.
  void tellKeepsRunning();
  void showAlert(const QString& text, bool raised);
  // A first start (no files yet) whose window stays hidden: a balloon telling where Tavrel runs.
  void tellRunsHere();
  QMenu* menu() const { return menu_; }

  static QString tipText();  // from the application's name and version

 signals:
  void recordRequested();
  void quitRequested();

 private:
  QWidget* window_;
  QSystemTrayIcon* icon_;
  QMenu* menu_;
  int look_ = -1;
  bool toldKeepsRunning_ = false;
};
