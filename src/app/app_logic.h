#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "app/prompt.h"
#include "core/entry_collection.h"
#include "editing/entry_editor.h"
#include "editing/route_pages.h"
#include "remote/alerts.h"
#include "remote/mqtt_bridge.h"
#include "remote/web_server.h"
#include "station/station.h"
#include "station/station_thread.h"

// The logic behind the main window, free of widgets: the window's own page, list and the rules
// that enable and disable its commands, over a station (the board's plant) that may live on
// another thread. It keeps the window's copy of the entries (the list and the editor work on it)
// and what the station last told (lamps, link health, the timetable allowed, restore, the next
// switches, the record's trouble), turns the window's commands into station commands with values,
// and asks the user (through the prompt) what the station reports as outcomes. The window forwards
// its events here and shows the state it publishes.
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

  // station and bridge (which lives on the station's thread) and prompt must outlive the logic.
  AppLogic(Station& station, MqttBridge& bridge, Prompt& prompt, QObject* parent = nullptr);

  const QString& appDir() const { return appDir_; }
  Prompt& prompt() { return prompt_; }
  // The station it drives. Its members are for the station's thread only (tests that run both on
  // one thread read them).
  Station& station() { return station_; }
  const Station& station() const { return station_; }
  // The broker bridge, likewise for its thread only.
  const MqttBridge& bridge() const { return bridge_; }

  // --- what the window reads ---
  // The window's copy of the entries, as the list and the editor show them.
  const EntryCollection& entries() const { return colData_; }
  // Name.ini: read and written afresh at each call, from any thread.
  const SettingsStore& settings() const { return settings_; }
  // The switch record's files: its readers read them from any thread; appended() comes queued.
  const SwitchRecord& record() const { return station_.record(); }
  QString storePath() const { return storePath_; }
  const Clock& clock() const { return clock_; }

  // --- the switch record ---
  // While the record cannot be written: "记录无法写入" and the reason where it is known, e.g.
  // "记录无法写入：磁盘已满"; empty while it can.
  QString recordText() const;
  // The alerts (living on the station's thread) mirrored here: their state as last told, and each
  // message for a person as alertTold(). Call once, before the window shows.
  void watchAlerts(Alerts& alerts);
  // The page's server: why it did not start, or that it serves in clear on the network, told
  // once as it (re)starts.
  void watchWeb(WebServer& web);
  // The page's new password: its salted hash written to Name.ini (see web_password_hash; slow on
  // purpose). An empty one is refused. Tells "保存设置失败" and the path when it cannot be written.
  bool setWebPassword(const QString& password);
  bool webPasswordSet() const;
  const AlertsState& alerts() const { return alerts_; }
  // The conditions that hold, one a line (empty when none), for the tray's tip.
  QString alertsText() const;
  // The alerts' webhook as Name.ini holds it; setWebhook() writes it there (a text the file cannot
  // hold, or a failed write, is told and changes nothing) and puts it in use.
  WebhookSettings webhookSettings() const;
  bool setWebhook(const WebhookSettings& s);
  // Sends a test message to s's receiver; webhookTested() tells the answer in words.
  void testWebhook(const WebhookSettings& s);

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
  // The revision of the entries the window shows.
  quint64 revision() const { return revision_; }
  // Before the program ends. With unsaved entries asks "时间表已修改，是否保存？" (保存, 不保存,
  // 取消): 保存 saves them (a failure is told, "保存失败" and the path, and keeps the program),
  // 不保存 drops them (and their recovery file), 取消 keeps the program. Returns whether it may
  // end. Where no question may be asked (a desktop session that ends without interaction) the
  // entries are saved unasked; the old store goes to the trash as at every save, and what cannot
  // be saved stays in the recovery file, so nothing is lost either way.
  bool saveBeforeEnd(bool mayAsk = true);
  // Start-up's first step: "程序启动" in the record (the record checked first: whether it can be
  // written).
  void recordProgramStart();
  // Start-up: the stored port and address in use (see Station::useStoredPortAndAddress).
  StoredChoice useStoredPortAndAddress(const ProfileFile& names);
  // Start-up: Note.ini as the entries ("读取失败" and the path for one that cannot be read).
  // Entries left unsaved by the previous run (its recovery file) are offered:
  // "上次有未保存的修改，是否恢复？"; OK takes them up as unsaved entries, Cancel drops them.
  void loadStore();

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
  bool linkOpen() const { return health_ != LinkHealth::Closed; }
  LinkHealth health() const { return health_; }
  // The link's state in a few words for the window and the tray tip: "已连接", "无应答",
  // "等待串口", "未连接".
  QString linkText() const;
  // The sixteen lamps: what the board reports while it is read and answers, grey otherwise.
  const LampLooks& lamps() const { return lamps_; }
  // The states the board last reported (high bank first), none before its first report since the
  // link opened.
  std::optional<quint16> reportedStates() const { return reported_; }
  quint8 nCom() const { return nCom_; }
  quint8 nID() const { return nID_; }
  // The port number (1..20) and board address (1..16) in use, without writing them (start-up).
  void setPort(quint8 com);
  void setAddress(quint8 id);
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
  // A click on ChkAuto: the timetable paused or resumed by hand, kept in Name.ini and recorded.
  void setChkAuto(bool ticked);
  bool chkAuto() const { return chkAuto_; }
  // Whether the timetable was paused (by hand or remotely) and stays so across restarts.
  bool paused() const { return paused_; }
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

  // --- delete commands, after "删除当前信息吗？" / "删除第3路的全部条目吗？" ---
  // Removes the selected entries (the objects the list items show), renumbers the page, re-keys
  // colData. With nothing selected it neither asks nor acts.
  void CmdDel_Click(const QList<EntryPtr>& selected);
  void CmdDelAll_Click();

  // --- files ---
  void CmdSave_Click();
  void CmdSaveAs_Click();
  // Unsaved entries are asked about first, as at quitting (取消 opens nothing). A file without
  // entries changes nothing (see open_command). After a successful open: ChkAuto from the count
  // (a paused timetable stays paused) and the list of the current page.
  void CmdOpenFile_Click();

  // --- download of the current page's entries into the board (see DownloadCommand) ---
  // Runs on the station's thread; the window does not wait for it.
  static constexpr int kAckTimeoutMs = DownloadCommand::kAckTimeoutMs;
  void CmdDown_Click();
  const QString& labDebug() const { return labDebug_; }

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
  // The settings in use and the connection's state, as the bridge last told them.
  const MqttSettings& mqttSettings() const { return mqttSettings_; }
  MqttClient::State mqttState() const { return mqttStatus_.state; }
  // The broker dialog's OK: writes the section and connects with it (an empty server where the
  // file has no section writes nothing). A file that cannot be written is told ("保存设置失败" and
  // the path), and so is a text the file's encoding cannot hold ("密码含有无法保存的字符",
  // likewise for 服务器, 用户名, 前缀 (both prefixes), 证书文件); either changes nothing and
  // returns false.
  bool setMqtt(const MqttSettings& s);
  // The broker's state in a few words, for the window and the tray tip (see MqttBridge).
  QString mqttText() const { return mqttStatus_.text; }
  // The broker's lamp shows amber (see MqttBridge::troubled).
  bool mqttTroubled() const { return mqttStatus_.troubled; }

  // --- route names ---
  // Stores route 1..16's name in Name.ini (see SettingsStore::WriteRouteName; blanks around it
  // dropped, cut to kRouteNameBytes) and has the broker publish the names again. A name the
  // file's encoding cannot hold is told ("名称含有无法保存的字符"), a file that cannot be written
  // too ("保存设置失败" and the path); either changes nothing and returns false.
  bool renameRoute(int route, const QString& name);
  // Route 1..16 as its tab reads: its stored name, or its number with "未命名" ("3 未命名") while
  // it has none, so unnamed routes tell themselves apart. names is Name.ini as read.
  QString routeCaption(const ProfileFile& names, int route) const;

  // --- time driven by hand (simulations) ---
  // Stops the scheduler's and the push cycle's own timers; tickScheduler() then runs one scheduler
  // tick at the clock's reading and tickPush() one push tick.
  void holdTimers();
  void tickScheduler();
  void tickPush();

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
  // A condition raised or cleared for a person to hear (paced, see Alerts), in words.
  void alertTold(const QString& text, bool raised);
  void webhookTested(const QString& text, bool taken);
  void entriesChanged();  // after every change of colData (many may come together)

 private:
  void setLocked(bool locked);
  // With unsaved entries asks question (保存, 不保存, 取消); returns whether to go on: after a
  // save that worked, or 不保存.
  bool keepUnsaved(const QString& question);
  void onEntriesChanged();
  // The window's copy of the entries goes to the station when it changed.
  void sync();
  void adopt(const EntrySnapshot& s);
  void showNextSwitch();
  void onHealth(LinkHealth h);
  void tellLink(LinkNotice what, const PortFailure& failure);
  void tellDownload(DownloadCommand::Notice what, const PortFailure& failure);
  Switchboard::Result manual(int route, bool energise);
  template <typename F>
  auto call(F f) {
    return station_call(&station_, std::move(f));
  }

  Station& station_;
  MqttBridge& bridge_;
  Prompt& prompt_;
  QString appDir_;
  QString storePath_;
  Clock clock_;
  SettingsStore settings_;
  EntryCollection colData_;  // the window's copy
  quint64 revision_ = 0;     // of the station's entries the copy stands for
  bool dirty_ = false;       // the copy changed since it went to the station
  bool pushing_ = false;     // the copy is on its way to the station
  bool modified_ = false;    // the entries differ from Note.ini, as the station told
  quint8 nCom_ = 1;
  quint8 nID_ = 1;
  LinkHealth health_ = LinkHealth::Closed;
  LampLooks lamps_{};
  std::optional<quint16> reported_;
  WriteFailure recordFailure_ = WriteFailure::None;
  NextSwitches next_;
  MqttSettings mqttSettings_;
  MqttBridge::Status mqttStatus_;
  AlertsState alerts_;
  Alerts* alertsPeer_ = nullptr;
  Webhook testHook_;  // the test button's, on this thread
  bool chkAuto_ = false;
  bool paused_ = false;
  bool restore_ = false;
  int nPage_ = 1;
  std::array<bool, kControls> enabled_;
  QList<ListItem> list_;
  QString nextText_;
  QString labDebug_;
  bool telling_ = false;  // "串口已断开" is up
};
