#include "app/app_logic.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include "core/due_moments.h"
#include "core/file_commands.h"
#include "editing/entry_text.h"
#include "platform/autostart.h"
#include "platform/port_naming.h"

namespace {

SchedulerTimer::Clock or_pc_clock(SchedulerTimer::Clock clock) {
  return clock ? clock : SchedulerTimer::Clock([] { return QDateTime::currentDateTime(); });
}

QString action_text(bool energise) {
  return energise ? QStringLiteral("吸合") : QStringLiteral("断开");
}

}  // namespace

AppLogic::AppLogic(const QString& appDir, Prompt& prompt, SchedulerTimer::Clock clock,
                   QObject* parent)
    : QObject(parent),
      MSComm(appDir),
      MSCommDown(appDir),
      link(MSComm),
      Timer1(
          colData, link.nState, [this] { return link.bIsFirst; }, or_pc_clock(clock)),
      settings(appDir),
      store(appDir),
      record(appDir, or_pc_clock(clock)),
      linkControl(MSComm, link, prompt),
      download(
          colData, MSCommDown, link, linkControl, Timer1, [this] { return chkAuto_; }, prompt),
      remote(
          link, linkControl, record, colData, settings, prompt,
          [this](int route, RemoteControl::Command c) { remoteCommand(route, c); },
          or_pc_clock(clock)),
      appDir_(appDir),
      prompt_(prompt),
      clock_(or_pc_clock(clock)) {
  enabled_.fill(true);
  connect(&download, &DownloadCommand::labDebugChanged, this, &AppLogic::labDebugChanged);
  connect(&linkControl, &LinkControl::stateChanged, this,
          [this] { setLocked(linkControl.meantOpen()); });
  connect(&linkControl, &LinkControl::event, this,
          [this](const QString& what) { record.append(0, what, linkControl.devicePath()); });
  connect(&link, &CommandLink::answeringChanged, this, [this](bool answering) {
    // A port closed or lost is told as such, not as a board gone silent.
    if (MSComm.portOpen())
      record.append(0, answering ? QStringLiteral("板应答") : QStringLiteral("板无应答"),
                    linkControl.devicePath());
    emit controlsChanged();
  });
  connect(&link, &CommandLink::tookOver, this, [this] {
    recordWanted(QStringLiteral("接管"));
    if (restore_ && chkAuto_) restoreStates();  // the timetable acts only while it is allowed
  });
  connect(&link, &CommandLink::replyReceived, this, &AppLogic::recordReported);
  connect(&Timer1, &SchedulerTimer::fired, this, [this] {
    recordWanted(QString(), &Timer1.decided());
    link.pushNow();
  });
  connect(&Timer1, &SchedulerTimer::jumped, this, [this] {
    if (restore_ && chkAuto_) restoreStates();
  });
  connect(this, &AppLogic::listChanged, &remote, &RemoteControl::entriesChanged);
  connect(&remote, &RemoteControl::stateChanged, this, &AppLogic::controlsChanged);
  nextTimer_.setInterval(1000);
  connect(&nextTimer_, &QTimer::timeout, this, [this] { updateNextSwitch(); });
  nextTimer_.start();
}

void AppLogic::setLocked(bool locked) {
  enabled_.fill(!locked);
  emit controlsChanged();
}

void AppLogic::CmdOpen_Click() {
  if (!linkControl.meantOpen())
    linkControl.open(nCom, false);
  else
    linkControl.close();
}

void AppLogic::openAtStartup() { linkControl.open(nCom, true); }

QString AppLogic::linkText() const {
  switch (linkControl.state()) {
    case LinkControl::Closed:
      return QStringLiteral("未连接");
    case LinkControl::Waiting:
      return QStringLiteral("等待串口");
    case LinkControl::Open:
      break;
  }
  return link.answering() ? QStringLiteral("已连接") : QStringLiteral("无应答");
}

void AppLogic::recordWanted(const QString& cause, const std::array<QString, 17>* causeOf) {
  for (int r = 1; r <= kRouteCount; ++r) {
    const auto i = static_cast<size_t>(r);
    const quint8 now = link.nState[i];
    if (now == recorded_[i]) continue;
    recorded_[i] = now;
    if (now != kEnergise && now != kRelease) continue;
    record.append(r, action_text(now == kEnergise), causeOf ? (*causeOf)[i] : cause);
  }
}

void AppLogic::recordReported() {
  const quint16 states = link.reportedStates();
  for (int r = 1; r <= kRouteCount; ++r) {
    const quint8 now = (states >> (r - 1)) & 1 ? kEnergise : kRelease;
    const auto i = static_cast<size_t>(r);
    if (now == reported_[i]) continue;
    reported_[i] = now;
    record.append(r, action_text(now == kEnergise), QStringLiteral("板状态"));
  }
}

