#pragma once

#include <QString>

// The program without a desktop: the data folder's files, no window and no tray. Start-up runs as
// in the window (address, port, entries, the scheduler when there are entries), then the link is
// opened whatever "Open" says and kept open (reconnecting while the port is away). Every line of
// the switch record also goes to standard output, messages go to standard error. SIGTERM and SIGINT
// end it cleanly with status 0. Needs a QCoreApplication; returns the exit status.
int run_headless(const QString& dataDir);
