#include "app/app_logic.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "app/file_commands.h"
#include "app/startup.h"
#include "core/entry_store.h"
#include "editing/entry_text.h"
#include "platform/autostart.h"
#include "platform/port_naming.h"

AppLogic::AppLogic(Station& station, MqttBridge& bridge, Prompt& prompt, QObject* parent)
    : QObject(parent),
      station_(station),
      bridge_(bridge),
      prompt_(prompt),
      appDir_(station.dataDir()),
      storePath_(station.storePath()),
      clock_(station.clock()),
      settings_(appDir_) {
  enabled_.fill(true);
  lamps_.fill(LampLook::Grey);
  connect(&testHook_, &Webhook::tested, this, [this](int status, const QString& answer) {
    if (status == 0)
      emit webhookTested(tr("接收方没有回答：%1").arg(answer), false);
    else
      emit webhookTested(tr("接收方回答：%1 %2").arg(status).arg(answer),
                         status >= 200 && status < 300);
  });
  colData_.setChangeHandler([this] { onEntriesChanged(); });
  // What the station tells, as values; from its own thread they come queued.
  connect(&station_, &Station::entriesChanged, this, &AppLogic::adopt);
  connect(&station_, &Station::healthChanged, this, &AppLogic::onHealth);
  connect(&station_, &Station::lampsChanged, this, [this](const LampLooks& looks) {
    lamps_ = looks;
    emit lampsChanged();
  });
  connect(&station_, &Station::reported, this, [this](quint16 states) { reported_ = states; });
  connect(&station_, &Station::autoChanged, this, [this](bool allowed, bool paused) {
    if (allowed == chkAuto_ && paused == paused_) return;
    chkAuto_ = allowed;
    paused_ = paused;
    for (Control c : {CmdAdd, CmdDel, CmdDelAll, CmdSave}) enabled_[c] = allowed;
    emit controlsChanged();
    showNextSwitch();
  });
  connect(&station_, &Station::restoreChanged, this, [this](bool on) {
    restore_ = on;
    emit controlsChanged();
  });
  connect(&station_, &Station::recordFailureChanged, this, [this](WriteFailure why) {
    recordFailure_ = why;
    emit controlsChanged();
  });
  connect(&station_, &Station::nextChanged, this, [this](const NextSwitches& next) {
    next_ = next;
    showNextSwitch();
  });
  connect(&station_, &Station::labDebugChanged, this, [this](const QString& text) {
    labDebug_ = text;
    emit labDebugChanged(text);
  });
  connect(&station_, &Station::linkTold, this, &AppLogic::tellLink);
  connect(&station_, &Station::storeTold, this, [this](Station::StoreNotice what) {
    prompt_.message(what == Station::StoreNotice::TakenUp ? tr("已载入新的 Note.ini")
                                                          : tr("Note.ini 已被其他程序修改"));
  });
  connect(&station_, &Station::downloadTold, this, &AppLogic::tellDownload);
  connect(&bridge_, &MqttBridge::stateChanged, this, [this](const MqttBridge::Status& s) {
    mqttStatus_ = s;
    mqttSettings_ = s.settings;
    emit controlsChanged();
  });
  connect(&bridge_, &MqttBridge::refused, this, [this](MqttError why, const QString& where) {
    prompt_.message(MqttBridge::tr("远程服务器拒绝登录：") + RecordLine::errorWord(why, true) +
                    QLatin1Char('\n') + where);
  });
  // What the station is now; later changes come through the signals above.
  call([this] {
    adopt(station_.snapshot());
    nCom_ = station_.nCom();
    nID_ = station_.nID();
    health_ = station_.health();
    lamps_ = station_.lamps();
    chkAuto_ = station_.autoAllowed();
    paused_ = station_.paused();
    restore_ = station_.restore();
    recordFailure_ = station_.record().failure();
    next_ = station_.nextSwitches();
    if (station_.link().haveReported()) reported_ = station_.link().reportedStates();
    mqttStatus_ = bridge_.status();
    mqttSettings_ = mqttStatus_.settings;
  });
}

void AppLogic::recordProgramStart() {
  call([this] { station_.start(); });
}

StoredChoice AppLogic::useStoredPortAndAddress(const ProfileFile& names) {
  const StoredChoice c = call([&] { return station_.useStoredPortAndAddress(names); });
  nCom_ = call([this] { return station_.nCom(); });
  nID_ = call([this] { return station_.nID(); });
  return c;
}

void AppLogic::loadStore() {
  if (call([this] { return station_.loadStore(); }) == StoreLoad::Unreadable)
    prompt_.message(QCoreApplication::translate("Startup", "读取失败") + QLatin1Char('\n') +
                    QDir::toNativeSeparators(storePath_));
  if (!call([this] { return station_.recoveryOffered(); })) return;
  if (prompt_.confirm(tr("上次有未保存的修改，是否恢复？")))
    call([this] { station_.takeRecovery(); });
  else
    call([this] { station_.dropRecovery(); });
}

