#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/polyfunc.h"
#include "core/polygon_list.h"

namespace plk {

// A polygon's corner array and box, taken once for the many containment tests of a run. The
// corners are the polygon's elements less the last one, as polygonContains takes them.
struct PolygonShape {
  std::vector<Point2> corners;
  BoundingBox box;

  // polygonContains of the polygon at (row u, column v).
  [[nodiscard]] bool contains(double u, double v) const {
    return pointInPolygon(corners, box, pointAt(u, v));
  }
};

[[nodiscard]] std::vector<PolygonShape> shapesOf(const PolygonList& polygons);

// PolygonShape::contains for many scattered points. Unit cells over the box record where no
// point comes near an edge's line (the band of the boundary tolerance, widened far beyond
// rounding errors); there the answer is the cell's, taken once from the shape, and elsewhere
// the shape is asked. The cells cover only the part of the box over the image (rows 0 to
// `rows`, columns 0 to `columns`, with a cell of border), so a polygon reaching far off the
// image costs no more memory than the image; points beyond the cells ask the shape.
class ShapeGrid {
 public:
  ShapeGrid(const PolygonShape& shape, int rows, int columns);
  [[nodiscard]] bool contains(double u, double v) const;

 private:
  enum Cell : std::uint8_t { kOutside, kInside, kAsk };
  void markEdgeBands();
  void fillQuietRuns();
  [[nodiscard]] Cell& cell(int row, int column) {
    return cells_[static_cast<std::size_t>(row) * columns_ + column];
  }

  const PolygonShape* shape_;
  int firstRow_ = 0;
  int firstColumn_ = 0;
  int rows_ = 0;
  int columns_ = 0;
  double margin_ = 0.0;       // bound on rounding errors of the expressions, with room
  std::vector<bool> askRow_;  // rows where every cell asks the shape
  std::vector<Cell> cells_;
};

// findPolygon over the shapes: the first that contains (u, v), or -1.
[[nodiscard]] std::int32_t findShape(std::span<const PolygonShape> shapes, double u, double v);

// findPolygon(u, columns[x]) for every x of one row, written to `indices`. The columns must not
// decrease; every containment predicate is then monotone or constant along the row, so each
// polygon's inside columns follow from a few binary searches with the very expressions
// pointInPolygon evaluates, and the result is identical to a lookup per point.
void classifyRow(std::span<const PolygonShape> shapes, double u, std::span<const double> columns,
                 std::span<std::int32_t> indices);

}  // namespace plk
