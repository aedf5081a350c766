#include "numeric/fmath.h"

#include <gtest/gtest.h>

#include <cmath>

namespace plk::fmath {
namespace {

TEST(MachineConstants, EpsilonIsTwoToMinusFiftyTwo) {
  EXPECT_EQ(machineEpsilon, std::ldexp(1.0, -52));
}

}  // namespace
}  // namespace plk::fmath
