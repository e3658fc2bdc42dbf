#include "shell/startup.h"

int stored_list_position(const QString& text, int listSize) {
  bool ok = false;
  const int v = text.toInt(&ok, 10);
  return ok && v >= 1 && v <= listSize ? v - 1 : -1;
}

StartupChoices run_startup(AppLogic& logic) {
  StartupChoices c;
  logic.SSTab2_Click(0);
  c.idIndex = stored_list_position(logic.settings.ReadID(), 16);
  if (c.idIndex >= 0) logic.CmbID_Click(c.idIndex);
  c.comIndex = stored_list_position(logic.settings.ReadCom(), 20);
  if (c.comIndex >= 0) logic.CmbCom_Click(c.comIndex);
  logic.link.bIsFirst = true;
  load_entry_set(ProfileFile::load(logic.store.path()), logic.colData);
  logic.setChkAuto(logic.colData.count() > 0);
  c.open = SettingsStore::isOn(logic.settings.ReadOpen());
  if (c.open) logic.CmdOpen_Click();
  c.run = SettingsStore::isOn(logic.settings.ReadRun());
  logic.refresh_list(1);
  return c;
}
