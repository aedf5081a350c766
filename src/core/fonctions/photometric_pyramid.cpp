#include <algorithm>

#include "core/fonctions/photometric_detail.h"

namespace plk {

namespace {

PyramidImage halved(const PyramidImage& image) {
  PyramidImage half(image.rows() / 2, image.columns() / 2);
  for (int r = 0; r < half.rows(); ++r) {
    for (int c = 0; c < half.columns(); ++c) {
      half.set(r, c,
               0.25f * (image.at(2 * r, 2 * c) + image.at(2 * r, 2 * c + 1) +
                        image.at(2 * r + 1, 2 * c) + image.at(2 * r + 1, 2 * c + 1)));
    }
  }
  return half;
}

// The image smoothed by the binomial kernel [1 2 1] / 4 along rows and columns, edges repeated.
// Interpolating a noisy image averages its noise more at half-pixel positions than at whole
// ones, which pulls an intensity fit towards half-pixel shifts; once both images are smoothed
// alike the interpolation barely changes the noise left and the pull vanishes.
PyramidImage smoothed(const PyramidImage& image) {
  const int rows = image.rows();
  const int columns = image.columns();
  PyramidImage across(rows, columns);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const double left = image.at(r, std::max(0, c - 1));
      const double right = image.at(r, std::min(columns - 1, c + 1));
      across.set(r, c, static_cast<float>((left + 2.0 * image.at(r, c) + right) / 4.0));
    }
  }
  PyramidImage result(rows, columns);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const double up = across.at(std::max(0, r - 1), c);
      const double down = across.at(std::min(rows - 1, r + 1), c);
      result.set(r, c, static_cast<float>((up + 2.0 * across.at(r, c) + down) / 4.0));
    }
  }
  return result;
}

std::vector<PyramidImage> pyramidOf(const GreyImage& image) {
  std::vector<PyramidImage> levels;
  PyramidImage raw(image.height(), image.width());
  for (int r = 0; r < image.height(); ++r) {
    for (int c = 0; c < image.width(); ++c) raw.set(r, c, image.at(r, c));
  }
  levels.push_back(smoothed(raw));
  for (int level = 1; level < photometric_detail::kLevels; ++level)
    levels.push_back(halved(levels.back()));
  return levels;
}

}  // namespace

PhotometricImages::PhotometricImages(const GreyImage& leftImage, const GreyImage& rightImage)
    : left(pyramidOf(leftImage)), right(pyramidOf(rightImage)) {}

namespace photometric_detail {

std::vector<PixelPosition> spreadSample(std::span<const PixelPosition> pixels, std::size_t limit) {
  const std::size_t stride = std::max<std::size_t>(1, (pixels.size() + limit - 1) / limit);
  std::vector<PixelPosition> sample;
  for (std::size_t i = 0; i < pixels.size(); i += stride) sample.push_back(pixels[i]);
  return sample;
}

}  // namespace photometric_detail

}  // namespace plk
