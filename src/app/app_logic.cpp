#include "app/app_logic.h"

#include <QDir>
#include <QFileInfo>

#include "app/file_commands.h"
#include "core/due_moments.h"
#include "core/entry_store.h"
#include "editing/entry_text.h"
#include "platform/autostart.h"
#include "platform/code_page.h"
#include "platform/port_naming.h"

namespace {

SchedulerTimer::Clock or_pc_clock(SchedulerTimer::Clock clock) {
  return clock ? clock : SchedulerTimer::Clock([] { return QDateTime::currentDateTime(); });
}

}  // namespace

AppLogic::AppLogic(const QString& appDir, Prompt& prompt, SchedulerTimer::Clock clock,
                   QObject* parent)
    : QObject(parent),
      appDir_(appDir),
      prompt_(prompt),
      clock_(or_pc_clock(clock)),
      MSComm_(appDir),
      MSCommDown_(appDir),
      link_(MSComm_),
      Timer1_(
          colData_, [this] { return link_.bIsFirst(); }, clock_),
      settings_(appDir),
      store_(appDir),
      record_(appDir, clock_),
      linkControl_(MSComm_, link_, prompt),
      switchboard_(link_, linkControl_, record_),
      download_(
          colData_, MSCommDown_, link_, linkControl_, Timer1_, [this] { return chkAuto_; }, prompt),
      next_(colData_, clock_),
      mqtt_(
          link_, linkControl_, record_, next_, settings_, prompt,
          [this](int route, MqttBridge::Command c) { return mqttCommand(route, c); },
          [this](bool allowed) { setChkAuto(allowed); }, clock_),
      noteWatch_(store_.path()) {
  enabled_.fill(true);
  colData_.setChangeHandler([this] { onEntriesChanged(); });
  connect(&download_, &DownloadCommand::labDebugChanged, this, &AppLogic::labDebugChanged);
  connect(&linkControl_, &LinkControl::stateChanged, this, [this] {
    setLocked(linkControl_.meantOpen());
    emit lampsChanged();
  });
  connect(&linkControl_, &LinkControl::event, this, [this](RecordAction what) {
    record_.append(0, what, RecordCause::None, linkControl_.devicePath());
  });
  connect(&link_, &CommandLink::answeringChanged, this, [this](bool answering) {
    if (answering && MSComm_.portOpen())
      record_.append(0, RecordAction::BoardAnswers, RecordCause::None, linkControl_.devicePath());
    emit controlsChanged();
    emit lampsChanged();
  });
  // Silence after a reply, and a board that never answered a link just opened (a wrong address);
  // a port closed or lost is told as such, not as a board gone silent.
  connect(&link_, &CommandLink::silent, this, [this] {
    record_.append(0, RecordAction::BoardSilent, RecordCause::None, linkControl_.devicePath());
  });
  connect(&link_, &CommandLink::lampsChanged, this, &AppLogic::lampsChanged);
  connect(&link_, &CommandLink::tookOver, this, [this] {
    switchboard_.recordTakeOver();
    if (restore_ && chkAuto_) restoreStates();  // the timetable acts only while it is allowed
  });
  connect(&link_, &CommandLink::replyReceived, &switchboard_, &Switchboard::recordReported);
  connect(&Timer1_, &SchedulerTimer::fired, this,
          [this] { switchboard_.want(Timer1_.due(), RecordCause::Entry, &Timer1_.decided()); });
  connect(&Timer1_, &SchedulerTimer::jumped, this, [this](qint64 skipped) {
    record_.appendCount(RecordAction::ClockJump, skipped);
    if (skipped < 0) return;  // set back: nothing was passed over
    if (restore_ && chkAuto_)
      restoreStates();
    else
      switchboard_.recordMissed(Timer1_.skippedEntries());
  });
  connect(&record_, &SwitchRecord::failureChanged, this, &AppLogic::controlsChanged);
  connect(&Timer1_, &SchedulerTimer::missed, this,
          [this] { switchboard_.recordMissed(Timer1_.missedEntries()); });
  connect(&next_, &NextSwitch::changed, this, &AppLogic::showNextSwitch);
  connect(&mqtt_, &MqttBridge::stateChanged, this, &AppLogic::controlsChanged);
  connect(&noteWatch_, &FileWatch::changed, this, &AppLogic::takeUpStore);
  noteWatch_.start();
}

AppLogic::~AppLogic() {
  // The program's last line is its end: the broker's connection and the link end before it.
  mqtt_.shutdown();
  linkControl_.close();
  if (started_) record_.append(0, RecordAction::ProgramEnd, RecordCause::None);
}

void AppLogic::recordProgramStart() {
  started_ = true;
  record_.append(0, RecordAction::ProgramStart, RecordCause::None);
}

