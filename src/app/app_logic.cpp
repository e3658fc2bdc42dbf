#include "app/app_logic.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include "core/file_commands.h"
#include "platform/autostart.h"
#include "platform/port_naming.h"

AppLogic::AppLogic(const QString& appDir, Prompt& prompt, SchedulerTimer::Clock clock,
                   QObject* parent)
    : QObject(parent),
      MSComm(appDir),
      MSCommDown(appDir),
      link(MSComm),
      Timer1(
          colData, link.nState, [this] { return link.bIsFirst; }, std::move(clock)),
      settings(appDir),
      store(appDir),
      record(appDir),
      appDir_(appDir),
      prompt_(prompt) {
  enabled_.fill(true);
  connect(&MSComm, &CommPort::lost, this, &AppLogic::onPortLost);
  connect(&MSCommDown, &CommPort::OnComm, this, &AppLogic::MSCommDown_OnComm);
  connect(&MSCommDown, &CommPort::lost, this, [this] { downLost_ = true; });
}

void AppLogic::setLocked(bool locked) {
  enabled_.fill(!locked);
  emit controlsChanged();
}

void AppLogic::CmdOpen_Click() {
  if (!linkOpen_) {
    if (MSComm.portOpen()) return;
    MSComm.setCommPort(nCom);
    if (!MSComm.setPortOpen(true)) {
      tellOpenError(MSComm);
      return;
    }
    MSComm.setRThreshold(kFrameLength);
    link.Timer2.start();
    linkOpen_ = true;
    setLocked(true);
  } else {
    if (!MSComm.portOpen()) return;
    closeLink();
  }
}

void AppLogic::tellOpenError(const CommPort& port) {
  prompt_.message(QStringLiteral("串口打开错误\n") + port.errorString());
}

void AppLogic::closeLink() {
  MSComm.setPortOpen(false);
  link.Timer2.stop();
  linkOpen_ = false;
  link.restartHandshake();
  setLocked(false);
}

void AppLogic::onPortLost() {
  // The device went away under an open link: back to the closed state, told once.
  if (!linkOpen_ || downloading_) return;
  closeLink();
  link.greyLamps();  // nothing answers any more: the lamps must not show a board that is gone
  prompt_.message(QStringLiteral("串口已断开"));
}

void AppLogic::CmbCom_Click(int index) {
  nCom = static_cast<quint8>(index + 1);
  settings.WriteCom(QString::number(nCom));
}

QString AppLogic::whereComLeads(int n) const {
  const QString device = port_target_path(port_device_path(appDir_, n));
  QString tip = QFileInfo::exists(device) ? device : device + QStringLiteral("：设备不存在");
  const QFileInfo link(QDir(appDir_).filePath(QStringLiteral("dosdevices/com%1").arg(n)));
  if (link.exists() || link.isSymLink()) return tip;
  // No link for this number yet: name the adapters that could be linked to it.
  const QList<SerialDevice> present = present_serial_devices();
  if (present.isEmpty()) return tip;
  tip += QStringLiteral("\n现有串口设备（tavrel --link-port %1 设备）：").arg(n);
  for (const SerialDevice& d : present)
    tip += QLatin1Char('\n') + (d.byId.isEmpty() ? d.path : d.byId);
  return tip;
}

void AppLogic::CmbID_Click(int index) {
  link.nID = static_cast<quint8>(index + 1);
  settings.WriteID(QString::number(link.nID));
}

void AppLogic::setChkAuto(bool ticked) {
  if (ticked == chkAuto_) return;
  chkAuto_ = ticked;
  for (Control c : {CmdAdd, CmdDel, CmdDelAll, CmdSave}) enabled_[c] = ticked;
  Timer1.setEnabled(ticked && !downloading_);  // a download switches it on when it ends
  emit controlsChanged();
}

void AppLogic::SSTab2_Click(int tab) {
  nPage_ = tab + 1;
  refresh_list(nPage_);
}

void AppLogic::refresh_list(int route) {
  list_ = ::refresh_list(colData, route);
  emit listChanged();
}

void AppLogic::CmdIn_Click() { link.nState[static_cast<size_t>(nPage_)] = kEnergise; }
void AppLogic::CmdOut_Click() { link.nState[static_cast<size_t>(nPage_)] = kRelease; }

void AppLogic::CmdOpenAll_Click() {
  for (int r = 1; r <= kRouteCount; ++r) link.nState[static_cast<size_t>(r)] = kEnergise;
}

void AppLogic::CmdCloseAll_Click() {
  for (int r = 1; r <= kRouteCount; ++r) link.nState[static_cast<size_t>(r)] = kRelease;
}

