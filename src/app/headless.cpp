#include "app/headless.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <csignal>
#include <cstdio>

#include "app/file_commands.h"
#include "app/output_queue.h"
#include "app/startup.h"
#include "platform/unix_signals.h"
#include "remote/alerts.h"
#include "remote/mqtt_bridge.h"
#include "remote/web_server.h"
#include "station/station.h"

namespace {

// A message as its line on standard error.
QByteArray message_line(const QString& text) {
  return (QCoreApplication::translate("Headless", "提示：") +
          QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')) + QLatin1Char('\n'))
      .toUtf8();
}

// The line standard output gets for the record lines it could not take.
QByteArray output_lost_line(qint64 lost) {
  RecordEvent e;
  e.at = QDateTime::currentDateTime();
  e.action = RecordAction::OutputLost;
  e.count = lost;
  return (RecordLine::line(e) + QLatin1Char('\n')).toUtf8();
}

}  // namespace

int run_headless(const QString& dataDir) {
  // SIGTERM and SIGINT reach the event loop, which ends cleanly; SIGHUP is the daemons' "read
  // your files again".
  const UnixSignals unixSignals({SIGTERM, SIGINT, SIGHUP});
  // A reader of our output that goes away (| head -1) ends the copy to it, not the program; the
  // signals a stray kill or timer sends never end it either.
  for (const int sig : {SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM}) std::signal(sig, SIG_IGN);

  // Standard output and error never hold the timetable up (see OutputQueue).
  const QString errLost =
      QCoreApplication::translate("Headless", "提示：%1 条消息未能输出") + QLatin1Char('\n');
  OutputQueue out(STDOUT_FILENO, output_lost_line);
  OutputQueue err(STDERR_FILENO, [errLost](qint64 lost) { return errLost.arg(lost).toUtf8(); });
  const auto tell = [&err](const QString& text) { err.push(message_line(text)); };

  // The station on this thread, and the broker beside it; nobody is asked anything.
  Station station(dataDir);
  MqttBridge bridge(station);
  Alerts alerts(station, &bridge);
  WebServer web(station, &alerts);
  QObject::connect(&web, &WebServer::started, [&](WebServer::Outcome o, const WebSettings& s) {
    if (const QString text = web_outcome_text(o, s); !text.isEmpty()) tell(text);
  });
  QObject::connect(&web, &WebServer::cleartext,
                   [&](const QString& address) { tell(web_cleartext_text(address)); });
  QObject::connect(&station, &Station::recordAppended, [&](const RecordEvent& e) {
    out.push((RecordLine::line(e) + QLatin1Char('\n')).toUtf8());
    if (e.action == RecordAction::RecordFull)  // an operator reads standard error
      tell(RecordLine::actionWord(e, true) + QLatin1Char('\n') + station.record().logFolder());
  });
  QObject::connect(&station, &Station::recordFailureChanged, [&](WriteFailure why) {
    if (why == WriteFailure::None) return;
    tell(record_failure_text(why) + QLatin1Char('\n') + station.record().logFolder());
  });
  QObject::connect(&station, &Station::linkTold, [&](LinkNotice what, const PortFailure& f) {
    if (what == LinkNotice::OpenFailed || what == LinkNotice::Waiting)
      tell(port_failure_text(f));
    else if (what == LinkNotice::Lost)
      tell(LinkControl::tr("串口已断开"));
  });
  QObject::connect(&bridge, &MqttBridge::refused, [&](MqttError why, const QString& where) {
    tell(MqttBridge::tr("远程服务器拒绝登录：") + RecordLine::errorWord(why, true) +
         QLatin1Char('\n') + where);
  });

  // SIGHUP reads Note.ini and Name.ini again; SIGTERM and SIGINT end the loop.
  QObject::connect(&unixSignals, &UnixSignals::received, qApp, [&](int sig) {
    if (sig != SIGHUP) return QCoreApplication::quit();
    station.takeUpStore();
    const ProfileFile names = station.settings().load();
    station.rereadSettings(names);
    bridge.configure(SettingsStore::ReadMqtt(names));
    alerts.configure(WebhookSettings::read(names));
    web.configure(WebSettings::read(names));
  });

  // Start-up as in the window, then the link opened whatever "Open" says.
  const ProfileFile names = station.settings().load();
  station.start();
  tell_invalid_settings(station.useStoredPortAndAddress(names).invalid);
  if (station.loadStore() == StoreLoad::Unreadable)
    tell(QCoreApplication::translate("Startup", "读取失败") +
         QDir::toNativeSeparators(station.storePath()));
  station.setRestore(station.settings().ReadRestore(names) == QLatin1String("1"), false);
  if (!QFileInfo::exists(dataDir + QStringLiteral("/dosdevices")))  // where the port numbers lead
    tell(QCoreApplication::translate("Headless", "没有 dosdevices 文件夹：Com%1 即 %2")
             .arg(station.nCom())
             .arg(station.port().devicePath()));
  station.openLink(true);
  const MqttSettings mqtt = SettingsStore::ReadMqtt(names);
  station.settings().keepPrivate(mqtt);
  bridge.configure(mqtt);
  alerts.configure(WebhookSettings::read(names));
  web.configure(WebSettings::read(names));
  alerts.start();  // the station runs: the service manager hears it
  const int status = QCoreApplication::exec();
  // The program's last line is its end: the broker's connection and the link end before it.
  bridge.shutdown();
  station.closeLink();  // closes the port before the process ends
  return status;
}
