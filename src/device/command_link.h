#pragma once

#include <QObject>
#include <QTimer>
#include <array>

#include "core/route_state.h"
#include "device/comm_port.h"
#include "device/command_frame.h"

// What one indicator lamp shows.
enum class LampLook : quint8 { Grey, Energised, Released };
using LampLooks = std::array<LampLook, kRouteCount>;

// The command link to the board: the route state table, the 200 ms push cycle (Timer2) and the
// handling of the board's replies, with the sixteen lamps it publishes.
//
// Push tick: the lamp hold counter nLampTime counts down; a tick that finds it at 0 greys every
// lamp. While bIsFirst is set the tick sends a query frame (type 16), afterwards a set frame
// (type 19) with the masks of the routes whose wanted state is 2.
// Reply: a reply is any run of 8 bytes that begins with 0x22 and whose sum holds, wherever it
// lies in what arrived since the frame went out: an adapter that echoes the frame, stray bytes
// before the reply and a reply split across reads leave it to be found. The waiting bytes are
// looked at from the oldest once 8 wait: an exact echo of the frame is passed over whole, a run
// that is no reply by its first byte only, and a reply is read into nRecv; fewer than 8 bytes wait
// for the rest, and the next frame drops what is left. Invalid bytes change nothing. A valid reply
// counts once the next valid reply carries the same states: the
// line's 8-bit sum lets about one corrupted reply in 65,536 through, and two agreeing ones in a
// row make a corrupted state practically impossible. Once the states are taken over, a valid
// reply whose states differ from the last one's is asked again at once (pushNow(), so as soon as
// the reply guard allows; at most once a push period): a change counts about two replies after
// the frame that made it, not one push period later, and an idle link sends no more frames than
// the push ticks. The first counted reply while bIsFirst is set clears it and takes the board's
// states over into nState (2 energised, 1 released); later ones only repaint the lamps. Each
// counted reply sets nLampTime to 5.
//
// The table is the link's own: it is written only by setWanted() (the switch path's) and by the
// take-over. The push cycle is switched with startPush() / stopPush().
//
// Timing: the push ticks keep a fixed phase, kPushPhaseMs past every 200 ms boundary of the
// clock, midway between the scheduler's ticks (just past each second), so a switch the scheduler
// writes never queues behind a push frame. pushNow() sends a changed table at once; no frame goes
// out within kReplyGuardMs of the previous one (the reply to that one would be dropped half-read):
// pushNow() and the timer's tick wait for the rest of the guard.
// The board counts as answering from its first counted reply until kSilentTicks ticks pass without
// one (silent() tells each such silence, the one after opening included). Silence is counted from
// the first frame out and begins again with every valid reply, so a board that answers late (up
// to the whole silence) is never called silent before its first answer is due.
class CommandLink : public QObject {
  Q_OBJECT
 public:
  static constexpr int kPushIntervalMs = 200;
  static constexpr int kLampHoldTicks = 5;
  static constexpr int kPushPhaseMs = 105;
  static constexpr int kReplyGuardMs = 20;  // 8 bytes out and 8 back at 9600 baud, and some
  static constexpr int kSilentTicks = 10;   // 2 s without a counted reply

  // MSComm must outlive the link.
  explicit CommandLink(CommPort& MSComm, QObject* parent = nullptr);

  // The wanted state of every route: index r for route r (see route_state.h).
  const RouteStateTable& nState() const { return nState_; }
  // Sets route r's (1..16) wanted state; other routes and values outside the table are ignored.
  // Only the switch path calls this. The change goes out with the next push, or at once with
  // pushNow().
  void setWanted(int route, quint8 state);

  // The board address the frames carry (1..16).
  quint8 nID() const { return nID_; }
  void setAddress(quint8 id) { nID_ = id; }
  // True while the board's states are not taken over (set at start and by restartHandshake()).
  bool bIsFirst() const { return bIsFirst_; }
  qint32 nLampTime() const { return nLampTime_; }
  // Whether the port is open.
  bool portOpen() const { return MSComm_.portOpen(); }

  // The push cycle: the first tick comes within a period or so; it re-arms itself on its phase.
  void startPush() { Timer2_.start(); }
  void stopPush() { Timer2_.stop(); }
  bool pushRunning() const { return Timer2_.isActive(); }

  // Builds the frame in the reused buffer and, when MSComm is open, drops its unread input and
  // sends the 8 bytes. A closed port sends nothing and raises nothing.
  void tx_frame(quint8 leixing, quint8 data1, quint8 data2);
  const CommandFrame& lastFrame() const { return frame_; }

  void Timer2_Timer();
  void MSComm_OnComm();
  // Sends the table now (or as soon as the reply guard allows) while the push cycle runs and the
  // board's states are taken over; otherwise does nothing.
  void pushNow();

  // Whether the board answers (see above); false while the link is closed.
  bool answering() const { return answering_; }
  // The states of the last counted reply, high bank first; valid when haveReported().
  quint16 reportedStates() const { return reported_; }
  bool haveReported() const { return haveReported_; }

  // What lamp i (route i+1) shows from the replies alone: grey until a counted reply and again
  // once the hold runs out, else the route's reported state.
  const LampLooks& lamps() const { return lamps_; }
  // Greys all sixteen lamps.
  void greyLamps();
  // Sets bIsFirst and forgets the last reply: the next opening starts with a fresh handshake.
  void restartHandshake();

 signals:
  // After any lamp changed.
  void lampsChanged();
  // After a valid reply was handled (taken over or shown).
  void replyReceived();
  // Right after the board's states were taken over into nState.
  void tookOver();
  // When answering() changes.
  void answeringChanged(bool answering);
  // When kSilentTicks ticks of an open port passed without a counted reply: once per silence,
  // also when the board has not answered since the port opened.
  void silent();

 private:
  void take_states();
  void show_states();
  void paintFromReply(bool takeOver);
  void setLamps(const LampLooks& looks);
  void onTimer2();
  void holdLamps();
  void sendSet();
  void setAnswering(bool on);
  void takeReply();

  CommPort& MSComm_;
  RouteStateTable nState_{};
  quint8 nID_ = 1;
  bool bIsFirst_ = true;
  qint32 nLampTime_ = 0;
  std::array<qint32, 100> nRecv_{};
  QTimer Timer2_;
  CommandFrame frame_{};
  LampLooks lamps_;
  bool haveLastReply_ = false;
  quint16 lastReply_ = 0;  // the states of the last valid reply, high bank first
  quint16 reported_ = 0;
  bool haveReported_ = false;
  bool answering_ = false;
  int silentTicks_ = 0;
  bool sentSinceStart_ = false;  // a frame went out since the handshake began
  bool askedAgain_ = false;      // this push period
  qint64 lastSendMs_ = 0;
  QTimer pushLater_;
};
