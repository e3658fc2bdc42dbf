#pragma once

#include <QByteArray>
#include <QString>

// The text of our INI files: GBK, the code page of the files the program has always written, or
// UTF-8 for files edited on Linux. Lengths are counted in GBK bytes either way.

// Whether bytes are well-formed UTF-8 (plain ASCII is).
bool is_valid_utf8(const char* data, qsizetype size);
// Whether bytes hold anything beyond ASCII.
bool has_non_ascii(const char* data, qsizetype size);

// Whether a whole file's text is UTF-8 rather than GBK, decided once per file: GBK unless the
// file starts with a UTF-8 byte-order mark, or it is well-formed UTF-8 and reads as more plausible
// text in UTF-8 than in GBK (common Chinese characters count for, letters and symbols Chinese text
// rarely holds count against). Short GBK names such as "一路" are well-formed UTF-8 by accident
// ("һ·"); they stay GBK.
bool text_is_utf8(const QByteArray& file);

// "Unicode" text as Windows writes it: UTF-16 in either byte order, marked by a byte-order mark
// at the file's first bytes (its profile functions then read and write the file in UTF-16).
enum class Utf16 { None, LittleEndian, BigEndian };
Utf16 utf16_order(const QByteArray& file);
// The text of such a file without its mark, and text as such a file (the mark first).
QString decode_utf16_file(const QByteArray& file, Utf16 order);
QByteArray encode_utf16_file(const QString& text, Utf16 order);

// Decodes without dropping anything: a byte-order mark in bytes is kept as U+FEFF (the caller
// leaves out the one at a file's first byte).
QString decode_text(const QByteArray& bytes, bool utf8);
QByteArray encode_text(const QString& text, bool utf8);

// Number of bytes ch takes in GBK (1 for ASCII, 2 otherwise).
int gbk_length(char32_t ch);
// The longest head of text that fits in maxBytes GBK bytes; a character that would be cut in
// half is dropped whole.
QString cut_to_gbk_bytes(const QString& text, int maxBytes);