bool AppLogic::takeUpStore() {
  const ProfileFile note = ProfileFile::load(store_.path());
  if (note.status() != ProfileFile::Status::Ok) return false;
  EntryCollection entries;
  load_entry_set(note, entries);
  const ProfileFile::Pairs pairs = entry_set_pairs(entries);
  if (pairs == saved_) return false;  // the program's own save, or the same entries again
  if (modified()) {
    if (pairs != toldStore_) prompt_.message(tr("Note.ini 已被其他程序修改"));
    toldStore_ = pairs;
    return false;
  }
  setEntries(std::move(entries));
  setChkAuto(colData_.count() > 0);
  record_.append(0, RecordAction::StoreLoaded, RecordCause::None, store_.path());
  prompt_.message(tr("已载入新的 Note.ini"));
  return true;
}

void AppLogic::onEntriesChanged() {
  next_.invalidate();
  modified_.reset();
  emit entriesChanged();
}

bool AppLogic::modified() const {
  if (!modified_) modified_ = entry_set_pairs(colData_) != saved_;
  return *modified_;
}

bool AppLogic::saveBeforeEnd(bool mayAsk) {
  if (!modified()) return true;
  if (mayAsk) {
    const Prompt::SaveChoice c = prompt_.askSave(tr("时间表已修改，是否保存？"));
    if (c != Prompt::SaveChoice::Save) return c == Prompt::SaveChoice::Discard;
  }
  WriteFailure why = WriteFailure::Other;
  if (save_entry_store(colData_, store_.path(), &why)) return markSaved(), true;
  if (!mayAsk) return true;  // a session that ends without questions ends either way
  prompt_.message(save_failed_text(why, store_.path()));
  return false;
}

void AppLogic::setLocked(bool locked) {
  enabled_.fill(!locked);
  emit controlsChanged();
}

void AppLogic::setEntries(EntryCollection&& entries) {
  colData_.replace(std::move(entries));
  saved_ = entry_set_pairs(colData_);
  modified_ = false;
  refresh_list(nPage_);
}

ConfirmResult AppLogic::confirmEntry(const EditorState& s, bool bIsnew, EntryPtr& mydata) {
  const bool first = bIsnew && colData_.isEmpty();
  const ConfirmResult result = editor_confirm(s, bIsnew, mydata, colData_, nPage_);
  if (first && result == ConfirmResult::Written) setChkAuto(true);
  return result;
}

void AppLogic::CmdOpen_Click() {
  if (!linkControl_.meantOpen())
    linkControl_.open(nCom_, false);
  else
    linkControl_.close();
}

void AppLogic::openAtStartup() { linkControl_.open(nCom_, true); }

QString AppLogic::linkText() const {
  switch (health()) {
    case LinkHealth::Closed:
      return tr("未连接");
    case LinkHealth::Waiting:
      return tr("等待串口");
    case LinkHealth::NoAnswer:
      return tr("无应答");
    case LinkHealth::Answering:
      break;
  }
  return tr("已连接");
}

QString AppLogic::recordText() const {
  if (record_.failure() == WriteFailure::None) return {};
  const QString why = write_failure_text(record_.failure());
  return why.isEmpty() ? tr("记录无法写入") : tr("记录无法写入：%1").arg(why);
}

LampLooks AppLogic::lamps() const {
  if (health() == LinkHealth::Answering) return link_.lamps();
  LampLooks grey;
  grey.fill(LampLook::Grey);
  return grey;
}

void AppLogic::restoreStates() {
  switchboard_.want(last_route_states(colData_, clock_()), RecordCause::Restore);
}

void AppLogic::setRestore(bool on, bool store) {
  if (on == restore_) return;
  restore_ = on;
  if (store) settings_.WriteRestore(on ? QStringLiteral("1") : QStringLiteral("0"));
  emit controlsChanged();
}

void AppLogic::showNextSwitch() {
  const QString text = next_switch_text(next_.next(nPage_), chkAuto_);
  if (text == nextText_) return;
  nextText_ = text;
  emit nextSwitchChanged(text);
}

void AppLogic::CmbCom_Click(int index) {
  nCom_ = static_cast<quint8>(index + 1);
  settings_.WriteCom(QString::number(nCom_));
}

QString AppLogic::whereComLeads(int n) const {
  const QString device = port_target_path(port_device_path(appDir_, n));
  QString tip = QFileInfo::exists(device) ? device : tr("%1：设备不存在").arg(device);
  const QFileInfo link(QDir(appDir_).filePath(QStringLiteral("dosdevices/com%1").arg(n)));
  if (link.exists() || link.isSymLink()) return tip;
  // No link for this number yet: name the adapters that could be linked to it.
  const QList<SerialDevice> present = present_serial_devices();
  if (present.isEmpty()) return tip;
  tip += QLatin1Char('\n') + tr("现有串口设备（tavrel --link-port %1 设备）：").arg(n);
  for (const SerialDevice& d : present)
    tip += QLatin1Char('\n') + (d.byId.isEmpty() ? d.path : d.byId);
  return tip;
}

void AppLogic::CmbID_Click(int index) {
  link_.setAddress(static_cast<quint8>(index + 1));
  settings_.WriteID(QString::number(link_.nID()));
  mqtt_.configure(mqtt_.settings());  // the default prefix and the device follow the address
}

