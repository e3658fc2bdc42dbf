#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <functional>
#include <vector>

// Private-profile (INI) files with the semantics the program's files have always had:
// - "[section]" lines and "key=value" lines; section and key names compare case-insensitively,
//   blanks around names and values are trimmed, a value in matching quotes ('...' or "...") loses
//   them, lines starting with ';' are comments; the first section of a name and the first key of
//   a name within it count.
// - A missing file, a file that cannot be read (permissions, a directory of that name) or a missing
//   key gives the default. A value is cut to buffer size - 1 bytes counted in GBK, dropping a
//   character that would be cut in half.
// - Text is GBK; a file that is well-formed UTF-8 is read and written as UTF-8.
// - A write changes only the lines it must and keeps every other byte as it was; a new key goes
//   after the last entry of its section, a new section at the end of the file. New files get CRLF
//   line ends, an existing file keeps its own. Every write replaces the file atomically (a
//   temporary file renamed over it), so a crash never leaves a half-written file.
class ProfileFile {
 public:
  enum class Status { Ok, Missing, Unreadable };
  using Pairs = QList<QPair<QString, QString>>;

  // Reads and parses the whole file once.
  static ProfileFile load(const QString& path);
  // Parses bytes as a file's content (for tests and fuzzing).
  static ProfileFile fromBytes(QByteArray bytes);

  Status status() const { return status_; }
  bool isUtf8() const { return utf8_; }
  const QByteArray& bytes() const { return raw_; }

  // The value of key in section, or def; cut to bufferSize - 1 GBK bytes.
  QString read(const QString& section, const QString& key, const QString& def,
               int bufferSize) const;

  // The file's content after writing key=value into section.
  QByteArray withValue(const QString& section, const QString& key, const QString& value) const;
  // The file's content after replacing everything inside section by the pairs, in their order
  // (the section is appended when missing).
  QByteArray withSection(const QString& section, const Pairs& pairs) const;

 private:
  struct Line {
    qsizetype begin = 0;    // offset of the line in raw_
    qsizetype content = 0;  // length without the line end
    qsizetype length = 0;   // length with the line end
  };
  struct Key {
    int line = -1;  // -1 until the key is seen
    QString name;            // as written, trimmed
    qsizetype valueBegin = 0;  // offset of the untrimmed value in raw_
    qsizetype valueLength = 0;
  };
  struct Section {
    int header = 0;     // line of "[name]"
    int lastEntry = 0;  // last line of the section that is neither blank nor a comment
    QHash<QString, Key> keys;  // by lower-case name, first occurrence
  };

  void parse();
  const Section* find(const QString& section) const;
  QByteArray eol() const;
  QByteArray encode(const QString& text) const;
  QByteArray spliced(int from, int to, const QByteArray& insert, bool needsLeadingEol) const;

  Status status_ = Status::Missing;
  QByteArray raw_;
  bool utf8_ = false;
  std::vector<Line> lines_;
  std::vector<Section> sections_;
  QHash<QString, int> sectionIndex_;  // by lower-case name, first occurrence
};

// Writes bytes to path atomically (temporary file + rename). beforeReplace, when given, runs once
// the new content is safely written and just before it replaces the old file. False when the file
// could not be written (nothing is changed then).
bool write_file_atomically(const QString& path, const QByteArray& bytes,
                           const std::function<void()>& beforeReplace = {});

// GetPrivateProfileString: one key of one file.
QString profile_read(const QString& path, const QString& section, const QString& key,
                     const QString& def, int bufferSize);
// WritePrivateProfileString: one key of one file. False when writing failed or the existing file
// could not be read (it is left alone then).
bool profile_write(const QString& path, const QString& section, const QString& key,
                   const QString& value);
// Replaces a whole section at once (one write).
bool profile_write_section(const QString& path, const QString& section,
                           const ProfileFile::Pairs& pairs);
