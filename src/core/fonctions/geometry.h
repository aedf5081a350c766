#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "core/polyfunc.h"
#include "core/polygon_list.h"
#include "core/polygone.h"

namespace plk {

// A homogeneous point or line (c0, c1, c2).
using Vector3 = std::array<double, 3>;

// minV <= P.v <= maxV and minU <= P.u <= maxU, bounds included.
[[nodiscard]] bool insideBox(const BoundingBox& box, Point2 p);

// pointInPolygon of the polygon's elements less the last one, at the point (row u, column v).
[[nodiscard]] bool polygonContains(const Polygone& polygon, double u, double v);

// 0-based index of the first polygon in list order that contains (u, v), or -1.
[[nodiscard]] std::int32_t findPolygon(const PolygonList& polygons, double u, double v);

// Every polygon's last element is its first vertex object (coordinates do not count); true for
// an empty list.
[[nodiscard]] bool allPolygonsClosed(const PolygonList& polygons);

// a x b: the line through two homogeneous points, or the intersection of two lines.
[[nodiscard]] Vector3 crossProduct3(const Vector3& a, const Vector3& b);

// Scales c so that c2 = 1. Returns false and leaves c unchanged when c2 = 0 (a point at
// infinity, such as the intersection of parallel lines).
[[nodiscard]] bool normalizeHomogeneous(Vector3& c);

// True when the third component of a x b, a0 b1 - a1 b0, cannot be told from zero: it is no
// larger than the rounding error that an exact zero may leave in it.
[[nodiscard]] bool negligibleThirdComponent(const Vector3& a, const Vector3& b);

// The side-vertex adjustment: where the line through a0 and a1 meets the line through b0 and b1.
// Nothing when a line passes through the origin or the lines are parallel (as far as rounding
// lets one tell), or when the meeting point is not finite or lies more than one image size
// outside the image of width x height pixels.
[[nodiscard]] std::optional<Point2> sideIntersection(Point2 a0, Point2 a1, Point2 b0, Point2 b1,
                                                     double width, double height);

}  // namespace plk
