#include <algorithm>
#include <cmath>
#include <limits>

#include "core/fonctions/photometric_detail.h"

namespace plk::photometric_detail {

namespace {

// The [1 2 1] smoothing makes neighbouring residuals correlated: a mean over many of them
// varies (sum of the weights)^2 / (sum of their squares) = 16 / 6 times more per axis than
// independent residuals of the same spread would.
constexpr double kSmoothingVarianceFactor = (16.0 / 6.0) * (16.0 / 6.0);

double displacementLength(double du, double dv) { return std::sqrt(du * du + dv * dv); }

// Covariance of (a', b', c') by the sandwich A^-1 B A^-1 (A the normal matrix, B the spread of
// the weighted residuals along the Jacobian), which stays honest where the residuals are large
// exactly where the information is (an edge the interpolation renders imperfectly); scaled for
// the correlation between neighbouring residuals that the smoothing brings.
std::array<double, 9> planeCovariance(const Pass& pass) {
  std::array<double, 9> covariance{};
  std::array<Vector6, 6> inverse{};
  for (int column = 0; column < 6; ++column) {
    Vector6 unit{};
    unit[column] = 1.0;
    if (!solveSymmetric(pass.normal, unit, 6)) {
      covariance.fill(std::numeric_limits<double>::infinity());
      return covariance;
    }
    inverse[column] = unit;
  }
  const double correction = static_cast<double>(pass.used) / std::max(1, pass.used - 6);
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      double sum = 0.0;
      for (int i = 0; i < 6; ++i) {
        for (int k = 0; k < 6; ++k)
          sum += inverse[row][i] * pass.spread[i * 6 + k] * inverse[column][k];
      }
      covariance[row * 3 + column] = kSmoothingVarianceFactor * correction * sum;
    }
  }
  return covariance;
}

}  // namespace

double largestDisagreement(const DisparityPlane& plane, const Homography& h,
                           std::span<const PixelPosition> pixels, std::span<const Point2> corners) {
  double largest = 0.0;
  const auto compare = [&](double u, double v) {
    const std::optional<Point2> mapped = transferPoint(h, u, v);
    const double difference =
        mapped ? std::fabs(displacementLength(plane.e, plane.at(u, v)) -
                           displacementLength(mapped->u - u, mapped->v - v))
               : std::numeric_limits<double>::infinity();
    largest = std::max(
        largest, std::isfinite(difference) ? difference : std::numeric_limits<double>::infinity());
  };
  for (const PixelPosition& pixel : spreadSample(pixels, kMaxSampledPixels)) {
    compare(pixel.u, pixel.v);
  }
  for (const Point2& corner : corners) compare(corner.u, corner.v);
  return largest;
}

void fillQuality(const Pass& last, const Frame& frame, std::span<const Point2> corners,
                 PhotometricQuality& quality) {
  quality.pixelsUsed = last.used;
  quality.residualGrey = std::sqrt(last.weightedSquares / std::max(1, last.used - 6));
  quality.correlation = last.sums.correlation();
  quality.centreU = frame.centreU;
  quality.centreV = frame.centreV;
  quality.scale = frame.scale;
  quality.covariance = planeCovariance(last);
  quality.disparitySd = 0.0;
  for (const Point2& corner : corners) {
    quality.disparitySd = std::max(quality.disparitySd, quality.disparitySdAt(corner.u, corner.v));
  }
  if (!std::isfinite(quality.disparitySd)) {
    quality.disparitySd = std::numeric_limits<double>::infinity();
  }
}

}  // namespace plk::photometric_detail
