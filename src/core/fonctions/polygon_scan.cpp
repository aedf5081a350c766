#include "core/fonctions/polygon_scan.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include "core/fonctions/geometry.h"

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
// function of the column, hence monotone, so each bound of |value| < tolerance holds on one side
// and the ends of the row tell when neither holds anywhere.
IndexRange onEdgeLine(Point2 a, Point2 b, double u, std::span<const double> columns,
                      IndexRange box) {
  const auto value = [&](std::size_t x) { return edgeLineValue(a, b, pointAt(u, columns[x])); };
  const double atFirst = value(box.begin);
  const double atLast = value(box.end - 1);
  if ((atFirst >= kBoundaryTolerance && atLast >= kBoundaryTolerance) ||
      (atFirst <= -kBoundaryTolerance && atLast <= -kBoundaryTolerance)) {
    return {};
  }
  const IndexRange above =
      whereHolds(box.begin, box.end, [&](std::size_t x) { return value(x) > -kBoundaryTolerance; });
  const IndexRange below =
      whereHolds(box.begin, box.end, [&](std::size_t x) { return value(x) < kBoundaryTolerance; });
  return {std::max(above.begin, below.begin), std::min(above.end, below.end)};
}

// Columns crossed an odd number of times by the ray to the right. Along a row, whether the ray
// from a point of the box straddles an edge's corners does not depend on the column, and the
// side of the edge's line the point lies on changes once at most: each edge toggles the parity
// at one column at most, which the ends of the row reveal.
void claimOddCrossings(const PolygonShape& shape, double u, std::span<const double> columns,
                       IndexRange box, std::int32_t polygon, std::span<std::int32_t> indices) {
  const Point2 end = rayEnd(shape.box, pointAt(u, columns[box.begin]));
  const std::size_t n = shape.corners.size();
  bool odd = false;
  std::vector<std::size_t> toggles;
  for (std::size_t i = 0; i < n; ++i) {
    const Point2 a = shape.corners[i];
    const Point2 b = shape.corners[i + 1 == n ? 0 : i + 1];
    const auto crosses = [&](std::size_t x) {
      return segmentsCross(pointAt(u, columns[x]), end, a, b);
    };
    const bool atFirst = crosses(box.begin);
    odd = odd != atFirst;
    if (crosses(box.end - 1) != atFirst)
      toggles.push_back(firstChange(box.begin, box.end, crosses));
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
      shape.corners.push_back(pointAt(sommets[i]->U, sommets[i]->V));
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

namespace {

// Relative size of the margin against the magnitude of the terms of an expression; rounding
// errors are a few units of 1e-16 of it.
constexpr double kRelativeMargin = 1e-9;

// True when the linear function through f0 (at t0) and f1 (at t1) comes within `margin` of 0
// on [t0, t1].
bool nearZero(double f0, double f1, double margin) {
  return (f0 <= margin && f1 >= -margin) || (f0 >= -margin && f1 <= margin);
}

// First and one-past-last cell index of [low, high] within the frame [0, size) and one cell
// of border, computed in reals so that far coordinates cannot overflow an int.
std::pair<int, int> clippedCells(double low, double high, int size) {
  const double first = std::max(std::floor(low), -1.0);
  const double last = std::min(std::floor(high), static_cast<double>(size));
  if (!(first <= last)) return {0, 0};
  return {static_cast<int>(first), static_cast<int>(last) + 1};
}

}  // namespace

ShapeGrid::ShapeGrid(const PolygonShape& shape, int rows, int columns)
    : shape_(&shape), sides_(shape.corners) {
  if (shape.corners.size() <= 1) return;
  const BoundingBox& box = shape.box;
  const auto [firstRow, endRow] = clippedCells(box.minU, box.maxU, rows);
  const auto [firstColumn, endColumn] = clippedCells(box.minV, box.maxV, columns);
  if (endRow == firstRow || endColumn == firstColumn) return;
  firstRow_ = firstRow;
  firstColumn_ = firstColumn;
  rows_ = endRow - firstRow;
  columns_ = endColumn - firstColumn;
  const double span = std::max({std::fabs(box.minU), std::fabs(box.maxU), std::fabs(box.minV),
                                std::fabs(box.maxV)}) +
                      100.0;
  margin_ = kRelativeMargin * span * span + 1e-9;
  askRow_.assign(static_cast<std::size_t>(rows_), false);
  cells_.assign(static_cast<std::size_t>(rows_) * columns_, kOutside);
  markEdgeBands();
  fillQuietRuns();
}

// Cells where some point lies within the boundary tolerance (plus the margin) of an edge's
// line: there the boundary test, or the side of the line, may change.
void ShapeGrid::markEdgeBands() {
  const std::size_t n = shape_->corners.size();
  const double band = kBoundaryTolerance + margin_;
  for (std::size_t i = 0; i < n; ++i) {
    const Point2 a = shape_->corners[i];
    const Point2 b = shape_->corners[i + 1 == n ? 0 : i + 1];
    const double du = b.u - a.u;
    const double dv = b.v - a.v;
    for (int r = 0; r < rows_; ++r) {
      const double u0 = firstRow_ + r;
      const double u1 = u0 + 1.0;
      if (du == 0.0) {
        if (nearZero(-dv * (u0 - a.u), -dv * (u1 - a.u), band)) askRow_[r] = true;
        continue;
      }
      // Along the row the line's expression du (v - a.v) - dv (u - a.u) stays within the band
      // for v between these bounds, taken over the row's two edges and the band's two sides.
      double low = a.v + (dv * (u0 - a.u) - band) / du;
      double high = low;
      for (const double u : {u0, u1}) {
        for (const double side : {-band, band}) {
          const double v = a.v + (dv * (u - a.u) + side) / du;
          low = std::min(low, v);
          high = std::max(high, v);
        }
      }
      const auto [first, end] = clippedCells(low - firstColumn_, high - firstColumn_, columns_);
      for (int c = std::max(first, 0); c < std::min(end, columns_); ++c) cell(r, c) = kAsk;
    }
  }
}

// Between two marked cells of a row no point lies on or near an edge's line, so every side
// test keeps its sign and the boundary test fails; the ray's count is then the even-odd parity
// of the polygon, which cannot change without crossing a side. One answer from the shape
// serves the run. (Where the ray passes through a corner, the count stays that parity: both
// sides at the corner compare their ends with the same strict test on rows.)
void ShapeGrid::fillQuietRuns() {
  const BoundingBox& box = shape_->box;
  for (int r = 0; r < rows_; ++r) {
    if (askRow_[r]) continue;
    const double u = std::clamp(firstRow_ + r + 0.5, box.minU, box.maxU);
    int c = 0;
    while (c < columns_) {
      if (cell(r, c) == kAsk) {
        ++c;
        continue;
      }
      const double v = std::clamp(firstColumn_ + c + 0.5, box.minV, box.maxV);
      const Cell answer = askShape(u, v) ? kInside : kOutside;
      for (; c < columns_ && cell(r, c) != kAsk; ++c) cell(r, c) = answer;
    }
  }
}

bool ShapeGrid::askShape(double u, double v) const {
  return shape_->corners.size() > 1 && sides_.contains(shape_->box, pointAt(u, v));
}

bool ShapeGrid::contains(double u, double v) const {
  if (!insideBox(shape_->box, pointAt(u, v))) return false;
  const double row = std::floor(u) - firstRow_;
  const double column = std::floor(v) - firstColumn_;
  if (!(row >= 0 && row < rows_ && column >= 0 && column < columns_)) return askShape(u, v);
  const int r = static_cast<int>(row);
  const int c = static_cast<int>(column);
  if (askRow_[static_cast<std::size_t>(r)]) return askShape(u, v);
  const Cell answer = cells_[static_cast<std::size_t>(r) * columns_ + c];
  if (answer == kAsk) return askShape(u, v);
  return answer == kInside;
}

ShapeStack::ShapeStack(std::span<const PolygonShape> shapes, int rows, int columns)
    : rows_(rows), columns_(columns) {
  grids_.reserve(shapes.size());
  for (const PolygonShape& shape : shapes) grids_.emplace_back(shape, rows, columns);
  const std::size_t width = static_cast<std::size_t>(columns) + 2;
  cells_.assign((static_cast<std::size_t>(rows) + 2) * width, -1);
  // From the last shape to the first, so that each cell ends with its first shape not outside.
  for (std::size_t k = grids_.size(); k-- > 0;) {
    const BoundingBox& box = shapes[k].box;
    const auto shape = static_cast<std::int32_t>(k);
    grids_[k].visitCells([&](int r, int c, ShapeGrid::Cell answer) {
      if (answer == ShapeGrid::kOutside) return;
      // A cell wholly inside the box needs no test of the box for its points.
      const bool holds = answer == ShapeGrid::kInside && box.minU <= r && r + 1 <= box.maxU &&
                         box.minV <= c && c + 1 <= box.maxV;
      cells_[static_cast<std::size_t>(r + 1) * width + static_cast<std::size_t>(c + 1)] =
          2 * shape + (holds ? 1 : 0);
    });
  }
}

std::int32_t ShapeStack::askGrids(std::size_t from, double u, double v) const {
  for (std::size_t k = from; k < grids_.size(); ++k) {
    if (grids_[k].contains(u, v)) return static_cast<std::int32_t>(k);
  }
  return -1;
}

std::int32_t ShapeStack::findShape(double u, double v) const {
  const double row = std::floor(u);
  const double column = std::floor(v);
  if (!(row >= -1 && row <= rows_ && column >= -1 && column <= columns_)) return askGrids(0, u, v);
  const std::size_t index =
      static_cast<std::size_t>(row + 1) * static_cast<std::size_t>(columns_ + 2) +
      static_cast<std::size_t>(column + 1);
  const std::int32_t cell = cells_[index];
  if (cell < 0) return -1;
  if (cell % 2 == 1) return cell / 2;
  return askGrids(static_cast<std::size_t>(cell / 2), u, v);
}

}  // namespace plk
