#pragma once

#include <QWidget>
#include <array>

#include "app/app_logic.h"

class Dialog;
class Lamp;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class MqttDialog;
class TabStrip;
class RecordWindow;
class RenameDialog;
class QSessionManager;
class Tray;
class WeekView;

// The main window "PC智能Tavrel": a thin surface over AppLogic. It builds the controls at their
// fixed places, forwards every click to the logic and shows what the logic publishes (lamp
// colours, the link button's caption, enabled states, the entry list of the current page; the
// title ends in " *" while the entries are not saved). The close box hides the window into the
// tray (told once a run); without a notification area it quits as "退出" does. Quitting, and the
// end of the desktop session, ask first when the entries are not saved. A route's tab is renamed
// by a double click or its context menu ("重命名"; the Menu key or Shift+F10 open it too). In the
// list, Enter or F2 edits the selected entry, Delete deletes the selection.
class Frmmain : public QWidget {
  Q_OBJECT
 public:
  explicit Frmmain(AppLogic& logic, QWidget* parent = nullptr);

  // Start-up, in its order: the tray icon, the address list, grey lamps and route names, page 1,
  // the stored address and port selected (and written back; the boxes show the address and port in
  // use, 1 and Com1 when the stored ones are unusable), bIsFirst, the entry store loaded, ChkAuto
  // from the count, the link opened when "Open" asks for it (a port that does not open is told
  // without holding start-up up), ChkRun, the list of route 1; then the window is hidden when there
  // is a notification area to bring it back from (on a first start without files a tray message
  // says where it runs), and shown otherwise.
  void Form_Load();
  Tray* tray() { return tray_; }

  AppLogic& logic() { return logic_; }
  Dialog& dialog() { return *dialog_; }
  MqttDialog& mqttDialog() { return *mqtt_; }
  RenameDialog& renameDialog() { return *rename_; }

  // The controls, by their names.
  QLabel* Label1 = nullptr;
  QLabel* Label5 = nullptr;
  QComboBox* CmbCom = nullptr;
  QPushButton* CmdOpen = nullptr;
  QCheckBox* ChkOpen = nullptr;
  QCheckBox* ChkRun = nullptr;
  QLabel* Label6 = nullptr;
  QComboBox* CmbID = nullptr;
  QLabel* Label3 = nullptr;
  TabStrip* SSTab2 = nullptr;
  // The numbers over the lamps, row by row: one label per lamp, centred over it.
  std::array<QLabel*, 4> Label4{};
  std::array<QLabel*, 4> Label2{};
  std::array<QLabel*, 4> Label7{};
  std::array<QLabel*, 4> Label8{};
  std::array<Lamp*, 16> Shape1{};
  QTreeWidget* List = nullptr;
  QCheckBox* ChkAuto = nullptr;
  QCheckBox* ChkRestore = nullptr;   // "恢复定时状态"
  QLabel* LabNext = nullptr;         // the current route's next switch
  QLabel* LabLink = nullptr;         // the link's state
  QPushButton* CmdRecord = nullptr;  // "记录": the switch record's window
  QPushButton* CmdMqtt = nullptr;  // "远程": the broker's dialog; its lamp shows the broker's state
  QPushButton* CmdAdd = nullptr;
  QPushButton* CmdDel = nullptr;
  QPushButton* CmdDelAll = nullptr;
  QPushButton* CmdIn = nullptr;
  QPushButton* CmdOut = nullptr;
  QPushButton* CmdQuit = nullptr;
  QPushButton* CmdOpenFile = nullptr;
  QPushButton* CmdSave = nullptr;
  QPushButton* CmdSaveAs = nullptr;
  QPushButton* CmdDown = nullptr;
  QPushButton* CmdOpenAll = nullptr;
  QPushButton* CmdCloseAll = nullptr;
  QLabel* LabDebug = nullptr;

  // The command handlers the buttons run.
  void CmdAdd_Click();
  void List_DblClick();
  void CmdDel_Click();
  void CmdRecord_Click();
  void CmdMqtt_Click();
  // After the question about unsaved entries (取消 keeps the program): saves "Open" and "Run",
  // brings the autostart entry in line with ChkRun, ends the program.
  void CmdQuit_Click();
  // Ends the program without a question (SIGTERM): unsaved entries stay in the recovery file.
  void endNow();
  // Tab 0..15: asks for the route's name and stores it.
  void renameRoute(int tab);

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  QPushButton* button(const QString& name, const QString& caption, int x, int y, int w, int h);
  QLabel* label(const QString& name, const QString& caption, int x, int y, int w, int h);
  void showControls();
  void showMqtt();
  // Renews the tips of the port box and its items from where each port number leads now.
  void showWhereComLeads();
  void showLamps();
  void showList();
  void showTitle();
  // 删除 acts on the selected entries: enabled only while there are some.
  void showCmdDel();
  // The route tab's menu ("重命名") at at, in the tab strip's coordinates.
  void tabMenu(int tab, const QPoint& at);
  // Tells why a manual command did not act: "串口未打开", "板无应答".
  void tellNotDone(Switchboard::Result r);
  void commitData(QSessionManager& manager);

  AppLogic& logic_;
  Dialog* dialog_ = nullptr;
  Tray* tray_ = nullptr;
  RecordWindow* record_ = nullptr;
  WeekView* week_ = nullptr;  // "一周", made at its first opening
  MqttDialog* mqtt_ = nullptr;
  RenameDialog* rename_ = nullptr;
  int mqttLook_ = -1;
  bool quitting_ = false;  // "退出" done: the close that quitting sends is let through  // the lamp
                           // "远程" shows: 0 off, 1 trying, 2 connected
};
