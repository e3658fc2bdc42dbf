#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <array>
#include <memory>
#include <optional>

#include "core/clock.h"
#include "core/due_moments.h"
#include "core/entry_collection.h"
#include "core/scheduler.h"
#include "device/comm_port.h"
#include "device/command_link.h"
#include "platform/file_watch.h"
#include "platform/private_profile.h"
#include "station/download_command.h"
#include "station/link_control.h"
#include "station/next_switch.h"
#include "station/settings_store.h"
#include "station/switch_record.h"
#include "station/switchboard.h"

// The entries as one value: an immutable copy that any thread may read, with the revision it
// belongs to and whether it differs from what Note.ini holds.
struct EntrySnapshot {
  std::shared_ptr<const EntryCollection> entries = std::make_shared<EntryCollection>();
  quint64 revision = 0;
  bool modified = false;
};

// Every route's next switch (index r for route r, 0 unused), as the next-switch service has them.
using NextSwitches = std::array<std::optional<RouteSwitch>, kRouteCount + 1>;

// The position a stored "ID" or "Com" text selects in a list of listSize numbers from 1: the
// number minus one, or -1 when the text is not a decimal number or lies outside 1..listSize.
int stored_list_position(const QString& text, int listSize);

// The positions start-up selected in the address list (16) and the port list (20), -1 for none.
struct StoredChoice {
  int idIndex = -1;
  int comIndex = -1;
  QStringList invalid;  // the stored values not used, as "ID=300"
};

// What loading Note.ini found.
enum class StoreLoad { Loaded, Missing, Unreadable };

// One board's plant: the entry collection and its store, the board's settings (port, address,
// restore, the timetable allowed), the port and the command link with its control, the scheduler,
// the one switch path, the switch record, the next-switch service and the download.
//
// Its interface is commands with values (the member functions below) and signals carrying values;
// it holds no widget, words nothing and asks nobody: what the user must hear comes out as a value
// (told() and the notices) for the peers to word. It lives on one thread (its own in the window
// program, the main one under --headless): the peers call its commands on that thread only, through
// station_call() / station_post() from elsewhere, and read it through its signals. The const
// accessors at the end are for that thread alone (tests, the broker bridge that lives beside it).
//
// Every change of the entries, from anywhere, gets a new revision and is announced with the whole
// set (entriesChanged). A run's revisions begin at its start time in milliseconds, so one told
// before a restart (a page left open) never matches the entries of the next run. The scheduler runs
// while the timetable is allowed (and no download runs); restore acts at every take-over and at a
// clock jump the scheduler does not replay.
class Station : public QObject {
  Q_OBJECT
 public:
  // dataDir holds Note.ini, Name.ini, dosdevices/ and log/; clock defaults to the PC's.
  explicit Station(const QString& dataDir, Clock clock = {}, QObject* parent = nullptr);
  // Ends the link and records "程序退出" when start() recorded "程序启动". Unsaved entries not
  // yet in the recovery file are written to it first.
  ~Station() override;

  // --- start-up ---
  // Checks whether the record can be written and records "程序启动".
  void start();
  // The stored address and port (names: Name.ini as read at the start) put in use, each written
  // back in its plain decimal form (skipped when the file holds that very text already). A value
  // that is not a number, is 0 or lies beyond its list selects nothing, writes nothing, keeps 1
  // and is recorded ("设置无效" with the key and the value).
  StoredChoice useStoredPortAndAddress(const ProfileFile& names);
  // Name.ini read again while running: the address, the port (a link that is open moves to a
  // changed port at once), "Restore", "Auto" (a pause set or lifted in the file, recorded without
  // a cause) and the routes' names (namesChanged), each as start-up reads it; a value start-up
  // would not select changes nothing. Nothing is written.
  void rereadSettings(const ProfileFile& names);
  // Loads Note.ini as the entries (saved, so not modified); the timetable is allowed when there
  // are entries and it was not paused. An unreadable file loads nothing.
  StoreLoad loadStore();

