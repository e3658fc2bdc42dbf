#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

// Watches one file for a change made by another program, by looking at it every kPollMs: its
// identity (device and inode: a file replaced by a rename is another file), size and change
// time. changed() comes once what it sees differs from what it last took and has stayed so for
// one more look, so a copy still being written is waited for; it then takes the file as it is.
// A file that is missing is waited for too: it counts as changed once it is there again.
// Whether the content differs is the listener's to find out (a save of the program's own shows
// too).
class FileWatch : public QObject {
  Q_OBJECT
 public:
  static constexpr int kPollMs = 500;

  explicit FileWatch(QString path, QObject* parent = nullptr);

  // Takes the file as it is now and looks again every kPollMs.
  void start();
  void stop() { timer_.stop(); }
  const QString& path() const { return path_; }

 signals:
  void changed();

 private:
  struct Stamp {
    bool present = false;
    quint64 device = 0, inode = 0;
    qint64 size = 0, changeSec = 0, changeNsec = 0;
    bool operator==(const Stamp& o) const;
  };
  Stamp look() const;
  void onTimer();

  QString path_;
  QTimer timer_;
  Stamp taken_;
  Stamp seen_;  // at the last look
};
