#pragma once

#include <QObject>
#include <QThread>
#include <type_traits>

// Runs f on the thread of `on` and returns its result: at once when that is the calling thread,
// otherwise queued there while the caller waits. Only a peer calls this, never the station's own
// thread into another one, so the wait cannot close a circle.
template <typename F>
auto station_call(QObject* on, F f) -> std::invoke_result_t<F> {
  using R = std::invoke_result_t<F>;
  if (on->thread() == QThread::currentThread()) return f();
  if constexpr (std::is_void_v<R>) {
    QMetaObject::invokeMethod(on, std::move(f), Qt::BlockingQueuedConnection);
  } else {
    R result{};
    QMetaObject::invokeMethod(
        on, [&result, &f] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
  }
}

// Runs f on the thread of `on` without waiting for it (at once when that is the calling thread).
template <typename F>
void station_post(QObject* on, F f) {
  if (on->thread() == QThread::currentThread())
    f();
  else
    QMetaObject::invokeMethod(on, std::move(f), Qt::QueuedConnection);
}

// A thread of its own for the station and the peers that live beside it: what build() makes is
// made on that thread (so its timers and ports belong there) and unmade there by teardown() before
// the thread ends.
class StationThread {
 public:
  StationThread() {
    thread_.setObjectName(QStringLiteral("station"));
    context_.moveToThread(&thread_);
    thread_.start();
  }
  ~StationThread() {
    thread_.quit();
    thread_.wait();
  }
  StationThread(const StationThread&) = delete;
  StationThread& operator=(const StationThread&) = delete;

  // Runs f on the station's thread and waits for it.
  template <typename F>
  auto run(F f) {
    return station_call(&context_, std::move(f));
  }
  QThread& thread() { return thread_; }

 private:
  QThread thread_;
  QObject context_;
};
