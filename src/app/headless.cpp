#include "app/headless.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>

#include "app/app_logic.h"
#include "app/startup.h"

namespace {

// Messages become lines on standard error; nothing is ever asked.
class StreamPrompt : public Prompt {
 public:
  void message(const QString& text) override {
    std::fputs((QCoreApplication::translate("Headless", "提示：") +
                QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')) + QLatin1Char('\n'))
                   .toUtf8()
                   .constData(),
               stderr);
  }
  bool confirm(const QString& text) override {
    message(text);
    return false;
  }
  QString saveFileName() override { return {}; }
  QString openFileName() override { return {}; }
};

int signalPipe[2] = {-1, -1};

void onSignal(int) {
  const char c = 1;
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

}  // namespace

int run_headless(const QString& dataDir) {
  // SIGTERM and SIGINT reach the event loop through a socket pair; the loop ends cleanly.
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return 1;
  QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, qApp, [] {
    char c;
    [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &c, 1);
    QCoreApplication::quit();
  });
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);

  StreamPrompt prompt;
  AppLogic logic(dataDir, prompt);
  logic.echoRecord(true);
  run_startup(logic, logic.settings().load());
  if (!logic.linkOpen()) logic.openAtStartup();
  const int status = QCoreApplication::exec();
  if (logic.linkOpen()) logic.CmdOpen_Click();  // closes the port before the process ends
  return status;
}
