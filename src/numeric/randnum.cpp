#include "numeric/randnum.h"

namespace plk {

namespace {
constexpr std::uint32_t kLowMask = 0xFFFFU;
constexpr double kHalfRange = 2147483648.0;  // 2^31
constexpr double kFullRange = 4294967296.0;  // 2^32
}  // namespace

void MultiplyWithCarry::seed(std::uint32_t x0, std::uint32_t y0) {
  x_ = x0;
  y_ = y0;
  cx_ = 0;
  cy_ = 0;
}

std::uint32_t MultiplyWithCarry::nextInt32() {
  const std::uint32_t tx = 18000U * x_ + cx_;
  x_ = tx & kLowMask;
  cx_ = tx >> 16;
  const std::uint32_t ty = 30903U * y_ + cy_;
  y_ = ty & kLowMask;
  cy_ = ty >> 16;
  return (x_ << 16) + y_;
}

double MultiplyWithCarry::nextUniform() {
  const auto signedPattern = static_cast<std::int32_t>(nextInt32());
  return (static_cast<double>(signedPattern) + kHalfRange) / kFullRange;
}

MultiplyWithCarry& annealerGenerator() {
  static MultiplyWithCarry generator(1802U, 9373U);
  return generator;
}

void seedRandom(std::uint32_t x0, std::uint32_t y0) { annealerGenerator().seed(x0, y0); }

std::uint32_t randomInt32() { return annealerGenerator().nextInt32(); }

double randomUniform() { return annealerGenerator().nextUniform(); }

}  // namespace plk
