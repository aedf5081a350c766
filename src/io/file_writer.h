#pragma once

#include <QByteArray>
#include <QString>
#include <string>

namespace plk::io {

// The one way the programs write a file. The bytes go to a temporary file beside `path`; every
// write and the flush to the disk are checked before the temporary file is renamed over `path`.
// On any failure (a full disk, a folder that cannot be written) nothing is renamed, the former
// file stays byte for byte as it was, and IoError(failureMessage) is thrown.
void replaceFile(const QString& path, const QByteArray& bytes, const std::string& failureMessage);

// "Impossible d'écrire le fichier " + path: the message of every output but the project file.
[[nodiscard]] std::string cannotWriteMessage(const QString& path);

}  // namespace plk::io