void AppLogic::restoreStates() {
  const QDateTime now = clock_();
  for (int r = 1; r <= kRouteCount; ++r) {
    const std::optional<RouteSwitch> last = last_route_switch(colData, r, now);
    if (last) link.nState[static_cast<size_t>(r)] = last->energise ? kEnergise : kRelease;
  }
  recordWanted(QStringLiteral("恢复"));
  link.pushNow();
}

void AppLogic::setRestore(bool on, bool store) {
  if (on == restore_) return;
  restore_ = on;
  if (store) settings.WriteRestore(on ? QStringLiteral("1") : QStringLiteral("0"));
  emit controlsChanged();
}

void AppLogic::updateNextSwitch(bool force) {
  const QDateTime now = clock_();
  if (!force && nextWorked_.isValid() && now >= nextWorked_ && nextWorked_.secsTo(now) < 3600 &&
      (!nextAt_.isValid() || now < nextAt_))
    return;
  const std::optional<RouteSwitch> next = next_route_switch(colData, nPage_, now);
  nextWorked_ = now;
  nextAt_ = next ? next->at : QDateTime();
  const QString text = next_switch_text(next);
  if (text == nextText_) return;
  nextText_ = text;
  emit nextSwitchChanged(text);
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
  remote.configure(remote.settings());  // the default prefix and the device follow the address
}

void AppLogic::setChkAuto(bool ticked) {
  if (ticked == chkAuto_) return;
  chkAuto_ = ticked;
  for (Control c : {CmdAdd, CmdDel, CmdDelAll, CmdSave}) enabled_[c] = ticked;
  Timer1.setEnabled(ticked && !download.running());  // a download switches it on when it ends
  emit controlsChanged();
}

void AppLogic::SSTab2_Click(int tab) {
  nPage_ = tab + 1;
  refresh_list(nPage_);
}

void AppLogic::refresh_list(int route) {
  list_ = ::refresh_list(colData, route);
  emit listChanged();
  updateNextSwitch(true);
}

void AppLogic::CmdIn_Click() {
  link.nState[static_cast<size_t>(nPage_)] = kEnergise;
  manualDone();
}

void AppLogic::CmdOut_Click() {
  link.nState[static_cast<size_t>(nPage_)] = kRelease;
  manualDone();
}

void AppLogic::manualDone() {
  recordWanted(QStringLiteral("手动"));
  link.pushNow();
}

void AppLogic::remoteCommand(int route, RemoteControl::Command c) {
  if (route < 1 || route > kRouteCount) return;
  const auto i = static_cast<size_t>(route);
  bool energise = c == RemoteControl::On;
  if (c == RemoteControl::Toggle) {
    // The state asked for last is what the board is being brought to; before the take-over
    // there is none, and the board's own report counts.
    if (link.nState[i] == kEnergise || link.nState[i] == kRelease)
      energise = link.nState[i] == kRelease;
    else
      energise = !(link.haveReported() && ((link.reportedStates() >> (route - 1)) & 1));
  }
  link.nState[i] = energise ? kEnergise : kRelease;
  recordWanted(QStringLiteral("远程"));
  link.pushNow();
}

void AppLogic::startRemote(const ProfileFile& names) {
  const RemoteSettings s = SettingsStore::ReadRemote(names);
  settings.keepPrivate(s);
  remote.configure(s);
}

bool AppLogic::setRemote(const RemoteSettings& s) {
  RemoteSettings stored = s;
  stored.present = true;
  const ProfileFile file = settings.load();
  if (s.host.isEmpty() && !SettingsStore::ReadRemote(file).present) {
    remote.configure(RemoteSettings{});  // nothing set up and nothing asked for: the file stays
    return true;
  }
  // A character the file cannot hold would come back as another one: a password that no
  // longer matches after the next start.
  const std::pair<QString, const char*> fields[] = {
      {s.host, "服务器"}, {s.user, "用户名"}, {s.password, "密码"}, {s.prefix, "前缀"}};
  for (const auto& [text, name] : fields)
    if (!SettingsStore::storable(file, text)) {
      prompt_.message(QString::fromUtf8(name) + QStringLiteral("含有无法保存的字符"));
      return false;
    }
  if (!settings.WriteRemote(stored)) {
    prompt_.message(QStringLiteral("保存设置失败\n") + settings.path());
    return false;
  }
  remote.configure(stored);
  return true;
}

void AppLogic::CmdOpenAll_Click() {
  for (int r = 1; r <= kRouteCount; ++r) link.nState[static_cast<size_t>(r)] = kEnergise;
  manualDone();
}

void AppLogic::CmdCloseAll_Click() {
  for (int r = 1; r <= kRouteCount; ++r) link.nState[static_cast<size_t>(r)] = kRelease;
  manualDone();
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
