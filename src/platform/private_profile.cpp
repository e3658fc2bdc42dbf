#include "platform/private_profile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/atomic_file.h"
#include "platform/code_page.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// [b, e) with blanks trimmed on both sides.
void trim(const char* d, qsizetype& b, qsizetype& e) {
  while (b < e && is_blank(d[b])) ++b;
  while (e > b && is_blank(d[e - 1])) --e;
}

}  // namespace

QString profile_quoted(const QString& value) {
  if (value.isEmpty()) return value;
  const auto blank = [](QChar c) { return c.unicode() < 0x80 && is_blank(char(c.unicode())); };
  const QChar first = value.front(), last = value.back();
  const bool quoted = value.size() >= 2 && first == last &&
                      (first == QLatin1Char('"') || first == QLatin1Char('\''));
  if (!quoted && !blank(first) && !blank(last)) return value;
  // The reader takes off exactly one pair, whatever is inside.
  return QLatin1Char('"') + value + QLatin1Char('"');
}

ProfileFile ProfileFile::load(const QString& path) {
  ProfileFile f;
  QFile file(path);
  // Open first and ask whether the file exists only when that fails. Another copy may replace the
  // file at any moment; a look-up during the replace can find the old, just unlinked file, which
  // QFile::exists() then calls gone. Opening sees the old or the new file, never neither.
  if (!file.open(QIODevice::ReadOnly)) {
    if (QFileInfo::exists(path)) f.status_ = Status::Unreadable;  // a directory, no permission
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

namespace {

// FNV-1a over the bytes with ASCII letters lowered: equal for names that differ in ASCII case.
quint64 name_hash(const char* d, qsizetype n) {
  quint64 h = 1469598103934665603ull;
  for (qsizetype i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(d[i]);
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
    h = (h ^ c) * 1099511628211ull;
  }
  return h;
}

// Whether two names are equal with ASCII letters compared case-insensitively (other bytes exactly).
bool same_name(const char* a, const char* b, qsizetype n) {
  for (qsizetype i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

void ProfileFile::parse() {
  utf16_ = utf16_order(raw_);
  if (utf16_ != Utf16::None) raw_ = decode_utf16_file(raw_, utf16_).toUtf8();
  utf8_ = utf16_ != Utf16::None || text_is_utf8(raw_);
  const char* d = raw_.constData();
  const qsizetype n = raw_.size();
  // A UTF-8 byte-order mark at the first byte belongs to no name.
  const qsizetype bom = raw_.startsWith("\xEF\xBB\xBF") ? 3 : 0;
  Section* current = nullptr;
  qsizetype pos = 0;
  qsizetype nextLf = -1;  // the next '\n' at or after pos, looked up again only once passed
  while (pos < n) {
    // A line ends with LF, CR LF or a lone CR.
    if (nextLf < pos) {
      const char* nl =
          static_cast<const char*>(memchr(d + pos, '\n', static_cast<size_t>(n - pos)));
      nextLf = nl ? nl - d : n;
    }
    const char* cr =
        static_cast<const char*>(memchr(d + pos, '\r', static_cast<size_t>(nextLf - pos)));
    qsizetype contentEnd, lineEnd;
    if (cr && cr - d + 1 < nextLf) {  // a lone CR before the next LF
      contentEnd = cr - d;
      lineEnd = contentEnd + 1;
    } else {
      contentEnd = cr ? cr - d : nextLf;
      lineEnd = nextLf < n ? nextLf + 1 : n;
    }

    qsizetype b = pos == 0 ? bom : pos, e = contentEnd;
    trim(d, b, e);
    if (b < e && d[b] == '[') {
      // "[name]": the name runs to the first ']' (or the end of the line).
      const char* close =
          static_cast<const char*>(memchr(d + b + 1, ']', static_cast<size_t>(e - b - 1)));
      qsizetype nb = b + 1, ne = close ? close - d : e;
      trim(d, nb, ne);
      const QString name = decode_text(QByteArray(d + nb, ne - nb), utf8_).toLower();
      if (sectionIndex_.contains(name)) {
        current = nullptr;  // a later section of the same name is not looked at
      } else {
        sectionIndex_.insert(name, static_cast<int>(sections_.size()));
        sections_.push_back(Section{lineEnd, lineEnd, {}});
        current = &sections_.back();
      }
    } else if (current && b < e && d[b] != ';') {
      current->lastEntryEnd = lineEnd;
      const char* eq = static_cast<const char*>(memchr(d + b, '=', static_cast<size_t>(e - b)));
      if (eq) {
        const qsizetype at = eq - d;
        qsizetype kb = b, ke = at;
        trim(d, kb, ke);
        current->keys.push_back(
            Key{name_hash(d + kb, ke - kb), kb, ke - kb, pos, contentEnd, lineEnd, at + 1});
      }
    }
    pos = lineEnd;
  }
  for (Section& sec : sections_)
    std::stable_sort(sec.keys.begin(), sec.keys.end(),
                     [](const Key& x, const Key& y) { return x.hash < y.hash; });
}

const ProfileFile::Section* ProfileFile::find(const QString& section) const {
  auto it = sectionIndex_.constFind(section.trimmed().toLower());
  return it == sectionIndex_.constEnd() ? nullptr : &sections_[static_cast<size_t>(it.value())];
}

const ProfileFile::Key* ProfileFile::findKey(const Section& s, const QString& key) const {
  const QByteArray bytes = encode(key.trimmed());
  const quint64 h = name_hash(bytes.constData(), bytes.size());
  auto it = std::lower_bound(s.keys.begin(), s.keys.end(), h,
                             [](const Key& k, quint64 v) { return k.hash < v; });
  // Among equal hashes the file's order is kept, so the first match is the first occurrence.
  for (; it != s.keys.end() && it->hash == h; ++it)
    if (it->keyLength == bytes.size() &&
        same_name(raw_.constData() + it->keyBegin, bytes.constData(), bytes.size()))
      return &*it;
  return nullptr;
}

QString ProfileFile::read(const QString& section, const QString& key, const QString& def,
                          int bufferSize) const {
  const int maxBytes = qMax(0, bufferSize - 1);
  const Section* s = find(section);
  const Key* k = s ? findKey(*s, key) : nullptr;
  if (!k) return cut_to_gbk_bytes(def, maxBytes);
  const char* d = raw_.constData();
  qsizetype b = k->valueBegin, e = k->lineContentEnd;
  trim(d, b, e);
  if (e - b >= 2 && (d[b] == '"' || d[b] == '\'') && d[e - 1] == d[b]) {
    ++b;
    --e;
  }
  // Only what can be kept is decoded: a value of a megabyte costs no more than a short one.
  const qsizetype take = qMin<qsizetype>(e - b, qsizetype(maxBytes) * 4 + 4);
  return cut_to_gbk_bytes(decode_text(QByteArray(d + b, take), utf8_), maxBytes);
}

QByteArray ProfileFile::eol() const {
  // The first line end of the file sets the style.
  const char* d = raw_.constData();
  for (qsizetype i = 0; i < raw_.size(); ++i) {
    if (d[i] == '\n') return QByteArrayLiteral("\n");
    if (d[i] == '\r')
      return i + 1 < raw_.size() && d[i + 1] == '\n' ? QByteArrayLiteral("\r\n")
                                                     : QByteArrayLiteral("\r");
  }
  return QByteArrayLiteral("\r\n");
}

QByteArray ProfileFile::encode(const QString& text) const { return encode_text(text, utf8_); }

QByteArray ProfileFile::spliced(qsizetype from, qsizetype to, const QByteArray& insert) const {
  // Bytes [from, to) are replaced by insert, which begins on a line of its own.
  QByteArray out;
  out.reserve(raw_.size() + insert.size() + 2);
  out.append(raw_.constData(), from);
  if (from > 0 && raw_.at(from - 1) != '\n' && raw_.at(from - 1) != '\r') out.append(eol());
  out.append(insert);
  out.append(raw_.constData() + to, raw_.size() - to);
  return utf16_ == Utf16::None ? out : encode_utf16_file(QString::fromUtf8(out), utf16_);
}

QByteArray ProfileFile::withValue(const QString& section, const QString& key,
                                  const QString& value) const {
  const QByteArray nl = eol();
  const Section* s = find(section);
  if (!s) {
    return spliced(raw_.size(), raw_.size(),
                   encode(QLatin1Char('[') + section + QLatin1Char(']')) + nl +
                       encode(key + QLatin1Char('=') + value) + nl);
  }
  if (const Key* k = findKey(*s, key)) {
    // The key keeps its own bytes, whatever they decode to.
    QByteArray line(raw_.constData() + k->keyBegin, k->keyLength);
    line += '=' + encode(value);
    line.append(raw_.constData() + k->lineContentEnd, k->lineEnd - k->lineContentEnd);  // its end
    return spliced(k->lineBegin, k->lineEnd, line);
  }
  return spliced(s->lastEntryEnd, s->lastEntryEnd, encode(key + QLatin1Char('=') + value) + nl);
}

QByteArray ProfileFile::withSection(const QString& section, const Pairs& pairs) const {
  const QByteArray nl = eol();
  QByteArray body;
  for (const auto& p : pairs) body += encode(p.first + QLatin1Char('=') + p.second) + nl;
  const Section* s = find(section);
  if (!s)
    return spliced(raw_.size(), raw_.size(),
                   encode(QLatin1Char('[') + section + QLatin1Char(']')) + nl + body);
  // Keep the header line and whatever follows the last entry (blank lines, comments that lead
  // into the next section).
  return spliced(s->headerEnd, s->lastEntryEnd, body);
}

QByteArray ProfileFile::withoutKey(const QString& section, const QString& key) const {
  const Section* s = find(section);
  const Key* k = s ? findKey(*s, key) : nullptr;
  if (!k) return raw_;
  return raw_.left(k->lineBegin) + raw_.mid(k->lineEnd);
}

QString profile_read(const QString& path, const QString& section, const QString& key,
                     const QString& def, int bufferSize) {
  return ProfileFile::load(path).read(section, key, def, bufferSize);
}

namespace {

// A file that exists but cannot be read is left alone: false, for a reason not known here.
bool unreadable(WriteFailure* why) {
  if (why) *why = WriteFailure::Other;
  return false;
}

}  // namespace

bool profile_write(const QString& path, const QString& section, const QString& key,
                   const QString& value, WriteFailure* why) {
  const FileWriteLock lock(path);
  const ProfileFile f = ProfileFile::load(path);
  if (f.status() == ProfileFile::Status::Unreadable) return unreadable(why);
  return write_file_atomically(path, f.withValue(section, key, value), {}, why);
}

bool profile_remove(const QString& path, const QString& section, const QString& key,
                    WriteFailure* why) {
  const FileWriteLock lock(path);
  const ProfileFile f = ProfileFile::load(path);
  if (f.status() == ProfileFile::Status::Unreadable) return unreadable(why);
  if (f.status() == ProfileFile::Status::Missing) return true;
  return write_file_atomically(path, f.withoutKey(section, key), {}, why);
}

bool profile_write_section(const QString& path, const QString& section,
                           const ProfileFile::Pairs& pairs, WriteFailure* why) {
  const FileWriteLock lock(path);
  const ProfileFile f = ProfileFile::load(path);
  if (f.status() == ProfileFile::Status::Unreadable) return unreadable(why);
  return write_file_atomically(path, f.withSection(section, pairs), {}, why);
}

bool profile_owner_only(const QString& path, WriteFailure* why) {
  QFile f(path);
  const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                      QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
  bool done = false;
  if (!f.exists()) {
    // A new file is created empty and private, so the password never lands in a readable one.
    done = f.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    f.close();
    done = done && f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  } else {
    const QFileDevice::Permissions p = f.permissions();
    done = (p & others) == 0 || f.setPermissions(p & ~others);
  }
  if (!done && why) *why = write_failure(errno, path);
  return done;
}
