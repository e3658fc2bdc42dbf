#include "station/link_control.h"

LinkControl::LinkControl(CommPort& port, CommandLink& link, QObject* parent)
    : QObject(parent), port_(port), link_(link) {
  retry_.setInterval(kRetryMs);
  connect(&retry_, &QTimer::timeout, this, &LinkControl::retry);
  connect(&port_, &CommPort::lost, this, &LinkControl::onLost);
}

void LinkControl::setState(State s) {
  if (s == state_) return;
  state_ = s;
  emit stateChanged();
}

bool LinkControl::start() {
  port_.setCommPort(com_);
  if (!port_.setPortOpen(true)) return false;
  port_.setRThreshold(kFrameLength);
  link_.restartHandshake();
  link_.startPush();
  return true;
}

LinkHealth LinkControl::health() const {
  switch (state_) {
    case Closed:
      return LinkHealth::Closed;
    case Waiting:
      return LinkHealth::Waiting;
    case Open:
      break;
  }
  return link_.answering() ? LinkHealth::Answering : LinkHealth::NoAnswer;
}

bool LinkControl::open(quint8 com, bool keepTrying) {
  if (state_ != Closed || port_.portOpen()) return false;
  com_ = com;
  if (start()) {
    setState(Open);
    emit happened(RecordAction::PortOpened);
    return true;
  }
  if (!keepTrying) {
    emit told(LinkNotice::OpenFailed, port_.failure());
    return false;
  }
  link_.greyLamps();
  setState(Waiting);
  retry_.start();
  emit told(LinkNotice::Waiting, port_.failure());  // up while the port is waited for
  return false;
}

void LinkControl::close() {
  if (state_ == Closed) return;
  emit told(LinkNotice::Withdrawn, {});
  retry_.stop();
  port_.setPortOpen(false);
  link_.stopPush();
  link_.restartHandshake();
  setState(Closed);
  emit happened(RecordAction::PortClosed);
}

void LinkControl::onLost() {
  if (state_ != Open || suspended_) return;
  lose();
}

void LinkControl::lose() {
  port_.setPortOpen(false);
  link_.stopPush();
  link_.restartHandshake();
  link_.greyLamps();  // nothing answers any more: the lamps must not show a board that is gone
  setState(Waiting);
  retry_.start();
  emit happened(RecordAction::PortLost);
  // Told from the event loop, not from inside the port's error handling.
  QTimer::singleShot(0, this, [this] { emit told(LinkNotice::Lost, {}); });
}

void LinkControl::retry() {
  if (state_ != Waiting || suspended_) return;
  if (!start()) return;  // quietly: the next try comes with the timer
  emit told(LinkNotice::Withdrawn, {});
  retry_.stop();
  setState(Open);
  emit happened(RecordAction::PortBack);
}

void LinkControl::suspend() {
  suspended_ = true;
  stateAtSuspend_ = state_;
  pushWas_ = link_.pushRunning();
  link_.stopPush();
  retry_.stop();
  port_.setPortOpen(false);
}

void LinkControl::resume(bool lostMeanwhile) {
  suspended_ = false;
  if (state_ == Open) {
    port_.setCommPort(com_);
    if (lostMeanwhile || !port_.setPortOpen(true)) {
      lose();
      return;
    }
    port_.setRThreshold(kFrameLength);
  } else if (state_ == Waiting) {
    retry_.start();
  }
  // A link the user closed meanwhile stays quiet.
  if (pushWas_ && !(state_ == Closed && stateAtSuspend_ != Closed)) link_.startPush();
}