// --- the entries ---

void AppLogic::onEntriesChanged() { dirty_ = true; }

void AppLogic::sync() {
  if (!dirty_) return;
  dirty_ = false;
  const EntryCollection& mine = colData_;
  const quint64 base = revision_;
  pushing_ = true;  // the station's answer on this very thread is our own change
  const EntrySnapshot s = call([&] { return station_.setEntries(mine, base, false); });
  pushing_ = false;
  revision_ = s.revision;
  modified_ = s.modified;
  emit controlsChanged();
  emit entriesChanged();
}

void AppLogic::adopt(const EntrySnapshot& s) {
  if (pushing_) return;
  modified_ = s.modified;
  if (s.revision != revision_) {
    // A change made elsewhere (start-up's load, a save, a file read in): the window follows.
    revision_ = s.revision;
    colData_.replace(s.entries->clone());
    dirty_ = false;
    list_ = ::refresh_list(colData_, nPage_);
    emit entriesChanged();
    emit listChanged();
  }
  emit controlsChanged();
}

bool AppLogic::modified() const { return modified_; }

bool AppLogic::saveBeforeEnd(bool mayAsk) {
  if (mayAsk) return keepUnsaved(tr("时间表已修改，是否保存？"));
  sync();
  if (!modified()) return true;
  // A session that ends without questions ends either way; what could not be saved stays in the
  // recovery file.
  call([this] { return station_.save(); });
  return true;
}

void AppLogic::setLocked(bool locked) {
  enabled_.fill(!locked);
  emit controlsChanged();
}

void AppLogic::setEntries(EntryCollection&& entries) {
  EntryCollection mine = std::move(entries);
  call([&] { station_.setEntries(mine, 0, true); });
  refresh_list(nPage_);
}

ConfirmResult AppLogic::confirmEntry(const EditorState& s, bool bIsnew, EntryPtr& mydata) {
  const bool first = bIsnew && colData_.isEmpty();
  const ConfirmResult result = editor_confirm(s, bIsnew, mydata, colData_, nPage_);
  sync();
  if (first && result == ConfirmResult::Written) call([this] { station_.followEntries(); });
  return result;
}

// --- link and address ---

void AppLogic::CmdOpen_Click() {
  if (!linkOpen())
    call([this] { return station_.openLink(false); });
  else
    call([this] { station_.closeLink(); });
}

void AppLogic::openAtStartup() {
  call([this] { return station_.openLink(true); });
}

void AppLogic::onHealth(LinkHealth h) {
  const bool wasOpen = linkOpen();
  health_ = h;
  if (h == LinkHealth::Closed || h == LinkHealth::Waiting) reported_.reset();
  if (linkOpen() != wasOpen)
    setLocked(linkOpen());
  else
    emit controlsChanged();
}

void AppLogic::tellLink(LinkNotice what, const PortFailure& failure) {
  switch (what) {
    case LinkNotice::OpenFailed:
      prompt_.message(port_failure_text(failure));
      break;
    case LinkNotice::Waiting:
      prompt_.notice(port_failure_text(failure));  // up while the port is waited for
      break;
    case LinkNotice::Withdrawn:
      prompt_.withdrawNotice();
      break;
    case LinkNotice::Lost:
      // Once while the box is up: an adapter that comes and goes never piles boxes up.
      if (telling_) return;
      telling_ = true;
      prompt_.message(LinkControl::tr("串口已断开"));
      telling_ = false;
      break;
  }
}

void AppLogic::tellDownload(DownloadCommand::Notice what, const PortFailure& failure) {
  switch (what) {
    case DownloadCommand::Notice::PortFailed:
      prompt_.message(port_failure_text(failure));
      break;
    case DownloadCommand::Notice::AckMissing:
      prompt_.message(DownloadCommand::tr("下载失败"));
      break;
    case DownloadCommand::Notice::Lost:
      prompt_.message(DownloadCommand::tr("串口已断开"));
      break;
  }
}

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

QString AppLogic::recordText() const { return record_failure_text(recordFailure_); }

void AppLogic::setRestore(bool on, bool store) {
  if (on == restore_) return;
  restore_ = on;
  call([this, on, store] { station_.setRestore(on, store); });
  emit controlsChanged();
}

void AppLogic::showNextSwitch() {
  const QString text = next_switch_text(
      nPage_ >= 1 && nPage_ <= kRouteCount ? next_[static_cast<size_t>(nPage_)] : std::nullopt,
      chkAuto_);
  if (text == nextText_) return;
  nextText_ = text;
  emit nextSwitchChanged(text);
}

