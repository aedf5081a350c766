#include "core/scoring.h"

#include <cmath>

namespace plk {

DisparityScore scoreDisparities(const DisparityField& map, const DisparityField& truth,
                                std::span<const std::uint8_t> mask) {
  DisparityScore score;
  double absoluteSum = 0.0;
  double squareSum = 0.0;
  std::array<std::int64_t, kBadPixelThresholds.size()> bad{};
  for (std::size_t i = 0; i < truth.values.size(); ++i) {
    if (!std::isfinite(truth.values[i]) || (!mask.empty() && mask[i] == 0)) continue;
    ++score.groundTruthPixels;
    if (!std::isfinite(map.values[i])) continue;
    ++score.scoredPixels;
    const double error = std::fabs(map.values[i] - truth.values[i]);
    absoluteSum += error;
    squareSum += error * error;
    for (std::size_t t = 0; t < bad.size(); ++t) {
      if (error > kBadPixelThresholds[t]) ++bad[t];
    }
  }
  if (score.groundTruthPixels > 0) {
    score.coverage = double(score.scoredPixels) / double(score.groundTruthPixels);
  }
  if (score.scoredPixels == 0) return score;
  const auto scored = double(score.scoredPixels);
  score.meanAbsoluteError = absoluteSum / scored;
  score.rootMeanSquareError = std::sqrt(squareSum / scored);
  for (std::size_t t = 0; t < bad.size(); ++t) score.badPixelRates[t] = double(bad[t]) / scored;
  return score;
}

}  // namespace plk
