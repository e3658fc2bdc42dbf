// Test helper: a second copy of the program writing settings. Writes KEY=1..COUNT into the
// settings file of APPDIR, one write at a time, as the port and address boxes do.
// Usage: write_child APPDIR KEY COUNT
#include <QCoreApplication>
#include <QDir>

#include "platform/private_profile.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList a = app.arguments();
  if (a.size() < 4) return 2;
  const QString path = QDir(a[1]).filePath(QStringLiteral("Name.ini"));
  const int count = a[3].toInt();
  int failures = 0;
  for (int i = 1; i <= count; ++i)
    if (!profile_write(path, QStringLiteral("Note"), a[2], QString::number(i))) ++failures;
  return failures == 0 ? 0 : 1;
}
