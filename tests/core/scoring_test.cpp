#include "core/scoring.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace plk {
namespace {

constexpr double kNone = std::numeric_limits<double>::infinity();

TEST(ScoreDisparities, CoverageErrorsAndBadPixelsOverPixelsKnownInBoth) {
  // Errors 0, 0.5, 1.5 and 3 on four scored pixels; one truth pixel the map misses, one map
  // pixel the truth does not know.
  const DisparityField truth{3, 2, {10, 10, 10, 10, 10, kNone}};
  const DisparityField map{3, 2, {10, 10.5, 8.5, 13, kNone, 4}};
  const DisparityScore score = scoreDisparities(map, truth, {});
  EXPECT_EQ(score.groundTruthPixels, 5);
  EXPECT_EQ(score.scoredPixels, 4);
  EXPECT_DOUBLE_EQ(score.coverage, 0.8);
  EXPECT_DOUBLE_EQ(score.meanAbsoluteError, 5.0 / 4);
  EXPECT_DOUBLE_EQ(score.rootMeanSquareError, std::sqrt((0.25 + 2.25 + 9) / 4));
  // A pixel is bad when its error exceeds the threshold: 0.5 is not bad at 0.5.
  EXPECT_DOUBLE_EQ(score.badPixelRates[0], 2.0 / 4);
  EXPECT_DOUBLE_EQ(score.badPixelRates[1], 2.0 / 4);
  EXPECT_DOUBLE_EQ(score.badPixelRates[2], 1.0 / 4);
}

TEST(ScoreDisparities, TheMaskLeavesPixelsOutAndNothingScoredGivesZeros) {
  const DisparityField truth{2, 1, {10, 10}};
  const DisparityField map{2, 1, {11, 10}};
  const std::vector<std::uint8_t> mask{0, 1};
  const DisparityScore masked = scoreDisparities(map, truth, mask);
  EXPECT_EQ(masked.scoredPixels, 1);
  EXPECT_EQ(masked.meanAbsoluteError, 0.0);
  const DisparityScore none = scoreDisparities(DisparityField{2, 1, {kNone, kNone}}, truth, {});
  EXPECT_EQ(none.scoredPixels, 0);
  EXPECT_EQ(none.coverage, 0.0);
}

}  // namespace
}  // namespace plk
