#include "core/fonctions/polygon_scan.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace plk {

namespace {

// Column indices [begin, end).
struct IndexRange {
  std::size_t begin = 0;
  std::size_t end = 0;
};

// First x in (lo, hi) where `holds` differs from its value at lo, or hi when it never does.
// `holds` must change at most once on [lo, hi).
template <typename Predicate>
std::size_t firstChange(std::size_t lo, std::size_t hi, Predicate holds) {
  const bool atLo = holds(lo);
  std::size_t same = lo;
  std::size_t other = hi;
  while (other - same > 1) {
    const std::size_t middle = same + (other - same) / 2;
    if (holds(middle) == atLo) {
      same = middle;
    } else {
      other = middle;
    }
  }
  return other;
}

// Where a predicate that changes at most once holds, within [lo, hi).
template <typename Predicate>
IndexRange whereHolds(std::size_t lo, std::size_t hi, Predicate holds) {
  const std::size_t change = firstChange(lo, hi, holds);
  return holds(lo) ? IndexRange{lo, change} : IndexRange{change, hi};
}

void claim(IndexRange range, std::int32_t polygon, std::span<std::int32_t> indices) {
  for (std::size_t x = range.begin; x < range.end; ++x) {
    if (indices[x] < 0) indices[x] = polygon;
  }
}

// Columns on the line through an edge. Along a row the line expression is a rounded affine
// function of the column, hence monotone, so each bound of |value| < tolerance holds on one side.
IndexRange onEdgeLine(Point2 a, Point2 b, double u, std::span<const double> columns,
                      IndexRange box) {
  const auto value = [&](std::size_t x) { return edgeLineValue(a, b, Point2{columns[x], u}); };
  const IndexRange above =
      whereHolds(box.begin, box.end, [&](std::size_t x) { return value(x) > -kBoundaryTolerance; });
  const IndexRange below =
      whereHolds(box.begin, box.end, [&](std::size_t x) { return value(x) < kBoundaryTolerance; });
  return {std::max(above.begin, below.begin), std::min(above.end, below.end)};
}

// Columns crossed an odd number of times by the ray to the right. Along a row, whether the ray
// from a point of the box straddles an edge's corners does not depend on the column, and the
// side of the edge's line the point lies on changes once at most: each edge toggles the parity
// at one column.
void claimOddCrossings(const PolygonShape& shape, double u, std::span<const double> columns,
                       IndexRange box, std::int32_t polygon, std::span<std::int32_t> indices) {
  const Point2 end = rayEnd(shape.box, Point2{columns[box.begin], u});
  const std::size_t n = shape.corners.size();
  bool odd = false;
  std::vector<std::size_t> toggles;
  for (std::size_t i = 0; i < n; ++i) {
    const Point2 a = shape.corners[i];
    const Point2 b = shape.corners[i + 1 == n ? 0 : i + 1];
    const auto crosses = [&](std::size_t x) {
      return segmentsCross(Point2{columns[x], u}, end, a, b);
    };
    odd = odd != crosses(box.begin);
    const std::size_t change = firstChange(box.begin, box.end, crosses);
    if (change < box.end) toggles.push_back(change);
  }
  std::sort(toggles.begin(), toggles.end());
  std::size_t start = box.begin;
  for (const std::size_t toggle : toggles) {
    if (odd) claim({start, toggle}, polygon, indices);
    odd = !odd;
    start = toggle;
  }
  if (odd) claim({start, box.end}, polygon, indices);
}

void claimInside(const PolygonShape& shape, std::int32_t polygon, double u,
                 std::span<const double> columns, std::span<std::int32_t> indices) {
  if (shape.corners.size() <= 1 || !(shape.box.minU <= u && u <= shape.box.maxU)) return;
  const auto first = std::lower_bound(columns.begin(), columns.end(), shape.box.minV);
  const auto last = std::upper_bound(columns.begin(), columns.end(), shape.box.maxV);
  if (first >= last) return;
  const IndexRange box{static_cast<std::size_t>(first - columns.begin()),
                       static_cast<std::size_t>(last - columns.begin())};
  const std::size_t n = shape.corners.size();
  for (std::size_t i = 0; i < n; ++i) {
    claim(onEdgeLine(shape.corners[i], shape.corners[i + 1 == n ? 0 : i + 1], u, columns, box),
          polygon, indices);
  }
  claimOddCrossings(shape, u, columns, box, polygon, indices);
}

}  // namespace

std::vector<PolygonShape> shapesOf(const PolygonList& polygons) {
  std::vector<PolygonShape> shapes(polygons.size());
  for (std::size_t k = 0; k < polygons.size(); ++k) {
    const auto& sommets = polygons[k].sommets;
    PolygonShape& shape = shapes[k];
    for (std::size_t i = 0; i + 1 < sommets.size(); ++i) {
      shape.corners.push_back(Point2{sommets[i]->V, sommets[i]->U});
    }
    shape.box = boundingBox(shape.corners, Point2{}).box;
  }
  return shapes;
}

std::int32_t findShape(std::span<const PolygonShape> shapes, double u, double v) {
  for (std::size_t k = 0; k < shapes.size(); ++k) {
    if (shapes[k].contains(u, v)) return static_cast<std::int32_t>(k);
  }
  return -1;
}

void classifyRow(std::span<const PolygonShape> shapes, double u, std::span<const double> columns,
                 std::span<std::int32_t> indices) {
  std::fill(indices.begin(), indices.end(), -1);
  for (std::size_t k = 0; k < shapes.size(); ++k) {
    claimInside(shapes[k], static_cast<std::int32_t>(k), u, columns, indices);
  }
}

}  // namespace plk
