#include "platform/code_page.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <cstring>

bool is_valid_utf8(const char* data, qsizetype size) {
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  qsizetype i = 0;
  while (i < size) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    int extra;
    char32_t min;
    if ((c & 0xE0) == 0xC0) {
      extra = 1;
      min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      min = 0x10000;
    } else {
      return false;
    }
    if (i + extra >= size) return false;  // truncated sequence
    char32_t cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const unsigned char t = p[i + k];
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

bool has_non_ascii(const char* data, qsizetype size) {
  qsizetype i = 0;
  for (; i + 8 <= size; i += 8) {  // eight bytes at a time
    quint64 w;
    memcpy(&w, data + i, 8);
    if (w & 0x8080808080808080ull) return true;
  }
  for (; i < size; ++i)
    if (static_cast<unsigned char>(data[i]) >= 0x80) return true;
  return false;
}

QString decode_text(const QByteArray& bytes, bool utf8) {
  if (!has_non_ascii(bytes.constData(), bytes.size())) return QString::fromLatin1(bytes);
  if (utf8) return QString::fromUtf8(bytes);
  QStringDecoder gbk("GBK");
  return gbk(bytes);
}

QByteArray encode_text(const QString& text, bool utf8) {
  bool ascii = true;
  for (QChar c : text) ascii &= c.unicode() < 0x80;
  if (ascii) return text.toLatin1();
  if (utf8) return text.toUtf8();
  QStringEncoder gbk("GBK");
  return gbk(text);
}

int gbk_length(char32_t ch) { return ch < 0x80 ? 1 : 2; }

QString cut_to_gbk_bytes(const QString& text, int maxBytes) {
  int used = 0;
  qsizetype end = 0;
  while (end < text.size()) {
    const bool pair = text.at(end).isHighSurrogate() && end + 1 < text.size();
    const char32_t ch =
        pair ? QChar::surrogateToUcs4(text.at(end), text.at(end + 1)) : text.at(end).unicode();
    const int len = gbk_length(ch);
    if (used + len > maxBytes) break;
    used += len;
    end += pair ? 2 : 1;
  }
  return text.left(end);
}
