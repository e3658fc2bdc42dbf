#include "app/startup.h"

#include <QCoreApplication>
#include <cstdio>

void tell_invalid_settings(const QStringList& invalid) {
  for (const QString& what : invalid)
    std::fprintf(stderr, "%s\n",
                 QCoreApplication::translate("Startup", "Name.ini 的值无效，未采用：%1")
                     .arg(what)
                     .toUtf8()
                     .constData());
}

StartupChoices run_startup(AppLogic& logic, const ProfileFile& names) {
  StartupChoices c;
  logic.recordProgramStart();
  logic.SSTab2_Click(0);
  const SettingsStore& settings = logic.settings();
  const StoredChoice stored = logic.useStoredPortAndAddress(names);
  c.idIndex = stored.idIndex;
  c.comIndex = stored.comIndex;
  tell_invalid_settings(stored.invalid);
  // bIsFirst is set: the link has not taken anything over yet.
  logic.loadStore();  // the timetable is allowed when there are entries
  c.open = SettingsStore::isOn(settings.ReadOpen(names));
  logic.setRestore(settings.ReadRestore(names) == QLatin1String("1"), false);
  if (c.open) logic.openAtStartup();
  c.run = SettingsStore::isOn(settings.ReadRun(names));
  logic.refresh_list(1);
  logic.startMqtt(names);
  return c;
}

QString web_outcome_text(WebServer::Outcome o, const WebSettings& s) {
  switch (o) {
    case WebServer::Outcome::Off:
      break;
    case WebServer::Outcome::Listening:
      return QCoreApplication::translate("Startup", "网页：%1://%2:%3/")
          .arg(s.tls() ? QStringLiteral("https") : QStringLiteral("http"), s.address)
          .arg(s.port);
    case WebServer::Outcome::NoPassword:
      return QCoreApplication::translate("Startup",
                                         "网页未启动：没有设置密码（tavrel --web-password）");
    case WebServer::Outcome::CertUnreadable:
      return QCoreApplication::translate("Startup", "网页未启动：证书或密钥无法读取\n") +
             s.certFile + QLatin1Char('\n') + s.keyFile;
    case WebServer::Outcome::CannotListen:
      return QCoreApplication::translate("Startup", "网页未启动：无法使用地址 %1 端口 %2")
          .arg(s.address)
          .arg(s.port);
  }
  return {};
}

QString web_cleartext_text(const QString& address) {
  return QCoreApplication::translate("Startup", "网页未加密：密码以明文传输（%1）").arg(address);
}
