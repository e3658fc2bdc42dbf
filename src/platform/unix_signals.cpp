#include "platform/unix_signals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int sig) {
  const char c = static_cast<char>(sig);
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

}  // namespace

UnixSignals::UnixSignals(std::initializer_list<int> caught, QObject* parent) : QObject(parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
  notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    char c = 0;
    if (::read(signalPipe[0], &c, 1) == 1) emit received(static_cast<unsigned char>(c));
  });
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  signals_ = caught;
  for (const int sig : signals_) sigaction(sig, &sa, nullptr);
}

UnixSignals::~UnixSignals() {
  if (!notifier_) return;
  for (const int sig : signals_) std::signal(sig, SIG_DFL);
  delete notifier_;
  ::close(signalPipe[0]);
  ::close(signalPipe[1]);
  signalPipe[0] = signalPipe[1] = -1;
}
