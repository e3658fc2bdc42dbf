#include "station/switch_record.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

QString full_word() {
  RecordEvent e;
  e.action = RecordAction::RecordFull;
  return RecordLine::actionWord(e);
}

const QRegularExpression kMonthFile(QStringLiteral("^(\\d{4})-(0[1-9]|1[0-2])\\.csv$"));
const QByteArray kHeader =
    QByteArrayLiteral("\xEF\xBB\xBF") + QStringLiteral("时间,路,动作,来源\r\n").toUtf8();
// How a month's file closed at its limit ends: its closing line's action, no cause.
const QByteArray kClosed = (QLatin1Char(',') + full_word() + QStringLiteral(",\r\n")).toUtf8();

int month_number(int year, int month) { return year * 12 + month - 1; }

// A file descriptor, closed when this goes.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

// The real folder log/ in dir (made first when create asks and it is missing); -1 with errno set
// when there is none or it is a symbolic link.
int open_log_folder(const QString& dir, bool create) {
  const Fd base(::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!base.ok()) return -1;
  if (create && ::mkdirat(base.get(), "log", 0777) != 0 && errno != EEXIST) return -1;
  return ::openat(base.get(), "log", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The month files in the log folder: regular files named YYYY-MM.csv (links are not looked at),
// with their month numbers.
QList<std::pair<int, QByteArray>> month_files(int logFd) {
  QList<std::pair<int, QByteArray>> out;
  DIR* d = ::fdopendir(::dup(logFd));
  if (!d) return out;
  while (const dirent* entry = ::readdir(d)) {
    const auto m = kMonthFile.match(QFile::decodeName(entry->d_name));
    struct stat st {};
    if (m.hasMatch() && ::fstatat(logFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode))
      out.append({month_number(m.captured(1).toInt(), m.captured(2).toInt()), entry->d_name});
  }
  ::closedir(d);
  return out;
}

// The lines of a file from its end to its start, read a block at a time: whatever the file's
// size, at most kBlock + kMaxLine bytes are held. A "line" longer than kMaxLine (none of ours
// is) is passed over whole.
class ReverseLines {
 public:
  static constexpr qsizetype kBlock = 64 * 1024;
  static constexpr qsizetype kMaxLine = 64 * 1024;

  ReverseLines(int fd, qint64 size)
      : fd_(fd), pos_(size), buf_(kBlock + kMaxLine, Qt::Uninitialized) {}

  // The line before the last one returned, without its line end (valid until the next call);
  // false once the file's first line was returned or the file cannot be read.
  bool previous(QByteArrayView* line) {
    char* b = buf_.data();
    for (;;) {
      if (const void* nl = memrchr(b, '\n', static_cast<size_t>(len_))) {
        const qsizetype at = static_cast<const char*>(nl) - b;
        QByteArrayView found(b + at + 1, len_ - at - 1);
        len_ = at;
        if (skipping_) {
          skipping_ = false;
          continue;
        }
        *line = found.endsWith('\r') ? found.chopped(1) : found;
        return true;
      }
      if (pos_ == 0) {
        if (done_ || skipping_) return false;
        done_ = true;
        const QByteArrayView first(b, len_);
        len_ = 0;
        *line = first.endsWith('\r') ? first.chopped(1) : first;
        return true;
      }
      if (len_ > kMaxLine) {
        skipping_ = true;
        len_ = 0;
      }
      const qsizetype take = static_cast<qsizetype>(qMin<qint64>(kBlock, pos_));
      memmove(b + take, b, static_cast<size_t>(len_));
      if (::pread(fd_, b, static_cast<size_t>(take), pos_ - take) != take) return false;
      pos_ -= take;
      len_ += take;
    }
  }

 private:
  int fd_;
  qint64 pos_;  // the file's bytes before pos_ are not read yet
  QByteArray buf_;
  qsizetype len_ = 0;  // buf_[0, len_) holds the bytes from pos_ on not returned yet
  bool skipping_ = false;
  bool done_ = false;
};

}  // namespace

SwitchRecord::SwitchRecord(const QString& folder, Clock clock, QObject* parent)
    : QObject(parent), dir_(folder), clock_(or_pc_clock(std::move(clock))) {
  retry_.setInterval(kRetryMs);
  connect(&retry_, &QTimer::timeout, this, &SwitchRecord::check);
}

void SwitchRecord::append(int route, RecordAction action, RecordCause cause, const QString& detail,
                          MqttError error) {
  RecordEvent e{clock_(), route, action, cause, detail, error, {}, 0};
  store(&e);
  emit appended(e);
}

namespace {

QByteArray file_line(const RecordEvent& e) { return (RecordLine::line(e) + "\r\n").toUtf8(); }

// An event of the program's own (route 0, no cause).
RecordEvent program_event(const QDateTime& at, RecordAction action, qint64 count = 0) {
  RecordEvent e;
  e.at = at;
  e.action = action;
  e.count = count;
  return e;
}

}  // namespace

void SwitchRecord::appendStates(RecordAction action, quint16 routes, quint16 on) {
  RecordEvent e = program_event(clock_(), action);
  e.routes = routes;
  e.on = on & routes;
  store(&e);
  emit appended(e);
}

void SwitchRecord::appendCount(RecordAction action, qint64 count) {
  const RecordEvent e = program_event(clock_(), action, count);
  store(&e);
  emit appended(e);
}

void SwitchRecord::store(const RecordEvent* e) {
  const QDateTime at = e ? e->at : clock_();
  const RecordEvent lost = program_event(at, RecordAction::RecordLost, lost_);
  const QByteArray bytes =
      (lost_ > 0 ? file_line(lost) : QByteArray()) + (e ? file_line(*e) : QByteArray());
  int error = 0;
  const Written written = write(at.date(), bytes, true, &error);
  if (written != Written::Yes && e) ++lost_;
  if (written == Written::Failed) return setFailure(write_failure(error, logFolder()));
  setFailure(WriteFailure::None);
  if (written == Written::Yes && lost.count > 0) {
    lost_ = 0;
    emit appended(lost);
  } else if (written == Written::Full) {
    // This line would take the file past its limit: the file is closed for the month.
    const RecordEvent closing = program_event(at, RecordAction::RecordFull);
    if (write(at.date(), file_line(closing), false, &error) == Written::Yes) emit appended(closing);
  }
}

SwitchRecord::Written SwitchRecord::write(const QDate& month, const QByteArray& bytes, bool limit,
                                          int* error) const {
  const Fd log(open_log_folder(dir_, true));
  const QByteArray name = month.toString(QStringLiteral("yyyy-MM")).toLatin1() + ".csv";
  // O_NONBLOCK: a FIFO put there must not hold the program up.
  const Fd f(log.ok()
                 ? ::openat(log.get(), name.constData(),
                            O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666)
                 : -1);
  struct stat st {};
  if (!f.ok() || ::fstat(f.get(), &st) != 0) {
    *error = errno;
    return Written::Failed;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = EINVAL;
    return Written::Failed;
  }
  QByteArray out;
  if (st.st_size == 0) {
    out = kHeader;
  } else {
    // The file's end: the closing line, or a line cut short that the next one must not join.
    char tail[64];
    const qsizetype n = static_cast<qsizetype>(qMin<qint64>(sizeof tail, st.st_size));
    if (::pread(f.get(), tail, static_cast<size_t>(n), st.st_size - n) != n) {
      *error = errno;
      return Written::Failed;
    }
    const QByteArrayView end(tail, n);
    if (limit && end.endsWith(kClosed)) return Written::Closed;
    if (!end.endsWith('\n')) out = "\r\n";
  }
  out += bytes;
  if (limit && st.st_size + out.size() > kMaxFileBytes) return Written::Full;
  const ssize_t done = ::write(f.get(), out.constData(), static_cast<size_t>(out.size()));
  if (done == out.size()) {
    if (st.st_size == 0) {
      // A month's file begun: the record's own files of long ago go.
      const int now = month_number(month.year(), month.month());
      for (const auto& [number, file] : month_files(log.get()))
        if (now - number > kKeepMonths) ::unlinkat(log.get(), file.constData(), 0);
    }
    return Written::Yes;
  }
  *error = done < 0 ? errno : ENOSPC;
  if (done > 0 && ::ftruncate(f.get(), st.st_size) != 0) {
    // The cut line stays; the next write starts on a line of its own.
  }
  return Written::Failed;
}

void SwitchRecord::setFailure(WriteFailure why) {
  if (why == WriteFailure::None)
    retry_.stop();
  else if (!retry_.isActive())
    retry_.start();
  if (why == failure_) return;
  failure_ = why;
  emit failureChanged(why);
}

void SwitchRecord::readBackwards(const std::function<bool(const RecordEvent&)>& visit, int route,
                                 bool (*keep)(QByteArrayView)) const {
  const Fd log(open_log_folder(dir_, false));
  if (!log.ok()) return;
  QList<std::pair<int, QByteArray>> files = month_files(log.get());
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a > b; });
  for (const auto& file : files) {
    const Fd f(::openat(log.get(), file.second.constData(),
                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!f.ok() || ::fstat(f.get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    ReverseLines lines(f.get(), st.st_size);
    QByteArrayView text;
    RecordEvent e;
    while (lines.previous(&text))
      if (!text.isEmpty() && RecordLine::ofRoute(text, route) && (!keep || keep(text)) &&
          RecordLine::parse(QString::fromUtf8(text), &e) && !visit(e))
        return;
  }
}

QList<RecordEvent> SwitchRecord::newest(int count, int route) const {
  QList<RecordEvent> out;
  if (count > 0)
    readBackwards(
        [&](const RecordEvent& e) {
          out << e;
          return out.size() < count;
        },
        route);
  return out;
}

QList<RecordEvent> SwitchRecord::since(const QDateTime& from, bool boardAndLink, int max) const {
  QList<RecordEvent> out;
  readBackwards(
      [&](const RecordEvent& e) {
        if (e.at < from) return false;
        out << e;
        return out.size() < max;
      },
      kEveryRoute, boardAndLink ? RecordLine::toldByBoardOrLink : nullptr);
  std::reverse(out.begin(), out.end());
  return out;
}
