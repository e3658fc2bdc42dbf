#include "app/startup.h"

#include <QDir>

int stored_list_position(const QString& text, int listSize) {
  bool ok = false;
  const int v = text.toInt(&ok, 10);
  return ok && v >= 1 && v <= listSize ? v - 1 : -1;
}

StartupChoices run_startup(AppLogic& logic, const ProfileFile& names) {
  StartupChoices c;
  logic.SSTab2_Click(0);
  // Selecting the stored address and port writes them back in their plain decimal form.
  c.idIndex = stored_list_position(logic.settings.ReadID(names), 16);
  if (c.idIndex >= 0) {
    logic.link.nID = static_cast<quint8>(c.idIndex + 1);
    const QString text = QString::number(logic.link.nID);
    if (SettingsStore::stored(names, QStringLiteral("ID")) != text) logic.settings.WriteID(text);
  }
  c.comIndex = stored_list_position(logic.settings.ReadCom(names), 20);
  if (c.comIndex >= 0) {
    logic.nCom = static_cast<quint8>(c.comIndex + 1);
    const QString text = QString::number(logic.nCom);
    if (SettingsStore::stored(names, QStringLiteral("Com")) != text) logic.settings.WriteCom(text);
  }
  logic.link.restartHandshake();
  const ProfileFile note = ProfileFile::load(logic.store.path());
  if (note.status() == ProfileFile::Status::Unreadable)
    logic.prompt().message(QStringLiteral("读取失败") +
                           QDir::toNativeSeparators(logic.store.path()));
  load_entry_set(note, logic.colData);
  logic.setChkAuto(logic.colData.count() > 0);
  c.open = SettingsStore::isOn(logic.settings.ReadOpen(names));
  logic.setRestore(logic.settings.ReadRestore(names) == QLatin1String("1"), false);
  if (c.open) logic.openAtStartup();
  c.run = SettingsStore::isOn(logic.settings.ReadRun(names));
  logic.refresh_list(1);
  logic.startRemote(names);
  return c;
}