void AppLogic::setChkAuto(bool ticked) {
  if (ticked == chkAuto_) return;
  chkAuto_ = ticked;
  for (Control c : {CmdAdd, CmdDel, CmdDelAll, CmdSave}) enabled_[c] = ticked;
  Timer1_.setEnabled(ticked && !download_.running());  // a download switches it on when it ends
  mqtt_.showAuto(ticked);
  emit controlsChanged();
  showNextSwitch();
}

void AppLogic::SSTab2_Click(int tab) {
  nPage_ = tab + 1;
  refresh_list(nPage_);
}

void AppLogic::refresh_list(int route) {
  list_ = ::refresh_list(colData_, route);
  emit listChanged();
  showNextSwitch();
}

Switchboard::Result AppLogic::manual(int route, bool energise) {
  return switchboard_.want(route, energise, RecordCause::Manual);
}

Switchboard::Result AppLogic::manualAll(bool energise) {
  RouteStateTable states;
  states.fill(energise ? kEnergise : kRelease);
  return switchboard_.want(states, RecordCause::Manual);
}

Switchboard::Result AppLogic::CmdIn_Click() { return manual(nPage_, true); }
Switchboard::Result AppLogic::CmdOut_Click() { return manual(nPage_, false); }
Switchboard::Result AppLogic::CmdOpenAll_Click() { return manualAll(true); }
Switchboard::Result AppLogic::CmdCloseAll_Click() { return manualAll(false); }

Switchboard::Result AppLogic::mqttCommand(int route, MqttBridge::Command c) {
  if (c == MqttBridge::Toggle) return switchboard_.toggle(route, RecordCause::Mqtt);
  return switchboard_.want(route, c == MqttBridge::On, RecordCause::Mqtt);
}

void AppLogic::startMqtt(const ProfileFile& names) {
  const MqttSettings s = SettingsStore::ReadMqtt(names);
  settings_.keepPrivate(s);
  mqtt_.configure(s);
}

bool AppLogic::setMqtt(const MqttSettings& s) {
  MqttSettings stored = s;
  stored.present = true;
  const ProfileFile file = settings_.load();
  if (s.host.isEmpty() && !SettingsStore::ReadMqtt(file).present) {
    mqtt_.configure(MqttSettings{});  // nothing set up and nothing asked for: the file stays
    return true;
  }
  // A character the file cannot hold would come back as another one: a password that no
  // longer matches after the next start.
  const std::pair<QString, QString> fields[] = {{s.host, tr("服务器含有无法保存的字符")},
                                                {s.user, tr("用户名含有无法保存的字符")},
                                                {s.password, tr("密码含有无法保存的字符")},
                                                {s.prefix, tr("前缀含有无法保存的字符")},
                                                {s.discoveryPrefix, tr("前缀含有无法保存的字符")},
                                                {s.caFile, tr("证书文件含有无法保存的字符")}};
  for (const auto& [text, told] : fields)
    if (!SettingsStore::storable(file, text)) {
      prompt_.message(told);
      return false;
    }
  if (!settings_.WriteMqtt(stored)) {
    prompt_.message(tr("保存设置失败\n") + settings_.path());
    return false;
  }
  mqtt_.configure(stored);
  return true;
}

bool AppLogic::renameRoute(int route, const QString& name) {
  const QString stored = cut_to_gbk_bytes(name.trimmed(), SettingsStore::kRouteNameBytes);
  if (!SettingsStore::storable(settings_.load(), stored)) {
    prompt_.message(tr("名称含有无法保存的字符"));
    return false;
  }
  if (!settings_.WriteRouteName(route, stored)) {
    prompt_.message(tr("保存设置失败\n") + settings_.path());
    return false;
  }
  mqtt_.routeNamesChanged();
  return true;
}

void AppLogic::CmdDel_Click(const QList<EntryPtr>& selected) {
  if (!prompt_.confirm(tr("删除当前信息吗？"))) return;
  remove_entries(colData_, selected);
  refresh_list(nPage_);
  rebuild_keys(colData_);
}

void AppLogic::CmdDelAll_Click() {
  if (!prompt_.confirm(tr("删除所有信息吗？"))) return;
  remove_page(colData_, nPage_);
  refresh_list(nPage_);
}

void AppLogic::CmdSave_Click() {
  if (save_command(colData_, store_.path(), prompt_)) markSaved();
}

void AppLogic::markSaved() {
  saved_ = entry_set_pairs(colData_);
  modified_ = false;
  emit controlsChanged();
}

void AppLogic::CmdSaveAs_Click() { save_as_command(colData_, prompt_, appDir_); }

void AppLogic::CmdOpenFile_Click() {
  if (open_command(colData_, prompt_) != OpenResult::Loaded) return;
  setChkAuto(colData_.count() > 0);
  refresh_list(nPage_);
}

bool AppLogic::CmdQuit_Click(bool chkOpen, bool chkRun, const QString& executablePath) {
  const bool written = settings_.WriteOpen(chkOpen ? QStringLiteral("1") : QStringLiteral("0")) &&
                       settings_.WriteRun(chkRun ? QStringLiteral("1") : QStringLiteral("0"));
  if (!written) {
    prompt_.message(tr("保存设置失败\n") + settings_.path());
    return false;
  }
  set_autostart(chkRun, executablePath, appDir_);
  return true;
}