  // --- the recovery file (Note.ini.unsaved beside Note.ini) ---
  // While the entries differ from Note.ini, they are written to the recovery file (atomically,
  // kRecoveryDelayMs after a change at the latest, and when the station ends); it is removed when
  // they are saved, dropped or no longer differ. A power cut or a kill loses at most that delay.
  static constexpr int kRecoveryDelayMs = 1000;
  QString recoveryPath() const;
  // Start-up, after loadStore(): whether a recovery file left by an earlier run holds entries that
  // differ from those loaded (one that holds nothing new is removed).
  bool recoveryOffered();
  // Takes the recovery file's entries up as unsaved entries (the timetable follows their count).
  void takeRecovery();
  // Removes the recovery file; the unsaved entries are not written to it again until they change.
  void dropRecovery();
  // Note.ini as it is now, when another program changed it (looked at every FileWatch::kPollMs,
  // and on demand): a store whose entries differ from those last loaded or saved replaces them
  // while none are unsaved (the timetable allowed when there are entries, "时间表更新" recorded,
  // storeTold(TakenUp)); with unsaved entries nothing changes and storeTold(ChangedElsewhere) tells
  // it, once for each new content. A store that is missing or cannot be read changes nothing.
  // Returns whether the entries were replaced.
  enum class StoreNotice { TakenUp, ChangedElsewhere };
  bool takeUpStore();

  // --- the switch path ---
  Switchboard::Result want(int route, bool energise, RecordCause cause);
  Switchboard::Result wantAll(bool energise, RecordCause cause);
  Switchboard::Result toggle(int route, RecordCause cause);

  // --- the timetable and restore ---
  // The timetable allowed or not. A cause (Manual, Mqtt) is a user's pause or resumption: kept in
  // Name.ini ("Auto"), so a paused timetable stays paused across restarts, and recorded (自动禁止 /
  // 自动允许 with the cause). Without a cause the change follows the entries (a first entry, a file
  // opened, a store taken up) and never resumes a paused timetable.
  void setAuto(bool allowed, RecordCause cause = RecordCause::None);
  // The timetable allowed when there are entries, unless it is paused.
  void followEntries();
  // store: write "Restore" to Name.ini.
  void setRestore(bool on, bool store);

  // --- port, address, link ---
  // Port number 1..20, board address 1..16; store: write "Com" / "ID".
  void setPort(quint8 com, bool store);
  void setAddress(quint8 id, bool store);
  // Opens the link on the port in use (keepTrying: a port that does not open is waited for).
  // Returns whether the port opened. Closing ends the link or the waiting.
  bool openLink(bool keepTrying);
  void closeLink();

  // --- the entries ---
  // Replaces the entries with a copy of entries when baseRevision is the current revision (0: any);
  // asSaved marks them as what Note.ini holds. Returns the new snapshot, or the current one
  // unchanged when the revision was stale.
  EntrySnapshot setEntries(const EntryCollection& entries, quint64 baseRevision, bool asSaved);
  EntrySnapshot snapshot() const;
  // Writes the entries as the whole store (see save_entry_store). Returns None on success.
  WriteFailure save();

  // --- route names (Name.ini) ---
  enum class NameResult { Done, NotStorable, NotWritten };
  // Blanks around dropped, cut to SettingsStore::kRouteNameBytes. why, when given, says why a
  // name was NotWritten.
  NameResult renameRoute(int route, const QString& name, WriteFailure* why = nullptr);

  // --- the record, for peers that have something to record (the broker's events) ---
  void record(int route, RecordAction action, RecordCause cause, const QString& detail = {},
              MqttError error = MqttError::None);

  // --- download of one route page's entries into the board ---
  void download(int page);

  // --- time driven by hand (simulations, tests) ---
  void holdTimers();
  void tickScheduler() { Timer1_.Timer1_Timer(); }
  void tickPush() { link_.Timer2_Timer(); }