void AppLogic::setPort(quint8 com) {
  nCom_ = com;
  call([this, com] { station_.setPort(com, false); });
}

void AppLogic::setAddress(quint8 id) {
  nID_ = id;
  call([this, id] { station_.setAddress(id, false); });
}

void AppLogic::CmbCom_Click(int index) {
  nCom_ = static_cast<quint8>(index + 1);
  call([this, com = nCom_] { station_.setPort(com, true); });
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
  nID_ = static_cast<quint8>(index + 1);
  call([this, id = nID_] { station_.setAddress(id, true); });
}

void AppLogic::setChkAuto(bool ticked) {
  if (ticked == chkAuto_) return;
  chkAuto_ = ticked;
  for (Control c : {CmdAdd, CmdDel, CmdDelAll, CmdSave}) enabled_[c] = ticked;
  call([this, ticked] { station_.setAuto(ticked, RecordCause::Manual); });
  emit controlsChanged();
  showNextSwitch();
}

void AppLogic::SSTab2_Click(int tab) {
  nPage_ = tab + 1;
  refresh_list(nPage_);
}

void AppLogic::refresh_list(int route) {
  sync();
  list_ = ::refresh_list(colData_, route);
  emit listChanged();
  showNextSwitch();
}

// --- manual control ---

Switchboard::Result AppLogic::manual(int route, bool energise) {
  return call([=] { return station_.want(route, energise, RecordCause::Manual); });
}

Switchboard::Result AppLogic::CmdIn_Click() { return manual(nPage_, true); }
Switchboard::Result AppLogic::CmdOut_Click() { return manual(nPage_, false); }
Switchboard::Result AppLogic::CmdOpenAll_Click() {
  return call([this] { return station_.wantAll(true, RecordCause::Manual); });
}
Switchboard::Result AppLogic::CmdCloseAll_Click() {
  return call([this] { return station_.wantAll(false, RecordCause::Manual); });
}

void AppLogic::CmdDown_Click() {
  station_post(&station_, [this, page = nPage_] { station_.download(page); });
}

void AppLogic::holdTimers() {
  call([this] { station_.holdTimers(); });
}
void AppLogic::tickScheduler() {
  call([this] { station_.tickScheduler(); });
}
void AppLogic::tickPush() {
  call([this] { station_.tickPush(); });
}

// --- the broker ---

void AppLogic::startMqtt(const ProfileFile& names) {
  const MqttSettings s = SettingsStore::ReadMqtt(names);
  settings_.keepPrivate(s);
  station_call(&bridge_, [this, s] { bridge_.configure(s); });
}

