#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <initializer_list>
#include <vector>

// Unix signals delivered to the event loop: while an object lives, each of the given signals is
// caught and raised as received() on the thread that made it, never inside the handler. One
// object per process.
class UnixSignals : public QObject {
  Q_OBJECT
 public:
  explicit UnixSignals(std::initializer_list<int> caught, QObject* parent = nullptr);
  ~UnixSignals() override;

 signals:
  void received(int signal);

 private:
  QSocketNotifier* notifier_ = nullptr;
  std::vector<int> signals_;
};
