#include "core/entry_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>

#include "platform/atomic_file.h"
#include "platform/trash.h"

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

namespace {

// A second name for the content the store's path leads to now (through a symbolic link, if it is
// one), in the store's folder under a name no one uses: a hard link, or a copy where no link can
// be made. Empty when there is no store or no backup could be made.
QString make_backup(const QString& storePath) {
  const QFileInfo store(storePath);
  if (!store.exists()) return {};
  const QByteArray from = QFile::encodeName(storePath);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const QString name = store.absoluteDir().filePath(
        QStringLiteral("%1.bak-%2")
            .arg(store.fileName())
            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    if (::linkat(AT_FDCWD, from.constData(), AT_FDCWD, QFile::encodeName(name).constData(),
                 AT_SYMLINK_FOLLOW) == 0)
      return name;
    if (errno == EEXIST) continue;
    QFile in(storePath), out(name);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
      if (out.error() == QFileDevice::OpenError && QFileInfo::exists(name)) continue;
      return {};
    }
    if (in.open(QIODevice::ReadOnly) && out.write(in.readAll()) == in.size() && out.flush() &&
        in.error() == QFileDevice::NoError)
      return name;
    out.remove();
    return {};
  }
  return {};
}

// Moves a backup to the trash under the store's name + ".bak", or removes it where no trash can
// take it.
void discard_backup(const QString& backup, const QString& storePath) {
  if (!move_to_trash(backup, QFileInfo(storePath).fileName() + QStringLiteral(".bak")))
    QFile::remove(backup);
}

// Backups a save killed midway left beside the store: regular files named as make_backup names
// them, never a link or anything else.
void discard_stale_backups(const QString& storePath) {
  const QFileInfo store(storePath);
  const QRegularExpression own(
      QStringLiteral("^%1\\.bak-[0-9a-f]{8}$").arg(QRegularExpression::escape(store.fileName())));
  const QDir dir = store.absoluteDir();
  for (const QString& name :
       dir.entryList({store.fileName() + QStringLiteral(".bak-*")}, QDir::Files | QDir::Hidden))
    if (own.match(name).hasMatch() && !QFileInfo(dir.filePath(name)).isSymLink())
      discard_backup(dir.filePath(name), storePath);
}

}  // namespace

bool save_entry_store(const EntryCollection& colData, const QString& storePath, WriteFailure* why) {
  // The backup is made once the new store is safely written and moved to the trash after the new
  // store has taken the old one's place: at no moment is there no store. No file the program did
  // not make is touched (a user's own "Note.ini.bak" stays).
  discard_stale_backups(storePath);
  QString backup;
  const bool ok = write_file_atomically(
      storePath, render_entry_file(colData), [&] { backup = make_backup(storePath); }, why);
  if (!backup.isEmpty()) discard_backup(backup, storePath);
  return ok;
}

bool write_entry_file(const EntryCollection& colData, const QString& path, WriteFailure* why) {
  return write_file_atomically(path, render_entry_file(colData), {}, why);
}

bool read_entry_file(const QString& path, EntryCollection& into) {
  const ProfileFile file = ProfileFile::load(path);
  if (file.status() != ProfileFile::Status::Ok) return false;
  EntryCollection fresh;
  load_entry_set(file, fresh);
  into.replace(std::move(fresh));
  return true;
}
