#include "numeric/fmath.h"

#include <cmath>
#include <limits>
#include <optional>

namespace plk::fmath {
namespace {

// Constant-initialised so that other modules may call the guarded functions while they start.
constinit MathError gLastError = MathError::None;
constinit double gSignOfZero = 1.0;

constexpr double kLog2OfE = 1.4426950408889634;

double fail(MathError code, double substitute) {
  gLastError = code;
  return substitute;
}

// The cases both powers share: exponent 0 or 1, and a zero base.
std::optional<double> specialPower(double x, double y) {
  if (x != 0.0) {
    if (y == 0.0) return 1.0;
    if (y == 1.0) return x;
    return std::nullopt;
  }
  if (y == 0.0) return 1.0;
  if (y > 0.0) return 0.0;
  return fail(MathError::Singularity, maxNum);
}

double squareAndMultiply(double x, std::int32_t n) {
  const bool negative = n < 0;
  bool invert = negative;
  if (std::fabs(x) > 1.0) {
    x = 1.0 / x;
    invert = !invert;
  }
  double r = 1.0;
  auto m = static_cast<std::uint32_t>(negative ? -static_cast<std::int64_t>(n) : n);
  while (m > 0) {
    if (m % 2 == 1) r *= x;
    m /= 2;
    if (m > 0) x *= x;
  }
  if (!invert) return r;
  if (std::fabs(r) < minNum) return fail(MathError::Overflow, sign(r) * maxNum);
  return 1.0 / r;
}

}  // namespace

MathError lastError() { return gLastError; }

double signOfZero() { return gSignOfZero; }

void setSignOfZero(double value) { gSignOfZero = value; }

int minimum(int a, int b) { return a < b ? a : b; }

double maximum(double a, double b) { return a > b ? a : b; }

double signTransfer(double a, double b) { return a >= 0.0 ? std::fabs(b) : -std::fabs(b); }

double sign(double x) {
  if (x > 0.0) return 1.0;
  if (x < 0.0) return -1.0;
  return gSignOfZero;
}

void swap(double& a, double& b) {
  const double t = a;
  a = b;
  b = t;
}

double exponential(double x) {
  gLastError = MathError::None;
  if (x < minLog) return fail(MathError::Underflow, 0.0);
  if (x > maxLog) return fail(MathError::Overflow, maxNum);
  return std::exp(x);
}

double logarithm(double x) {
  gLastError = MathError::None;
  if (x < 0.0) return fail(MathError::Domain, -maxNum);
  if (x == 0.0) return fail(MathError::Singularity, -maxNum);
  return std::log(x);
}

double logarithm2(double x) {
  const double ln = logarithm(x);
  return gLastError == MathError::None ? ln * kLog2OfE : ln;
}

double intPower(double x, std::int32_t n) {
  gLastError = MathError::None;
  if (const auto special = specialPower(x, n)) return *special;
  return squareAndMultiply(x, n);
}

double power(double x, double y) {
  gLastError = MathError::None;
  if (const auto special = specialPower(x, y)) return *special;
  constexpr double kIntLimit = std::numeric_limits<std::int32_t>::max();
  if (std::fabs(y) < kIntLimit && y == std::round(y)) {
    return squareAndMultiply(x, static_cast<std::int32_t>(y));
  }
  if (x > 0.0) {
    const double z = y * std::log(x);
    if (z < minLog) return fail(MathError::Underflow, 0.0);
    if (z > maxLog) return fail(MathError::Overflow, maxNum);
    return std::exp(z);
  }
  return fail(MathError::Domain, 0.0);
}

double hypotenuse(double a, double b) {
  const double absA = std::fabs(a);
  const double absB = std::fabs(b);
  const double p = absA > absB ? absA : absB;
  if (p == 0.0) return 0.0;
  const double q = absA > absB ? absB : absA;
  const double ratio = q / p;
  return p * std::sqrt(1.0 + ratio * ratio);
}

}  // namespace plk::fmath
