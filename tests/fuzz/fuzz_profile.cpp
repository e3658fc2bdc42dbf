// libFuzzer target: the private-profile reader and writer, and the entry text parser, on arbitrary
// bytes. Beyond not crashing, it checks that a written value reads back, and that every text the
// entry parser accepts prints as a canonical text (flag digits 2..9 read as set and print as "1")
// that reads back as the same entry.
#include <QString>
#include <cstdint>
#include <cstdlib>

#include "core/clsdata.h"
#include "platform/private_profile.h"

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
  return 0;
}
