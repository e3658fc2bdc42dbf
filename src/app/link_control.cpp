#include "app/link_control.h"

#include <QCoreApplication>

QString port_failure_text(const PortFailure& f) {
  QString why;
  switch (f.reason) {
    case OpenFailure::Missing:
    case OpenFailure::None:
      why = LinkControl::tr("设备不存在");
      break;
    case OpenFailure::NotInGroup:
      why = LinkControl::tr("没有权限（把用户加入 %1 组后重新登录）").arg(f.group);
      break;
    case OpenFailure::NoPermission:
      why = LinkControl::tr("没有权限");
      break;
    case OpenFailure::NotSerial:
      why = LinkControl::tr("不是串口设备");
      break;
    case OpenFailure::Busy:
      why = LinkControl::tr("已被其他程序占用");
      break;
    case OpenFailure::Other:
      why = LinkControl::tr("无法打开");
      break;
  }
  return LinkControl::tr("串口打开错误\n%1：%2").arg(f.device, why);
}

LinkControl::LinkControl(CommPort& port, CommandLink& link, Prompt& prompt, QObject* parent)
    : QObject(parent), port_(port), link_(link), prompt_(prompt) {
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
    emit event(RecordAction::PortOpened);
    return true;
  }
  if (!keepTrying) {
    prompt_.message(port_failure_text(port_.failure()));
    return false;
  }
  link_.greyLamps();
  setState(Waiting);
  retry_.start();
  prompt_.notice(port_failure_text(port_.failure()));  // up while the port is waited for
  return false;
}

void LinkControl::close() {
  if (state_ == Closed) return;
  prompt_.withdrawNotice();
  retry_.stop();
  port_.setPortOpen(false);
  link_.stopPush();
  link_.restartHandshake();
  setState(Closed);
  emit event(RecordAction::PortClosed);
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
  emit event(RecordAction::PortLost);
  // Told from the event loop, not from inside the port's error handling, and once while the
  // box is up: an adapter that comes and goes never piles boxes up.
  QTimer::singleShot(0, this, [this] {
    if (telling_) return;
    telling_ = true;
    prompt_.message(tr("串口已断开"));
    telling_ = false;
  });
}

void LinkControl::retry() {
  if (state_ != Waiting || suspended_) return;
  if (!start()) return;  // quietly: the next try comes with the timer
  prompt_.withdrawNotice();
  retry_.stop();
  setState(Open);
  emit event(RecordAction::PortBack);
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
