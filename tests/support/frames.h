#pragma once

#include <QByteArray>
#include <initializer_list>

#include "device/command_frame.h"

// Bytes on the serial line, as tests write and expect them.
inline QByteArray bytes(std::initializer_list<int> v) {
  QByteArray b;
  for (int x : v) b.append(static_cast<char>(x));
  return b;
}

inline QByteArray frame_bytes(const CommandFrame& f) {
  return QByteArray(reinterpret_cast<const char*>(f.data()), kFrameLength);
}

// The command frame the program sends for these values.
inline QByteArray command_bytes(quint8 id, quint8 type, quint8 high, quint8 low) {
  CommandFrame f;
  build_command_frame(f, id, type, high, low);
  return frame_bytes(f);
}
