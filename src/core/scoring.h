#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace plk {

// A dense disparity field, row-major. A value that is not finite marks an unknown pixel.
struct DisparityField {
  int width = 0;
  int height = 0;
  std::vector<double> values;
};

// Thresholds of the bad-pixel rates, in pixels.
inline constexpr std::array<double, 3> kBadPixelThresholds{0.5, 1.0, 2.0};

// Accuracy of a disparity map against a ground truth, over the pixels the mask allows. The
// error measures and rates are taken over the scored pixels (known in both); a pixel is bad
// when its absolute error exceeds the threshold, as the Middlebury and KITTI benchmarks count.
struct DisparityScore {
  std::int64_t groundTruthPixels = 0;  // known in the ground truth
  std::int64_t scoredPixels = 0;       // known in the ground truth and in the map
  double coverage = 0.0;               // scoredPixels / groundTruthPixels
  double meanAbsoluteError = 0.0;
  double rootMeanSquareError = 0.0;
  std::array<double, kBadPixelThresholds.size()> badPixelRates{};  // fractions of scoredPixels
};

// The map and the ground truth have the same size; `mask` is empty (every pixel) or holds one
// byte per pixel, non-zero where the pixel is scored.
[[nodiscard]] DisparityScore scoreDisparities(const DisparityField& map,
                                              const DisparityField& truth,
                                              std::span<const std::uint8_t> mask);

}  // namespace plk
