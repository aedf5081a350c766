#pragma once

#include <span>
#include <vector>

#include "core/polyfunc.h"

namespace plk {

// A polygon's sides laid out to test one point against all of them at once in vector lanes,
// for the points that need the polygon's own answer. Each side keeps its corners a and b and
// the differences of their coordinates, computed once by the same subtractions the predicates
// make; the table is padded with sides of NaN, which no comparison counts.
struct PolygonSides {
  explicit PolygonSides(std::span<const Point2> corners);

  // pointInPolygon(corners, box, p) for a point p inside the box of at least two corners: p
  // within the boundary tolerance of a side's line, or crossed an odd number of times by the ray
  // to the right. Every lane width (1, 2, 4 or 8; 0 for the widest the processor runs) gives
  // the same answer.
  [[nodiscard]] bool contains(const BoundingBox& box, Point2 p, int laneWidth = 0) const;

  std::vector<double> au, av, bu, bv;
  std::vector<double> du;          // b.u - a.u
  std::vector<double> dv;          // b.v - a.v
  std::vector<double> negativeDv;  // a.v - b.v
};

}  // namespace plk
