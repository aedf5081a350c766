#include "io/text_file.h"

#include "io/file_writer.h"
#include "io/regular_file.h"

namespace plk::io {

void writeTextFile(const QString& path, const QStringList& lines) {
  QByteArray bytes;
  for (const QString& line : lines) {
    bytes += line.toLatin1();
    bytes += "\r\n";
  }
  replaceFile(path, bytes, cannotWriteMessage(path));
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
