#pragma once

#include <QByteArray>
#include <QString>

#include "core/clsdata.h"
#include "platform/code_page.h"

// An entry from its 26-character text form.
inline EntryPtr entry(const QString& text) { return StrToData(text); }

// Text as a file made on a Chinese Windows system holds it.
inline QByteArray gbk(const QString& s) { return encode_text(s, false); }
