#include "relay_board.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdlib>
#include <cstring>

RelayBoard::RelayBoard(Options options, QObject* parent)
    : QObject(parent),
      options_(options),
      protocol_(options.address, options.outputs),
      rng_(options.seed) {
  protocol_.setStuck(options.stuck);
  if (options_.noise > 0) {
    noiseTimer_ = new QTimer(this);
    connect(noiseTimer_, &QTimer::timeout, this, &RelayBoard::sendNoise);
    noiseTimer_->start(10);
  }
}

void RelayBoard::sendNoise() {
  // On average options_.noise bytes a second, at random moments between the replies.
  const double perTick = options_.noise / 100.0;
  int n = static_cast<int>(perTick);
  if (std::uniform_real_distribution<double>(0, 1)(rng_) < perTick - n) ++n;
  if (n == 0 || master_ < 0) return;
  QByteArray bytes;
  for (int i = 0; i < n; ++i) bytes.append(static_cast<char>(rng_() & 0xFF));
  if (::write(master_, bytes.constData(), static_cast<size_t>(bytes.size())) > 0) noiseBytes_ += n;
}

RelayBoard::~RelayBoard() { close(); }

bool RelayBoard::open(const QString& linkPath, QString* error) {
  close();
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    close();
    return false;
  };
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
    return fail(QStringLiteral("cannot create a pseudo-terminal: %1").arg(strerror(errno)));
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0)
    return fail(QStringLiteral("cannot name the pseudo-terminal: %1").arg(strerror(errno)));
  slavePath_ = QString::fromLocal8Bit(name);
  // Our own handle on the slave side keeps the master readable without errors while the program
  // has its port closed, and lets us set the line raw before anyone opens it.
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0)
    return fail(QStringLiteral("cannot open %1: %2").arg(slavePath_, strerror(errno)));
  termios t{};
  tcgetattr(slave_, &t);
  cfmakeraw(&t);
  cfsetspeed(&t, B9600);
  tcsetattr(slave_, TCSANOW, &t);

  const QFileInfo link(linkPath);
  if (link.exists() && !link.isSymLink())
    return fail(QStringLiteral("%1 exists and is not a symlink").arg(linkPath));
  QDir().mkpath(link.absolutePath());
  QFile::remove(linkPath);
  if (!QFile::link(slavePath_, linkPath))
    return fail(QStringLiteral("cannot create the link %1").arg(linkPath));
  linkPath_ = linkPath;

  notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &RelayBoard::onReadable);
  sinceLastByte_.start();
  return true;
}

void RelayBoard::close() {
  notifier_.reset();
  if (!linkPath_.isEmpty() && QFileInfo(linkPath_).isSymLink()) QFile::remove(linkPath_);
  linkPath_.clear();
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
  slave_ = master_ = -1;
}

void RelayBoard::onReadable() {
  char buf[512];
  const ssize_t n = ::read(master_, buf, sizeof buf);
  if (n <= 0) {
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    // We hold the slave open, so this should not happen; stop listening rather than spin.
    notifier_->setEnabled(false);
    return;
  }
  if (sinceLastByte_.restart() > kQuietDropMs) protocol_.dropPartial();
  const quint16 before = protocol_.outputs();
  const QByteArray received(buf, static_cast<int>(n));
  const auto events = protocol_.feed(received);
  bool echoed = false;
  for (const auto& ev : events) {
    if (ev.kind == BoardProtocol::Kind::Download) emit entryReceived(ev.entry);
    emit commandReceived(ev.kind, protocol_.outputs());
    if (options_.silent) continue;
    QByteArray answer = ev.answer;
    const bool command = ev.kind != BoardProtocol::Kind::Download;
    if (command && options_.corruptEvery > 0 && ++replyCount_ % options_.corruptEvery == 0)
      answer[7] = static_cast<char>(answer[7] ^ 0xFF);
    else if (command)
      emit replied(protocol_.outputs());
    // Noise inside a reply: a random byte slipped in somewhere.
    if (command && options_.noise > 0 &&
        std::uniform_real_distribution<double>(0, 1)(rng_) < qMin(0.5, options_.noise / 1000.0)) {
      answer.insert(1 + static_cast<int>(rng_() % 7), static_cast<char>(rng_() & 0xFF));
      ++noiseBytes_;
    }
    if (command && options_.strayBytes > 0) answer.prepend(QByteArray(options_.strayBytes, '\0'));
    if (command && options_.echo && !echoed) {
      answer.prepend(received);  // the frame as it came, which is as the bus carried it
      echoed = true;
    }
    int delay = options_.replyDelayMs;
    if (options_.pace) {
      const int frameBytes = ev.kind == BoardProtocol::Kind::Download ? 22 : 8;
      delay += (frameBytes + static_cast<int>(answer.size())) * 10 * 1000 / 9600;
    }
    if (delay > 0)
      QTimer::singleShot(delay, Qt::PreciseTimer, this, [this, answer] { send(answer); });
    else
      send(answer);
  }
  if (protocol_.outputs() != before) emit outputsChanged(protocol_.outputs());
}

void RelayBoard::send(QByteArray bytes) {
  if (master_ < 0) return;
  if (::write(master_, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size())
    ++repliesSent_;
}
