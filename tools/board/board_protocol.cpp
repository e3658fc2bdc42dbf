#include "board_protocol.h"

#include <QStringList>

namespace {

constexpr quint8 kCommandHeader = 0x55;
constexpr quint8 kDownloadHeader = 0x66;
constexpr int kCommandLength = 8;
constexpr int kDownloadLength = 22;

quint8 at(const QByteArray& b, int i) { return static_cast<quint8>(b.at(i)); }

quint8 sum_of(const QByteArray& b, int n) {
  unsigned s = 0;
  for (int i = 0; i < n; ++i) s += at(b, i);
  return static_cast<quint8>(s);
}

int from_bcd(quint8 b) { return (b >> 4) * 10 + (b & 0x0F); }

}  // namespace

QString DownloadedEntry::describe() const {
  QString week;
  for (int k = 0; k < 7; ++k) week += (weekMask >> k) & 1 ? QLatin1Char('1') : QLatin1Char('0');
  return QStringLiteral("route %1 index %2 kind %3 date %4-%5-%6 week %7 time %8:%9:%10 action %11")
      .arg(route, 2, 10, QLatin1Char('0'))
      .arg(index, 2, 10, QLatin1Char('0'))
      .arg(kind)
      .arg(year, 4, 10, QLatin1Char('0'))
      .arg(month, 2, 10, QLatin1Char('0'))
      .arg(day, 2, 10, QLatin1Char('0'))
      .arg(week)
      .arg(hour, 2, 10, QLatin1Char('0'))
      .arg(minute, 2, 10, QLatin1Char('0'))
      .arg(second, 2, 10, QLatin1Char('0'))
      .arg(action);
}

QByteArray BoardProtocol::replyFor(quint8 address, quint8 type, quint16 outputs) {
  QByteArray r(kCommandLength, '\0');
  r[0] = static_cast<char>(0x22);
  r[1] = static_cast<char>(address);
  r[2] = static_cast<char>(type);
  r[5] = static_cast<char>(outputs >> 8);
  r[6] = static_cast<char>(outputs & 0xFF);
  r[7] = static_cast<char>(sum_of(r, 7));
  return r;
}

std::vector<BoardProtocol::Event> BoardProtocol::feed(const QByteArray& bytes) {
  buffer_.append(bytes);
  std::vector<Event> out;
  while (!buffer_.isEmpty()) {
    const quint8 head = at(buffer_, 0);
    bool waiting = false;
    if (head == kCommandHeader) {
      if (buffer_.size() < kCommandLength)
        waiting = true;
      else if (takeCommand(out))
        continue;
    } else if (head == kDownloadHeader) {
      if (buffer_.size() < kDownloadLength)
        waiting = true;
      else if (takeDownload(out))
        continue;
    }
    if (waiting) break;
    buffer_.remove(0, 1);  // noise or a broken frame: look for the next header
  }
  return out;
}

bool parse_route_list(const QString& text, quint16* routes) {
  *routes = 0;
  for (const QString& run : text.split(QLatin1Char(','))) {
    const QStringList ends = run.trimmed().split(QLatin1Char('-'));
    bool ok1 = false, ok2 = false;
    const int from = ends.value(0).toInt(&ok1);
    const int to = ends.size() == 2 ? ends[1].toInt(&ok2) : from;
    if (!ok1 || (ends.size() == 2 && !ok2) || ends.size() > 2 || from < 1 || to > 16 || from > to)
      return false;
    for (int r = from; r <= to; ++r) *routes |= quint16(1u << (r - 1));
  }
  return true;
}

bool BoardProtocol::takeCommand(std::vector<Event>& out) {
  if (sum_of(buffer_, 7) != at(buffer_, 7)) return false;
  const quint8 address = at(buffer_, 1);
  const quint8 type = at(buffer_, 2);
  const quint16 masks = static_cast<quint16>((at(buffer_, 5) << 8) | at(buffer_, 6));
  buffer_.remove(0, kCommandLength);
  if (address != address_) return true;
  Kind kind = Kind::OtherCommand;
  if (type == 16) {
    kind = Kind::Query;
  } else if (type == 19) {
    kind = Kind::Set;
    outputs_ = static_cast<quint16>((outputs_ & stuck_) | (masks & ~stuck_));
  }
  out.push_back({kind, replyFor(address_, type, outputs_), {}});
  return true;
}

bool BoardProtocol::takeDownload(std::vector<Event>& out) {
  quint8 x = 0;
  for (int i = 0; i < 20; ++i) x ^= at(buffer_, i);
  if (sum_of(buffer_, 20) != at(buffer_, 20) || x != at(buffer_, 21)) return false;
  const QByteArray f = buffer_.left(kDownloadLength);
  buffer_.remove(0, kDownloadLength);
  if (at(f, 1) != address_) return true;
  DownloadedEntry e;
  e.index = at(f, 4);
  e.route = at(f, 5);
  e.kind = at(f, 2);
  e.year = 2000 + from_bcd(at(f, 7));
  e.month = from_bcd(at(f, 8));
  e.day = from_bcd(at(f, 9));
  e.weekMask = at(f, 10);
  e.hour = from_bcd(at(f, 11));
  e.minute = from_bcd(at(f, 12));
  e.second = from_bcd(at(f, 13));
  e.action = at(f, 14);
  entries_[{e.route, e.index}] = e;
  out.push_back({Kind::Download, QByteArray(1, static_cast<char>(kAck)), e});
  return true;
}
