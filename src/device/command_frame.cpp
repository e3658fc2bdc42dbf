#include "device/command_frame.h"

quint8 byte_sum(const quint8* bytes, int n) {
  unsigned sum = 0;
  for (int i = 0; i < n; ++i) sum += bytes[i];
  return static_cast<quint8>(sum & 0xFF);
}

void build_command_frame(CommandFrame& buf, quint8 nID, quint8 leixing, quint8 data1,
                         quint8 data2) {
  buf = {kCommandHeader, nID, leixing, 0, 0, data1, data2, 0};
  buf[7] = byte_sum(buf.data(), 7);
}

bool reply_is_valid(const qint32* nRecv) {
  int sum = 0;
  for (int i = 0; i < 7; ++i) sum += nRecv[i];
  return nRecv[0] == kReplyHeader && (sum % 256) == nRecv[7];
}
