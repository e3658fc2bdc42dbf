#include "station/station.h"

#include <QDir>
#include <QFile>
#include <algorithm>

#include "core/entry_store.h"
#include "platform/code_page.h"

namespace {

// The record's lines and the entries' snapshots cross threads as values.
const int kRegistered = [] {
  qRegisterMetaType<EntrySnapshot>();
  qRegisterMetaType<NextSwitches>();
  qRegisterMetaType<RecordEvent>();
  qRegisterMetaType<WriteFailure>();
  qRegisterMetaType<LinkHealth>();
  qRegisterMetaType<LampLooks>();
  qRegisterMetaType<RouteStateTable>();
  qRegisterMetaType<PortFailure>();
  qRegisterMetaType<LinkNotice>();
  qRegisterMetaType<DownloadCommand::Notice>();
  qRegisterMetaType<Station::StoreNotice>();
  qRegisterMetaType<DueEntries>();
  return 0;
}();

}  // namespace

int stored_list_position(const QString& text, int listSize) {
  bool ok = false;
  const int v = text.toInt(&ok, 10);
  return ok && v >= 1 && v <= listSize ? v - 1 : -1;
}

Station::Station(const QString& dataDir, Clock clock, QObject* parent)
    : QObject(parent),
      dataDir_(dataDir),
      clock_(or_pc_clock(std::move(clock))),
      MSComm_(dataDir),
      MSCommDown_(dataDir),
      link_(MSComm_),
      Timer1_(
          colData_, [this] { return link_.bIsFirst(); }, clock_),
      settings_(dataDir),
      record_(dataDir, clock_),
      linkControl_(MSComm_, link_),
      switchboard_(link_, linkControl_, record_),
      download_(colData_, MSCommDown_, link_, linkControl_, Timer1_, [this] { return auto_; }),
      next_(colData_, clock_),
      noteWatch_(EntryStore(dataDir).path()) {
  (void)kRegistered;
  storePath_ = EntryStore(dataDir).path();
  revision_ = static_cast<quint64>(std::max<qint64>(1, clock_().toMSecsSinceEpoch()));
  colData_.setChangeHandler([this] { onEntriesChanged(); });
  connect(&download_, &DownloadCommand::labDebugChanged, this, &Station::labDebugChanged);
  connect(&download_, &DownloadCommand::told, this, &Station::downloadTold);
  connect(&linkControl_, &LinkControl::told, this, &Station::linkTold);
  connect(&linkControl_, &LinkControl::stateChanged, this, &Station::announceHealth);
  connect(&linkControl_, &LinkControl::happened, this, [this](RecordAction what) {
    record_.append(0, what, RecordCause::None, linkControl_.devicePath());
  });
  connect(&link_, &CommandLink::answeringChanged, this, [this](bool answering) {
    if (answering && MSComm_.portOpen())
      record_.append(0, RecordAction::BoardAnswers, RecordCause::None, linkControl_.devicePath());
    announceHealth();
  });
  // Silence after a reply, and a board that never answered a link just opened (a wrong address);
  // a port closed or lost is told as such, not as a board gone silent.
  connect(&link_, &CommandLink::silent, this, [this] {
    record_.append(0, RecordAction::BoardSilent, RecordCause::None, linkControl_.devicePath());
    emit boardSilent();
  });
  connect(&link_, &CommandLink::lampsChanged, this, [this] { emit lampsChanged(lamps()); });
  connect(&link_, &CommandLink::tookOver, this, [this] {
    switchboard_.recordTakeOver();
    if (restore_ && auto_) restoreStates();  // the timetable acts only while it is allowed
    emit wantedChanged(link_.nState());
  });
  connect(&link_, &CommandLink::replyReceived, this, [this] {
    switchboard_.recordReported();
    if (link_.haveReported()) emit reported(link_.reportedStates());
  });
  connect(&Timer1_, &SchedulerTimer::fired, this, [this] {
    switchboard_.want(Timer1_.due(), RecordCause::Entry, &Timer1_.decided());
    emit wantedChanged(link_.nState());
  });
  connect(&Timer1_, &SchedulerTimer::jumped, this, [this](qint64 skipped) {
    record_.appendCount(RecordAction::ClockJump, skipped);
    emit clockJumped(skipped);
    if (skipped < 0) return;  // set back: nothing was passed over
    if (restore_ && auto_) {
      restoreStates();
    } else {
      switchboard_.recordMissed(Timer1_.skippedEntries());
      if (!Timer1_.skippedEntries().isEmpty()) emit entriesMissed(Timer1_.skippedEntries());
    }
  });
  connect(&Timer1_, &SchedulerTimer::missed, this, [this] {
    switchboard_.recordMissed(Timer1_.missedEntries());
    emit entriesMissed(Timer1_.missedEntries());
  });
  // The pulse: the scheduler's ticks, and the heartbeat's while they do not come because the
  // timetable does not run. A scheduler that is meant to run but does not tick sends none.
  heartbeat_.setInterval(1500);
  heartbeat_.setSingleShot(true);
  connect(&heartbeat_, &QTimer::timeout, this, [this] {
    if (!Timer1_.isEnabled()) emit ticked();
    heartbeat_.setInterval(1000);
    heartbeat_.start();
  });
  connect(&Timer1_, &SchedulerTimer::ticked, this, [this] {
    emit ticked();
    if (held_) return;
    heartbeat_.setInterval(1500);
    heartbeat_.start();
  });
  heartbeat_.start();
  connect(&noteWatch_, &FileWatch::changed, this, &Station::takeUpStore);
  noteWatch_.start();
  connect(&record_, &SwitchRecord::appended, this, &Station::recordAppended);
  connect(&record_, &SwitchRecord::failureChanged, this, &Station::recordFailureChanged);
  connect(&next_, &NextSwitch::changed, this, [this] { emit nextChanged(nextSwitches()); });
  paused_ = settings_.ReadAuto(settings_.load()) == QLatin1String("0");
  recoveryTimer_.setSingleShot(true);
  recoveryTimer_.setInterval(kRecoveryDelayMs);
  connect(&recoveryTimer_, &QTimer::timeout, this, &Station::writeRecovery);
}

