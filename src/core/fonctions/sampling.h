#pragma once

#include <array>
#include <cmath>
#include <span>

#include "core/grey_image.h"
#include "core/project.h"

namespace plk {

// Half side of an N x N window: (N - 1) / 2 rounded to the nearest integer, halves to even, so
// N = 10 gives 4 and N = 12 gives 6.
[[nodiscard]] inline int halfWidth(int size) {
  return static_cast<int>(std::nearbyint((static_cast<double>(size) - 1.0) / 2.0));
}

// Catmull-Rom weights of a fraction x for the offsets -1, 0, 1, 2, scaled by 2.
[[nodiscard]] inline std::array<double, 4> cubicWeights(double x) {
  return {((2.0 - x) * x - 1.0) * x, (3.0 * x - 5.0) * x * x + 2.0, ((4.0 - 3.0 * x) * x + 1.0) * x,
          (x - 1.0) * x * x};
}

// Derivatives of cubicWeights with respect to x, same scaling: the slope of the interpolated
// signal is their weighted sum divided by 2, as the value is.
[[nodiscard]] inline std::array<double, 4> cubicWeightSlopes(double x) {
  return {(4.0 - 3.0 * x) * x - 1.0, (9.0 * x - 10.0) * x, (8.0 - 9.0 * x) * x + 1.0,
          (3.0 * x - 2.0) * x};
}

// Where a bicubic sample reads: the neighbourhood's top-left-but-one pixel and the weights.
struct CubicTap {
  int first = 0;  // floor of the coordinate
  std::array<double, 4> weights{};
};

[[nodiscard]] inline CubicTap cubicTap(double coordinate) {
  const double floor = std::floor(coordinate);
  return {static_cast<int>(floor), cubicWeights(coordinate - floor)};
}

// The cubic convolution of a 4 x 4 neighbourhood: column sums along the rows first, then their
// weighted sum, divided by 4 for the two scalings. `at(row, column)` reads the image.
template <typename Reader>
[[nodiscard]] inline double cubicCombine(const CubicTap& row, const CubicTap& column,
                                         const Reader& at) {
  double total = 0.0;
  for (int j = 0; j < 4; ++j) {
    double columnSum = 0.0;
    for (int i = 0; i < 4; ++i) {
      columnSum += row.weights[i] * at(row.first - 1 + i, column.first - 1 + j);
    }
    total += column.weights[j] * columnSum;
  }
  return total / 4.0;
}

// Value of m at row u, column v by Catmull-Rom bicubic interpolation (cubic convolution with
// parameter -0.5). Exact at integer positions. The caller keeps rows floor(u) - 1 .. floor(u) + 2
// and the columns likewise inside the matrix.
[[nodiscard]] double bicubicSample(const IntMatrix& m, double u, double v);

// Centred normalised cross-correlation of the `score` fields of a and the first a.size()
// records of b, in [-1, 1]. A flat window (norm exactly 0) counts with the norm 0.00001 and so
// scores 0. Neither list is changed. `a` must not be empty.
[[nodiscard]] double correlationScore(std::span<const InterestPoint> a,
                                      std::span<const InterestPoint> b);

}  // namespace plk
