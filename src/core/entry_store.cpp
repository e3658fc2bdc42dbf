#include "core/entry_store.h"

#include <QDir>

namespace {
const QString kSection = QStringLiteral("Note");
constexpr int kValueBuffer = 27;  // 26 characters and the terminator
constexpr int kMaxPerRoute = 99;
}  // namespace

EntryStore::EntryStore(const QString& appDir)
    : path_(QDir(appDir).filePath(QStringLiteral("Note.ini"))) {}

QString EntryStore::ReadNote(const QString& key) const { return ReadNoteFrom(key, path_); }

QString EntryStore::ReadNoteFrom(const QString& key, const QString& path) {
  return profile_read(path, kSection, key, kBlankEntryText, kValueBuffer);
}

bool EntryStore::WriteNote(const QString& key, const QString& value) const {
  return profile_write(path_, kSection, key, value);
}

QString store_key(int route, int no) {
  return QStringLiteral("%1%2")
      .arg(route, 2, 10, QLatin1Char('0'))
      .arg(no, 2, 10, QLatin1Char('0'));
}

int load_entry_set(const ProfileFile& file, EntryCollection& colData) {
  int added = 0;
  for (int r = 1; r <= kRouteCount; ++r) {
    for (int n = 1; n <= kMaxPerRoute; ++n) {
      const QString key = store_key(r, n);
      const QString text = file.read(kSection, key, kBlankEntryText, kValueBuffer);
      if (text == kBlankEntryText) break;
      EntryPtr e = StrToData(text);
      e->nNo = static_cast<qint16>(n);
      if (colData.add(QStringLiteral("key") + key, e)) ++added;
    }
  }
  return added;
}

ProfileFile::Pairs entry_set_pairs(const EntryCollection& colData) {
  ProfileFile::Pairs pairs;
  pairs.reserve(colData.count());
  for (int r = 1; r <= kRouteCount; ++r) {
    int n = 1;
    for (const auto& it : colData)
      if (it.entry->nRoute == r && n <= kMaxPerRoute)
        pairs.append({store_key(r, n++), it.entry->GetStr()});
  }
  return pairs;
}

QByteArray render_entry_file(const EntryCollection& colData) {
  return ProfileFile::fromBytes(QByteArray()).withSection(kSection, entry_set_pairs(colData));
}
