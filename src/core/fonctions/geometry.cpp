#include "core/fonctions/geometry.h"

#include <cstddef>
#include <vector>

namespace plk {

namespace {

// findPolygon runs once per pixel and polygon, and most pixels lie outside most polygons' boxes:
// the box is taken from the vertices directly, and only a point inside it pays for the corner
// array, from a stack buffer for polygons up to this many corners.
constexpr std::size_t kStackCorners = 64;

bool insideVertexBox(const Polygone& polygon, std::size_t count, Point2 p) {
  BoundingBox box = kEmptyBox;
  for (std::size_t i = 0; i < count; ++i) {
    extendBox(box, Point2{polygon.sommets[i]->V, polygon.sommets[i]->U});
  }
  return insideBox(box, p);
}

void copyCorners(const Polygone& polygon, std::span<Point2> corners) {
  for (std::size_t i = 0; i < corners.size(); ++i) {
    const Sommet* vertex = polygon.sommets[i];
    corners[i] = Point2{vertex->V, vertex->U};
  }
}

}  // namespace

bool insideBox(const BoundingBox& box, Point2 p) {
  return box.minV <= p.v && p.v <= box.maxV && box.minU <= p.u && p.u <= box.maxU;
}

bool polygonContains(const Polygone& polygon, double u, double v) {
  const std::size_t count = polygon.sommets.empty() ? 0 : polygon.sommets.size() - 1;
  const Point2 p{v, u};
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

}  // namespace plk
