#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

// One line of the switch record.
struct RecordEvent {
  QDateTime at;
  int route = 0;   // 1..16, or 0 for an event of the link
  QString action;  // "吸合" / "断开" or what happened to the link
  QString cause;   // an entry's key, "手动", "接管", "恢复", "板状态" or the link's port
};

// The switch record: every event appended as one line to the monthly file log/YYYY-MM.csv in its
// folder (UTF-8 with a byte-order mark, header "时间,路,动作,来源", time to the millisecond).
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
  void append(int route, const QString& action, const QString& cause);

  // The newest `count` events of the files, newest first (lines that do not read are skipped).
  QList<RecordEvent> newest(int count) const;

  QString folder() const { return dir_; }
  // One event as its line in the file (no line end).
  static QString line(const RecordEvent& e);

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
