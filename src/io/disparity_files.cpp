#include "io/disparity_files.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <algorithm>
#include <bit>
#include <cmath>
#include <string>

#include "io/file_writer.h"
#include "io/io_error.h"

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

// The BMP fields Qt writes for a 24-bit picture of this size, so that the streamed file is byte
// for byte what QImage would save: a 14-byte file header, a 40-byte information header, then
// the rows bottom to top as blue, green, red, each padded with zeros to a multiple of 4 bytes.
constexpr int kBmpHeaderBytes = 14 + 40;

std::size_t bmpRowBytes(int width) { return (static_cast<std::size_t>(width) * 24 + 31) / 32 * 4; }

void appendLittleEndian(std::string& bytes, std::uint32_t value, int byteCount) {
  for (int i = 0; i < byteCount; ++i) {
    bytes += static_cast<char>(value & 0xFFU);
    value >>= 8U;
  }
}

std::string bmpHeader(int width, int height) {
  // A new image carries the default resolution of the platform, which Qt writes in the header.
  const QImage probe(1, 1, QImage::Format_RGB32);
  const auto imageBytes = static_cast<std::uint32_t>(bmpRowBytes(width) * height);
  std::string header = "BM";
  appendLittleEndian(header, kBmpHeaderBytes + imageBytes, 4);
  appendLittleEndian(header, 0, 4);
  appendLittleEndian(header, kBmpHeaderBytes, 4);
  appendLittleEndian(header, 40, 4);
  appendLittleEndian(header, static_cast<std::uint32_t>(width), 4);
  appendLittleEndian(header, static_cast<std::uint32_t>(height), 4);
  appendLittleEndian(header, 1, 2);
  appendLittleEndian(header, 24, 2);
  appendLittleEndian(header, 0, 4);
  appendLittleEndian(header, imageBytes, 4);
  appendLittleEndian(header, static_cast<std::uint32_t>(probe.dotsPerMeterX()), 4);
  appendLittleEndian(header, static_cast<std::uint32_t>(probe.dotsPerMeterY()), 4);
  appendLittleEndian(header, 0, 8);
  return header;
}

// A 24-bit BMP of `pixelAt(index)` for the row-major pixels, written row by row: the picture is
// never encoded whole in memory.
template <typename PixelAt>
void saveBmp(const QString& path, int width, int height, PixelAt pixelAt) {
  const std::string failure = cannotWriteMessage(path);
  replaceFileInPieces(
      path,
      [&](PieceSink& sink) {
        sink.append(bmpHeader(width, height));
        std::string line(bmpRowBytes(width), '\0');
        for (int r = height - 1; r >= 0; --r) {
          const std::size_t start = static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
          for (std::size_t c = 0; c < static_cast<std::size_t>(width); ++c) {
            const Bgr0 pixel = pixelAt(start + c);
            line[3 * c] = static_cast<char>(pixel.blue);
            line[3 * c + 1] = static_cast<char>(pixel.green);
            line[3 * c + 2] = static_cast<char>(pixel.red);
          }
          sink.append(line);
        }
      },
      failure);
}

void saveBmp(const QString& path, const ColourImage& picture) {
  saveBmp(path, picture.width, picture.height,
          [&picture](std::size_t i) { return picture.pixels[i]; });
}

// The lines as they are (digits, separators and spaces: ASCII, the same bytes in ISO-8859-1),
// each ended by CR LF.
void saveText(const QString& path, const std::vector<std::string>& text) {
  replaceFileInPieces(
      path,
      [&text](PieceSink& sink) {
        for (const std::string& line : text) {
          sink.append(line);
          sink.append("\r\n");
        }
      },
      cannotWriteMessage(path));
}

void appendFloat(std::string& bytes, float value) {
  appendLittleEndian(bytes, std::bit_cast<std::uint32_t>(value), 4);
}

}  // namespace

QStringList writeDisparityFiles(const QString& folder, const DisparityMaps& maps) {
  const QStringList names{QStringLiteral("carte.bmp"), QStringLiteral("disparites.txt"),
                          QStringLiteral("carte1.bmp"), QStringLiteral("carte1gris.bmp"),
                          QStringLiteral("carte1occ.bmp")};
  const QDir dir(folder);
  saveBmp(dir.filePath(names[0]), maps.fineMap);
  saveText(dir.filePath(names[1]), maps.text);
  saveBmp(dir.filePath(names[2]), maps.map);
  saveBmp(dir.filePath(names[3]), maps.greyMap);
  saveBmp(dir.filePath(names[4]), maps.occlusionMask);
  return names;
}

void writeFineOcclusions(const QString& path, const DisparityMaps& maps) {
  saveBmp(path, maps.fineMap.width, maps.fineMap.height, [&maps](std::size_t i) {
    const std::uint8_t level = maps.fineOcclusions[i];
    return Bgr0{level, level, level, 0};
  });
}

void writePfm(const QString& path, int width, int height, const std::vector<double>& disparities) {
  replaceFileInPieces(
      path,
      [&](PieceSink& sink) {
        sink.append(QStringLiteral("Pf\n%1 %2\n-1\n").arg(width).arg(height).toStdString());
        std::string line;
        for (int r = height - 1; r >= 0; --r) {
          line.clear();
          for (int c = 0; c < width; ++c) {
            appendFloat(line,
                        static_cast<float>(disparities[static_cast<std::size_t>(r) * width + c]));
          }
          sink.append(line);
        }
      },
      cannotWriteMessage(path));
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
