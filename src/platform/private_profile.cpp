#include "platform/private_profile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstring>

#include "platform/code_page.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// [b, e) with blanks trimmed on both sides.
void trim(const char* d, qsizetype& b, qsizetype& e) {
  while (b < e && is_blank(d[b])) ++b;
  while (e > b && is_blank(d[e - 1])) --e;
}

}  // namespace

ProfileFile ProfileFile::load(const QString& path) {
  ProfileFile f;
  QFile file(path);
  if (!file.exists()) return f;
  if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
    f.status_ = Status::Unreadable;
    return f;
  }
  f.raw_ = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    f.raw_.clear();
    f.status_ = Status::Unreadable;
    return f;
  }
  f.status_ = Status::Ok;
  f.parse();
  return f;
}

ProfileFile ProfileFile::fromBytes(QByteArray bytes) {
  ProfileFile f;
  f.raw_ = std::move(bytes);
  f.status_ = Status::Ok;
  f.parse();
  return f;
}

void ProfileFile::parse() {
  const char* d = raw_.constData();
  const qsizetype n = raw_.size();
  utf8_ = has_non_ascii(d, n) && is_valid_utf8(d, n);
  qsizetype pos = 0;
  // A UTF-8 byte-order mark belongs to no name.
  const qsizetype bom = raw_.startsWith("\xEF\xBB\xBF") ? 3 : 0;
  int current = -1;  // index of the section the lines belong to, -1 for none
  while (pos < n) {
    const char* nl = static_cast<const char*>(memchr(d + pos, '\n', static_cast<size_t>(n - pos)));
    const qsizetype lineEnd = nl ? nl - d : n;
    Line line{pos, lineEnd - pos, (nl ? lineEnd + 1 : n) - pos};
    if (line.content > 0 && d[lineEnd - 1] == '\r') --line.content;
    const int index = static_cast<int>(lines_.size());
    lines_.push_back(line);

    qsizetype b = pos == 0 ? bom : pos, e = pos + line.content;
    trim(d, b, e);
    if (b < e && d[b] == '[') {
      // "[name]": the name runs to the first ']' (or the end of the line).
      const char* close = static_cast<const char*>(memchr(d + b + 1, ']', static_cast<size_t>(e - b - 1)));
      qsizetype nb = b + 1, ne = close ? close - d : e;
      trim(d, nb, ne);
      const QString name = decode_text(QByteArray(d + nb, ne - nb), utf8_).toLower();
      if (sectionIndex_.contains(name)) {
        current = -1;  // a later section of the same name is not looked at
      } else {
        current = static_cast<int>(sections_.size());
        sectionIndex_.insert(name, current);
        sections_.push_back(Section{index, index, {}});
      }
    } else if (current >= 0 && b < e && d[b] != ';') {
      Section& sec = sections_[static_cast<size_t>(current)];
      sec.lastEntry = index;
      {
        const char* eq = static_cast<const char*>(memchr(d + b, '=', static_cast<size_t>(e - b)));
        if (eq) {
          const qsizetype at = eq - d;
          qsizetype kb = b, ke = at;
          trim(d, kb, ke);
          const QString keyName = decode_text(QByteArray(d + kb, ke - kb), utf8_);
          Key& slot = sec.keys[keyName.toLower()];
          if (slot.line < 0) slot = Key{index, keyName, at + 1, e - (at + 1)};
        }
      }
    }
    pos += line.length;
  }
}

const ProfileFile::Section* ProfileFile::find(const QString& section) const {
  auto it = sectionIndex_.constFind(section.trimmed().toLower());
  return it == sectionIndex_.constEnd() ? nullptr : &sections_[static_cast<size_t>(it.value())];
}

QString ProfileFile::read(const QString& section, const QString& key, const QString& def,
                          int bufferSize) const {
  const int maxBytes = qMax(0, bufferSize - 1);
  const Section* s = find(section);
  if (!s) return cut_to_gbk_bytes(def, maxBytes);
  auto it = s->keys.constFind(key.trimmed().toLower());
  if (it == s->keys.constEnd()) return cut_to_gbk_bytes(def, maxBytes);
  const char* d = raw_.constData();
  qsizetype b = it->valueBegin, e = it->valueBegin + it->valueLength;
  trim(d, b, e);
  if (e - b >= 2 && (d[b] == '"' || d[b] == '\'') && d[e - 1] == d[b]) {
    ++b;
    --e;
  }
  return cut_to_gbk_bytes(decode_text(QByteArray(d + b, e - b), utf8_), maxBytes);
}

