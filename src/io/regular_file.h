#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace plk::io {

// Whether the path names a regular file (symbolic links followed). Directories, devices such as
// /dev/zero and named pipes are not: reading one never ends or blocks until a writer comes.
[[nodiscard]] bool isRegularFile(const QString& path);

// The whole content of a regular file of at most `maxBytes` bytes; nothing for any other path,
// a larger file or a read error.
[[nodiscard]] std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes);

}  // namespace plk::io
