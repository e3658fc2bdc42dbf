#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <limits>

#include "core/clock.h"
#include "mqtt/mqtt_client.h"
#include "platform/atomic_file.h"

// What a line of the switch record tells.
enum class RecordAction : quint8 {
  Energise,  // a route's wanted or reported state
  Release,
  PortOpened,  // the link's port
  PortClosed,
  PortLost,
  PortBack,
  BoardAnswers,  // the board
  BoardSilent,
  MqttConnected,  // the broker
  MqttLost,
  MqttFailed,
  MqttInvalid,
  ProgramStart,  // the program
  ProgramEnd,
  TakeOver,     // the link's take-over of the board's states (RecordEvent::routes, on)
  BoardStates,  // the board's first report after the link started (RecordEvent::routes, on)
  RecordLost,   // the record itself: writing works again after RecordEvent::count lines were lost
  RecordFull,   // the month's file reached its limit (its closing line)
  ClockJump,    // the clock stepped forward past the scheduler's catch-up: count seconds unchecked;
                // set back (or its zone changed back): count negative, the step
  OutputLost,   // standard output only (never the file): count lines it could not take
  NotDone,      // a broker's command that could not act (cause Mqtt), or an entry that fell due
                // while nothing could act or a clock jump passed over (cause Entry, its key)
  MqttNotDone = NotDone,
  StoreLoaded,          // Note.ini as another program changed it was taken up (detail: its path)
  SettingInvalid,       // a value of Name.ini start-up could not use (detail: "Com=-1")
  MqttPrefixTaken,      // another copy serves the prefix (detail: its client id)
  MqttPublishDenied,    // the broker refused a publication (detail: the topic, or its kind)
  MqttSubscribeDenied,  // ... a subscription (detail: the filter)
  MqttPrefixInvalid,    // the stored prefix cannot be one (detail: it); the bridge stays off
  AutoAllowed,          // "自动功能允许" ticked (cause Mqtt: by a broker's command)
  AutoForbidden,        // ... cleared
  AlertRaised,          // an alert's condition began (detail: its name and what it names)
  AlertCleared,         // ... ended (detail: its name)
  Unknown,              // read back: a word this program does not know (kept in RecordEvent::word)
};
// Why a route's state changed. Events of the link and the broker have None and say where in
// RecordEvent::detail.
enum class RecordCause : quint8 {
  None,
  Entry,  // detail: the entry's key
  Manual,
  TakeOver,
  Restore,
  Board,  // the board reported the change
  Mqtt,   // a command from the broker
};

// One line of the switch record.
struct RecordEvent {
  QDateTime at;
  int route = 0;  // 1..16, or 0 for an event of the link or the broker
  RecordAction action = RecordAction::Unknown;
  RecordCause cause = RecordCause::None;
  QString detail;                     // the entry's key, the port's device, host:port, a topic
  MqttError error = MqttError::None;  // why a broker's connection failed
  QString word;                       // for Unknown: the action as the line has it
  qint64 count = 0;                   // RecordLost, OutputLost: lines; ClockJump: seconds
  quint16 routes = 0;  // TakeOver, BoardStates: the routes told (bit r - 1 for route r)
  quint16 on = 0;      // ... and which of them are energised
};

// The switch record: every event appended as one line to the monthly file log/YYYY-MM.csv in its
// folder (UTF-8 with a byte-order mark, header "时间,路,动作,来源"). The time is local, to the
// millisecond ("2026-12-07 08:00:00.123"); only in the hour that an autumn clock change repeats
// does it carry its offset from UTC ("2027-10-31 02:10:00.000+02:00", an hour later
// "2027-10-31 02:10:00.000+01:00"), so the two passes stay apart; both forms read back.
// The file's words are the same in every language (scripts and spreadsheets read them): the
// action "吸合", "断开", "串口打开", "串口关闭", "串口丢失", "串口恢复", "板应答", "板无应答",
// "远程已连接", "远程断开", "远程连接失败", "远程消息无效", "程序启动", "程序退出", "接管",
// "板状态", "记录中断", "记录已满", "时钟跳变", "未执行" (a broker's command or an entry that could
// not act), "时间表更新", "设置无效", "前缀被占用", "无权发布", "无权订阅", "前缀无效", "自动允许",
// "自动禁止", "告警", "告警解除";
// the cause an entry's key, "手动", "接管", "恢复", "板状态", "远程", where a link's or broker's
// event happened (a failure's reason after a blank), several routes' states ("吸合 1,2 断开
// 3-16"), or a count: "12行" lines lost, "3600秒" seconds skipped. They are made and read back here
// only.
//
// Writing. Each event goes to the file with one append (opened, one write, closed), so a file
// removed or a disk that comes back meanwhile costs nothing. log/ must be a real folder and the
// month's file a regular file: a symbolic link in either place is never followed (nothing outside
// the data folder is touched through one). A write that fails or falls short is taken back (the
// file cut to where it was), so no line is ever cut or joined to the next; a file that ends
// mid-line anyway (a power cut) gets the next line on a line of its own. Lines that could not be
// written are counted, failure() says why, and failureChanged() tells each change once, never
// once per line; meanwhile writing is tried again every kRetryMs. The first write that works
// begins with one line "记录中断" and the count. A month's file stops growing at kMaxFileBytes:
// one closing line "记录已满", then that month's lines are counted in the same way and told at the
// top of the next month's file. When a month's file is begun, the regular files named like the
// record's that are more than kKeepMonths months older are removed from log/, nothing else.
// Whatever happens to the file, every event is announced (the record never stops switching).
//
// Reading goes backwards from the newest line and holds only a block of the file at a time, so a
// file of any size costs the same to look at.
class SwitchRecord : public QObject {
  Q_OBJECT
 public:
  static constexpr int kKeepMonths = 13;
  static constexpr qint64 kMaxFileBytes = 100'000'000;
  static constexpr int kRetryMs = 60'000;
  static constexpr int kEveryRoute = 0;  // for the readers: the events of every route

