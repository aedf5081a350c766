#include "io/image_io.h"

#include <QFile>
#include <QImageReader>
#include <QtEndian>
#include <cstring>

namespace plk::io {

std::optional<QImage> loadImageFile(const QString& path) {
  QImage image;
  if (!image.load(path)) return std::nullopt;
  return image;
}

namespace {

constexpr int kBmpFileHeaderSize = 14;
constexpr int kOs2InfoHeaderSize = 12;  // BITMAPCOREHEADER: 16-bit sizes, count at offset 10

// The bit count of a BMP header, or nothing when the bytes are not one.
std::optional<int> bmpBitsPerPixel(const QByteArray& header) {
  if (!header.startsWith("BM") || header.size() < kBmpFileHeaderSize + 16) return std::nullopt;
  const char* info = header.constData() + kBmpFileHeaderSize;
  const auto infoSize = qFromLittleEndian<quint32>(info);
  const int countOffset = infoSize == kOs2InfoHeaderSize ? 10 : 14;
  return qFromLittleEndian<quint16>(info + countOffset);
}

}  // namespace

int storedBitsPerPixel(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return 0;
  if (const std::optional<int> bits = bmpBitsPerPixel(file.read(kBmpFileHeaderSize + 16))) {
    return *bits;
  }
  file.close();
  const QImage::Format format = QImageReader(path).imageFormat();
  return format == QImage::Format_Invalid ? 0 : QImage::toPixelFormat(format).bitsPerPixel();
}

GreyImage toGreyImage(const QImage& eightBitImage) {
  if (eightBitImage.depth() != 8) return GreyImage();
  GreyImage grey(eightBitImage.width(), eightBitImage.height());
  for (int r = 0; r < grey.height(); ++r) {
    std::memcpy(grey.row(r), eightBitImage.constScanLine(r),
                static_cast<std::size_t>(grey.width()));
  }
  return grey;
}

}  // namespace plk::io
