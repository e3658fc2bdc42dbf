#pragma once

#include <QByteArray>
#include <QString>

// The text of our INI files: GBK, the code page of the files the program has always written, or
// UTF-8 for files edited on Linux. Lengths are counted in GBK bytes either way.

// Whether bytes are well-formed UTF-8 (plain ASCII is).
bool is_valid_utf8(const char* data, qsizetype size);
// Whether bytes hold anything beyond ASCII.
bool has_non_ascii(const char* data, qsizetype size);

QString decode_text(const QByteArray& bytes, bool utf8);
QByteArray encode_text(const QString& text, bool utf8);

// Number of bytes ch takes in GBK (1 for ASCII, 2 otherwise).
int gbk_length(char32_t ch);
// The longest head of text that fits in maxBytes GBK bytes; a character that would be cut in
// half is dropped whole.
QString cut_to_gbk_bytes(const QString& text, int maxBytes);
