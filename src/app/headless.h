#pragma once

#include <QString>

// The program without a desktop: the data folder's files, no window and no tray. Start-up runs as
// in the window (address, port, entries, the scheduler when there are entries), then the link is
// opened whatever "Open" says and kept open (reconnecting while the port is away). Every line of
// the switch record also goes to standard output, messages go to standard error (a record that
// cannot be written among them, once each time writing begins to fail). Neither output ever holds
// the timetable up: lines wait in a bounded queue and, where the reader keeps them waiting too
// long, are counted ("输出中断" with the count on standard output once it drains); a reader that
// goes away (SIGPIPE is ignored) only ends the copy to it. SIGTERM and SIGINT end it cleanly with
// status 0 within a second, whatever the outputs do; SIGHUP reads Note.ini and Name.ini again
// (Station::takeUpStore, Station::rereadSettings) and never ends it; SIGUSR1, SIGUSR2 and SIGALRM
// are ignored. A Note.ini another program changes is taken up by itself (see Station::takeUpStore),
// recorded and so on standard output. Needs a QCoreApplication; returns the exit status.
int run_headless(const QString& dataDir);
