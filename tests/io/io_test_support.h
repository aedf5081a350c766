#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

namespace plk::io::testing {

inline QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) file.write(bytes);
}

// A file name of 250 characters: the file itself can exist, but the temporary file a safe save
// creates beside it ("name.XXXXXX") exceeds the 255-byte limit, so the save fails whatever the
// user's rights (the tests may run as root, for whom read-only folders are writable).
inline QString unsavablePath(const QDir& dir) { return dir.filePath(QString(246, 'x') + ".plk"); }

}  // namespace plk::io::testing
