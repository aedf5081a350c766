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

// Unbuffered, every write reaches the system at once and its failure is seen there: a buffered
// write that fails only in the final flush would be committed all the same.
bool openUnbuffered(QSaveFile& file) {
  return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

bool writeChecked(QSaveFile& file, const QByteArray& bytes) {
  return file.write(bytes) == bytes.size() && file.error() == QFileDevice::NoError;
}

bool writeAll(QSaveFile& file, const QByteArray& bytes) {
  return openUnbuffered(file) && writeChecked(file, bytes) && syncedToDisk(file);
}

constexpr qsizetype kPieceBufferBytes = qsizetype{1} << 18;

}  // namespace

PieceSink::PieceSink(QSaveFile& file, const std::string& failureMessage)
    : file_(file), failureMessage_(failureMessage) {
  buffer_.reserve(kPieceBufferBytes);
}

void PieceSink::append(std::string_view bytes) {
  if (buffer_.size() + static_cast<qsizetype>(bytes.size()) > kPieceBufferBytes) flush();
  if (static_cast<qsizetype>(bytes.size()) > kPieceBufferBytes) {
    if (!writeChecked(
            file_, QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())))) {
      throw IoError(failureMessage_);
    }
    return;
  }
  buffer_.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void PieceSink::flush() {
  if (buffer_.isEmpty()) return;
  if (!writeChecked(file_, buffer_)) throw IoError(failureMessage_);
  buffer_.resize(0);
}

void replaceFileInPieces(const QString& path, const std::function<void(PieceSink&)>& produce,
                         const std::string& failureMessage) {
  QSaveFile file(path);
  if (!openUnbuffered(file)) throw IoError(failureMessage);
  PieceSink sink(file, failureMessage);
  produce(sink);
  sink.flush();
  if (!syncedToDisk(file) || !file.commit()) throw IoError(failureMessage);
}

void replaceFile(const QString& path, const QByteArray& bytes, const std::string& failureMessage) {
  // An uncommitted save file removes its temporary file when it goes.
  QSaveFile file(path);
  if (!writeAll(file, bytes) || !file.commit()) throw IoError(failureMessage);
}

std::string cannotWriteMessage(const QString& path) {
  return "Impossible d'écrire le fichier " + path.toStdString();
}

}  // namespace plk::io
