// The image loader, from bytes to an image or a refusal. An accepted image respects the size
// limits; an 8-bit one goes on to the grey codes and gradients a project computes.
#include "core/fonctions/gradient.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  plk::fuzz::setUp();
  const std::optional<plk::io::DecodedImage> decoded =
      plk::io::decodeImage(plk::fuzz::bytesOf(data, size));
  if (!decoded) return 0;
  const QImage& image = decoded->image;
  const qint64 pixels = qint64{image.width()} * image.height();
  plk::fuzz::require(pixels <= plk::io::kMaxImagePixels, "accepted images respect the limit");
  if (decoded->storedBitsPerPixel != 8) return 0;
  const plk::GreyImage grey = plk::io::toGreyImage(image);
  plk::fuzz::require(grey.width() == image.width() && grey.height() == image.height(),
                     "an 8-bit image gives its grey codes");
  constexpr qint64 kLargestGradientInput = 1 << 16;  // keeps each run fast
  if (pixels <= kLargestGradientInput) {
    const plk::IntMatrix gradient = plk::computeGradient(grey, plk::kSobelX);
    plk::fuzz::require(gradient.rows() == grey.height() + 1, "one gradient row more");
  }
  return 0;
}
