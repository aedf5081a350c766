#include "io/text_file.h"

#include <QSaveFile>

#include "io/io_error.h"
#include "io/regular_file.h"

namespace plk::io {

void writeTextFile(const QString& path, const QStringList& lines) {
  QByteArray bytes;
  for (const QString& line : lines) {
    bytes += line.toLatin1();
    bytes += "\r\n";
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    throw IoError("Impossible d'écrire le fichier " + path.toStdString());
  }
}

std::optional<QStringList> readTextFile(const QString& path) {
  const std::optional<QByteArray> bytes = readRegularFile(path, kMaxTextFileBytes);
  if (!bytes) return std::nullopt;
  return textLines(*bytes);
}

QStringList textLines(const QByteArray& bytes) {
  QStringList lines = QString::fromLatin1(bytes).split(QLatin1Char('\n'));
  if (lines.back().isEmpty()) lines.removeLast();
  for (QString& line : lines) {
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
  }
  return lines;
}

}  // namespace plk::io
