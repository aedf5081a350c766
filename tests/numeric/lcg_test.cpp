#include "numeric/lcg.h"

#include <gtest/gtest.h>

#include <vector>

namespace plk {
namespace {

TEST(LinearCongruentialGenerator, KnownDrawsFromSeedZero) {
  LinearCongruentialGenerator generator;
  std::vector<std::uint32_t> draws;
  for (int i = 0; i < 5; ++i) draws.push_back(generator.next(10));
  EXPECT_EQ(draws, (std::vector<std::uint32_t>{0, 0, 8, 2, 2}));
  generator.setSeed(0);
  EXPECT_EQ(generator.next(10), 0U);
  EXPECT_EQ(generator.seed(), 1U);
}

}  // namespace
}  // namespace plk
