#include "io/regular_file.h"

#include <QFile>
#include <QFileInfo>

namespace plk::io {

bool isRegularFile(const QString& path) { return QFileInfo(path).isFile(); }

std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes) {
  if (!isRegularFile(path)) return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() > maxBytes) return std::nullopt;
  QByteArray bytes = file.readAll();
  if (bytes.size() > maxBytes || file.error() != QFileDevice::NoError) return std::nullopt;
  return bytes;
}

}  // namespace plk::io
