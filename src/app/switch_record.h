#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

#include "mqtt/mqtt_client.h"

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
  MqttNotDone,
  Unknown,  // read back: a word this program does not know (kept in RecordEvent::word)
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
};

// The switch record: every event appended as one line to the monthly file log/YYYY-MM.csv in its
// folder (UTF-8 with a byte-order mark, header "时间,路,动作,来源", time to the millisecond).
// The file's words are the same in every language (scripts and spreadsheets read them): the
// action "吸合", "断开", "串口打开", "串口关闭", "串口丢失", "串口恢复", "板应答", "板无应答",
// "远程已连接", "远程断开", "远程连接失败", "远程消息无效"; the cause an entry's key, "手动",
// "接管", "恢复", "板状态", "远程", or where a link's or broker's event happened (a failure's
// reason after a blank). They are made and read back here only. A broker's command that could
// not act (MqttNotDone) is "未执行", cause "远程".
//
// Each append opens, writes and closes the month's file, so a file removed or a disk that comes
// back meanwhile costs nothing; a write that fails is dropped without a word (the record never
// stops switching) and tried again with the next event. When a month's file is begun, files older
// than kKeepMonths months before it are removed.
class SwitchRecord : public QObject {
  Q_OBJECT
 public:
  static constexpr int kKeepMonths = 13;
  using Clock = std::function<QDateTime()>;

  // folder is the one that holds Note.ini; clock defaults to the PC's.
  explicit SwitchRecord(const QString& folder, Clock clock = {}, QObject* parent = nullptr);

  // Appends an event at the clock's present moment and announces it.
  void append(int route, RecordAction action, RecordCause cause, const QString& detail = {},
              MqttError error = MqttError::None);
  // The same for a route's state.
  void appendState(int route, bool energise, RecordCause cause, const QString& detail = {}) {
    append(route, energise ? RecordAction::Energise : RecordAction::Release, cause, detail);
  }

  // The newest `count` events of the files, newest first (lines that do not read are skipped).
  QList<RecordEvent> newest(int count) const;

  QString folder() const { return dir_; }
  // One event as its line in the file (no line end), and one line read back.
  static QString line(const RecordEvent& e);
  static bool parse(const QString& line, RecordEvent* e);
  // The action and cause columns in the file's words, or, with shown, as the user reads them
  // (translated).
  static QString actionWord(const RecordEvent& e, bool shown = false);
  static QString causeWord(const RecordEvent& e, bool shown = false);
  // Why a broker's connection failed, in the file's words or as shown.
  static QString errorWord(MqttError e, bool shown = false);

  // Whether every line also goes to standard output (for a service manager's journal).
  void setEcho(bool on) { echo_ = on; }

 signals:
  void appended(const RecordEvent& e);

 private:
  void removeOldFiles(const QDate& month) const;

  QString dir_;
  Clock clock_;
  bool echo_ = false;
};
