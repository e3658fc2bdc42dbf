#include "app/headless.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>

#include "app/app_logic.h"
#include "app/output_queue.h"
#include "app/startup.h"

namespace {

// Messages become lines on standard error (through its queue); nothing is ever asked.
class StreamPrompt : public Prompt {
 public:
  explicit StreamPrompt(OutputQueue& err) : err_(err) {}
  void message(const QString& text) override {
    err_.push((QCoreApplication::translate("Headless", "提示：") +
               QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')) + QLatin1Char('\n'))
                  .toUtf8());
  }
  bool confirm(const QString& text) override {
    message(text);
    return false;
  }
  QString saveFileName() override { return {}; }
  QString openFileName() override { return {}; }

 private:
  OutputQueue& err_;
};

int signalPipe[2] = {-1, -1};

void onSignal(int sig) {
  const char c = static_cast<char>(sig);
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

// The line standard output gets for the record lines it could not take.
QByteArray output_lost_line(qint64 lost) {
  RecordEvent e;
  e.at = QDateTime::currentDateTime();
  e.action = RecordAction::OutputLost;
  e.count = lost;
  return (SwitchRecord::line(e) + QLatin1Char('\n')).toUtf8();
}

}  // namespace

int run_headless(const QString& dataDir) {
  // SIGTERM and SIGINT reach the event loop through a socket pair; the loop ends cleanly.
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return 1;
  QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);  // the daemons' "read your files again"
  // A reader of our output that goes away (| head -1) ends the copy to it, not the program; the
  // signals a stray kill or timer sends never end it either.
  for (const int sig : {SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM}) std::signal(sig, SIG_IGN);

  // Standard output and error never hold the timetable up (see OutputQueue).
  const QString errLost =
      QCoreApplication::translate("Headless", "提示：%1 条消息未能输出") + QLatin1Char('\n');
  OutputQueue out(STDOUT_FILENO, output_lost_line);
  OutputQueue err(STDERR_FILENO, [errLost](qint64 lost) { return errLost.arg(lost).toUtf8(); });
  StreamPrompt prompt(err);
  AppLogic logic(dataDir, prompt);
  const SwitchRecord& record = logic.record();
  QObject::connect(&record, &SwitchRecord::appended, [&](const RecordEvent& e) {
    out.push((SwitchRecord::line(e) + QLatin1Char('\n')).toUtf8());
    if (e.action == RecordAction::RecordFull)  // an operator reads standard error
      prompt.message(SwitchRecord::actionWord(e, true) + QLatin1Char('\n') + record.logFolder());
  });
  QObject::connect(&record, &SwitchRecord::failureChanged, [&](WriteFailure why) {
    if (why != WriteFailure::None)
      prompt.message(logic.recordText() + QLatin1Char('\n') + record.logFolder());
  });
  QObject::connect(&notifier, &QSocketNotifier::activated, qApp, [&logic] {
    char c = 0;
    [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &c, 1);
    if (c != SIGHUP) return QCoreApplication::quit();
    logic.takeUpStore();
    reread_settings(logic, logic.settings().load());
  });
  run_startup(logic, logic.settings().load());
  if (!QFileInfo::exists(dataDir + QStringLiteral("/dosdevices")))  // where the port numbers lead
    prompt.message(QCoreApplication::translate("Headless", "没有 dosdevices 文件夹：Com%1 即 %2")
                       .arg(logic.nCom())
                       .arg(logic.port().devicePath()));
  if (!logic.linkOpen()) logic.openAtStartup();
  const int status = QCoreApplication::exec();
  if (logic.linkOpen()) logic.CmdOpen_Click();  // closes the port before the process ends
  return status;
}
