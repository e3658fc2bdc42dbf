#pragma once

#include <QByteArray>
#include <functional>
#include <memory>

// Lines for a file descriptor (standard output or error) that never hold the caller up: push()
// only queues, and a thread of the queue's own writes, however long the reader keeps it waiting
// (a terminal stopped with Ctrl-S, a pipe nobody reads).
//
// At most kMaxBytes wait; a line that finds the queue full is counted, not kept, and once the
// queue has drained, one line made by lostLine(count) says how many went. Once the descriptor is
// closed (the reader gone: SIGPIPE must be ignored) nothing more is written. The destructor gives
// the lines kDrainMs to go out, then leaves them.
class OutputQueue {
 public:
  static constexpr qsizetype kMaxBytes = 256 * 1024;
  static constexpr int kDrainMs = 300;

  OutputQueue(int fd, std::function<QByteArray(qint64 lost)> lostLine);
  ~OutputQueue();
  OutputQueue(const OutputQueue&) = delete;
  OutputQueue& operator=(const OutputQueue&) = delete;

  void push(const QByteArray& line);

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;  // also held by the writing thread, which may outlive this
};
