#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

class QSaveFile;

namespace plk::io {

// The one way the programs write a file. The bytes go to a temporary file beside `path`; every
// write and the flush to the disk are checked before the temporary file is renamed over `path`.
// On any failure (a full disk, a folder that cannot be written) nothing is renamed, the former
// file stays byte for byte as it was, and IoError(failureMessage) is thrown.
void replaceFile(const QString& path, const QByteArray& bytes, const std::string& failureMessage);

// The bytes of a file written piece by piece: pieces gather in a buffer of a few hundred
// kilobytes that goes to the file, checked, each time it fills, so a large output never lies
// in memory whole. A failed write throws IoError with the file's failure message.
class PieceSink {
 public:
  PieceSink(QSaveFile& file, const std::string& failureMessage);
  PieceSink(const PieceSink&) = delete;
  PieceSink& operator=(const PieceSink&) = delete;
  ~PieceSink() = default;

  void append(std::string_view bytes);
  // Writes what the buffer still holds.
  void flush();

 private:
  QSaveFile& file_;
  const std::string& failureMessage_;
  QByteArray buffer_;
};

// replaceFile for bytes that `produce` hands to the sink piece by piece, with the same checks
// and the same guarantee: the former file is replaced only once every byte is on the disk.
void replaceFileInPieces(const QString& path, const std::function<void(PieceSink&)>& produce,
                         const std::string& failureMessage);

// "Impossible d'écrire le fichier " + path: the message of every output but the project file.
[[nodiscard]] std::string cannotWriteMessage(const QString& path);

}  // namespace plk::io
