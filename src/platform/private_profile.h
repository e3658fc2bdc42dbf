#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/code_page.h"

// Private-profile (INI) files with the semantics the program's files have always had:
// - "[section]" lines and "key=value" lines; section and key names compare case-insensitively
//   (key names in their ASCII letters),
//   blanks around names and values are trimmed, a value in matching quotes ('...' or "...") loses
//   them, lines starting with ';' are comments; the first section of a name and the first key of
//   a name within it count.
// - A missing file, a file that cannot be read (permissions, a directory of that name) or a missing
//   key gives the default. A value is cut to buffer size - 1 bytes counted in GBK, dropping a
//   character that would be cut in half.
// - Lines end with CR LF, LF or a lone CR.
// - Text is GBK, or UTF-8 where text_is_utf8 (code_page.h) says so, or UTF-16 in either byte
//   order where the file starts with its byte-order mark (as Windows reads and writes such
//   files); the choice is made once per loaded file, and writes to that file encode in the same
//   way (a UTF-16 file stays UTF-16 with its mark). A byte-order mark counts only at the file's
//   first bytes. Lengths are counted in GBK bytes whatever the encoding.
// - A write changes only the lines it must and keeps every other byte as it was (a replaced line
//   keeps its key's bytes and its line end); a new key goes after the last entry of its section, a
//   new section at the end of the file. New files get CRLF line ends, an existing file keeps its
//   own. Every write replaces the file atomically (write_file_atomically, atomic_file.h), so a
//   crash never leaves a half-written file.
class ProfileFile {
 public:
  enum class Status { Ok, Missing, Unreadable };
  using Pairs = QList<QPair<QString, QString>>;

  // Reads and parses the whole file once.
  static ProfileFile load(const QString& path);
  // Parses bytes as a file's content (for tests and fuzzing).
  static ProfileFile fromBytes(QByteArray bytes);

  Status status() const { return status_; }
  // Whether text beyond ASCII is stored as Unicode (UTF-8 or UTF-16) rather than GBK.
  bool isUtf8() const { return utf8_; }

  // The value of key in section, or def; cut to bufferSize - 1 GBK bytes.
  QString read(const QString& section, const QString& key, const QString& def,
               int bufferSize) const;

  // The file's content after writing key=value into section.
  QByteArray withValue(const QString& section, const QString& key, const QString& value) const;
  // The file's content after replacing everything inside section by the pairs, in their order
  // (the section is appended when missing).
  QByteArray withSection(const QString& section, const Pairs& pairs) const;
  // The file's content without key's line in section (unchanged when there is none).
  QByteArray withoutKey(const QString& section, const QString& key) const;

 private:
  // One "key=value" line, by byte offsets into raw_.
  struct Key {
    quint64 hash = 0;  // of the key's bytes, ASCII letters lowered
    qsizetype keyBegin = 0;
    qsizetype keyLength = 0;
    qsizetype lineBegin = 0;
    qsizetype lineContentEnd = 0;  // before the line end
    qsizetype lineEnd = 0;         // after the line end
    qsizetype valueBegin = 0;      // untrimmed, up to lineContentEnd
  };
  struct Section {
    qsizetype headerEnd = 0;     // just after the "[name]" line
    qsizetype lastEntryEnd = 0;  // just after the last line that is neither blank nor a comment
    std::vector<Key> keys;       // sorted by hash, then by place in the file
  };

  void parse();
  const Section* find(const QString& section) const;
  const Key* findKey(const Section& s, const QString& key) const;
  QByteArray eol() const;
  QByteArray encode(const QString& text) const;
  QByteArray spliced(qsizetype from, qsizetype to, const QByteArray& insert) const;

  Status status_ = Status::Missing;
  QByteArray raw_;
  bool utf8_ = false;
  Utf16 utf16_ = Utf16::None;  // raw_ then holds the file's text in UTF-8, converted back on writes
  std::vector<Section> sections_;
  QHash<QString, int> sectionIndex_;  // by lower-case name, first occurrence
};

// value as a value's text that reads back as value: in double quotes when the reader would
// otherwise trim it (blanks around it) or take a pair of quotes off it ('...' or "..."); as it is
// otherwise. A line end cannot be stored at all.
QString profile_quoted(const QString& value);

// GetPrivateProfileString: one key of one file.
QString profile_read(const QString& path, const QString& section, const QString& key,
                     const QString& def, int bufferSize);
// WritePrivateProfileString: one key of one file. False when writing failed or the existing file
// could not be read (it is left alone then); why, when given, says why (Other for a file that
// could not be read).
bool profile_write(const QString& path, const QString& section, const QString& key,
                   const QString& value, WriteFailure* why = nullptr);
// WritePrivateProfileString with no value: removes one key's line. True when the key is gone.
bool profile_remove(const QString& path, const QString& section, const QString& key,
                    WriteFailure* why = nullptr);
// Takes read and write rights from group and others (a file that holds a secret); a missing file
// is created empty and private first, so the secret never lands in a readable one. why, when
// given, says why it could not.
bool profile_owner_only(const QString& path, WriteFailure* why = nullptr);
// Replaces a whole section at once (one write).
bool profile_write_section(const QString& path, const QString& section,
                           const ProfileFile::Pairs& pairs, WriteFailure* why = nullptr);
