#pragma once

#include <QString>
#include <QtGlobal>
#include <array>

// The 22-byte download frame of one entry: 0x66, address, kind (1 every day, 2 weekly, 3 fixed
// date), 0x10, index within the download, route page, kind again, year (last two digits), month,
// day in BCD, the weekday mask of a weekly entry (bit 0 Monday .. bit 6 Sunday; 0 for the other
// kinds), hour, minute, second in BCD, action (2 energise, 1 release), five zeros, the low byte of
// the sum of bytes 0..19 and their exclusive-or.
using DownloadFrame = std::array<quint8, 22>;

constexpr quint8 kDownloadHeader = 0x66;
constexpr quint8 kDownloadAck = 0x56;

// The number a short text denotes read as hexadecimal, as decimal text: "59" gives "89",
// "08" gives "8". Reading stops at the first character that is not a hex digit ("" gives "0").
QString to10(const QString& str);

// Builds the frame for entry text str (the 26-character form) into buf and returns the debug text:
// for every byte " ," and the byte in upper-case hexadecimal without leading zeros.
QString tx_frame22(DownloadFrame& buf, quint8 id, quint8 leixing, quint8 index, const QString& str,
                   int nPage);

// The kind of an entry for the frame: every day wins over weekly; neither is a fixed date.
quint8 download_kind(bool bIsEveryDay, bool bIsWeek);
