#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

class QWidget;

// A second start of the window program on a data folder in use brings the running program's window
// forward instead of being refused: the running program listens on a local socket named after the
// user and the data folder, and a later start calls it and ends. A folder held by --headless has
// no such socket, so the call fails there and the later start is refused as before.
class RunningWindow : public QObject {
  Q_OBJECT
 public:
  static constexpr int kCallTimeoutMs = 2000;

  // Takes calls for dataDir while it lives; each one brings window forward. Call it only while
  // holding the data folder's one-copy lock (a socket left by a copy that died is replaced).
  RunningWindow(const QString& dataDir, QWidget* window);

  // Asks the window program running on dataDir to show its window: true when it did.
  static bool call(const QString& dataDir);

 private:
  static QString serverName(const QString& dataDir);

  QWidget* window_;
  QLocalServer server_;
};