Station::~Station() {
  if (recoveryTimer_.isActive()) writeRecovery();
  linkControl_.close();
  if (started_) record_.append(0, RecordAction::ProgramEnd, RecordCause::None);
}

void Station::start() {
  record_.check();
  started_ = true;
  record_.append(0, RecordAction::ProgramStart, RecordCause::None);
}

StoredChoice Station::useStoredPortAndAddress(const ProfileFile& names) {
  StoredChoice c;
  const auto invalid = [&](const QString& key) {
    c.invalid << key + QLatin1Char('=') + SettingsStore::stored(names, key);
    record_.append(0, RecordAction::SettingInvalid, RecordCause::None, c.invalid.last());
  };
  c.idIndex = stored_list_position(settings_.ReadID(names), 16);
  if (c.idIndex >= 0) {
    setAddress(static_cast<quint8>(c.idIndex + 1), false);
    const QString text = QString::number(nID());
    if (SettingsStore::stored(names, QStringLiteral("ID")) != text) settings_.WriteID(text);
  } else {
    invalid(QStringLiteral("ID"));
  }
  c.comIndex = stored_list_position(settings_.ReadCom(names), 20);
  if (c.comIndex >= 0) {
    setPort(static_cast<quint8>(c.comIndex + 1), false);
    const QString text = QString::number(nCom());
    if (SettingsStore::stored(names, QStringLiteral("Com")) != text) settings_.WriteCom(text);
  } else {
    invalid(QStringLiteral("Com"));
  }
  return c;
}

void Station::rereadSettings(const ProfileFile& names) {
  const int id = stored_list_position(settings_.ReadID(names), 16);
  if (id >= 0) setAddress(static_cast<quint8>(id + 1), false);
  const int com = stored_list_position(settings_.ReadCom(names), 20);
  if (com >= 0 && com + 1 != nCom_) {
    setPort(static_cast<quint8>(com + 1), false);
    if (linkControl_.meantOpen()) {
      closeLink();  // and opened on the new port as start-up does
      openLink(true);
    }
  }
  setRestore(settings_.ReadRestore(names) == QLatin1String("1"), false);
  const bool pausedInFile = settings_.ReadAuto(names) == QLatin1String("0");
  if (pausedInFile != paused_) {
    paused_ = pausedInFile;
    const bool allowed = !paused_ && colData_.count() > 0;
    if (allowed != auto_)
      record_.append(0, allowed ? RecordAction::AutoAllowed : RecordAction::AutoForbidden,
                     RecordCause::None);
    applyAuto(allowed);
  }
  emit namesChanged();
}

