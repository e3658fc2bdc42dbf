#include "platform/file_watch.h"

#include <sys/stat.h>

#include <QFile>

bool FileWatch::Stamp::operator==(const Stamp& o) const {
  return present == o.present && device == o.device && inode == o.inode && size == o.size &&
         changeSec == o.changeSec && changeNsec == o.changeNsec;
}

FileWatch::FileWatch(QString path, QObject* parent) : QObject(parent), path_(std::move(path)) {
  timer_.setInterval(kPollMs);
  connect(&timer_, &QTimer::timeout, this, &FileWatch::onTimer);
}

void FileWatch::start() {
  taken_ = seen_ = look();
  timer_.start();
}

FileWatch::Stamp FileWatch::look() const {
  struct stat st {};
  Stamp s;
  if (::stat(QFile::encodeName(path_).constData(), &st) != 0) return s;
  s.present = true;
  s.device = st.st_dev;
  s.inode = st.st_ino;
  s.size = st.st_size;
  // The change time moves with every write and rename; a copy that keeps the old modification
  // time (cp -p) still shows.
  s.changeSec = st.st_ctim.tv_sec;
  s.changeNsec = st.st_ctim.tv_nsec;
  return s;
}

void FileWatch::onTimer() {
  const Stamp now = look();
  const bool settled = now == seen_;
  seen_ = now;
  if (!settled || !now.present || now == taken_) return;
  taken_ = now;
  emit changed();
}
