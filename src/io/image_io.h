#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/grey_image.h"

namespace plk::io {

// The most pixels an image may have: the gradients alone take 16 bytes a pixel and side, so a
// pair of this size already needs 2 GB.
inline constexpr qint64 kMaxImagePixels = qint64{1} << 26;

// Sets the toolkit's own ceiling on the memory of one decoded image (a 32-bit picture of
// kMaxImagePixels); called once at start-up.
void limitImageAllocation();

// A decoded image with the bits per pixel its file stores: for a BMP the header's count (the
// toolkit expands 1- and 4-bit BMPs to 8-bit images), for other formats the decoded depth.
struct DecodedImage {
  QImage image;
  int storedBitsPerPixel = 0;
};

// Any format the image readers know, from a regular file; nothing when the file cannot be read
// as an image, or when its header claims more pixels than kMaxImagePixels or than its bytes can
// hold. Sizes are checked before any pixel is decoded.
[[nodiscard]] std::optional<DecodedImage> loadImageFile(const QString& path);

// The same from bytes in memory.
[[nodiscard]] std::optional<DecodedImage> decodeImage(const QByteArray& bytes);

// The pixel codes of an 8-bit image (palette indices or grey values), palette not consulted;
// an image of another depth gives an empty GreyImage.
[[nodiscard]] GreyImage toGreyImage(const QImage& eightBitImage);

// How an image became the 8-bit grey image the tools read.
enum class GreyConversion : std::int32_t {
  None,             // an 8-bit image: its pixel codes, as toGreyImage gives them
  FromColour,       // colour: 0.299 R + 0.587 G + 0.114 B (BT.601 luma), rounded
  FromSixteenBits,  // 16-bit grey: v * 255 / 65535, rounded
};

struct GreyPicture {
  GreyImage image;
  GreyConversion conversion = GreyConversion::None;
};

// The grey image the tools read from a decoded image: its codes when the file stores 8 bits a
// pixel, the luma of a colour image, or a 16-bit grey image scaled to 8 bits. Nothing for the
// images of 1, 2 or 4 bits a pixel, which the program refuses.
[[nodiscard]] std::optional<GreyPicture> greyPicture(const DecodedImage& decoded);

// One report line for each image of the pair that was converted, left first: "Image gauche
// convertie en niveaux de gris 8 bits (image en couleurs)."
[[nodiscard]] std::vector<std::string> conversionLines(GreyConversion left, GreyConversion right);

}  // namespace plk::io