  // --- this thread only ---
  const QString& dataDir() const { return dataDir_; }
  QString storePath() const { return storePath_; }
  const Clock& clock() const { return clock_; }
  const EntryCollection& entries() const { return colData_; }
  const CommandLink& link() const { return link_; }
  const LinkControl& linkControl() const { return linkControl_; }
  const CommPort& port() const { return MSComm_; }
  const CommPort& downloadPort() const { return MSCommDown_; }
  const SchedulerTimer& scheduler() const { return Timer1_; }
  const SwitchRecord& record() const { return record_; }
  const SettingsStore& settings() const { return settings_; }
  LinkHealth health() const { return linkControl_.health(); }
  LampLooks lamps() const;
  quint8 nCom() const { return nCom_; }
  quint8 nID() const { return link_.nID(); }
  bool autoAllowed() const { return auto_; }
  bool paused() const { return paused_; }
  bool restore() const { return restore_; }
  NextSwitches nextSwitches() const;
  bool modified() const;

 signals:
  // The link's health (also when its port or the board's answering changed).
  void healthChanged(LinkHealth health);
  // The sixteen lamps: the board's reports while it answers, grey otherwise.
  void lampsChanged(const LampLooks& lamps);
  // After a counted reply: the states the board reported (high bank first).
  void reported(quint16 states);
  // The wanted states after a change went out.
  void wantedChanged(const RouteStateTable& wanted);
  void entriesChanged(const EntrySnapshot& entries);
  void recordAppended(const RecordEvent& e);
  void recordFailureChanged(WriteFailure why);
  void namesChanged();
  void autoChanged(bool allowed, bool paused);
  void restoreChanged(bool on);
  void addressChanged(quint8 id);
  void nextChanged(const NextSwitches& next);
  // For the user: the link's and the download's notices.
  void linkTold(LinkNotice what, const PortFailure& failure);
  void downloadTold(DownloadCommand::Notice what, const PortFailure& failure);
  void labDebugChanged(const QString& text);
  void storeTold(Station::StoreNotice what);
  // The station's pulse: every scheduler tick, and about once a second from the station's thread
  // while the timetable is not running (not allowed, or a download holds it); nothing while the
  // timers are held or the thread is stuck.
  void ticked();
  // The board stopped answering an open link for CommandLink::kSilentTicks (once per silence, the
  // one after opening included).
  void boardSilent();
  // The scheduler found the clock stepped (see SchedulerTimer::jumped).
  void clockJumped(qint64 skipped);
  // Entries that fell due while nothing could act, or that a clock jump passed over unreplayed
  // (each recorded "未执行").
  void entriesMissed(const DueEntries& entries);

 private:
  void applyAuto(bool allowed);
  void restoreStates();
  void onEntriesChanged();
  void announceHealth();
  void writeRecovery();

  QString dataDir_;
  QString storePath_;
  Clock clock_;
  EntryCollection colData_;
  CommPort MSComm_;
  CommPort MSCommDown_;  // the download's port: the same port number, never open with MSComm
  CommandLink link_;
  SchedulerTimer Timer1_;
  SettingsStore settings_;
  SwitchRecord record_;  // log/YYYY-MM.csv beside Note.ini
  LinkControl linkControl_;
  Switchboard switchboard_;
  DownloadCommand download_;
  NextSwitch next_;
  quint8 nCom_ = 1;
  bool auto_ = false;
  bool paused_ = false;  // by a user: "Auto=0" in Name.ini
  bool restore_ = false;
  quint64 revision_ = 1;
  ProfileFile::Pairs saved_;              // the entries as Note.ini holds them
  mutable std::optional<bool> modified_;  // worked out again after the entries changed
  bool started_ = false;                  // "程序启动" recorded
  LinkHealth health_ = LinkHealth::Closed;
  FileWatch noteWatch_;           // Note.ini, for changes by other programs
  ProfileFile::Pairs toldStore_;  // the changed store last told and not taken up
  QTimer heartbeat_;              // the pulse while the scheduler does not tick
  bool held_ = false;             // holdTimers(): time driven by hand
  QTimer recoveryTimer_;          // runs while a change is not yet in the recovery file
  bool recoveryWritten_ = false;  // the recovery file is this run's
};

Q_DECLARE_METATYPE(EntrySnapshot)
Q_DECLARE_METATYPE(NextSwitches)
Q_DECLARE_METATYPE(DueEntries)
