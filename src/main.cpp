#include <QApplication>
#include <cstdio>

#include "app/app_logic.h"
#include "app/command_line.h"
#include "app/headless.h"
#include "platform/data_folder.h"
#include "platform/single_copy.h"
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

// Everything without a window: help, version, the port commands and --headless.
int run_without_window(const CommandLine& cl, int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Tavrel"));
  QCoreApplication::setApplicationVersion(QStringLiteral(TAVREL_VERSION));
  const QString dataDir = data_folder(cl);
  if (cl.mode == CommandLine::Mode::Help) return print(stdout, usage_text(dataDir)), 0;
  if (cl.mode == CommandLine::Mode::ListPorts) return print(stdout, list_ports_text()), 0;
  if (!make_data_folder(dataDir)) {
    print(stderr,
          no_folder_text(dataDir).replace(QLatin1Char('\n'), QLatin1Char(' ')) + QLatin1Char('\n'));
    return 1;
  }
  if (cl.mode == CommandLine::Mode::LinkPort) return run_link_port(dataDir, cl.port, cl.device);
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
  switch (cl.mode) {
    case CommandLine::Mode::Error:
      print(stderr, cl.error + QCoreApplication::translate("Main", "（tavrel --help 显示用法）") +
                        QLatin1Char('\n'));
      return 2;
    case CommandLine::Mode::Version:
      print(stdout, version_text());
      return 0;
    case CommandLine::Mode::Window:
      break;
    default:
      return run_without_window(cl, argc, argv);
  }
  if (!display_available()) {
    print(stderr, no_display_text() + QLatin1Char('\n'));
    return 1;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tavrel"));
  QApplication::setApplicationVersion(QStringLiteral(TAVREL_VERSION));
  install_font_substitutions();
  install_chinese_qt_texts(app);
  QLocale::setDefault(chinese_locale());  // dates and sizes in the dialogs, whatever LANG says
  QApplication::setWindowIcon(tavrel_icon());

  WidgetPrompt prompt;
  const QString dataDir = data_folder(cl);
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
  AppLogic logic(dataDir, prompt);
  Frmmain window(logic);
  prompt.setParent(&window);
  const RunningWindow running(dataDir, &window);
  window.Form_Load();
  return app.exec();
}
