#include "device/command_link.h"

#include <QDateTime>

CommandLink::CommandLink(CommPort& MSComm, QObject* parent) : QObject(parent), MSComm_(MSComm) {
  lamps_.fill(LampLook::Grey);
  Timer2_.setInterval(kPushIntervalMs);
  Timer2_.setSingleShot(true);
  Timer2_.setTimerType(Qt::PreciseTimer);
  connect(&Timer2_, &QTimer::timeout, this, &CommandLink::onTimer2);
  pushLater_.setSingleShot(true);
  pushLater_.setTimerType(Qt::PreciseTimer);
  connect(&pushLater_, &QTimer::timeout, this, &CommandLink::pushNow);
  connect(&MSComm_, &CommPort::OnComm, this, &CommandLink::MSComm_OnComm);
}

void CommandLink::setWanted(int route, quint8 state) {
  if (route < 1 || route > kRouteCount || state > kEnergise) return;
  nState_[static_cast<size_t>(route)] = state;
}

void CommandLink::tx_frame(quint8 leixing, quint8 data1, quint8 data2) {
  build_command_frame(frame_, nID_, leixing, data1, data2);
  if (!MSComm_.portOpen()) return;
  MSComm_.clearInBuffer();
  MSComm_.Output(QByteArray(reinterpret_cast<const char*>(frame_.data()), kFrameLength));
  sentSinceStart_ = true;
  lastSendMs_ = QDateTime::currentMSecsSinceEpoch();
}

void CommandLink::onTimer2() {
  // Re-armed before the tick runs, so a tick that stops the cycle (a port lost while sending)
  // leaves it stopped. The next tick comes on the phase: kPushPhaseMs past a 200 ms boundary, at
  // least half a period on.
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  qint64 wait = kPushIntervalMs -
                ((now - kPushPhaseMs) % kPushIntervalMs + kPushIntervalMs) % kPushIntervalMs;
  if (wait < kPushIntervalMs / 2) wait += kPushIntervalMs;
  Timer2_.start(static_cast<int>(wait));
  askedAgain_ = false;
  const qint64 since = now - lastSendMs_;
  if (!bIsFirst_ && since >= 0 && since < kReplyGuardMs) {
    // A frame just went out at once: the tick's own frame follows once its reply is in.
    holdLamps();
    pushLater_.start(static_cast<int>(kReplyGuardMs - since));
    return;
  }
  Timer2_Timer();
}

void CommandLink::pushNow() {
  pushLater_.stop();
  if (bIsFirst_ || !Timer2_.isActive() || !MSComm_.portOpen()) return;
  const qint64 since = QDateTime::currentMSecsSinceEpoch() - lastSendMs_;
  if (since >= 0 && since < kReplyGuardMs) {
    pushLater_.start(static_cast<int>(kReplyGuardMs - since));
    return;
  }
  sendSet();
}

void CommandLink::sendSet() {
  const BankMasks m = masks_from_states(nState_);
  tx_frame(kTypeSet, m.high, m.low);
}

void CommandLink::setAnswering(bool on) {
  if (on == answering_) return;
  answering_ = on;
  emit answeringChanged(on);
}

void CommandLink::holdLamps() {
  if (nLampTime_ > 0)
    --nLampTime_;
  else
    greyLamps();
  if (MSComm_.portOpen() && sentSinceStart_ && silentTicks_ < kSilentTicks &&
      ++silentTicks_ == kSilentTicks) {
    setAnswering(false);
    emit silent();
  }
}

void CommandLink::Timer2_Timer() {
  holdLamps();
  if (bIsFirst_)
    tx_frame(kTypeQuery, 0, 0);
  else
    sendSet();
}

void CommandLink::MSComm_OnComm() {
  if (MSComm_.CommEvent() != CommPort::comEvReceive) return;
  const QByteArray echo(reinterpret_cast<const char*>(frame_.data()), kFrameLength);
  // Taking a reply may send a frame at once, which drops the rest of the input.
  while (MSComm_.portOpen() && MSComm_.inBufferCount() >= kFrameLength) {
    const QByteArray run = MSComm_.peekInput(kFrameLength);
    if (run == echo) {
      MSComm_.skipInput(kFrameLength);
      continue;
    }
    for (int i = 0; i < kFrameLength; ++i) nRecv_[i] = static_cast<quint8>(run.at(i));
    if (!reply_is_valid(nRecv_.data())) {
      MSComm_.skipInput(1);
      continue;
    }
    MSComm_.skipInput(kFrameLength);
    takeReply();
  }
}

void CommandLink::takeReply() {
  silentTicks_ = 0;  // the board answers, even before a second reply confirms this one
  const quint16 states = static_cast<quint16>((nRecv_[5] << 8) | nRecv_[6]);
  const bool confirmed = haveLastReply_ && states == lastReply_;
  haveLastReply_ = true;
  lastReply_ = states;
  if (!confirmed) {
    if (!bIsFirst_ && !askedAgain_) {
      askedAgain_ = true;
      pushNow();
    }
    return;
  }
  reported_ = states;
  haveReported_ = true;
  const bool takeOver = bIsFirst_;
  if (bIsFirst_) {
    bIsFirst_ = false;
    take_states();
  } else {
    show_states();
  }
  nLampTime_ = kLampHoldTicks;
  setAnswering(true);
  if (takeOver) emit tookOver();
  emit replyReceived();
}

void CommandLink::take_states() { paintFromReply(true); }

void CommandLink::show_states() { paintFromReply(false); }

void CommandLink::paintFromReply(bool takeOver) {
  LampLooks looks;
  const quint8 high = static_cast<quint8>(nRecv_[5]);
  const quint8 low = static_cast<quint8>(nRecv_[6]);
  for (int k = 0; k < 8; ++k) {
    const bool highOn = get_bit(high, k) == 1;
    const bool lowOn = get_bit(low, k) == 1;
    looks[k + 8] = highOn ? LampLook::Energised : LampLook::Released;
    looks[k] = lowOn ? LampLook::Energised : LampLook::Released;
    if (takeOver) {
      nState_[k + 9] = highOn ? kEnergise : kRelease;
      nState_[k + 1] = lowOn ? kEnergise : kRelease;
    }
  }
  setLamps(looks);
}

void CommandLink::restartHandshake() {
  bIsFirst_ = true;
  haveLastReply_ = false;
  silentTicks_ = 0;
  sentSinceStart_ = false;
  pushLater_.stop();
  setAnswering(false);
}

void CommandLink::greyLamps() {
  LampLooks grey;
  grey.fill(LampLook::Grey);
  setLamps(grey);
}

void CommandLink::setLamps(const LampLooks& looks) {
  if (looks == lamps_) return;
  lamps_ = looks;
  emit lampsChanged();
}
