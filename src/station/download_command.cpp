#include "station/download_command.h"

#include <QEventLoop>
#include <QTimer>

DownloadCommand::DownloadCommand(const EntryCollection& colData, CommPort& MSCommDown,
                                 CommandLink& link, LinkControl& linkControl,
                                 SchedulerTimer& Timer1, std::function<bool()> chkAuto,
                                 QObject* parent)
    : QObject(parent),
      colData_(colData),
      MSCommDown_(MSCommDown),
      link_(link),
      linkControl_(linkControl),
      Timer1_(Timer1),
      chkAuto_(std::move(chkAuto)) {
  connect(&MSCommDown_, &CommPort::OnComm, this, &DownloadCommand::MSCommDown_OnComm);
  connect(&MSCommDown_, &CommPort::lost, this, [this] { downLost_ = true; });
}

void DownloadCommand::MSCommDown_OnComm() {
  // Every byte waiting is read; one 0x56 among them acknowledges the frame just sent.
  while (MSCommDown_.inBufferCount() > 0)
    if (static_cast<quint8>(MSCommDown_.Input().at(0)) == kDownloadAck) bDownOk = true;
}

bool DownloadCommand::waitForAck(int ms) {
  QEventLoop loop;
  QTimer timeout;
  timeout.setSingleShot(true);
  connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
  connect(&MSCommDown_, &CommPort::OnComm, &loop, [&] {
    if (bDownOk) loop.quit();
  });
  connect(&MSCommDown_, &CommPort::lost, &loop, &QEventLoop::quit);
  timeout.start(ms);
  if (!bDownOk && !downLost_) loop.exec();
  return bDownOk;
}

void DownloadCommand::run(quint8 com, int page) {
  if (downloading_) return;
  downloading_ = true;
  downLost_ = false;
  Timer1_.setEnabled(false);
  bDownOk = false;
  const bool linkWasOpen = linkControl_.state() == LinkControl::Open;
  linkControl_.suspend();
  MSCommDown_.setCommPort(com);

  if (!MSCommDown_.setPortOpen(true)) {
    emit told(Notice::PortFailed, MSCommDown_.failure());
  } else {
    MSCommDown_.setRThreshold(1);
    // The entries to send are fixed now: events run while we wait.
    QList<EntryPtr> entries;
    for (const auto& it : colData_)
      if (it.entry->nRoute == page && entry_can_fall_due(*it.entry)) entries << it.entry;
    quint8 index = 1;
    for (const EntryPtr& e : entries) {
      labDebug_ = tx_frame22(frame22_, link_.nID(), download_kind(e->bIsEveryDay, e->bIsWeek),
                             index, e->GetStr(), page);
      emit labDebugChanged(labDebug_);
      bDownOk = false;
      MSCommDown_.clearInBuffer();
      MSCommDown_.Output(QByteArray(reinterpret_cast<const char*>(frame22_.data()), 22));
      if (!waitForAck(kAckTimeoutMs) && !downLost_) {
        emit told(Notice::AckMissing, {});
        // A late acknowledgement of this frame must not count for the next one.
        waitForAck(kAckTimeoutMs);
      }
      if (downLost_) break;
      ++index;
    }
    MSCommDown_.setPortOpen(false);
  }

  downloading_ = false;
  Timer1_.setEnabled(chkAuto_());  // ChkAuto may have changed meanwhile
  linkControl_.resume(downLost_);
  if (downLost_ && !linkWasOpen) {
    link_.greyLamps();
    emit told(Notice::Lost, {});
  }
}
