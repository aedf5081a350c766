#include "core/fonctions/sampling.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/fonctions/sampling_detail.h"

namespace plk {
namespace {

IntMatrix matrixOf(int rows, int columns, int (*value)(int, int)) {
  IntMatrix m(rows, columns);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) m(r, c) = value(r, c);
  }
  return m;
}

InterestPointList samples(const std::vector<double>& values) {
  InterestPointList list(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) list[i].score = values[i];
  return list;
}

TEST(HalfWidth, RoundsHalvesToEven) {
  EXPECT_EQ(halfWidth(11), 5);
  EXPECT_EQ(halfWidth(10), 4);
  EXPECT_EQ(halfWidth(12), 6);
  EXPECT_EQ(halfWidth(1), 0);
  EXPECT_EQ(halfWidth(2), 0);
}

TEST(BicubicSample, ExactAtIntegersConstantOnFlatPatchesLinearOnRamps) {
  const IntMatrix noisy = matrixOf(8, 9, [](int r, int c) { return (r * 37 + c * 91) % 251; });
  for (int r = 1; r <= 5; ++r) {
    for (int c = 1; c <= 6; ++c) EXPECT_EQ(bicubicSample(noisy, r, c), noisy(r, c));
  }
  const IntMatrix flat = matrixOf(6, 6, [](int, int) { return 77; });
  for (const double u : {1.0, 1.25, 2.5, 2.999}) {
    for (const double v : {1.0, 1.5, 2.75}) EXPECT_DOUBLE_EQ(bicubicSample(flat, u, v), 77.0);
  }
  // Cubic convolution with parameter -0.5 reproduces linear functions.
  const IntMatrix ramp = matrixOf(7, 7, [](int r, int c) { return 3 * r + 2 * c; });
  EXPECT_NEAR(bicubicSample(ramp, 2.3, 3.7), 3 * 2.3 + 2 * 3.7, 1e-12);
}

TEST(BicubicSample, FloorsNegativeFractionsAndWeighsAsCatmullRom) {
  // Only the pixel (2, 2) is set: at (2.5, 2) the weight of offset 0 at fraction 0.5 applies.
  const IntMatrix spike = matrixOf(6, 6, [](int r, int c) { return r == 2 && c == 2 ? 64 : 0; });
  EXPECT_DOUBLE_EQ(bicubicSample(spike, 2.5, 2.0), 64.0 * 0.5625);
  EXPECT_DOUBLE_EQ(bicubicSample(spike, 1.5, 2.0), 64.0 * 0.5625);
  EXPECT_DOUBLE_EQ(bicubicSample(spike, 3.5, 2.0), 64.0 * -0.0625);
}

TEST(CorrelationScore, GainOffsetSignAndFlatWindows) {
  const std::vector<double> a{3, 7, 1, 9, 4, 4, 0, 12, 5};
  std::vector<double> gain;
  std::vector<double> negated;
  for (const double x : a) {
    gain.push_back(2.0 * x + 10.0);
    negated.push_back(-x);
  }
  EXPECT_NEAR(correlationScore(samples(a), samples(gain)), 1.0, 1e-15);
  EXPECT_NEAR(correlationScore(samples(a), samples(negated)), -1.0, 1e-15);
  const InterestPointList flat = samples(std::vector<double>(9, 42.0));
  EXPECT_EQ(correlationScore(flat, samples(a)), 0.0);
  EXPECT_EQ(correlationScore(samples(a), flat), 0.0);
  EXPECT_EQ(correlationScore(flat, flat), 0.0);
}

TEST(CorrelationScore, ReadsOnlyTheLengthOfTheFirstWindowAndChangesNeither) {
  const InterestPointList a = samples({1, 2, 3});
  const InterestPointList b = samples({2, 4, 6, -1000});
  EXPECT_NEAR(correlationScore(a, b), 1.0, 1e-15);
  EXPECT_EQ(a[0].score, 1.0);
  EXPECT_EQ(b[3].score, -1000.0);
}

TEST(FindMaxScore, FirstOfEqualMaximaWithItsPosition) {
  InterestPointList list = samples({0.5, 0.9, 0.9});
  list[1].u = 7.0;
  const InterestPoint best = findMaxScore(list);
  EXPECT_EQ(best.ordinal, 1);
  EXPECT_EQ(best.score, 0.9);
  EXPECT_EQ(best.u, 7.0);
  EXPECT_EQ(findMaxScore({}).score, -100000.0);
}

}  // namespace
}  // namespace plk