bool Station::takeUpStore() {
  const ProfileFile note = ProfileFile::load(storePath_);
  if (note.status() != ProfileFile::Status::Ok) return false;
  EntryCollection entries;
  load_entry_set(note, entries);
  const ProfileFile::Pairs pairs = entry_set_pairs(entries);
  if (pairs == saved_) return false;  // the program's own save, or the same entries again
  if (modified()) {
    if (pairs != toldStore_) emit storeTold(StoreNotice::ChangedElsewhere);
    toldStore_ = pairs;
    return false;
  }
  setEntries(entries, 0, true);
  followEntries();
  record_.append(0, RecordAction::StoreLoaded, RecordCause::None, storePath_);
  emit storeTold(StoreNotice::TakenUp);
  return true;
}

StoreLoad Station::loadStore() {
  const ProfileFile note = ProfileFile::load(storePath_);
  EntryCollection entries;
  load_entry_set(note, entries);
  setEntries(entries, 0, true);
  followEntries();
  if (note.status() == ProfileFile::Status::Unreadable) return StoreLoad::Unreadable;
  return note.status() == ProfileFile::Status::Missing ? StoreLoad::Missing : StoreLoad::Loaded;
}

// --- the switch path ---

Switchboard::Result Station::want(int route, bool energise, RecordCause cause) {
  const Switchboard::Result r = switchboard_.want(route, energise, cause);
  if (r == Switchboard::Result::Done) emit wantedChanged(link_.nState());
  return r;
}

Switchboard::Result Station::wantAll(bool energise, RecordCause cause) {
  RouteStateTable states;
  states.fill(energise ? kEnergise : kRelease);
  const Switchboard::Result r = switchboard_.want(states, cause);
  if (r == Switchboard::Result::Done) emit wantedChanged(link_.nState());
  return r;
}

Switchboard::Result Station::toggle(int route, RecordCause cause) {
  const Switchboard::Result r = switchboard_.toggle(route, cause);
  if (r == Switchboard::Result::Done) emit wantedChanged(link_.nState());
  return r;
}

void Station::restoreStates() {
  switchboard_.want(last_route_states(colData_, clock_()), RecordCause::Restore);
  emit wantedChanged(link_.nState());
}

// --- the timetable and restore ---

void Station::setAuto(bool allowed, RecordCause cause) {
  const bool byUser = cause != RecordCause::None;
  if (!byUser && paused_) allowed = false;
  const bool pausedNow = byUser ? !allowed : paused_;
  if (allowed == auto_ && pausedNow == paused_) return;
  if (byUser && pausedNow != paused_)
    settings_.WriteAuto(pausedNow ? QStringLiteral("0") : QStringLiteral("1"));
  paused_ = pausedNow;
  if (allowed != auto_ && byUser)
    record_.append(0, allowed ? RecordAction::AutoAllowed : RecordAction::AutoForbidden, cause);
  applyAuto(allowed);
}

void Station::applyAuto(bool allowed) {
  auto_ = allowed;
  Timer1_.setEnabled(allowed && !download_.running());  // a download switches it on when it ends
  emit autoChanged(allowed, paused_);
}

void Station::followEntries() { setAuto(colData_.count() > 0); }

void Station::setRestore(bool on, bool store) {
  if (on == restore_) return;
  restore_ = on;
  if (store) settings_.WriteRestore(on ? QStringLiteral("1") : QStringLiteral("0"));
  emit restoreChanged(on);
}

// --- port, address, link ---

void Station::setPort(quint8 com, bool store) {
  nCom_ = com;
  if (store) settings_.WriteCom(QString::number(nCom_));
}

void Station::setAddress(quint8 id, bool store) {
  link_.setAddress(id);
  if (store) settings_.WriteID(QString::number(link_.nID()));
  emit addressChanged(link_.nID());
}

