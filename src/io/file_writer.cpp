#include "io/file_writer.h"

#include <QSaveFile>

#include "io/io_error.h"

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace plk::io {

namespace {

// True once the written bytes are on the disk. A file system that allocates lazily reports a
// full disk only here.
bool syncedToDisk(QSaveFile& file) {
#ifdef Q_OS_UNIX
  return ::fsync(file.handle()) == 0;
#else
  return file.flush();
#endif
}

bool writeAll(QSaveFile& file, const QByteArray& bytes) {
  // Unbuffered, every write reaches the system at once and its failure is seen here: a buffered
  // write that fails only in the final flush would be committed all the same.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
  return file.write(bytes) == bytes.size() && file.error() == QFileDevice::NoError &&
         syncedToDisk(file);
}

}  // namespace

void replaceFile(const QString& path, const QByteArray& bytes, const std::string& failureMessage) {
  // An uncommitted save file removes its temporary file when it goes.
  QSaveFile file(path);
  if (!writeAll(file, bytes) || !file.commit()) throw IoError(failureMessage);
}

std::string cannotWriteMessage(const QString& path) {
  return "Impossible d'écrire le fichier " + path.toStdString();
}

}  // namespace plk::io
