#include "numeric/randnum.h"

#include <gtest/gtest.h>

namespace plk {
namespace {

TEST(MultiplyWithCarry, KnownAnswersFromTheStartUpSeeds) {
  seedRandom(1802, 9373);
  EXPECT_EQ(randomInt32(), 4011902011U);
  seedRandom(1802, 9373);
  EXPECT_EQ(randomUniform(), 0.43409372749738395);
}

TEST(MultiplyWithCarry, ModuleGeneratorFollowsAFreshlySeededOne) {
  MultiplyWithCarry fresh(7, 11);
  seedRandom(7, 11);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(randomInt32(), fresh.nextInt32()) << i;
  fresh.seed(7, 11);
  seedRandom(7, 11);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(randomUniform(), fresh.nextUniform()) << i;
}

TEST(MultiplyWithCarry, UniformDrawsStayInTheHalfOpenUnitInterval) {
  MultiplyWithCarry generator(1802, 9373);
  double sum = 0.0;
  constexpr int kDraws = 200000;
  for (int i = 0; i < kDraws; ++i) {
    const double u = generator.nextUniform();
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
    sum += u;
  }
  EXPECT_NEAR(sum / kDraws, 0.5, 0.005);
}

}  // namespace
}  // namespace plk
