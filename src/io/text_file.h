#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace plk::io {

// Writes the lines as ISO-8859-1, each ended by CR LF, through a temporary file renamed into
// place. Throws IoError (a French sentence naming the path) and leaves any previous file intact.
void writeTextFile(const QString& path, const QStringList& lines);

// Reads an ISO-8859-1 text file (CR LF or LF line ends); nothing when it cannot be read.
[[nodiscard]] std::optional<QStringList> readTextFile(const QString& path);

}  // namespace plk::io
