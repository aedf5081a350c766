#pragma once

#include <cmath>

// The centred normalised cross-correlation of two windows, from their centred sums, shared by the
// sample-by-sample score and the matcher's fast paths so that every path divides alike.
namespace plk {

// What a flat window's centred norm is replaced by, so that it scores 0 instead of dividing 0 by 0.
inline constexpr double kFlatNorm = 0.00001;

[[nodiscard]] inline double flatGuard(double norm) { return norm == 0.0 ? kFlatNorm : norm; }

// The score of two windows from the sum of their centred products, the first window's guarded
// norm and the second window's sum of centred squares.
[[nodiscard]] inline double correlationOf(double cross, double firstNorm, double secondSquares) {
  return cross / (firstNorm * flatGuard(std::sqrt(secondSquares)));
}

}  // namespace plk
