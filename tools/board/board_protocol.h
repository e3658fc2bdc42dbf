#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <map>
#include <utility>
#include <vector>

// One entry as the board keeps it after a download frame.
struct DownloadedEntry {
  int route = 0;  // byte 5
  int index = 0;  // byte 4
  int kind = 0;   // 1 every day, 2 weekly, 3 fixed date
  int year = 0;   // 2000 + the BCD year
  int month = 0;
  int day = 0;
  quint8 weekMask = 0;  // bit 0 Monday .. bit 6 Sunday
  int hour = 0;
  int minute = 0;
  int second = 0;
  int action = 0;  // 2 energise, 1 release

  // "route 03 index 01 kind 1 date 2010-12-22 week 0000000 time 08:30:00 action 2"
  QString describe() const;
};

// Routes written "3,5,9-11" (1..16) as a mask, bit r-1 for route r; false for anything else.
bool parse_route_list(const QString& text, quint16* routes);

// The relay board's side of the serial protocol, free of any I/O.
//
// Bytes are fed as they arrive. A command frame (0x55, address, type, 0, 0, high, low, sum) with
// the right sum and this board's address is answered with the 8-byte reply 0x22, address, type,
// 0, 0, high outputs, low outputs, sum; type 19 first sets the outputs from the masks, any other
// type changes nothing. A download frame (0x66, 22 bytes, sum and exclusive-or right, this
// address) is kept and acknowledged with the single byte 0x56. Frames for another address are
// consumed without an answer; a bad sum, a bad check byte or noise gets none either, and the
// parser resynchronises on the next header byte.
class BoardProtocol {
 public:
  enum class Kind { Query, Set, OtherCommand, Download };
  struct Event {
    Kind kind;
    QByteArray answer;      // the bytes to send back
    DownloadedEntry entry;  // for a download: the entry kept
  };

  explicit BoardProtocol(quint8 address = 1, quint16 outputs = 0)
      : address_(address), outputs_(outputs) {}

  // Feeds received bytes; returns one event per frame handled, in order.
  std::vector<Event> feed(const QByteArray& bytes);
  // Forgets a partly received frame (the line was quiet too long for it to be completed).
  void dropPartial() { buffer_.clear(); }

  quint16 outputs() const { return outputs_; }  // bit r-1 = route r energised
  // Routes (bit r-1 = route r) whose relays never follow a set frame: they keep their outputs.
  void setStuck(quint16 routes) { stuck_ = routes; }
  quint16 stuck() const { return stuck_; }
  quint8 address() const { return address_; }
  // Downloaded entries by (route, index), in that order; a repeated (route, index) replaces.
  const std::map<std::pair<int, int>, DownloadedEntry>& entries() const { return entries_; }

  static QByteArray replyFor(quint8 address, quint8 type, quint16 outputs);
  static constexpr quint8 kAck = 0x56;

 private:
  bool takeCommand(std::vector<Event>& out);
  bool takeDownload(std::vector<Event>& out);

  quint8 address_;
  quint16 outputs_;
  quint16 stuck_ = 0;
  QByteArray buffer_;
  std::map<std::pair<int, int>, DownloadedEntry> entries_;
};
