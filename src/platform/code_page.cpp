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
  if (utf8) {
    // QString::fromUtf8 would drop a leading byte-order mark; here it is a character like others.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless |
                                                     QStringConverter::Flag::ConvertInitialBom);
    return decoder(bytes);
  }
  QStringDecoder gbk("GBK", QStringConverter::Flag::Stateless);
  return gbk(bytes);
}

namespace {

bool is_ideograph(char32_t c) {
  return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x3FFFF);
}

// How much a character speaks for the decoding that produced it.
int plausibility(char32_t c, QStringEncoder& gbk) {
  if (is_ideograph(c)) {
    // The 3,755 common characters (GB2312 level 1: first byte B0..D7) count most; text decoded
    // the wrong way turns into rarer ones.
    const char16_t units[2] = {QChar::highSurrogate(c), QChar::lowSurrogate(c)};
    const char16_t unit = static_cast<char16_t>(c);
    const QByteArray b = c >= 0x10000 ? gbk(QStringView(units, 2)) : gbk(QStringView(&unit, 1));
    const auto lead = b.size() == 2 ? static_cast<unsigned char>(b.at(0)) : 0;
    return lead >= 0xB0 && lead <= 0xD7 ? 3 : 1;
  }
  if ((c >= 0x3000 && c <= 0x30FF) || (c >= 0xFF00 && c <= 0xFFEF) ||
      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xAC00 && c <= 0xD7AF))
    return 2;  // CJK punctuation, kana, full-width forms, Hangul
  if (c == 0xFFFD || c < 0xA0 || (c >= 0xE000 && c <= 0xF8FF) || c == 0xFEFF)
    return -10;  // undecodable, control characters, private use, a stray byte-order mark
  if (c == 0xA7 || c == 0xA8 || c == 0xB0 || c == 0xB1 || c == 0xB7 || c == 0xD7 || c == 0xF7 ||
      (c >= 0x2010 && c <= 0x206F) || (c >= 0x2100 && c <= 0x27BF))
    return 1;  // symbols Chinese text uses: · ° × ÷, dashes and quotes, ①, arrows, maths, boxes
  return -3;  // Latin-1 and other letters, IPA, Greek, Cyrillic, rare symbols
}

// The mean plausibility of the characters beyond ASCII.
double mean_plausibility(const QString& text, QStringEncoder& gbk) {
  qint64 sum = 0, count = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    char32_t c = text.at(i).unicode();
    if (c < 0x80) continue;
    if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
      c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
      ++i;
    }
    sum += plausibility(c, gbk);
    ++count;
  }
  return count ? double(sum) / double(count) : 0.0;
}

}  // namespace

bool text_is_utf8(const QByteArray& file) {
  if (file.startsWith("\xEF\xBB\xBF")) return true;
  if (!has_non_ascii(file.constData(), file.size()) ||
      !is_valid_utf8(file.constData(), file.size()))
    return false;
  // The first 64 KiB decide, cut at a line end: a huge file costs no more than a small one.
  constexpr qsizetype kSample = 64 * 1024;
  qsizetype n = file.size();
  if (n > kSample) {
    n = file.lastIndexOf('\n', kSample - 1) + 1;
    if (n <= 0) {
      n = kSample;
      while (n > 0 && (static_cast<unsigned char>(file.at(n)) & 0xC0) == 0x80) --n;
    }
  }
  const QByteArray sample = QByteArray::fromRawData(file.constData(), n);
  QStringEncoder gbk("GBK", QStringConverter::Flag::Stateless);
  return mean_plausibility(decode_text(sample, true), gbk) >
         mean_plausibility(decode_text(sample, false), gbk);
}

QByteArray encode_text(const QString& text, bool utf8) {
  bool ascii = true;
  for (QChar c : text) ascii &= c.unicode() < 0x80;
  if (ascii) return text.toLatin1();
  if (utf8) return text.toUtf8();
  QStringEncoder gbk("GBK");
  return gbk(text);
}

Utf16 utf16_order(const QByteArray& file) {
  if (file.startsWith("\xFF\xFE")) return Utf16::LittleEndian;
  if (file.startsWith("\xFE\xFF")) return Utf16::BigEndian;
  return Utf16::None;
}

QString decode_utf16_file(const QByteArray& file, Utf16 order) {
  QStringDecoder decoder(
      order == Utf16::BigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE,
      QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
  return decoder(QByteArrayView(file).sliced(2));
}

QByteArray encode_utf16_file(const QString& text, Utf16 order) {
  const bool big = order == Utf16::BigEndian;
  QStringEncoder encoder(big ? QStringConverter::Utf16BE : QStringConverter::Utf16LE,
                         QStringConverter::Flag::Stateless);
  return (big ? QByteArrayLiteral("\xFE\xFF") : QByteArrayLiteral("\xFF\xFE")) + encoder(text);
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
