#include "core/fonctions/sampling.h"

#include <cstddef>

#include "core/fonctions/correlation.h"
#include "core/fonctions/sampling_detail.h"

namespace plk {

namespace {

constexpr double kNoScore = -100000.0;

double meanScore(std::span<const InterestPoint> list, std::size_t n) {
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) sum += list[i].score;
  return sum / static_cast<double>(n);
}

double centredSquares(std::span<const InterestPoint> list, std::size_t n, double mean) {
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double centred = list[i].score - mean;
    sum += centred * centred;
  }
  return sum;
}

}  // namespace

double bicubicSample(const IntMatrix& m, double u, double v) {
  return cubicCombine(cubicTap(u), cubicTap(v),
                      [&m](int row, int column) { return static_cast<double>(m(row, column)); });
}

double correlationScore(std::span<const InterestPoint> a, std::span<const InterestPoint> b) {
  const std::size_t n = a.size();
  const double meanA = meanScore(a, n);
  const double meanB = meanScore(b, n);
  const double normA = flatGuard(std::sqrt(centredSquares(a, n, meanA)));
  const double squaresB = centredSquares(b, n, meanB);
  double cross = 0.0;
  for (std::size_t i = 0; i < n; ++i) cross += (a[i].score - meanA) * (b[i].score - meanB);
  return correlationOf(cross, normA, squaresB);
}

InterestPoint findMaxScore(std::span<const InterestPoint> list) {
  InterestPoint best;
  best.score = kNoScore;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i].score > best.score) {
      best = list[i];
      best.ordinal = static_cast<std::int32_t>(i);
    }
  }
  return best;
}

}  // namespace plk
