#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include "device/comm_port.h"
#include "device/command_link.h"
#include "station/switch_record.h"

// How the link is doing, in one value: the tray's lamp, the window's status line, the lamps'
// greying and the broker's availability all follow it.
enum class LinkHealth {
  Closed,     // the user closed the link (or never opened it)
  Waiting,    // meant to be open; the port is away and tried again
  NoAnswer,   // open, but the board does not answer (yet)
  Answering,  // open and the board answers
};

// What the link has to tell the user; the peers word it (see app/notices.h).
enum class LinkNotice {
  OpenFailed,  // the port did not open (the failure says why); the link stays closed
  Waiting,     // ... and is waited for: a notice that does not hold the program up
  Withdrawn,   // the waiting notice no longer holds (the port opened, the link was closed)
  Lost,  // the device vanished under an open link ("串口已断开"), told from the event loop
};

// The command link's life on its port. The user (or start-up) opens and closes it; a device that
// vanishes under it greys every lamp, is told (LinkNotice::Lost, from the event loop) and leaves
// the link waiting:
// while the link is meant to be open the port is tried again quietly every kRetryMs, and when it
// opens the link starts as at opening (queries, then the take-over). Every opening sets bIsFirst.
// A user's close stops the push cycle and the waiting.
class LinkControl : public QObject {
  Q_OBJECT
 public:
  enum State { Closed, Open, Waiting };
  static constexpr int kRetryMs = 2000;

  // port and link must outlive the control.
  LinkControl(CommPort& port, CommandLink& link, QObject* parent = nullptr);

  // Opens the link on port number com (1..20). A failure is told (OpenFailed with the port's
  // failure); the link then stays closed, or with keepTrying waits for the port (Waiting, then
  // Withdrawn when the port opens or the link is closed). Returns whether the port opened. Does
  // nothing unless closed.
  bool open(quint8 com, bool keepTrying);
  // Closes the link or ends the waiting. Does nothing when closed.
  void close();

  State state() const { return state_; }
  bool meantOpen() const { return state_ != Closed; }
  LinkHealth health() const;
  // The device of the port in use or waited for.
  QString devicePath() const { return port_.devicePath(); }

  // A download borrows the port: suspend() closes it and pauses the push cycle and the retries;
  // the state stays. resume() gives it back: an open link reopens (a device lost meanwhile, or one
  // that will not reopen, counts as a loss, told as above), a waiting one goes on waiting, and
  // the push cycle runs again when it ran before.
  void suspend();
  void resume(bool lostMeanwhile);

 signals:
  void stateChanged();
  // What happened to the link, for the record: PortOpened, PortClosed, PortLost or PortBack.
  void happened(RecordAction what);
  // Something to tell the user (see LinkNotice); failure for OpenFailed and Waiting.
  void told(LinkNotice what, const PortFailure& failure);

 private:
  bool start();
  void setState(State s);
  void onLost();
  void lose();
  void retry();

  CommPort& port_;
  CommandLink& link_;
  State state_ = Closed;
  quint8 com_ = 1;
  bool suspended_ = false;
  bool pushWas_ = false;
  State stateAtSuspend_ = Closed;
  QTimer retry_;
};