bool AppLogic::setMqtt(const MqttSettings& s) {
  MqttSettings stored = s;
  stored.present = true;
  const ProfileFile file = settings_.load();
  if (s.host.isEmpty() && !SettingsStore::ReadMqtt(file).present) {
    // nothing set up and nothing asked for: the file stays
    station_call(&bridge_, [this] { bridge_.configure(MqttSettings{}); });
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
  WriteFailure why = WriteFailure::Other;
  if (!settings_.WriteMqtt(stored, &why)) {
    prompt_.message(settings_failed_text(why, settings_.path()));
    return false;
  }
  station_call(&bridge_, [this, stored] { bridge_.configure(stored); });
  return true;
}

bool AppLogic::renameRoute(int route, const QString& name) {
  WriteFailure why = WriteFailure::Other;
  switch (call([&] { return station_.renameRoute(route, name, &why); })) {
    case Station::NameResult::Done:
      return true;
    case Station::NameResult::NotStorable:
      prompt_.message(tr("名称含有无法保存的字符"));
      return false;
    case Station::NameResult::NotWritten:
      break;
  }
  prompt_.message(settings_failed_text(why, settings_.path()));
  return false;
}

QString AppLogic::routeCaption(const ProfileFile& names, int route) const {
  if (SettingsStore::stored(names, SettingsStore::routeKey(route)).trimmed().isEmpty())
    return tr("%1 未命名").arg(route);
  return settings_.ReadRouteName(names, route);
}

// --- delete and files ---

void AppLogic::CmdDel_Click(const QList<EntryPtr>& selected) {
  if (selected.isEmpty() || !prompt_.confirm(tr("删除当前信息吗？"))) return;
  remove_entries(colData_, selected);
  list_ = ::refresh_list(colData_, nPage_);  // renumbers the page
  rebuild_keys(colData_);
  refresh_list(nPage_);
}

void AppLogic::CmdDelAll_Click() {
  if (!prompt_.confirm(tr("删除第%1路的全部条目吗？").arg(nPage_))) return;
  remove_page(colData_, nPage_);
  refresh_list(nPage_);
}

void AppLogic::CmdSave_Click() {
  sync();
  const WriteFailure why = call([this] { return station_.save(); });
  prompt_.message(saved_text(why, storePath_));
}

void AppLogic::CmdSaveAs_Click() {
  sync();
  save_as_command(colData_, prompt_, appDir_);
}

bool AppLogic::keepUnsaved(const QString& question) {
  sync();
  if (!modified()) return true;
  switch (prompt_.askSave(question)) {
    case Prompt::SaveChoice::Cancel:
      return false;
    case Prompt::SaveChoice::Discard:
      call([this] { station_.dropRecovery(); });
      return true;
    case Prompt::SaveChoice::Save:
      break;
  }
  const WriteFailure why = call([this] { return station_.save(); });
  if (why == WriteFailure::None) return true;
  prompt_.message(save_failed_text(why, storePath_));
  return false;
}

void AppLogic::CmdOpenFile_Click() {
  if (!keepUnsaved(tr("时间表已修改，是否保存？"))) return;
  if (open_command(colData_, prompt_, appDir_) != OpenResult::Loaded) return;
  sync();
  call([this] { station_.followEntries(); });
  refresh_list(nPage_);
}

bool AppLogic::CmdQuit_Click(bool chkOpen, bool chkRun, const QString& executablePath) {
  WriteFailure why = WriteFailure::Other;
  const bool written =
      settings_.WriteOpen(chkOpen ? QStringLiteral("1") : QStringLiteral("0"), &why) &&
      settings_.WriteRun(chkRun ? QStringLiteral("1") : QStringLiteral("0"), &why);
  if (!written) {
    prompt_.message(settings_failed_text(why, settings_.path()));
    return false;
  }
  set_autostart(chkRun, executablePath, appDir_);
  return true;
}

void AppLogic::watchAlerts(Alerts& alerts) {
  alertsPeer_ = &alerts;
  connect(&alerts, &Alerts::stateChanged, this, [this](const AlertsState& s) {
    alerts_ = s;
    emit controlsChanged();
  });
  connect(&alerts, &Alerts::told, this,
          [this](const AlertMessage& m) { emit alertTold(alert_text(m), m.raised); });
  alerts_ = station_call(&alerts, [&alerts] { return alerts.state(); });
}

void AppLogic::watchWeb(WebServer& web) {
  connect(&web, &WebServer::started, this, [this](WebServer::Outcome o, const WebSettings& s) {
    if (o != WebServer::Outcome::Off && o != WebServer::Outcome::Listening)
      prompt_.message(web_outcome_text(o, s));
  });
  connect(&web, &WebServer::cleartext, this,
          [this](const QString& address) { prompt_.message(web_cleartext_text(address)); });
}

bool AppLogic::setWebPassword(const QString& password) {
  if (password.isEmpty()) return false;
  WriteFailure why = WriteFailure::Other;
  if (write_web_password(settings_.path(), web_password_hash(password), &why)) return true;
  prompt_.message(settings_failed_text(why, settings_.path()));
  return false;
}

bool AppLogic::webPasswordSet() const {
  return !WebSettings::read(settings_.load()).passwordHash.isEmpty();
}

QString AppLogic::alertsText() const {
  QStringList lines;
  for (int i = 0; i < kAlertConditions; ++i) {
    const AlertStatus& s = alerts_.conditions[static_cast<size_t>(i)];
    if (!s.raised) continue;
    AlertMessage m;
    m.condition = static_cast<AlertCondition>(i);
    m.routes = s.routes;
    m.entries = s.entries;
    lines << alert_text(m);
  }
  return lines.join(QLatin1Char('\n'));
}

WebhookSettings AppLogic::webhookSettings() const {
  return WebhookSettings::read(settings_.load());
}

bool AppLogic::setWebhook(const WebhookSettings& s) {
  const ProfileFile file = settings_.load();
  if (!SettingsStore::storable(file, s.url) || !SettingsStore::storable(file, s.caFile)) {
    prompt_.message(tr("Webhook 含有无法保存的字符"));
    return false;
  }
  if (s == WebhookSettings::read(file)) return true;
  WriteFailure why = WriteFailure::Other;
  if (!s.write(settings_.path(), &why)) {
    prompt_.message(settings_failed_text(why, settings_.path()));
    return false;
  }
  if (alertsPeer_) station_call(alertsPeer_, [this, s] { alertsPeer_->configure(s); });
  return true;
}

void AppLogic::testWebhook(const WebhookSettings& s) {
  if (!s.enabled()) {
    emit webhookTested(tr("Webhook 须是 http:// 或 https:// 地址"), false);
    return;
  }
  testHook_.configure(s);
  AlertMessage m;
  m.test = true;
  m.at = QDateTime::currentDateTime();
  const QString station =
      alertsPeer_ ? station_call(alertsPeer_, [this] { return alertsPeer_->stationName(); })
                  : QString();
  testHook_.test(alert_json(m, station));
}
