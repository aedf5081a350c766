#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace plk::io {

// Writes the lines as ISO-8859-1, each ended by CR LF, through a temporary file renamed into
// place. Throws IoError (a French sentence naming the path) and leaves any previous file intact.
void writeTextFile(const QString& path, const QStringList& lines);

// The largest text file read: a disparity listing of the largest image takes under 1 GB.
inline constexpr qint64 kMaxTextFileBytes = qint64{1} << 30;

// Reads an ISO-8859-1 text file (CR LF or LF line ends); nothing when the path is not a regular
// file, is larger than kMaxTextFileBytes or cannot be read.
[[nodiscard]] std::optional<QStringList> readTextFile(const QString& path);

// The lines of ISO-8859-1 text, CR LF or LF ended; a last line without an end counts.
[[nodiscard]] QStringList textLines(const QByteArray& bytes);

}  // namespace plk::io
