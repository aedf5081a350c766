#include "core/fonctions/geometry.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace plk {

namespace {

// findPolygon runs once per pixel and polygon, and most pixels lie outside most polygons' boxes:
// the box is taken from the vertices directly, and only a point inside it pays for the corner
// array, from a stack buffer for polygons up to this many corners.
constexpr std::size_t kStackCorners = 64;

// Each component entering a cross product of the adjustment carries at most two roundings (a
// difference, then the division by the previous third component), each product one more and the
// final difference one: an exact zero comes out below about 3 eps times the sum of the two
// products' magnitudes. Four times that bound leaves a margin and refuses only lines within
// about 1e-14 radians of parallel, whose meeting point would lie far beyond any image.
constexpr double kNegligibleRatio = 16.0 * std::numeric_limits<double>::epsilon();

Vector3 homogeneous(Point2 p) { return {p.v, p.u, 1.0}; }

// The line through two points, or the meeting point of two lines, scaled to a third component
// of 1; nothing when that component cannot be told from zero.
std::optional<Vector3> normalizedCross(const Vector3& a, const Vector3& b) {
  if (negligibleThirdComponent(a, b)) return std::nullopt;
  Vector3 c = crossProduct3(a, b);
  if (!normalizeHomogeneous(c)) return std::nullopt;
  return c;
}

// Within one image size of the image on every side; false for a non-finite point.
bool nearImage(Point2 p, double width, double height) {
  return p.v >= -width && p.v <= 2.0 * width && p.u >= -height && p.u <= 2.0 * height;
}

bool insideVertexBox(const Polygone& polygon, std::size_t count, Point2 p) {
  BoundingBox box = kEmptyBox;
  for (std::size_t i = 0; i < count; ++i) {
    extendBox(box, pointAt(polygon.sommets[i]->U, polygon.sommets[i]->V));
  }
  return insideBox(box, p);
}

void copyCorners(const Polygone& polygon, std::span<Point2> corners) {
  for (std::size_t i = 0; i < corners.size(); ++i) {
    const Sommet* vertex = polygon.sommets[i];
    corners[i] = pointAt(vertex->U, vertex->V);
  }
}

}  // namespace

bool insideBox(const BoundingBox& box, Point2 p) {
  return box.minV <= p.v && p.v <= box.maxV && box.minU <= p.u && p.u <= box.maxU;
}

bool polygonContains(const Polygone& polygon, double u, double v) {
  const std::size_t count = polygon.sommets.empty() ? 0 : polygon.sommets.size() - 1;
  const Point2 p = pointAt(u, v);
  if (count <= 1 || !insideVertexBox(polygon, count, p)) return false;
  if (count <= kStackCorners) {
    std::array<Point2, kStackCorners> buffer;
    const std::span<Point2> corners(buffer.data(), count);
    copyCorners(polygon, corners);
    return pointInPolygon(corners, p);
  }
  std::vector<Point2> corners(count);
  copyCorners(polygon, corners);
  return pointInPolygon(corners, p);
}

std::int32_t findPolygon(const PolygonList& polygons, double u, double v) {
  for (std::size_t k = 0; k < polygons.size(); ++k) {
    if (polygonContains(polygons[k], u, v)) return static_cast<std::int32_t>(k);
  }
  return -1;
}

bool allPolygonsClosed(const PolygonList& polygons) {
  for (std::size_t k = 0; k < polygons.size(); ++k) {
    if (!polygons[k].isClosed()) return false;
  }
  return true;
}

Vector3 crossProduct3(const Vector3& a, const Vector3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

bool normalizeHomogeneous(Vector3& c) {
  if (c[2] == 0.0) return false;
  c = {c[0] / c[2], c[1] / c[2], 1.0};
  return true;
}

bool negligibleThirdComponent(const Vector3& a, const Vector3& b) {
  const double third = a[0] * b[1] - a[1] * b[0];
  const double scale = std::abs(a[0] * b[1]) + std::abs(a[1] * b[0]);
  return !(std::abs(third) > kNegligibleRatio * scale);
}

std::optional<Point2> sideIntersection(Point2 a0, Point2 a1, Point2 b0, Point2 b1, double width,
                                       double height) {
  const std::optional<Vector3> first = normalizedCross(homogeneous(a0), homogeneous(a1));
  const std::optional<Vector3> second = normalizedCross(homogeneous(b0), homogeneous(b1));
  if (!first || !second) return std::nullopt;
  const std::optional<Vector3> meeting = normalizedCross(*first, *second);
  if (!meeting) return std::nullopt;
  const Point2 point = pointAt((*meeting)[1], (*meeting)[0]);  // homogeneous: (v, u, 1)
  if (!nearImage(point, width, height)) return std::nullopt;
  return point;
}

}  // namespace plk
