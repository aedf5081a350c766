#include "numeric/fmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace plk::fmath {
namespace {

TEST(MachineConstants, EpsilonIsTwoToMinusFiftyTwo) {
  EXPECT_EQ(machineEpsilon, std::ldexp(1.0, -52));
  EXPECT_LT(maxNum, std::numeric_limits<double>::max());
  EXPECT_NEAR(minNum, 5.562684646268e-309, 1e-321);
  EXPECT_NEAR(maxLog, std::log(maxNum), 1e-12);
  EXPECT_NEAR(minLog, std::log(std::ldexp(1.0, -1022)), 1e-12);
}

TEST(Helpers, SignTransferSignAndOrder) {
  EXPECT_EQ(signTransfer(0.0, -3.0), 3.0);
  EXPECT_EQ(signTransfer(-1e-300, 3.0), -3.0);
  EXPECT_EQ(sign(-2.5), -1.0);
  EXPECT_EQ(sign(0.0), 1.0);
  setSignOfZero(-1.0);
  EXPECT_EQ(sign(0.0), -1.0);
  setSignOfZero(1.0);
  EXPECT_EQ(minimum(-3, 2), -3);
  EXPECT_EQ(maximum(-3.0, 2.0), 2.0);
  double a = 1.0;
  double b = 2.0;
  swap(a, b);
  EXPECT_EQ(a, 2.0);
  EXPECT_EQ(b, 1.0);
}

TEST(Logarithm, OutsideTheDomainGivesMinusMaxNum) {
  EXPECT_EQ(logarithm(0.0), -maxNum);
  EXPECT_EQ(lastError(), MathError::Singularity);
  EXPECT_EQ(logarithm(-1.0), -maxNum);
  EXPECT_EQ(lastError(), MathError::Domain);
  EXPECT_EQ(logarithm(1.0), 0.0);
  EXPECT_EQ(lastError(), MathError::None);
  EXPECT_EQ(logarithm2(0.0), -maxNum);
  EXPECT_EQ(lastError(), MathError::Singularity);
  EXPECT_NEAR(logarithm2(1024.0), 10.0, 1e-14);
}

TEST(Exponential, GuardsBothEndsOfTheRange) {
  EXPECT_EQ(exponential(710.0), maxNum);
  EXPECT_EQ(lastError(), MathError::Overflow);
  EXPECT_EQ(exponential(-709.0), 0.0);
  EXPECT_EQ(lastError(), MathError::Underflow);
  EXPECT_NEAR(exponential(709.0), 8.218407461554972e307, 1e293);
  EXPECT_EQ(lastError(), MathError::None);
}

TEST(IntPower, SquareAndMultiplyOnReciprocals) {
  EXPECT_EQ(intPower(2.0, 10), 1024.0);
  EXPECT_EQ(intPower(-2.0, 3), -8.0);
  EXPECT_EQ(intPower(2.0, -2), 0.25);
  EXPECT_EQ(intPower(0.5, -3), 8.0);
  // Bases above 1 in magnitude are inverted first: 5^3 is 1 / (1/5)^3, not 5 * 5 * 5.
  EXPECT_EQ(intPower(5.0, 3), 124.99999999999997);
  EXPECT_EQ(intPower(0.0, 3), 0.0);
  EXPECT_EQ(intPower(0.0, -1), maxNum);
  EXPECT_EQ(lastError(), MathError::Singularity);
  // (1/2)^1100 underflows to 0 before the inversion: reported as overflow, signed by sign(0).
  EXPECT_EQ(intPower(2.0, 1100), maxNum);
  EXPECT_EQ(lastError(), MathError::Overflow);
  EXPECT_EQ(intPower(2.0, -1075), 0.0);
  EXPECT_EQ(lastError(), MathError::None);
}

TEST(Power, SpecialCasesIntegersAndDomain) {
  EXPECT_EQ(power(-8.0, 1.0 / 3.0), 0.0);
  EXPECT_EQ(lastError(), MathError::Domain);
  EXPECT_EQ(power(-8.0, 3.0), -512.0);
  EXPECT_EQ(lastError(), MathError::None);
  EXPECT_EQ(power(0.0, -2.0), maxNum);
  EXPECT_EQ(lastError(), MathError::Singularity);
  EXPECT_EQ(power(0.0, 0.0), 1.0);
  EXPECT_EQ(power(0.0, 2.5), 0.0);
  EXPECT_EQ(power(-7.0, 1.0), -7.0);
  EXPECT_EQ(power(10.0, 400.5), maxNum);
  EXPECT_EQ(lastError(), MathError::Overflow);
  EXPECT_EQ(power(10.0, -400.5), 0.0);
  EXPECT_EQ(lastError(), MathError::Underflow);
  EXPECT_NEAR(power(machineEpsilon, 0.333), 6.13e-6, 0.01e-6);
  // Non-integral exponents go through e^(y ln x).
  EXPECT_EQ(power(machineEpsilon, 0.333), std::exp(0.333 * std::log(machineEpsilon)));
  EXPECT_EQ(power(5.0, 3.0), 124.99999999999997);
}

TEST(Hypotenuse, NoIntermediateOverflow) {
  EXPECT_DOUBLE_EQ(hypotenuse(3e200, 4e200), 5e200);
  EXPECT_DOUBLE_EQ(hypotenuse(-3e-200, 4e-200), 5e-200);
  EXPECT_EQ(hypotenuse(0.0, 0.0), 0.0);
  EXPECT_EQ(hypotenuse(0.0, -2.0), 2.0);
}

}  // namespace
}  // namespace plk::fmath
