#include "core/polyfunc.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "core/fonctions/geometry.h"

namespace plk {

namespace {

// The ray starts at the point and ends this far right of the bounding box.
constexpr double kRayOvershoot = 50.0;

// The point lies on the whole straight line through some edge, within the tolerance.
bool onAnEdgeLine(std::span<const Point2> corners, Point2 p) {
  const std::size_t n = corners.size();
  for (std::size_t i = 0; i < n; ++i) {
    const Point2 a = corners[i];
    const Point2 b = corners[i + 1 == n ? 0 : i + 1];
    if (std::fabs(edgeLineValue(a, b, p)) < kBoundaryTolerance) return true;
  }
  return false;
}

bool oddCrossings(std::span<const Point2> corners, Point2 p, const BoundingBox& box) {
  const Point2 end = rayEnd(box, p);
  const std::size_t n = corners.size();
  std::uint16_t crossings = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (segmentsCross(p, end, corners[i], corners[i + 1 == n ? 0 : i + 1])) ++crossings;
  }
  return crossings % 2 == 1;
}

}  // namespace

double edgeLineValue(Point2 a, Point2 b, Point2 p) {
  return (b.u - a.u) * (p.v - a.v) + (a.v - b.v) * (p.u - a.u);
}

Point2 rayEnd(const BoundingBox& box, Point2 p) { return {box.maxV + kRayOvershoot, p.u}; }

int orientation(Point2 a, Point2 b, Point2 c) {
  const double x = (b.v - a.v) * (c.u - a.u) - (b.u - a.u) * (c.v - a.v);
  return x > 0.0 ? 1 : -1;
}

bool segmentsCross(Point2 p, Point2 q, Point2 r, Point2 s) {
  return orientation(p, q, r) * orientation(p, q, s) <= 0 &&
         orientation(r, s, p) * orientation(r, s, q) <= 0;
}

void extendBox(BoundingBox& box, Point2 corner) {
  if (!(corner.v >= box.minV)) box.minV = corner.v;
  if (corner.v > box.maxV) box.maxV = corner.v;
  if (!(corner.u >= box.minU)) box.minU = corner.u;
  if (corner.u > box.maxU) box.maxU = corner.u;
}

BoundingBoxTest boundingBox(std::span<const Point2> corners, Point2 p) {
  BoundingBox box = kEmptyBox;
  for (const Point2& corner : corners) extendBox(box, corner);
  return {box, insideBox(box, p)};
}

bool pointInPolygon(std::span<const Point2> corners, Point2 p) {
  if (corners.size() <= 1) return false;
  return pointInPolygon(corners, boundingBox(corners, p).box, p);
}

bool pointInPolygon(std::span<const Point2> corners, const BoundingBox& box, Point2 p) {
  if (corners.size() <= 1 || !insideBox(box, p)) return false;
  if (onAnEdgeLine(corners, p)) return true;
  return oddCrossings(corners, p, box);
}

}  // namespace plk
