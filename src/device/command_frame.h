#pragma once

#include <QtGlobal>
#include <array>

// The 8-byte command frame: 0x55, address, type, 0, 0, data1 (routes 9..16), data2 (routes 1..8),
// and the low 8 bits of the sum of bytes 0..6.
using CommandFrame = std::array<quint8, 8>;

constexpr quint8 kCommandHeader = 0x55;
constexpr quint8 kReplyHeader = 0x22;
constexpr quint8 kTypeQuery = 16;  // asks for the board's states, changes nothing
constexpr quint8 kTypeSet = 19;    // the outputs follow data1/data2
constexpr int kFrameLength = 8;

// Writes the frame into buf (the caller's reused buffer).
void build_command_frame(CommandFrame& buf, quint8 nID, quint8 leixing, quint8 data1, quint8 data2);

// Low 8 bits of the sum of the first n bytes.
quint8 byte_sum(const quint8* bytes, int n);

// The board's 8-byte reply is valid when byte 0 is 0x22 and byte 7 is the sum of bytes 0..6.
// Bytes 1..4 are not examined: a reply from any address is accepted.
bool reply_is_valid(const qint32* nRecv);
