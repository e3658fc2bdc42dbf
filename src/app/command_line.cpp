#include "app/command_line.h"

#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QSysInfo>
#include <QTextStream>
#include <cstdio>

#include "platform/port_naming.h"
#include "remote/alerts.h"
#include "remote/web_settings.h"
#include "station/settings_store.h"

namespace {

// The command line as parsed so far (its language stays), in error.
CommandLine failed(CommandLine c, const QString& why) {
  c.mode = CommandLine::Mode::Error;
  c.error = why;
  return c;
}

}  // namespace

CommandLine CommandLine::parse(const QStringList& args) {
  if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
    CommandLine help;
    help.mode = Mode::Help;
    QStringList others = args;
    others.removeAll(QStringLiteral("--help"));
    others.removeAll(QStringLiteral("-h"));
    const CommandLine rest = parse(others);  // for --data, which the help names, and --lang
    if (rest.mode != Mode::Error) {
      help.dataDir = rest.dataDir;
      help.language = rest.language;
    }
    return help;
  }
  CommandLine c;
  bool modeGiven = false;
  auto setMode = [&](Mode m) {
    if (modeGiven) return false;
    modeGiven = true;
    c.mode = m;
    return true;
  };
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    bool ok = true;
    if (a == QLatin1String("--version")) {
      ok = setMode(Mode::Version);
    } else if (a == QLatin1String("--headless")) {
      ok = setMode(Mode::Headless);
    } else if (a == QLatin1String("--test-alert")) {
      ok = setMode(Mode::TestAlert);
    } else if (a == QLatin1String("--web-password")) {
      ok = setMode(Mode::WebPassword);
    } else if (a == QLatin1String("--list-ports")) {
      ok = setMode(Mode::ListPorts);
    } else if (a == QLatin1String("--data")) {
      if (i + 1 >= args.size() || args[i + 1].isEmpty())
        return failed(c, CommandLine::tr("--data 需要一个文件夹"));
      c.dataDir = args[++i];
    } else if (a == QLatin1String("--lang")) {
      const QString v = args.value(i + 1);
      if (v == QLatin1String("zh"))
        c.language = Language::Chinese;
      else if (v == QLatin1String("en"))
        c.language = Language::English;
      else
        return failed(c, CommandLine::tr("--lang 应为 zh 或 en：") + v);
      ++i;
    } else if (a == QLatin1String("--link-port")) {
      if (!setMode(Mode::LinkPort)) return failed(c, CommandLine::tr("选项不能同时使用：") + a);
      bool number = false;
      if (i + 2 >= args.size()) return failed(c, CommandLine::tr("--link-port 需要端口号和设备"));
      c.port = args[i + 1].toInt(&number);
      if (!number || c.port < 1 || c.port > 20)
        return failed(c, CommandLine::tr("端口号应为 1 到 20：") + args[i + 1]);
      c.device = args[i + 2];
      i += 2;
    } else {
      return failed(c, CommandLine::tr("未知选项：") + a);
    }
    if (!ok) return failed(c, CommandLine::tr("选项不能同时使用：") + a);
  }
  return c;
}

Language language_for(const QStringList& uiLanguages) {
  const QString first = uiLanguages.value(0);
  if (first.isEmpty() || first == QLatin1String("C") || first == QLatin1String("POSIX") ||
      first.startsWith(QLatin1String("zh")))
    return Language::Chinese;
  return Language::English;
}

QString usage_text(const QString& dataDir) {
  return CommandLine::tr(
             "用法：tavrel [选项]\n"
             "按时间表控制十六路串口继电器板。不带选项时显示窗口（在通知区域）。\n"
             "\n"
             "  --headless              不显示窗口，在后台运行时间表（用于服务）\n"
             "  --data 文件夹           使用指定的数据文件夹\n"
             "  --list-ports            列出现有串口设备及能否打开\n"
             "  --link-port N 设备      让端口 ComN 指向设备（优先用 /dev/serial/by-id/ 名称）\n"
             "  --lang zh|en            本次以中文或英文显示\n"
             "  --test-alert            向告警的 Webhook 发送测试消息并显示接收方的回答\n"
             "  --web-password          从标准输入读取网页的新密码（只保存其散列）\n"
             "  --version               显示版本\n"
             "  -h, --help              显示本帮助\n"
             "\n"
             "数据文件夹（Name.ini、Note.ini、dosdevices/、log/）：") +
         dataDir + QLatin1Char('\n');
}

QString version_text() { return QStringLiteral("Tavrel " TAVREL_VERSION "\n"); }

bool display_available() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
    if (!qEnvironmentVariableIsEmpty(name)) return true;
  return false;
}

QString no_display_text() {
  return CommandLine::tr(
      "没有可用的显示（DISPLAY 未设置）：请在桌面中启动，或用 tavrel --headless");
}

