#include "io/image_io.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QtEndian>
#include <utility>
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

// Rounded luma of channels 0..maxChannel, scaled to 0..255: one rounding of the exact value.
std::uint8_t luma(std::uint64_t red, std::uint64_t green, std::uint64_t blue,
                  std::uint64_t maxChannel) {
  const std::uint64_t weighted = (299 * red + 587 * green + 114 * blue) * 255;
  const std::uint64_t divisor = 1000 * maxChannel;
  return static_cast<std::uint8_t>((weighted + divisor / 2) / divisor);
}

GreyImage fromSixteenBits(const QImage& image) {
  GreyImage grey(image.width(), image.height());
  for (int r = 0; r < grey.height(); ++r) {
    const auto* line = reinterpret_cast<const quint16*>(image.constScanLine(r));
    for (int c = 0; c < grey.width(); ++c) grey.set(r, c, luma(line[c], line[c], line[c], 65535));
  }
  return grey;
}

// Channels of 16 bits keep a 16-bit colour image's precision; others are read at 8 bits.
GreyImage fromColour(const QImage& image) {
  GreyImage grey(image.width(), image.height());
  if (image.depth() > 32) {
    const QImage wide = image.convertToFormat(QImage::Format_RGBA64);
    for (int r = 0; r < grey.height(); ++r) {
      const auto* line = reinterpret_cast<const QRgba64*>(wide.constScanLine(r));
      for (int c = 0; c < grey.width(); ++c) {
        grey.set(r, c, luma(line[c].red(), line[c].green(), line[c].blue(), 65535));
      }
    }
    return grey;
  }
  const QImage narrow = image.convertToFormat(QImage::Format_ARGB32);
  for (int r = 0; r < grey.height(); ++r) {
    const auto* line = reinterpret_cast<const QRgb*>(narrow.constScanLine(r));
    for (int c = 0; c < grey.width(); ++c) {
      grey.set(r, c, luma(qRed(line[c]), qGreen(line[c]), qBlue(line[c]), 255));
    }
  }
  return grey;
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

std::optional<GreyPicture> greyPicture(const DecodedImage& decoded) {
  const QImage& image = decoded.image;
  if (decoded.storedBitsPerPixel == 8) return GreyPicture{toGreyImage(image), GreyConversion::None};
  if (image.format() == QImage::Format_Grayscale16) {
    return GreyPicture{fromSixteenBits(image), GreyConversion::FromSixteenBits};
  }
  if (decoded.storedBitsPerPixel < 8 || image.depth() < 16) return std::nullopt;
  return GreyPicture{fromColour(image), GreyConversion::FromColour};
}

std::vector<std::string> conversionLines(GreyConversion left, GreyConversion right) {
  std::vector<std::string> lines;
  for (const auto& [conversion, side] : {std::pair{left, "gauche"}, std::pair{right, "droite"}}) {
    const std::string image = std::string("Image ") + side;
    if (conversion == GreyConversion::FromColour) {
      lines.push_back(image + " convertie en niveaux de gris 8 bits (image en couleurs).");
    } else if (conversion == GreyConversion::FromSixteenBits) {
      lines.push_back(image + " convertie en niveaux de gris 8 bits (image en gris sur 16 bits).");
    }
  }
  return lines;
}

}  // namespace plk::io
