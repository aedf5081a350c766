#include <algorithm>
#include <cmath>
#include <optional>

#include "core/fonctions/photometric_detail.h"
#include "core/fonctions/sampling.h"

namespace plk {

namespace {

// Bicubic sample of an 8-bit image; nothing when the 4 x 4 neighbourhood leaves it.
std::optional<double> sampleGrey(const GreyImage& image, double u, double v) {
  const CubicTap row = cubicTap(u);
  const CubicTap column = cubicTap(v);
  if (row.first < 1 || row.first + 2 >= image.height() || column.first < 1 ||
      column.first + 2 >= image.width()) {
    return std::nullopt;
  }
  return cubicCombine(row, column,
                      [&image](int r, int c) { return static_cast<double>(image.at(r, c)); });
}

}  // namespace

using photometric_detail::CorrelationSums;
using photometric_detail::kMaxSampledPixels;
using photometric_detail::spreadSample;

SweepResult sweepConstantDisparity(const GreyImage& left, const GreyImage& right,
                                   std::span<const PixelPosition> pixels, double lowest,
                                   double highest, double step) {
  SweepResult best;
  const std::vector<PixelPosition> sample = spreadSample(pixels, kMaxSampledPixels);
  const int steps = step > 0.0 ? static_cast<int>(std::floor((highest - lowest) / step + 1e-9)) : 0;
  for (int k = 0; k <= steps; ++k) {
    const double disparity = lowest + k * step;
    CorrelationSums sums;
    for (const PixelPosition& pixel : sample) {
      const std::optional<double> seen = sampleGrey(right, pixel.u, pixel.v - disparity);
      if (seen) sums.add(left.at(pixel.u, pixel.v), *seen);
    }
    // Half of the pixels at least must be seen, so that a score rests on the polygon.
    if (sums.n < std::max(3.0, 0.5 * static_cast<double>(sample.size()))) continue;
    const double correlation = sums.correlation();
    if (!best.found || correlation > best.correlation) best = {true, disparity, correlation};
  }
  return best;
}

}  // namespace plk
