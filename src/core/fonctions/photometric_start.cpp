#include <algorithm>
#include <cmath>

#include "core/fonctions/photometric_detail.h"

namespace plk::photometric_detail {

namespace {

// Least-squares plane d(u, v) through weighted points; false when they do not determine one.
struct PlanePoint {
  double u = 0.0;
  double v = 0.0;
  double d = 0.0;
};

bool fitPlane(std::span<const PlanePoint> points, const Frame& frame, DisparityPlane& plane) {
  Matrix6 a{};
  Vector6 b{};
  for (const PlanePoint& point : points) {
    const std::array<double, 3> j{1.0, (point.u - frame.centreU) / frame.scale,
                                  (point.v - frame.centreV) / frame.scale};
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) a[r * 6 + c] += j[r] * j[c];
      b[r] += j[r] * point.d;
    }
  }
  // A nearly collinear set leaves the normal matrix close to singular.
  const double smallest = 1e-9 * std::max(1.0, a[0]);
  for (int r = 0; r < 3; ++r) a[r * 6 + r] += smallest;
  if (!solveSymmetric(a, b, 3)) return false;
  plane = planeOf({b[0], b[1], b[2], plane.e, 1.0, 0.0}, frame);
  return true;
}

// The plane nearest a homography over the polygon's pixels.
std::optional<DisparityPlane> planeFromHomography(const Homography& h,
                                                  std::span<const PixelPosition> pixels,
                                                  const Frame& frame) {
  std::vector<PlanePoint> points;
  double rowShift = 0.0;
  for (const PixelPosition& pixel : spreadSample(pixels, kMaxSampledPixels)) {
    const double u = pixel.u;
    const double v = pixel.v;
    const std::optional<Point2> mapped = transferPoint(h, u, v);
    if (!mapped) continue;
    points.push_back({u, v, v - mapped->v});
    rowShift += mapped->u - u;
  }
  if (points.size() < 3) return std::nullopt;
  DisparityPlane plane;
  plane.e = rowShift / static_cast<double>(points.size());
  if (!fitPlane(points, frame, plane)) return std::nullopt;
  return plane;
}

// A plane through the matches, refitted without those far from it until the set settles.
std::optional<DisparityPlane> planeFromMatches(const InterestPointList& matches,
                                               const Frame& frame) {
  std::vector<PlanePoint> points;
  std::vector<double> rowShifts;
  for (const InterestPoint& match : matches) {
    points.push_back({match.leftU, match.leftV, match.leftV - match.v});
    rowShifts.push_back(match.u - match.leftU);
  }
  DisparityPlane plane;
  plane.e = median(rowShifts);
  std::vector<PlanePoint> kept = points;
  for (int round = 0; round < 5; ++round) {
    if (kept.size() < 3 || !fitPlane(kept, frame, plane)) return std::nullopt;
    std::vector<double> residuals;
    for (const PlanePoint& point : points) {
      residuals.push_back(std::fabs(point.d - plane.at(point.u, point.v)));
    }
    const double threshold = std::max(0.5, 3.0 * 1.4826 * median(residuals));
    std::vector<PlanePoint> next;
    for (std::size_t i = 0; i < points.size(); ++i) {
      if (residuals[i] <= threshold) next.push_back(points[i]);
    }
    if (next.size() == kept.size()) break;
    kept = std::move(next);
  }
  return plane;
}

}  // namespace

double medianReordering(std::vector<double>& values) {
  if (values.empty()) return 0.0;
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

double median(std::vector<double> values) { return medianReordering(values); }

Frame frameOf(const PolygonShape& shape) {
  const BoundingBox& box = shape.box;
  return {(box.minU + box.maxU) / 2.0, (box.minV + box.maxV) / 2.0,
          std::max(1.0, std::max(box.maxU - box.minU, box.maxV - box.minV) / 2.0)};
}

DisparityPlane planeOf(const Parameters& p, const Frame& frame) {
  const double b = p[1] / frame.scale;
  const double c = p[2] / frame.scale;
  return {p[0] - b * frame.centreU - c * frame.centreV, b, c, p[3]};
}

Parameters parametersOf(const DisparityPlane& plane, const Frame& frame, double gain,
                        double offset) {
  return {plane.at(frame.centreU, frame.centreV),
          plane.b * frame.scale,
          plane.c * frame.scale,
          plane.e,
          gain,
          offset};
}

DisparityPlane startingPlane(const PhotometricInput& input, std::span<const PixelPosition> pixels,
                             const Frame& frame, PhotometricStart& start) {
  if (input.startFromHomography && input.robustNonLinear) {
    if (auto plane = planeFromHomography(*input.robustNonLinear, pixels, frame)) {
      start = PhotometricStart::RobustHomography;
      return *plane;
    }
  }
  if (input.matches != nullptr && input.matches->size() >= 3) {
    if (auto plane = planeFromMatches(*input.matches, frame)) {
      start = PhotometricStart::Matches;
      return *plane;
    }
  }
  start = PhotometricStart::Sweep;
  // Only the disparities that bring the left polygon's box onto the right one's can be right.
  const BoundingBox& left = input.leftShape->box;
  const BoundingBox& right = input.rightShape->box;
  double lowest = std::max(input.sweepRange.lowest, left.minV - right.maxV);
  double highest = std::min(input.sweepRange.highest, left.maxV - right.minV);
  if (lowest > highest) {
    lowest = input.sweepRange.lowest;
    highest = input.sweepRange.highest;
  }
  const SweepResult sweep =
      sweepConstantDisparity(*input.left, *input.right, pixels, lowest, highest);
  DisparityPlane plane;
  plane.a = sweep.found ? sweep.disparity : 0.0;
  return plane;
}

}  // namespace plk::photometric_detail