  // folder is the one that holds Note.ini; clock defaults to the PC's.
  explicit SwitchRecord(const QString& folder, Clock clock = {}, QObject* parent = nullptr);

  // Appends an event at the clock's present moment and announces it.
  void append(int route, RecordAction action, RecordCause cause, const QString& detail = {},
              MqttError error = MqttError::None);
  // The same for a route's state.
  void appendState(int route, bool energise, RecordCause cause, const QString& detail = {}) {
    append(route, energise ? RecordAction::Energise : RecordAction::Release, cause, detail);
  }
  // The same for an event of the program with a count (ClockJump).
  void appendCount(RecordAction action, qint64 count);
  // The same for several routes' states in one line (TakeOver, BoardStates).
  void appendStates(RecordAction action, quint16 routes, quint16 on);

  // Opens the month's file for appending without adding a line (a new file gets its header), so
  // a record that cannot be written is known before its first event.
  void check() { store(nullptr); }
  // Why the last write failed, or None while writing works.
  WriteFailure failure() const { return failure_; }
  // The record's folder, log/ in the data folder.
  QString logFolder() const { return dir_ + QStringLiteral("/log"); }

  // Reads the record back, newest line first: the month files from the newest back, each from its
  // end, until visit returns false. Lines that do not read as an event (the header, anything cut
  // or over 64 KiB) are skipped. With route 1..16 only that route's events and those of the link
  // and the broker (route 0) are visited; lines of other routes are passed over unparsed.
  // keep, when given, passes over (unparsed) the lines for which it says false.
  void readBackwards(const std::function<bool(const RecordEvent&)>& visit, int route = kEveryRoute,
                     bool (*keep)(QByteArrayView line) = nullptr) const;
  // The newest `count` events, newest first (of route and route 0 alone, as above).
  QList<RecordEvent> newest(int count, int route = kEveryRoute) const;
  // The events at or after `from`, in the order they were written (read backwards as above), the
  // newest `max` of them at most. With boardAndLink only what the board and the link tell: the
  // events without a route (the link's, the program's, the broker's), the routes' changes the
  // board reported and the commands and entries that could not act ("未执行"); the others are
  // passed over unparsed.
  QList<RecordEvent> since(const QDateTime& from, bool boardAndLink = false,
                           int max = std::numeric_limits<int>::max()) const;

  QString folder() const { return dir_; }
  // One event as its line in the file (no line end), and one line read back.
  static QString line(const RecordEvent& e);
  static bool parse(const QString& line, RecordEvent* e);
  // A moment as the file writes it (see above).
  static QString timeText(const QDateTime& at);
  // The action and cause columns in the file's words, or, with shown, as the user reads them
  // (translated).
  static QString actionWord(const RecordEvent& e, bool shown = false);
  static QString causeWord(const RecordEvent& e, bool shown = false);
  // Why a broker's connection failed, in the file's words or as shown.
  static QString errorWord(MqttError e, bool shown = false);
  // Several routes' states in one line's detail, in the file's words (or, with shown, translated):
  // "吸合 1,2,9 断开 3-8,10-16" for the routes whose bit (route r: bit r - 1) is set in routes;
  // energised says which are on. parse() reads it back into RecordEvent::routes and on.
  static QString statesDetail(quint16 routes, quint16 energised, bool shown = false);

 signals:
  void appended(const RecordEvent& e);
  // Writing began to fail (why) or works again (None).
  void failureChanged(WriteFailure why);

 private:
  enum class Written { Yes, Failed, Full, Closed };
  // Writes e, after the line that tells the lines lost, if any (e null: only that line, or
  // nothing); counts e when it is not written.
  void store(const RecordEvent* e);
  // Appends bytes to the month's file in one write; limit: only while the file stays within
  // kMaxFileBytes (Full: it would not; Closed: its closing line is written already).
  Written write(const QDate& month, const QByteArray& bytes, bool limit, int* error) const;
  void setFailure(WriteFailure why);

  QString dir_;
  Clock clock_;
  WriteFailure failure_ = WriteFailure::None;
  qint64 lost_ = 0;  // lines not written since the last one that was
  QTimer retry_;
};
