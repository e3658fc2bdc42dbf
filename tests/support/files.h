#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Whole-file helpers for tests: what a user or another program leaves on disk.
inline void put(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  f.write(bytes);
}

inline QByteArray get(const QString& path) {
  QFile f(path);
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}
