#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <limits>

#include "core/clock.h"
#include "platform/atomic_file.h"
#include "station/record_event.h"
#include "station/record_line.h"

// The switch record: every event appended as one line to the monthly file log/YYYY-MM.csv in its
// folder (UTF-8 with a byte-order mark, header "时间,路,动作,来源"), as RecordLine writes it
// (record_line.h).
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
