#pragma once

#include "remote/web_server.h"

#include "app/app_logic.h"

// What start-up chose, for the window to show.
struct StartupChoices {
  int idIndex = -1;   // selected position in the address list, -1 for none
  int comIndex = -1;  // selected position in the port list, -1 for none
  bool open = false;  // ChkOpen
  bool run = false;   // ChkRun
};

// Stored values start-up could not use (as "ID=300"), told on standard error (the station
// records them).
void tell_invalid_settings(const QStringList& invalid);

// Start-up's work below the window, in its order: "程序启动" in the record (the record checked
// first: whether it can be written); route page 1; the stored address and port selected, each
// selection written back ("ID", "Com"; skipped when the file holds that very text already) and
// setting nID / nCom (a value that is not a number, is 0 or lies beyond its list selects nothing,
// writes nothing and keeps 1); bIsFirst; Note.ini loaded (one that exists but cannot be read is
// told with "读取失败" and the path and loads nothing; a missing one is silent); ChkAuto ticked
// when there are entries; the link opened when "Open" is not "0" (a failure is told, start-up goes
// on and the port is waited for), with "Restore" read before; "Run" read; the list of route 1; the
// MQTT connection when section "Mqtt" asks for one. names is Name.ini as read once at the start.
StartupChoices run_startup(AppLogic& logic, const ProfileFile& names);

// Name.ini read again while running (SIGHUP to --headless): the address, the port (a link that is
// open moves to a changed port at once), "Restore" and the MQTT connection (restarted only when
// its settings changed), each as start-up reads it; a value start-up would not select changes
// nothing. Nothing is written.
void reread_settings(AppLogic& logic, const ProfileFile& names);

// What the page's server tells as it starts: where it serves ("网页：http://127.0.0.1:8080/"), or
// why it does not (no password, the certificate, the port); empty when it is off.
QString web_outcome_text(WebServer::Outcome o, const WebSettings& s);
// Serving on another address than the loopback without TLS: passwords travel in clear.
QString web_cleartext_text(const QString& address);
