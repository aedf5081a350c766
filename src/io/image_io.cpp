#include "io/image_io.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QtEndian>
#include <cstring>

#include "io/regular_file.h"

namespace plk::io {

namespace {

constexpr int kBmpFileHeaderSize = 14;
constexpr int kOs2InfoHeaderSize = 12;  // BITMAPCOREHEADER: 16-bit sizes, count at offset 10

// Deflate stores at most about 1032 bytes in one, and run-length codes 255 pixels in two bytes;
// only skip codes, which leave pixels undefined, go further. A header claiming more pixels per
// byte of file than this describes a picture the file does not hold.
constexpr qint64 kMaxPixelsPerFileByte = 4096;

// The bit count of a BMP header, or nothing when the bytes are not one.
std::optional<int> bmpBitsPerPixel(const QByteArray& header) {
  if (!header.startsWith("BM") || header.size() < kBmpFileHeaderSize + 16) return std::nullopt;
  const char* info = header.constData() + kBmpFileHeaderSize;
  const auto infoSize = qFromLittleEndian<quint32>(info);
  const int countOffset = infoSize == kOs2InfoHeaderSize ? 10 : 14;
  return qFromLittleEndian<quint16>(info + countOffset);
}

bool isAcceptableSize(const QSize& size, qint64 fileBytes) {
  const qint64 pixels = qint64{size.width()} * size.height();
  return pixels <= kMaxImagePixels && pixels <= kMaxPixelsPerFileByte * fileBytes;
}

std::optional<DecodedImage> readImage(QIODevice& device) {
  const std::optional<int> headerBits = bmpBitsPerPixel(device.peek(kBmpFileHeaderSize + 16));
  QImageReader reader(&device);
  const QSize claimed = reader.size();
  if (claimed.isValid() && !isAcceptableSize(claimed, device.size())) return std::nullopt;
  QImage image;
  if (!reader.read(&image) || !isAcceptableSize(image.size(), device.size())) return std::nullopt;
  const int bits = image.depth() == 8 ? headerBits.value_or(8) : image.depth();
  return DecodedImage{std::move(image), bits};
}

}  // namespace

void limitImageAllocation() {
  constexpr qint64 kBytesPerMegabyte = 1024 * 1024;
  QImageReader::setAllocationLimit(static_cast<int>(kMaxImagePixels * 4 / kBytesPerMegabyte));
}

std::optional<DecodedImage> loadImageFile(const QString& path) {
  if (!isRegularFile(path)) return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return readImage(file);
}

std::optional<DecodedImage> decodeImage(const QByteArray& bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  if (!buffer.open(QIODevice::ReadOnly)) return std::nullopt;
  return readImage(buffer);
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
