#include <QApplication>
#include <QLocale>
#include <csignal>
#include <cstdio>

#include "app/app_logic.h"
#include "app/command_line.h"
#include "app/headless.h"
#include "platform/data_folder.h"
#include "platform/single_copy.h"
#include "platform/unix_signals.h"
#include "remote/web_server.h"
#include "station/station_thread.h"
#include "ui/frmmain.h"
#include "ui/running_window.h"
#include "ui/ui_support.h"
#include "ui/widget_prompt.h"

namespace {

void print(std::FILE* to, const QString& text) { std::fputs(text.toUtf8().constData(), to); }

QString second_copy_text(const QString& dataDir) {
  return QCoreApplication::translate("Main", "另一个 Tavrel 正在使用此文件夹\n") + dataDir;
}

QString data_folder(const CommandLine& cl) {
  return choose_data_folder(QCoreApplication::applicationDirPath(), cl.dataDir);
}

QString no_folder_text(const QString& dataDir) {
  return QCoreApplication::translate("Main", "无法创建数据文件夹\n") + dataDir;
}

// The language of this run: --lang's, or the desktop's.
void speak(QCoreApplication& app, const CommandLine& cl) {
  QCoreApplication::setApplicationName(QStringLiteral("Tavrel"));
  QCoreApplication::setApplicationVersion(QStringLiteral(TAVREL_VERSION));
  install_language(app, cl.language.value_or(language_for(QLocale::system().uiLanguages())));
}

// Everything without a window: help, the port commands, --headless, and what the command line or
// a missing display has to tell.
int run_without_window(const CommandLine& cl, const QStringList& args, int argc, char** argv) {
  QCoreApplication app(argc, argv);
  speak(app, cl);
  if (cl.mode == CommandLine::Mode::Error) {
    // Parsed again now that its words can be translated.
    print(stderr, CommandLine::parse(args).error +
                      QCoreApplication::translate("Main", "（tavrel --help 显示用法）") +
                      QLatin1Char('\n'));
    return 2;
  }
  if (cl.mode == CommandLine::Mode::Window) {
    print(stderr, no_display_text() + QLatin1Char('\n'));
    return 1;
  }
  const QString dataDir = data_folder(cl);
  if (cl.mode == CommandLine::Mode::Help) return print(stdout, usage_text(dataDir)), 0;
  if (cl.mode == CommandLine::Mode::ListPorts) return print(stdout, list_ports_text()), 0;
  if (cl.mode == CommandLine::Mode::TestAlert) return run_test_alert(dataDir);
  const QString refused = refused_data_text(cl, dataDir);
  if (!refused.isEmpty()) return print(stderr, refused + QLatin1Char('\n')), 2;
  if (!make_data_folder(dataDir)) {
    print(stderr,
          no_folder_text(dataDir).replace(QLatin1Char('\n'), QLatin1Char(' ')) + QLatin1Char('\n'));
    return 1;
  }
  if (cl.mode == CommandLine::Mode::LinkPort) return run_link_port(dataDir, cl.port, cl.device);
  if (cl.mode == CommandLine::Mode::WebPassword) return run_web_password(dataDir);
  SingleCopy copy(dataDir);
  if (!copy.acquire()) {
    print(stderr, second_copy_text(dataDir).replace(QLatin1Char('\n'), QLatin1Char(' ')) +
                      QLatin1Char('\n'));
    return 1;
  }
  return run_headless(dataDir);
}

}  // namespace

int main(int argc, char** argv) {
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  const CommandLine cl = CommandLine::parse(args);
  if (cl.mode == CommandLine::Mode::Version) return print(stdout, version_text()), 0;
  if (cl.mode != CommandLine::Mode::Window || !display_available())
    return run_without_window(cl, args, argc, argv);

  QApplication app(argc, argv);
  speak(app, cl);
  install_font_substitutions();
  QApplication::setWindowIcon(tavrel_icon());

  WidgetPrompt prompt;
  const QString dataDir = data_folder(cl);
  prompt.setDataDir(dataDir);
  if (const QString refused = refused_data_text(cl, dataDir); !refused.isEmpty())
    return prompt.message(refused), 2;
  if (!make_data_folder(dataDir)) {
    prompt.message(no_folder_text(dataDir));
    return 1;
  }
  SingleCopy copy(dataDir);
  if (!copy.acquire()) {
    if (RunningWindow::call(dataDir)) return 0;  // its window came forward instead
    prompt.message(second_copy_text(dataDir));
    return 1;
  }
  // The board's plant and the broker live on a thread of their own: nothing the window does (a
  // modal box, a file dialog stuck on a read, a slow paint) holds a switch up.
  StationThread plant;
  Station* station = plant.run([&] { return new Station(dataDir); });
  MqttBridge* bridge = plant.run([&] { return new MqttBridge(*station); });
  Alerts* alerts = plant.run([&] {
    auto* a = new Alerts(*station, bridge);
    a->configure(WebhookSettings::read(station->settings().load()));
    return a;
  });
  WebServer* web = plant.run([&] { return new WebServer(*station, alerts); });
  int status = 0;
  {
    AppLogic logic(*station, *bridge, prompt);
    logic.watchAlerts(*alerts);
    logic.watchWeb(*web);
    Frmmain window(logic);
    prompt.setParent(&window);
    const RunningWindow running(dataDir, &window);
    // A shutdown or a logout that does not ask ends the program at once, as a clean end: the
    // unsaved entries stay in their recovery file and the record gets its last line.
    const UnixSignals unixSignals({SIGTERM, SIGINT});
    QObject::connect(&unixSignals, &UnixSignals::received, &window, &Frmmain::endNow);
    window.Form_Load();
    station_post(alerts, [alerts] { alerts->start(); });
    station_post(web,
                 [web, station] { web->configure(WebSettings::read(station->settings().load())); });
    status = app.exec();
  }
  // The program's last line is its end: the broker's connection and the link end before it.
  plant.run([&] {
    delete web;
    delete alerts;
    delete bridge;
    delete station;
  });
  return status;
}
