#include "app/output_queue.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

struct OutputQueue::Shared {
  int fd;
  std::function<QByteArray(qint64)> lostLine;
  std::mutex mutex;
  std::condition_variable changed;
  QByteArray waiting;  // lines not handed to the writer yet
  qint64 lost = 0;     // lines that found the queue full
  bool stopping = false;
  bool closed = false;  // the descriptor took no more
  bool finished = false;

  // Writes all of bytes; false once the descriptor takes nothing more.
  bool writeAll(const QByteArray& bytes) const {
    for (qsizetype at = 0; at < bytes.size();) {
      const ssize_t n = ::write(fd, bytes.constData() + at, static_cast<size_t>(bytes.size() - at));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        // A descriptor someone made non-blocking: wait until it takes more.
        pollfd ready{fd, POLLOUT, 0};
        ::poll(&ready, 1, -1);
        continue;
      }
      if (n <= 0) return false;
      at += n;
    }
    return true;
  }

  void run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [this] { return !waiting.isEmpty() || lost > 0 || stopping; });
      if (waiting.isEmpty() && lost > 0) {
        waiting = lostLine(lost);  // drained: the count of the lines that went
        lost = 0;
      }
      if (waiting.isEmpty()) break;  // stopping, with everything out
      const QByteArray bytes = std::exchange(waiting, QByteArray());
      lock.unlock();
      const bool ok = writeAll(bytes);
      lock.lock();
      if (!ok) {
        closed = true;
        waiting.clear();
        break;
      }
    }
    finished = true;
    changed.notify_all();
  }
};

OutputQueue::OutputQueue(int fd, std::function<QByteArray(qint64 lost)> lostLine)
    : shared_(std::make_shared<Shared>()) {
  shared_->fd = fd;
  shared_->lostLine = std::move(lostLine);
  std::thread([shared = shared_] { shared->run(); }).detach();
}

OutputQueue::~OutputQueue() {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->stopping = true;
  shared_->changed.notify_all();
  // A reader that takes nothing keeps the thread in its write: it is left there, and ends with
  // the process.
  shared_->changed.wait_for(lock, std::chrono::milliseconds(kDrainMs),
                            [this] { return shared_->finished; });
}

void OutputQueue::push(const QByteArray& line) {
  const std::lock_guard<std::mutex> lock(shared_->mutex);
  if (shared_->closed) return;
  if (shared_->waiting.size() + line.size() > kMaxBytes) {
    ++shared_->lost;
    return;
  }
  shared_->waiting += line;
  shared_->changed.notify_all();
}
