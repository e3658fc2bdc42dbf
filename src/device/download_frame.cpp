#include "device/download_frame.h"

namespace {

int hex_digit(QChar c) {
  const char16_t u = c.unicode();
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

quint8 bcd_at(const QString& str, int position) {  // position counts from 1
  return static_cast<quint8>(to10(str.mid(position - 1, 2)).toUInt());
}

bool is_one(const QString& str, int position) {
  return position <= str.size() && str.at(position - 1) == QLatin1Char('1');
}

}  // namespace

QString to10(const QString& str) {
  uint v = 0;
  for (QChar c : str) {
    const int d = hex_digit(c);
    if (d < 0 || v > 0xFFFFFF) break;
    v = v * 16 + static_cast<uint>(d);
  }
  return QString::number(v);
}

quint8 download_kind(bool bIsEveryDay, bool bIsWeek) { return bIsEveryDay ? 1 : bIsWeek ? 2 : 3; }

QString tx_frame22(DownloadFrame& buf, quint8 id, quint8 leixing, quint8 index, const QString& str,
                   int nPage) {
  buf.fill(0);
  buf[0] = kDownloadHeader;
  buf[1] = id;
  buf[2] = leixing;
  buf[3] = 0x10;
  buf[4] = index;
  buf[5] = static_cast<quint8>(nPage);
  buf[6] = leixing;
  buf[7] = bcd_at(str, 15);
  buf[8] = bcd_at(str, 17);
  buf[9] = bcd_at(str, 19);
  if (is_one(str, 3))
    for (int k = 1; k <= 7; ++k)
      if (is_one(str, 3 + k)) buf[10] |= static_cast<quint8>(1u << (k - 1));
  buf[11] = bcd_at(str, 21);
  buf[12] = bcd_at(str, 23);
  buf[13] = bcd_at(str, 25);
  buf[14] = is_one(str, 1) ? 2 : 1;
  unsigned sum = 0;
  quint8 x = 0;
  for (int i = 0; i < 20; ++i) {
    sum += buf[i];
    x ^= buf[i];
  }
  buf[20] = static_cast<quint8>(sum);
  buf[21] = x;
  QString debug;
  for (quint8 b : buf) debug += QStringLiteral(" ,") + QString::number(b, 16).toUpper();
  return debug;
}
