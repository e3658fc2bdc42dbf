#include "app/startup.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

namespace {

// A stored value start-up cannot use is told once: on standard error and in the record.
void tell_invalid(AppLogic& logic, const char* key, const QString& text) {
  const QString what = QLatin1String(key) + QLatin1Char('=') + text;
  std::fprintf(stderr, "%s\n",
               QCoreApplication::translate("Startup", "Name.ini 的值无效，未采用：%1")
                   .arg(what)
                   .toUtf8()
                   .constData());
  logic.recordInvalidSetting(what);
}

}  // namespace

int stored_list_position(const QString& text, int listSize) {
  bool ok = false;
  const int v = text.toInt(&ok, 10);
  return ok && v >= 1 && v <= listSize ? v - 1 : -1;
}

StartupChoices run_startup(AppLogic& logic, const ProfileFile& names) {
  StartupChoices c;
  logic.checkRecord();
  logic.recordProgramStart();
  logic.SSTab2_Click(0);
  // Selecting the stored address and port writes them back in their plain decimal form.
  const SettingsStore& settings = logic.settings();
  c.idIndex = stored_list_position(settings.ReadID(names), 16);
  if (c.idIndex >= 0) {
    logic.setAddress(static_cast<quint8>(c.idIndex + 1));
    const QString text = QString::number(logic.nID());
    if (SettingsStore::stored(names, QStringLiteral("ID")) != text) settings.WriteID(text);
  } else {
    tell_invalid(logic, "ID", SettingsStore::stored(names, QStringLiteral("ID")));
  }
  c.comIndex = stored_list_position(settings.ReadCom(names), 20);
  if (c.comIndex >= 0) {
    logic.setPort(static_cast<quint8>(c.comIndex + 1));
    const QString text = QString::number(logic.nCom());
    if (SettingsStore::stored(names, QStringLiteral("Com")) != text) settings.WriteCom(text);
  } else {
    tell_invalid(logic, "Com", SettingsStore::stored(names, QStringLiteral("Com")));
  }
  // bIsFirst is set: the link has not taken anything over yet.
  const ProfileFile note = ProfileFile::load(logic.storePath());
  if (note.status() == ProfileFile::Status::Unreadable)
    logic.prompt().message(QCoreApplication::translate("Startup", "读取失败") +
                           QDir::toNativeSeparators(logic.storePath()));
  EntryCollection entries;
  load_entry_set(note, entries);
  logic.setEntries(std::move(entries));
  logic.setChkAuto(logic.entries().count() > 0);
  c.open = SettingsStore::isOn(settings.ReadOpen(names));
  logic.setRestore(settings.ReadRestore(names) == QLatin1String("1"), false);
  if (c.open) logic.openAtStartup();
  c.run = SettingsStore::isOn(settings.ReadRun(names));
  logic.refresh_list(1);
  logic.startMqtt(names);
  return c;
}

void reread_settings(AppLogic& logic, const ProfileFile& names) {
  const SettingsStore& settings = logic.settings();
  const int id = stored_list_position(settings.ReadID(names), 16);
  if (id >= 0) logic.setAddress(static_cast<quint8>(id + 1));
  const int com = stored_list_position(settings.ReadCom(names), 20);
  if (com >= 0 && com + 1 != logic.nCom()) {
    logic.setPort(static_cast<quint8>(com + 1));
    if (logic.linkOpen()) {
      logic.CmdOpen_Click();  // closes, and opens on the new port as start-up does
      logic.openAtStartup();
    }
  }
  logic.setRestore(settings.ReadRestore(names) == QLatin1String("1"), false);
  logic.startMqtt(names);
}
