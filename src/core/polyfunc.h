#pragma once

#include <span>

namespace plk {

// A plane point, column first: v grows to the right, u grows downwards. Make one with pointAt,
// which takes the row first as vertices and images do, never with positional braces.
struct Point2 {
  double v = 0.0;
  double u = 0.0;
};

// The point of row u and column v.
[[nodiscard]] constexpr Point2 pointAt(double u, double v) { return Point2{.v = v, .u = u}; }

struct BoundingBox {
  double minV = 0.0;
  double minU = 0.0;
  double maxV = 0.0;
  double maxU = 0.0;
};

// The box of a corner array and whether the tested point lies in it.
struct BoundingBoxTest {
  BoundingBox box;
  bool inside = false;
};

// +1 when C lies on the positive side of AB, -1 otherwise: collinear points give -1.
[[nodiscard]] int orientation(Point2 a, Point2 b, Point2 c);

// True when segment PQ crosses segment RS, touching and collinear cases included as the
// orientation rule decides them.
[[nodiscard]] bool segmentsCross(Point2 p, Point2 q, Point2 r, Point2 s);

// Starting box of the corner scan: empty, so that the first corner sets every bound.
inline constexpr BoundingBox kEmptyBox{2147483647.0, 2147483647.0, -2147483647.0, -2147483647.0};

// Grows the box to take in one more corner.
void extendBox(BoundingBox& box, Point2 corner);

[[nodiscard]] BoundingBoxTest boundingBox(std::span<const Point2> corners, Point2 p);

// Corners of a closed polygon in order, the first not repeated at the end. Inside means: in the
// bounding box, and either on the straight line through some edge (tolerance 0.001 on the
// unnormalised distance) or crossed an odd number of times by a ray to the right. At most one
// corner: false.
[[nodiscard]] bool pointInPolygon(std::span<const Point2> corners, Point2 p);

// The same test with the corners' box already known (as boundingBox gives it), for callers that
// test many points against one polygon.
[[nodiscard]] bool pointInPolygon(std::span<const Point2> corners, const BoundingBox& box,
                                  Point2 p);

// The pieces of the test, for callers that classify whole rows of points at once.
// P lies on the line through A and B when |edgeLineValue(A, B, P)| < kBoundaryTolerance.
inline constexpr double kBoundaryTolerance = 0.001;
[[nodiscard]] double edgeLineValue(Point2 a, Point2 b, Point2 p);
// The far end of the ray of the crossing count, right of the box on the point's row.
[[nodiscard]] Point2 rayEnd(const BoundingBox& box, Point2 p);

}  // namespace plk