QString list_ports_text() {
  const QList<SerialDevice> devices = present_serial_devices();
  if (devices.isEmpty())
    return CommandLine::tr("没有找到串口设备（ttyUSB*、ttyACM*）") + QLatin1Char('\n');
  QString text;
  for (const SerialDevice& d : devices) {
    text += d.byId.isEmpty() ? d.path : d.byId + QStringLiteral(" -> ") + d.path;
    text += QStringLiteral("  ") +
            (d.mayOpen ? CommandLine::tr("可以打开")
                       : CommandLine::tr("无权打开（需加入 %1 组）")
                             .arg(d.group.isEmpty() ? QStringLiteral("dialout") : d.group));
    text += QLatin1Char('\n');
  }
  return text;
}

QString link_port_error_text(const LinkPortResult& r) {
  switch (r.error) {
    case LinkPortError::BadNumber:
      return CommandLine::tr("端口号应为 1 到 20");
    case LinkPortError::NoDevice:
      return CommandLine::tr("%1：设备不存在").arg(r.path);
    case LinkPortError::NotADevice:
      return CommandLine::tr("%1：不是字符设备").arg(r.path);
    case LinkPortError::NotATerminal:
      return CommandLine::tr("%1：不是终端设备").arg(r.path);
    case LinkPortError::NotALink:
      return CommandLine::tr("%1：不是链接，未改动").arg(r.path);
    case LinkPortError::CannotLink:
    case LinkPortError::None:
      break;
  }
  return CommandLine::tr("%1：无法创建链接").arg(r.path);
}

int run_link_port(const QString& dataDir, int port, const QString& device) {
  const LinkPortResult r = link_port(dataDir, port, device);
  if (r.error != LinkPortError::None) {
    std::fprintf(stderr, "%s\n", link_port_error_text(r).toUtf8().constData());
    return 1;
  }
  std::printf("%s\n", QStringLiteral("Com%1 -> %2").arg(port).arg(r.path).toUtf8().constData());
  return 0;
}

QString refused_data_text(const CommandLine& cl, const QString& dataDir) {
  const bool opensPort =
      cl.mode == CommandLine::Mode::Window || cl.mode == CommandLine::Mode::Headless;
  if (!opensPort || cl.dataDir.isEmpty() || QFileInfo(dataDir).isDir()) return {};
  return CommandLine::tr("数据文件夹不存在：%1").arg(dataDir);
}

int run_test_alert(const QString& dataDir) {
  const SettingsStore store(dataDir);
  const ProfileFile names = store.load();
  Webhook hook;
  hook.configure(WebhookSettings::read(names));
  if (!hook.settings().enabled()) {
    fprintf(
        stderr, "%s\n",
        qUtf8Printable(CommandLine::tr("没有设置告警的 Webhook（Name.ini 的 [Alerts] Webhook=）")));
    return 1;
  }
  AlertMessage m;
  m.test = true;
  m.at = QDateTime::currentDateTime();
  const int id = qBound(1, store.ReadID(names).toInt(), 16);
  const QString station = QStringLiteral("%1 Tavrel %2").arg(QSysInfo::machineHostName()).arg(id);
  int status = 0;
  QString answer;
  QEventLoop loop;
  QObject::connect(&hook, &Webhook::tested, &loop, [&](int s, const QString& a) {
    status = s;
    answer = a;
    loop.quit();
  });
  hook.test(alert_json(m, station));
  loop.exec();
  if (status == 0) {
    fprintf(stderr, "%s\n",
            qUtf8Printable(
                CommandLine::tr("接收方没有回答：%1（%2）").arg(answer, hook.settings().url)));
    return 1;
  }
  printf("%s\n", qUtf8Printable(CommandLine::tr("测试告警已发送到 %1，接收方回答：%2 %3")
                                    .arg(hook.settings().url)
                                    .arg(status)
                                    .arg(answer)));
  return status >= 200 && status < 300 ? 0 : 1;
}

int run_web_password(const QString& dataDir) {
  // No echo while a person types it on a terminal; a pipe gives it as it is.
  termios saved{};
  const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    fprintf(stderr, "%s", qUtf8Printable(CommandLine::tr("网页的新密码：")));
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  QTextStream in(stdin);
  const QString password = in.readLine();
  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    fprintf(stderr, "\n");
  }
  if (password.isEmpty()) {
    fprintf(stderr, "%s\n", qUtf8Printable(CommandLine::tr("密码不能为空")));
    return 1;
  }
  const QString path = SettingsStore(dataDir).path();
  if (!write_web_password(path, web_password_hash(password))) {
    fprintf(stderr, "%s\n", qUtf8Printable(CommandLine::tr("保存设置失败：%1").arg(path)));
    return 1;
  }
  printf("%s\n", qUtf8Printable(CommandLine::tr("网页密码已保存到 %1").arg(path)));
  return 0;
}
