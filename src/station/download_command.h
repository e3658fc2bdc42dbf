#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "core/entry_collection.h"
#include "core/scheduler.h"
#include "device/comm_port.h"
#include "device/download_frame.h"
#include "station/link_control.h"

// The download of one route page's entries into the board, on its own port MSCommDown.
//
// run() sends every entry of the page as it is at the start (in collection order, numbered from
// 1) as a download frame, with the command link's port borrowed around it (LinkControl::suspend
// and resume: the link's caption, locks and bIsFirst are untouched). Each frame waits up to
// kAckTimeoutMs for the board's 0x56, handling events meanwhile; only a byte that arrives after
// the frame counts. A frame without it is told (AckMissing) and the download goes on (an
// acknowledgement that comes late is absorbed before the next frame, so it never counts for that
// one). A port that cannot be opened is told (PortFailed). Timer1 is off meanwhile and afterwards
// follows chkAuto(). Should the device vanish, the download stops; an open link then counts it as
// lost, a closed one greys the lamps and tells Lost. Entries that can never fall due
// (entry_can_fall_due) are left out.
class DownloadCommand : public QObject {
  Q_OBJECT
 public:
  static constexpr int kAckTimeoutMs = 500;
  enum class Notice { PortFailed, AckMissing, Lost };

  // Everything given must outlive the command.
  DownloadCommand(const EntryCollection& colData, CommPort& MSCommDown, CommandLink& link,
                  LinkControl& linkControl, SchedulerTimer& Timer1, std::function<bool()> chkAuto,
                  QObject* parent = nullptr);

  void run(quint8 com, int page);
  bool running() const { return downloading_; }
  bool bDownOk = false;
  const QString& labDebug() const { return labDebug_; }

 signals:
  void labDebugChanged(const QString& text);
  // Something to tell the user; failure for PortFailed.
  void told(DownloadCommand::Notice what, const PortFailure& failure);

 private:
  void MSCommDown_OnComm();
  bool waitForAck(int ms);

  const EntryCollection& colData_;
  CommPort& MSCommDown_;
  CommandLink& link_;
  LinkControl& linkControl_;
  SchedulerTimer& Timer1_;
  std::function<bool()> chkAuto_;
  DownloadFrame frame22_{};
  QString labDebug_;
  bool downloading_ = false;
  bool downLost_ = false;
};
