#pragma once

#include <QObject>
#include <QString>

#include "core/entry_collection.h"
#include "core/scheduler.h"
#include "device/comm_port.h"
#include "device/command_link.h"

// The logic behind the main window, free of widgets: the program's one entry collection colData,
// the command link with its port and route state table, and the scheduler timer Timer1 that
// writes into that table and waits while the board's states are not yet taken over.
class AppLogic : public QObject {
  Q_OBJECT
 public:
  // appDir is the application directory (files and dosdevices/); clock defaults to the PC's.
  explicit AppLogic(const QString& appDir, SchedulerTimer::Clock clock = {},
                    QObject* parent = nullptr);

  const QString& appDir() const { return appDir_; }

  EntryCollection colData;
  CommPort MSComm;
  CommandLink link;
  SchedulerTimer Timer1;

 private:
  QString appDir_;
};