void AppLogic::CmdDel_Click(const QList<EntryPtr>& selected) {
  if (!prompt_.confirm(QStringLiteral("删除当前信息吗？"))) return;
  remove_entries(colData, selected);
  refresh_list(nPage_);
  rebuild_keys(colData);
}

void AppLogic::CmdDelAll_Click() {
  if (!prompt_.confirm(QStringLiteral("删除所有信息吗？"))) return;
  remove_page(colData, nPage_);
  refresh_list(nPage_);
}

void AppLogic::CmdSave_Click() { save_entry_store(colData, store.path(), prompt_); }

void AppLogic::CmdSaveAs_Click() { save_entries_as(colData, prompt_); }

void AppLogic::CmdOpenFile_Click() {
  if (open_entry_file(colData, prompt_) != OpenResult::Loaded) return;
  setChkAuto(colData.count() > 0);
  refresh_list(nPage_);
}

bool AppLogic::CmdQuit_Click(bool chkOpen, bool chkRun, const QString& executablePath) {
  const bool written = settings.WriteOpen(chkOpen ? QStringLiteral("1") : QStringLiteral("0")) &&
                       settings.WriteRun(chkRun ? QStringLiteral("1") : QStringLiteral("0"));
  if (!written) {
    prompt_.message(QStringLiteral("保存设置失败\n") + settings.path());
    return false;
  }
  set_autostart(chkRun, executablePath, appDir_);
  return true;
}

void AppLogic::MSCommDown_OnComm() {
  // Every byte waiting is read; one 0x56 among them acknowledges the frame just sent.
  while (MSCommDown.inBufferCount() > 0)
    if (static_cast<quint8>(MSCommDown.Input().at(0)) == kDownloadAck) bDownOk = true;
}

bool AppLogic::waitForAck(int ms) {
  QEventLoop loop;
  QTimer timeout;
  timeout.setSingleShot(true);
  connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
  connect(&MSCommDown, &CommPort::OnComm, &loop, [&] {
    if (bDownOk) loop.quit();
  });
  connect(&MSCommDown, &CommPort::lost, &loop, &QEventLoop::quit);
  timeout.start(ms);
  if (!bDownOk && !downLost_) loop.exec();
  return bDownOk;
}

void AppLogic::CmdDown_Click() {
  if (downloading_) return;
  downloading_ = true;
  downLost_ = false;
  const bool timer2Was = link.Timer2.isActive();
  // The page is fixed now: switching tabs while events run changes nothing of this download.
  const int page = nPage_;
  Timer1.setEnabled(false);
  link.Timer2.stop();
  bDownOk = false;
  MSCommDown.setCommPort(nCom);
  const bool wasOpen = MSComm.portOpen();
  if (wasOpen) MSComm.setPortOpen(false);

  if (!MSCommDown.setPortOpen(true)) {
    tellOpenError(MSCommDown);
  } else {
    MSCommDown.setRThreshold(1);
    // The entries to send are fixed now: events run while we wait.
    QList<EntryPtr> entries;
    for (const auto& it : colData)
      if (it.entry->nRoute == page) entries << it.entry;
    quint8 index = 1;
    for (const EntryPtr& e : entries) {
      labDebug_ = tx_frame22(frame22_, link.nID, download_kind(e->bIsEveryDay, e->bIsWeek), index,
                             e->GetStr(), page);
      emit labDebugChanged(labDebug_);
      bDownOk = false;
      MSCommDown.clearInBuffer();
      MSCommDown.Output(QByteArray(reinterpret_cast<const char*>(frame22_.data()), 22));
      if (!waitForAck(kAckTimeoutMs) && !downLost_) {
        prompt_.message(QStringLiteral("下载失败"));
        // A late acknowledgement of this frame must not count for the next one.
        waitForAck(kAckTimeoutMs);
      }
      if (downLost_) break;
      ++index;
    }
    MSCommDown.setPortOpen(false);
  }

  bool linkLost = downLost_;
  if (wasOpen && !linkLost) {
    MSComm.setCommPort(nCom);
    linkLost = !MSComm.setPortOpen(true);
    if (!linkLost) MSComm.setRThreshold(kFrameLength);
  }
  downloading_ = false;
  Timer1.setEnabled(chkAuto_);  // ChkAuto may have changed meanwhile
  if (wasOpen && linkLost)
    closeLink();
  else if (timer2Was)
    link.Timer2.start();
  if (linkLost) {
    link.greyLamps();
    prompt_.message(QStringLiteral("串口已断开"));
  }
}