bool Station::openLink(bool keepTrying) { return linkControl_.open(nCom_, keepTrying); }

void Station::closeLink() { linkControl_.close(); }

LampLooks Station::lamps() const {
  if (health() == LinkHealth::Answering) return link_.lamps();
  LampLooks grey;
  grey.fill(LampLook::Grey);
  return grey;
}

void Station::announceHealth() {
  const LinkHealth now = health();
  if (now != health_) {
    health_ = now;
    emit healthChanged(now);
  }
  emit lampsChanged(lamps());
}

// --- the entries ---

void Station::onEntriesChanged() {
  ++revision_;
  next_.invalidate();
  modified_.reset();
  if (!recoveryTimer_.isActive()) recoveryTimer_.start();
}

QString Station::recoveryPath() const { return storePath_ + QStringLiteral(".unsaved"); }

void Station::writeRecovery() {
  recoveryTimer_.stop();
  if (modified()) {
    recoveryWritten_ = write_entry_file(colData_, recoveryPath());
  } else if (recoveryWritten_) {
    QFile::remove(recoveryPath());
    recoveryWritten_ = false;
  }
}

bool Station::recoveryOffered() {
  const ProfileFile file = ProfileFile::load(recoveryPath());
  if (file.status() != ProfileFile::Status::Ok) return false;
  EntryCollection entries;
  load_entry_set(file, entries);
  if (entry_set_pairs(entries) != saved_) return true;
  QFile::remove(recoveryPath());
  return false;
}

void Station::takeRecovery() {
  EntryCollection entries;
  if (!read_entry_file(recoveryPath(), entries)) return;
  recoveryWritten_ = true;  // this run's now: it follows the entries from here on
  setEntries(entries, 0, false);
  followEntries();
}

void Station::dropRecovery() {
  recoveryTimer_.stop();
  QFile::remove(recoveryPath());
  recoveryWritten_ = false;
}

bool Station::modified() const {
  if (!modified_) modified_ = entry_set_pairs(colData_) != saved_;
  return *modified_;
}

EntrySnapshot Station::snapshot() const {
  EntrySnapshot s;
  s.entries = std::make_shared<const EntryCollection>(colData_.clone());
  s.revision = revision_;
  s.modified = modified();
  return s;
}

EntrySnapshot Station::setEntries(const EntryCollection& entries, quint64 baseRevision,
                                  bool asSaved) {
  if (baseRevision != 0 && baseRevision != revision_) return snapshot();
  colData_.replace(entries.clone());
  if (asSaved) {
    saved_ = entry_set_pairs(colData_);
    modified_ = false;
  }
  EntrySnapshot s = snapshot();
  emit entriesChanged(s);
  return s;
}

WriteFailure Station::save() {
  WriteFailure why = WriteFailure::Other;
  if (!save_entry_store(colData_, storePath_, &why))
    return why == WriteFailure::None ? WriteFailure::Other : why;
  saved_ = entry_set_pairs(colData_);
  modified_ = false;
  dropRecovery();
  emit entriesChanged(snapshot());
  return WriteFailure::None;
}

// --- route names ---

Station::NameResult Station::renameRoute(int route, const QString& name, WriteFailure* why) {
  const QString stored = cut_to_gbk_bytes(name.trimmed(), SettingsStore::kRouteNameBytes);
  if (!SettingsStore::storable(settings_.load(), stored)) return NameResult::NotStorable;
  if (!settings_.WriteRouteName(route, stored, why)) return NameResult::NotWritten;
  emit namesChanged();
  return NameResult::Done;
}

void Station::record(int route, RecordAction action, RecordCause cause, const QString& detail,
                     MqttError error) {
  record_.append(route, action, cause, detail, error);
}

void Station::download(int page) { download_.run(nCom_, page); }

void Station::holdTimers() {
  held_ = true;
  heartbeat_.stop();
  link_.stopPush();
  Timer1_.setEnabled(false);
}

NextSwitches Station::nextSwitches() const {
  NextSwitches n;
  for (int r = 1; r <= kRouteCount; ++r) n[static_cast<size_t>(r)] = next_.next(r);
  return n;
}
