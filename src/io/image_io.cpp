#include "io/image_io.h"

#include <cstring>

namespace plk::io {

std::optional<QImage> loadImageFile(const QString& path) {
  QImage image;
  if (!image.load(path)) return std::nullopt;
  return image;
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
