// tavrel-board: a simulated sixteen-output relay board on a pseudo-terminal.
//
//   tavrel-board --link PATH [--address N] [--states HHLL] [--silent] [--corrupt-every N]
//                [--reply-delay MS] [--pace] [--noise RATE] [--echo] [--stray-bytes N]
//                [--stuck ROUTES] [--verbose] [--dump-entries]
//
// Prints "ready PATH" once the link exists, then one line "HH:MM:SS.mmm outputs HHLL" on every
// change of the outputs (HH = routes 16..9, LL = routes 8..1). SIGINT and SIGTERM remove the link.

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <QTime>
#include <cstdio>

#include "relay_board.h"

namespace {

int g_signalFd[2] = {-1, -1};

void on_signal(int) {
  const char b = 1;
  [[maybe_unused]] ssize_t n = ::write(g_signalFd[1], &b, 1);
}

void print_line(const QString& text) {
  const QByteArray line =
      (QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz ")) + text + QLatin1Char('\n'))
          .toUtf8();
  fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
  fflush(stdout);
}

QString hex4(quint16 v) { return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper(); }

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("tavrel-board"));

  QCommandLineParser p;
  p.setApplicationDescription(QStringLiteral("Simulated sixteen-output relay board."));
  p.addHelpOption();
  p.addOptions({
      {QStringLiteral("link"), QStringLiteral("Symlink to create to the board's port."),
       QStringLiteral("PATH")},
      {QStringLiteral("address"), QStringLiteral("Board address, 1..16 (default 1)."),
       QStringLiteral("N"), QStringLiteral("1")},
      {QStringLiteral("states"), QStringLiteral("Initial outputs as hex HHLL (default 0000)."),
       QStringLiteral("HHLL"), QStringLiteral("0000")},
      {QStringLiteral("silent"), QStringLiteral("Never answer.")},
      {QStringLiteral("corrupt-every"), QStringLiteral("Spoil the sum of every Nth reply."),
       QStringLiteral("N"), QStringLiteral("0")},
      {QStringLiteral("reply-delay"), QStringLiteral("Answer MS milliseconds late."),
       QStringLiteral("MS"), QStringLiteral("0")},
      {QStringLiteral("pace"), QStringLiteral("Answer as late as a 9600-baud line would.")},
      {QStringLiteral("noise"),
       QStringLiteral("Send RATE random bytes a second, between and inside replies."),
       QStringLiteral("RATE"), QStringLiteral("0")},
      {QStringLiteral("echo"),
       QStringLiteral("Send each command frame back before its reply, as an echoing adapter.")},
      {QStringLiteral("stray-bytes"), QStringLiteral("Send N stray bytes before each reply."),
       QStringLiteral("N"), QStringLiteral("0")},
      {QStringLiteral("stuck"),
       QStringLiteral("Relays that never follow a set frame, as routes \"3,5,9-11\"."),
       QStringLiteral("ROUTES")},
      {QStringLiteral("verbose"), QStringLiteral("Print every frame received.")},
      {QStringLiteral("dump-entries"), QStringLiteral("Print the downloaded entries on exit.")},
  });
  p.process(app);

  bool ok = true;
  RelayBoard::Options o;
  const int address = p.value(QStringLiteral("address")).toInt(&ok);
  if (!ok || address < 1 || address > 255) {
    fprintf(stderr, "tavrel-board: --address takes a number from 1 to 255\n");
    return 2;
  }
  o.address = static_cast<quint8>(address);
  const uint states = p.value(QStringLiteral("states")).toUInt(&ok, 16);
  if (!ok || states > 0xFFFF) {
    fprintf(stderr, "tavrel-board: --states takes four hex digits HHLL\n");
    return 2;
  }
  o.outputs = static_cast<quint16>(states);
  o.silent = p.isSet(QStringLiteral("silent"));
  o.corruptEvery = qMax(0, p.value(QStringLiteral("corrupt-every")).toInt());
  o.replyDelayMs = qMax(0, p.value(QStringLiteral("reply-delay")).toInt());
  o.pace = p.isSet(QStringLiteral("pace"));
  o.noise = qMax(0.0, p.value(QStringLiteral("noise")).toDouble());
  o.echo = p.isSet(QStringLiteral("echo"));
  o.strayBytes = qBound(0, p.value(QStringLiteral("stray-bytes")).toInt(), 64);
  if (p.isSet(QStringLiteral("stuck")) &&
      !parse_route_list(p.value(QStringLiteral("stuck")), &o.stuck)) {
    fprintf(stderr, "tavrel-board: --stuck takes routes 1..16 as 3,5,9-11\n");
    return 2;
  }
  o.seed = static_cast<unsigned>(QDateTime::currentMSecsSinceEpoch());
  const QString link = p.value(QStringLiteral("link"));
  if (link.isEmpty()) {
    fprintf(stderr, "tavrel-board: --link PATH is required\n");
    return 2;
  }

  RelayBoard board(o);
  QString error;
  if (!board.open(link, &error)) {
    fprintf(stderr, "tavrel-board: %s\n", qPrintable(error));
    return 1;
  }

  socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFd);
  QSocketNotifier sigNotifier(g_signalFd[0], QSocketNotifier::Read);
  QObject::connect(&sigNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  const bool verbose = p.isSet(QStringLiteral("verbose"));
  QObject::connect(&board, &RelayBoard::outputsChanged,
                   [](quint16 v) { print_line(QStringLiteral("outputs ") + hex4(v)); });
  QObject::connect(&board, &RelayBoard::commandReceived,
                   [verbose](BoardProtocol::Kind kind, quint16 outputs) {
                     if (!verbose) return;
                     if (kind == BoardProtocol::Kind::Query) print_line(QStringLiteral("query"));
                     if (kind == BoardProtocol::Kind::Set)
                       print_line(QStringLiteral("set ") + hex4(outputs));
                   });
  QObject::connect(&board, &RelayBoard::entryReceived, [verbose](const DownloadedEntry& e) {
    if (verbose) print_line(QStringLiteral("entry ") + e.describe());
  });

  printf("ready %s\n", qPrintable(link));
  fflush(stdout);
  const int rc = app.exec();
  board.close();
  if (o.noise > 0)
    printf("noise bytes sent: %lld\n", static_cast<long long>(board.noiseBytesSent()));
  if (p.isSet(QStringLiteral("dump-entries")))
    for (const auto& kv : board.protocol().entries())
      printf("%s\n", qPrintable(kv.second.describe()));
  fflush(stdout);
  return rc;
}
