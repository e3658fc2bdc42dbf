// libFuzzer target: the private-profile reader and writer, the entry text parser, and the page's
// JSON entry reader, on arbitrary bytes. Beyond not crashing, it checks that a written value reads back, and that every text the
// entry parser accepts prints as a canonical text (flag digits 2..9 read as set and print as "1")
// that reads back as the same entry, and that every entry the page's reader accepts can fall due
// and reads back the same from the JSON the page is given.
#include <QString>
#include <cstdint>
#include <cstdlib>

#include "core/clsdata.h"
#include "platform/private_profile.h"
#include "remote/web_api.h"

#include <QJsonDocument>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const ProfileFile f = ProfileFile::fromBytes(bytes);
  for (int buffer : {0, 1, 2, 3, 9, 27}) {
    f.read(QStringLiteral("Note"), QStringLiteral("0101"), kBlankEntryText, buffer);
    f.read(QStringLiteral("note"), QStringLiteral("Com"), QStringLiteral("1"), buffer);
  }

  const ProfileFile written = ProfileFile::fromBytes(
      f.withValue(QStringLiteral("Note"), QStringLiteral("Com"), QStringLiteral("v12")));
  if (written.read(QStringLiteral("Note"), QStringLiteral("Com"), QString(), 100) !=
      QStringLiteral("v12"))
    abort();
  const ProfileFile section = ProfileFile::fromBytes(
      f.withSection(QStringLiteral("Note"),
                    {{QStringLiteral("0101"), QStringLiteral("11000000000100000000073000")}}));
  if (section.read(QStringLiteral("Note"), QStringLiteral("0101"), QString(), 27) !=
      QStringLiteral("11000000000100000000073000"))
    abort();

  const QString text = QString::fromLatin1(bytes.left(40));
  const EntryPtr e = StrToData(text);
  if (e->nRoute != 0) {
    const QString canonical = e->GetStr();
    if (canonical.size() != 26 || StrToData(canonical)->GetStr() != canonical) abort();
  }
  web_cookie(bytes, "tavrel_session");
  WebEntry w;
  if (read_web_entry(bytes, &w) == WebEntryError::None) {
    EntryCollection c;
    EntryPtr written;
    if (editor_confirm(web_editor_state(w), true, written, c, w.route) != ConfirmResult::Written ||
        !entry_can_fall_due(*written))
      abort();
    const QByteArray json =
        QJsonDocument(web_entry_json(c.at(0).key, *written, {})).toJson(QJsonDocument::Compact);
    WebEntry again;
    if (read_web_entry(json, &again) != WebEntryError::None || again.route != w.route ||
        again.kind != w.kind || again.time != w.time || again.on != w.on ||
        (w.kind == Recurrence::Weekly && again.days != w.days) ||
        (w.kind == Recurrence::Date && again.date != w.date))
      abort();
  }
  return 0;
}
