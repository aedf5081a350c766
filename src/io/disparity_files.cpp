#include "io/disparity_files.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QStringList>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "io/file_writer.h"
#include "io/io_error.h"
#include "io/text_file.h"

namespace plk::io {

namespace {

constexpr double kKittiScale = 256.0;
constexpr double kKittiLargest = 65535.0;

[[noreturn]] void failWriting(const QString& path) { throw IoError(cannotWriteMessage(path)); }

// The picture is encoded in memory first, so that the file is written, checked and committed
// in one piece.
void saveImage(const QString& path, const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, format)) {
    failWriting(path);
  }
  replaceFile(path, bytes, cannotWriteMessage(path));
}

QImage toQImage(const ColourImage& picture) {
  QImage image(picture.width, picture.height, QImage::Format_RGB32);
  if (image.isNull()) return image;
  for (int r = 0; r < picture.height; ++r) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(r));
    for (int c = 0; c < picture.width; ++c) {
      const Bgr0 pixel = picture.at(r, c);
      line[c] = qRgb(pixel.red, pixel.green, pixel.blue);
    }
  }
  return image;
}

QStringList textLines(const std::vector<std::string>& text) {
  QStringList lines;
  lines.reserve(static_cast<qsizetype>(text.size()));
  for (const std::string& line : text) lines << QString::fromStdString(line);
  return lines;
}

void appendLittleEndian(QByteArray& bytes, float value) {
  auto bits = std::bit_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) {
    bytes.append(static_cast<char>(bits & 0xFFU));
    bits >>= 8U;
  }
}

}  // namespace

QStringList writeDisparityFiles(const QString& folder, const DisparityMaps& maps) {
  const QStringList names{QStringLiteral("carte.bmp"), QStringLiteral("disparites.txt"),
                          QStringLiteral("carte1.bmp"), QStringLiteral("carte1gris.bmp"),
                          QStringLiteral("carte1occ.bmp")};
  const QDir dir(folder);
  saveImage(dir.filePath(names[0]), toQImage(maps.fineMap), "BMP");
  writeTextFile(dir.filePath(names[1]), textLines(maps.text));
  saveImage(dir.filePath(names[2]), toQImage(maps.map), "BMP");
  saveImage(dir.filePath(names[3]), toQImage(maps.greyMap), "BMP");
  saveImage(dir.filePath(names[4]), toQImage(maps.occlusionMask), "BMP");
  return names;
}

void writeFineOcclusions(const QString& path, const DisparityMaps& maps) {
  ColourImage picture(maps.fineMap.width, maps.fineMap.height);
  for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
    const std::uint8_t level = maps.fineOcclusions[i];
    picture.pixels[i] = Bgr0{level, level, level, 0};
  }
  saveImage(path, toQImage(picture), "BMP");
}

void writePfm(const QString& path, int width, int height, const std::vector<double>& disparities) {
  QByteArray bytes = QStringLiteral("Pf\n%1 %2\n-1\n").arg(width).arg(height).toLatin1();
  bytes.reserve(bytes.size() + static_cast<qsizetype>(disparities.size()) * 4);
  for (int r = height - 1; r >= 0; --r) {
    for (int c = 0; c < width; ++c) {
      appendLittleEndian(bytes,
                         static_cast<float>(disparities[static_cast<std::size_t>(r) * width + c]));
    }
  }
  replaceFile(path, bytes, cannotWriteMessage(path));
}

std::int64_t writeKittiPng(const QString& path, int width, int height,
                           const std::vector<double>& disparities) {
  QImage image(width, height, QImage::Format_Grayscale16);
  if (image.isNull()) failWriting(path);
  std::int64_t outOfRange = 0;
  for (int r = 0; r < height; ++r) {
    auto* line = reinterpret_cast<quint16*>(image.scanLine(r));
    for (int c = 0; c < width; ++c) {
      const double d = disparities[static_cast<std::size_t>(r) * width + c];
      const double value = std::nearbyint(kKittiScale * d);
      if (d == kNoDisparity) {
        line[c] = 0;
      } else if (!(value <= kKittiLargest)) {
        line[c] = 0;
        ++outOfRange;
      } else {
        line[c] = static_cast<quint16>(std::max(value, 1.0));
      }
    }
  }
  saveImage(path, image, "PNG");
  return outOfRange;
}

}  // namespace plk::io
