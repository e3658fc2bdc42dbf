#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "app/download_command.h"
#include "app/link_control.h"
#include "app/mqtt_bridge.h"
#include "app/next_switch.h"
#include "app/prompt.h"
#include "app/settings_store.h"
#include "app/switch_record.h"
#include "app/switchboard.h"
#include "core/entry_collection.h"
#include "core/entry_store.h"
#include "core/scheduler.h"
#include "device/comm_port.h"
#include "device/command_link.h"
#include "editing/entry_editor.h"
#include "editing/route_pages.h"
#include "platform/file_watch.h"

// The logic behind the main window, free of widgets: the program's one entry collection colData,
// the command link with its port and route state table, the switch path every change of a wanted
// state goes through, the scheduler timer Timer1 (paused while the board's states are not taken
// over), the current route page and list, and the rules that enable and disable the window's
// commands. The window forwards its events here and shows the state it publishes; its parts are
// read through the const accessors and changed only through the member functions below.
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
  // Records "程序退出" when start-up recorded "程序启动".
  ~AppLogic() override;

  const QString& appDir() const { return appDir_; }
  Prompt& prompt() { return prompt_; }

  // --- the parts, to read ---
  const EntryCollection& entries() const { return colData_; }
  const CommandLink& link() const { return link_; }
  const LinkControl& linkControl() const { return linkControl_; }
  const CommPort& port() const { return MSComm_; }
  const CommPort& downloadPort() const { return MSCommDown_; }
  const SchedulerTimer& scheduler() const { return Timer1_; }
  const SettingsStore& settings() const { return settings_; }
  const SwitchRecord& record() const { return record_; }
  const MqttBridge& mqtt() const { return mqtt_; }
  const NextSwitch& nextSwitch() const { return next_; }
  QString storePath() const { return store_.path(); }
  const SchedulerTimer::Clock& clock() const { return clock_; }

  // --- the switch record ---
  // Start-up: finds out at once whether the record can be written (see SwitchRecord::check).
  void checkRecord() { record_.check(); }
  // While the record cannot be written: "记录无法写入" and the reason where it is known, e.g.
  // "记录无法写入：磁盘已满"; empty while it can.
  QString recordText() const;

  // --- the entries ---
  // Replaces colData's content with the entries as Note.ini holds them (start-up's load, tests);
  // the list of the current page follows.
  void setEntries(EntryCollection&& entries);
  // The editor's OK for a new entry (bIsnew) on the current page or mydata edited in place. The
  // first entry added to an empty collection ticks ChkAuto, as start-up does for a store with
  // entries.
  ConfirmResult confirmEntry(const EditorState& s, bool bIsnew, EntryPtr& mydata);
  // Whether the entries differ from what Note.ini holds (as loaded at start-up or last saved):
  // after adding, editing, deleting or opening, not after saving.
  bool modified() const;
  // Before the program ends. With unsaved entries asks "时间表已修改，是否保存？" (保存, 不保存,
  // 取消): 保存 saves them (a failure is told, "保存失败" and the path, and keeps the program),
  // 取消 keeps the program. Returns whether it may end. Where no question may be asked (a desktop
  // session that ends without interaction) the entries are saved unasked; the old store goes to
  // the trash as at every save, so nothing is lost either way.
  bool saveBeforeEnd(bool mayAsk = true);
  // Start-up's first step: "程序启动" in the record.
  void recordProgramStart();
  // Note.ini as it is now, when another program changed it (looked at every FileWatch::kPollMs,
  // and on demand): a store whose entries differ from those last loaded or saved replaces them
  // while none are unsaved (ChkAuto follows the count, the record says "时间表更新", the user is
  // told "已载入新的 Note.ini"); with unsaved entries nothing changes and the user is told
  // "Note.ini 已被其他程序修改", once for each new content. A store that is missing or cannot be
  // read changes nothing. Returns whether the entries were replaced.
  bool takeUpStore();
  // "设置无效" in the record, with the key and the value, e.g. "Com=-1".
  void recordInvalidSetting(const QString& keyAndValue) {
    record_.append(0, RecordAction::SettingInvalid, RecordCause::None, keyAndValue);
  }

  // --- link and address ---
  // Opens the link on nCom when the caption reads "打开" (a failure tells "串口打开错误" with a
  // second line naming the device and the reason, and leaves everything as it was), closes it
  // when it reads "关闭". Open: caption "关闭", push cycle on, the eight controls locked. Close:
  // caption "打开", push cycle off, bIsFirst set, unlocked. A device that vanishes leaves the link
  // waiting for the port (see LinkControl): caption "关闭", locked.
  void CmdOpen_Click();
  // Start-up's opening: as the button, but a port that does not open is waited for.
  void openAtStartup();
  QString cmdOpenCaption() const { return linkOpen() ? tr("关闭") : tr("打开"); }
  // Whether the link is meant to be open (open, or waiting for its port).
  bool linkOpen() const { return linkControl_.meantOpen(); }
  LinkHealth health() const { return linkControl_.health(); }
  // The link's state in a few words for the window and the tray tip: "已连接", "无应答",
  // "等待串口", "未连接".
  QString linkText() const;
  // The sixteen lamps: what the board reports while it is read and answers, grey otherwise.
  LampLooks lamps() const;
  quint8 nCom() const { return nCom_; }
  quint8 nID() const { return link_.nID(); }
  // The port number (1..20) and board address (1..16) in use, without writing them (start-up).
  void setPort(quint8 com) { nCom_ = com; }
  void setAddress(quint8 id) { link_.setAddress(id); }
  // Port list index 0..19 ("Com1".."Com20") and address list index 0..15: set nCom / nID and
  // write "Com" / "ID" at once; the broker's default prefix follows the address.
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

  // --- manual control, through the switch path ("手动"); the window tells what did not act ---
  Switchboard::Result CmdIn_Click();
  Switchboard::Result CmdOut_Click();
  Switchboard::Result CmdOpenAll_Click();
  Switchboard::Result CmdCloseAll_Click();

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

  // --- download of the current page's entries into the board (see DownloadCommand) ---
  static constexpr int kAckTimeoutMs = DownloadCommand::kAckTimeoutMs;
  void CmdDown_Click() { download_.run(nCom_, nPage_); }
  const QString& labDebug() const { return download_.labDebug(); }

  // --- restoring the timetable's state ("恢复定时状态", "Restore") ---
  // When on (and ChkAuto ticked), every take-over (and a clock jump the scheduler does not
  // replay) sets each route that has entries to the action of its most recent due moment (see
  // last_route_switch); routes without one keep the board's state. Ticking writes "Restore" at
  // once (unless not to store). Such a clock jump is recorded ("时钟跳变" with the seconds
  // skipped) either way.
  void setRestore(bool on, bool store = true);
  bool restore() const { return restore_; }

  // --- the current route's next switch, e.g. "下次：12-08 07:05:00 吸合" ---
  // Follows edits, page changes, ChkAuto and the clock (see NextSwitch); while ChkAuto is clear it
  // reads "下次：自动功能未允许".
  QString nextSwitchText() const { return nextText_; }

  // --- the board on an MQTT broker ---
  // Start-up: the section "Mqtt" of Name.ini (read once; with a password the file is made
  // private) starts the connection, or nothing when there is none.
  void startMqtt(const ProfileFile& names);
  // The broker dialog's OK: writes the section and connects with it (an empty server where the
  // file has no section writes nothing). A file that cannot be written is told ("保存设置失败" and
  // the path), and so is a text the file's encoding cannot hold ("密码含有无法保存的字符",
  // likewise for 服务器, 用户名, 前缀 (both prefixes), 证书文件); either changes nothing and
  // returns false.
  bool setMqtt(const MqttSettings& s);
  // A command from the broker for route 1..16, through the switch path ("远程"). The broker's
  // "自动功能允许" switch acts as setChkAuto() does (the box is never locked).
  Switchboard::Result mqttCommand(int route, MqttBridge::Command c);
  // The broker's state in a few words, for the window and the tray tip (see MqttBridge).
  QString mqttText() const { return mqtt_.stateText(); }

  // --- route names ---
  // Stores route 1..16's name in Name.ini (see SettingsStore::WriteRouteName; blanks around it
  // dropped, cut to kRouteNameBytes) and has the broker publish the names again. A name the
  // file's encoding cannot hold is told ("名称含有无法保存的字符"), a file that cannot be written
  // too ("保存设置失败" and the path); either changes nothing and returns false.
  bool renameRoute(int route, const QString& name);

  // --- time driven by hand (simulations) ---
  // Stops the scheduler's and the push cycle's own timers; tickScheduler() then runs one scheduler
  // tick at the clock's reading and tickPush() one push tick.
  void holdTimers() {
    link_.stopPush();
    Timer1_.setEnabled(false);
  }
  void tickScheduler() { Timer1_.Timer1_Timer(); }
  void tickPush() { link_.Timer2_Timer(); }

  // --- quit ---
  // Writes "Open" from ChkOpen and "Run" from ChkRun. Only when both were written, the autostart
  // entry of executablePath (on this data folder) is brought in line with ChkRun, so the settings
  // and the entry never disagree; its own failure is silent. Settings that could not be written
  // are told once, "保存设置失败" and the file's path, and false is returned. The caller then ends
  // the program either way.
  bool CmdQuit_Click(bool chkOpen, bool chkRun, const QString& executablePath);

 signals:
  // The caption, enabled states, ChkAuto, Restore, the link's or the record's state.
  void controlsChanged();
  void listChanged();
  void lampsChanged();
  void labDebugChanged(const QString& text);
  void nextSwitchChanged(const QString& text);
  void entriesChanged();  // after every change of colData (many may come together)

 private:
  void setLocked(bool locked);
  void onEntriesChanged();
  void markSaved();
  void restoreStates();
  void showNextSwitch();
  Switchboard::Result manual(int route, bool energise);
  Switchboard::Result manualAll(bool energise);

  QString appDir_;
  Prompt& prompt_;
  SchedulerTimer::Clock clock_;
  EntryCollection colData_;
  CommPort MSComm_;
  CommPort MSCommDown_;  // the download's port: the same port number, never open with MSComm
  CommandLink link_;
  SchedulerTimer Timer1_;
  SettingsStore settings_;
  EntryStore store_;
  SwitchRecord record_;  // log/YYYY-MM.csv beside Note.ini
  LinkControl linkControl_;
  Switchboard switchboard_;
  DownloadCommand download_;
  NextSwitch next_;
  MqttBridge mqtt_;  // the board on an MQTT broker, when Name.ini's "Mqtt" section asks for it
  FileWatch noteWatch_;           // Note.ini, for changes by other programs
  ProfileFile::Pairs toldStore_;  // the changed store last told and not taken up
  quint8 nCom_ = 1;
  bool chkAuto_ = false;
  bool restore_ = false;
  int nPage_ = 1;
  std::array<bool, kControls> enabled_;
  QList<ListItem> list_;
  QString nextText_;
  ProfileFile::Pairs saved_;              // the entries as Note.ini holds them
  mutable std::optional<bool> modified_;  // worked out again after the entries changed
  bool started_ = false;                  // "程序启动" recorded
};
