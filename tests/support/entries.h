#pragma once

#include <QByteArray>
#include <QString>

#include "core/clsdata.h"
#include "platform/code_page.h"

// An entry from its 26-character text form.
inline EntryPtr entry(const QString& text) { return StrToData(text); }

// Text as a file made on a Chinese Windows system holds it.
inline QByteArray gbk(const QString& s) { return encode_text(s, false); }

// Text as Windows' own editors save a "Unicode" file: UTF-16 with its byte-order mark first.
inline QByteArray utf16(const QString& s, bool bigEndian = false) {
  QByteArray out = bigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE");
  for (const QChar c : s) {
    const char high = static_cast<char>(c.unicode() >> 8), low = static_cast<char>(c.unicode());
    out.append(bigEndian ? high : low).append(bigEndian ? low : high);
  }
  return out;
}