QByteArray ProfileFile::eol() const {
  const qsizetype nl = raw_.indexOf('\n');
  if (nl < 0) return QByteArrayLiteral("\r\n");
  return nl > 0 && raw_.at(nl - 1) == '\r' ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
}

QByteArray ProfileFile::encode(const QString& text) const { return encode_text(text, utf8_); }

QByteArray ProfileFile::spliced(int from, int to, const QByteArray& insert,
                                bool needsLeadingEol) const {
  // Lines [from, to) are replaced by insert; from == to inserts before line `from`.
  const qsizetype b = from < static_cast<int>(lines_.size()) ? lines_[from].begin : raw_.size();
  const qsizetype e = to < static_cast<int>(lines_.size()) ? lines_[to].begin : raw_.size();
  QByteArray out;
  out.reserve(raw_.size() + insert.size() + 2);
  out.append(raw_.constData(), b);
  // The line before the insertion point may lack its line end (the file's last line).
  if (needsLeadingEol && b > 0 && raw_.at(b - 1) != '\n') out.append(eol());
  out.append(insert);
  out.append(raw_.constData() + e, raw_.size() - e);
  return out;
}

QByteArray ProfileFile::withValue(const QString& section, const QString& key,
                                  const QString& value) const {
  const QByteArray nl = eol();
  const Section* s = find(section);
  if (!s) {
    return spliced(static_cast<int>(lines_.size()), static_cast<int>(lines_.size()),
                   encode(QLatin1Char('[') + section + QLatin1Char(']')) + nl +
                       encode(key + QLatin1Char('=') + value) + nl,
                   true);
  }
  auto it = s->keys.constFind(key.trimmed().toLower());
  if (it != s->keys.constEnd()) {
    const Line& l = lines_[it->line];
    QByteArray line = encode(it->name + QLatin1Char('=') + value);
    line.append(raw_.constData() + l.begin + l.content, l.length - l.content);  // its own end
    return spliced(it->line, it->line + 1, line, false);
  }
  const int at = s->lastEntry + 1;
  return spliced(at, at, encode(key + QLatin1Char('=') + value) + nl, true);
}

QByteArray ProfileFile::withSection(const QString& section, const Pairs& pairs) const {
  const QByteArray nl = eol();
  QByteArray body;
  for (const auto& p : pairs) body += encode(p.first + QLatin1Char('=') + p.second) + nl;
  const Section* s = find(section);
  if (!s) {
    const int end = static_cast<int>(lines_.size());
    return spliced(end, end, encode(QLatin1Char('[') + section + QLatin1Char(']')) + nl + body,
                   true);
  }
  // Keep the header line and whatever follows the last entry (blank lines, comments that lead
  // into the next section).
  return spliced(s->header + 1, s->lastEntry + 1, body, true);
}

bool write_file_atomically(const QString& path, const QByteArray& bytes,
                           const std::function<void()>& beforeReplace) {
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return false;
  if (f.write(bytes) != bytes.size() || !f.flush()) {
    f.cancelWriting();
    return false;
  }
  if (beforeReplace) beforeReplace();
  return f.commit();
}

QString profile_read(const QString& path, const QString& section, const QString& key,
                     const QString& def, int bufferSize) {
  return ProfileFile::load(path).read(section, key, def, bufferSize);
}

bool profile_write(const QString& path, const QString& section, const QString& key,
                   const QString& value) {
  const ProfileFile f = ProfileFile::load(path);
  if (f.status() == ProfileFile::Status::Unreadable) return false;
  return write_file_atomically(path, f.withValue(section, key, value));
}

bool profile_write_section(const QString& path, const QString& section,
                           const ProfileFile::Pairs& pairs) {
  const ProfileFile f = ProfileFile::load(path);
  if (f.status() == ProfileFile::Status::Unreadable) return false;
  return write_file_atomically(path, f.withSection(section, pairs));
}
