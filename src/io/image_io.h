#pragma once

#include <QImage>
#include <QString>
#include <optional>

#include "core/grey_image.h"

namespace plk::io {

// Any format the image readers know; nothing when the file cannot be read as an image.
[[nodiscard]] std::optional<QImage> loadImageFile(const QString& path);

// Bits per pixel as stored in the file: for a BMP the header's count (the toolkit expands 1- and
// 4-bit BMPs to 8-bit images), for other formats what the reader reports before decoding; 0 when
// the file cannot be read as an image.
[[nodiscard]] int storedBitsPerPixel(const QString& path);

// The pixel codes of an 8-bit image (palette indices or grey values), palette not consulted;
// an image of another depth gives an empty GreyImage.
[[nodiscard]] GreyImage toGreyImage(const QImage& eightBitImage);

}  // namespace plk::io
