#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <array>

#include "app/settings_store.h"
#include "app/switch_record.h"
#include "core/entry_collection.h"
#include "core/entry_store.h"
#include "core/prompt.h"
#include "core/scheduler.h"
#include "device/comm_port.h"
#include "device/command_link.h"
#include "device/download_frame.h"
#include "editing/route_pages.h"

// The logic behind the main window, free of widgets: the program's one entry collection colData,
// the command link with its port and route state table, the scheduler timer Timer1 (paused while
// the board's states are not taken over), the current route page and list, and the rules that
// enable and disable the window's commands. The window forwards its events here and shows the
// state it publishes.
class AppLogic : public QObject {
  Q_OBJECT
 public:
  // The controls whose enabled state the link button and ChkAuto decide.
  enum Control {
    CmbCom,
    CmbID,
    CmdOpenFile,
    CmdSave,
    CmdSaveAs,
    CmdAdd,
    CmdDel,
    CmdDelAll,
    kControls
  };

  // appDir is the application directory (files and dosdevices/); prompt answers for the user and
  // must outlive the logic; clock defaults to the PC's.
  AppLogic(const QString& appDir, Prompt& prompt, SchedulerTimer::Clock clock = {},
           QObject* parent = nullptr);

  const QString& appDir() const { return appDir_; }
  Prompt& prompt() { return prompt_; }

  EntryCollection colData;
  CommPort MSComm;
  CommPort MSCommDown;  // the download's port: the same port number, never open with MSComm
  CommandLink link;
  SchedulerTimer Timer1;
  SettingsStore settings;
  EntryStore store;
  SwitchRecord record;  // log/YYYY-MM.csv beside Note.ini
  quint8 nCom = 1;

  // --- link and address ---
  // Opens the link when the caption reads "打开" (a failure tells "串口打开错误" with a second
  // line naming the device and the reason, and leaves everything as it was), closes it when it
  // reads "关闭". Open: caption "关闭", push cycle on, the eight controls locked. Close: caption
  // "打开", push cycle off, bIsFirst set, unlocked; the lamps keep their colours. A device that
  // vanishes under the open link closes it the same way, greys every lamp and tells "串口已断开".
  void CmdOpen_Click();
  QString cmdOpenCaption() const {
    return linkOpen_ ? QStringLiteral("关闭") : QStringLiteral("打开");
  }
  bool linkOpen() const { return linkOpen_; }
  // Port list index 0..19 ("Com1".."Com20") and address list index 0..15: set nCom / nID and
  // write "Com" / "ID" at once.
  void CmbCom_Click(int index);
  void CmbID_Click(int index);
  // What port number n (1..20) opens now, for the port list's tips: the device's path, followed by
  // "：设备不存在" when nothing is there. While dosdevices/com<n> does not exist, further lines
  // name the serial devices present (their by-id names where they have one), when there are any.
  QString whereComLeads(int n) const;

  // --- scheduler switch ---
  // Sets ChkAuto; runs its handler only when the value changes. Ticked: Timer1 on (once a running
  // download ends) and CmdAdd, CmdDel, CmdDelAll, CmdSave enabled; clear: all of them off.
  void setChkAuto(bool ticked);
  bool chkAuto() const { return chkAuto_; }
  bool enabled(Control c) const { return enabled_[c]; }

  // --- route pages and list ---
  int nPage() const { return nPage_; }
  // Tab t (0..15) selects route page t + 1 and lists it.
  void SSTab2_Click(int tab);
  // Lists route `route`'s entries, renumbered.
  void refresh_list(int route);
  const QList<ListItem>& listItems() const { return list_; }

  // --- manual control: nState only; the push cycle carries it to the board ---
  void CmdIn_Click();
  void CmdOut_Click();
  void CmdOpenAll_Click();
  void CmdCloseAll_Click();

  // --- delete commands, after "删除当前信息吗？" / "删除所有信息吗？" ---
  // Removes the selected entries (the objects the list items show), renumbers the page, re-keys
  // colData. Runs the renumbering also when nothing is selected.
  void CmdDel_Click(const QList<EntryPtr>& selected);
  void CmdDelAll_Click();

  // --- files ---
  void CmdSave_Click();
  void CmdSaveAs_Click();
  // After a successful open: ChkAuto from the count and the list of the current page.
  void CmdOpenFile_Click();

  // --- download of the current page's entries into the board ---
  static constexpr int kAckTimeoutMs = 500;  // how long a frame waits for its acknowledgement
  // Sends every entry of route page nPage as it is at the start (in collection order, numbered
  // from 1) as a download frame on MSCommDown, opened on the link's port number while the command
  // link is closed around it. Each frame waits up to kAckTimeoutMs for the board's 0x56, handling
  // events meanwhile; only a byte that arrives after the frame counts. A frame without it is told
  // with "下载失败" and the download goes on (an acknowledgement that comes late is absorbed
  // before the next frame, so it never counts for that one). A port that cannot be opened is told
  // like the link's own. Afterwards the command link is open again when it was open before
  // (caption, locks and bIsFirst untouched), Timer2 is as it was and Timer1 follows ChkAuto.
  // Should the device vanish meanwhile, the download stops and the link ends closed with grey
  // lamps, told once with "串口已断开".
  void CmdDown_Click();
  bool bDownOk = false;
  const QString& labDebug() const { return labDebug_; }

  // --- quit ---
  // Writes "Open" from ChkOpen and "Run" from ChkRun. Only when both were written, the autostart
  // entry of executablePath (on this data folder) is brought in line with ChkRun, so the settings
  // and the entry never disagree; its own failure is silent. Settings that could not be written
  // are told once, "保存设置失败" and the file's path, and false is returned. The caller then ends
  // the program either way.
  bool CmdQuit_Click(bool chkOpen, bool chkRun, const QString& executablePath);

 signals:
  void controlsChanged();  // caption, enabled states or ChkAuto
  void listChanged();
  void labDebugChanged(const QString& text);

 private:
  void closeLink();
  void tellOpenError(const CommPort& port);
  void setLocked(bool locked);
  void onPortLost();
  void MSCommDown_OnComm();
  bool waitForAck(int ms);

  QString appDir_;
  Prompt& prompt_;
  bool linkOpen_ = false;
  bool chkAuto_ = false;
  int nPage_ = 1;
  std::array<bool, kControls> enabled_;
  QList<ListItem> list_;
  DownloadFrame frame22_{};
  QString labDebug_;
  bool downloading_ = false;
  bool downLost_ = false;
};
