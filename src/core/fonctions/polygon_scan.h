#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/fonctions/polygon_sides.h"
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
  enum Cell : std::uint8_t { kOutside, kInside, kAsk };

  ShapeGrid(const PolygonShape& shape, int rows, int columns);
  [[nodiscard]] bool contains(double u, double v) const;
  // Calls visit(row, column, answer) for every cell, in image rows and columns: the answer of
  // the unit cell [row, row + 1) x [column, column + 1) for its points inside the shape's box.
  // Cells not visited answer kOutside: they lie outside the box.
  template <typename Visit>
  void visitCells(Visit visit) const {
    for (int r = 0; r < rows_; ++r) {
      const Cell* line = cells_.data() + static_cast<std::size_t>(r) * columns_;
      const bool ask = askRow_[static_cast<std::size_t>(r)];
      for (int c = 0; c < columns_; ++c) {
        visit(firstRow_ + r, firstColumn_ + c, ask ? kAsk : line[c]);
      }
    }
  }

 private:
  void markEdgeBands();
  void fillQuietRuns();
  // The shape's answer at a point inside its box.
  [[nodiscard]] bool askShape(double u, double v) const;
  [[nodiscard]] Cell& cell(int row, int column) {
    return cells_[static_cast<std::size_t>(row) * columns_ + column];
  }

  const PolygonShape* shape_;
  PolygonSides sides_;
  int firstRow_ = 0;
  int firstColumn_ = 0;
  int rows_ = 0;
  int columns_ = 0;
  double margin_ = 0.0;       // bound on rounding errors of the expressions, with room
  std::vector<bool> askRow_;  // rows where every cell asks the shape
  std::vector<Cell> cells_;
};

// findShape for many scattered points over shapes that stay in place. One unit cell per pixel
// of the image, with a cell of border, records the first shape whose grid does not answer
// "outside" there; when that grid answers "inside", the point is that shape's without asking
// any other, and elsewhere the grids are asked in order.
class ShapeStack {
 public:
  ShapeStack(std::span<const PolygonShape> shapes, int rows, int columns);
  [[nodiscard]] std::int32_t findShape(double u, double v) const;

 private:
  [[nodiscard]] std::int32_t askGrids(std::size_t from, double u, double v) const;

  std::vector<ShapeGrid> grids_;
  int rows_ = 0;  // cells cover rows -1 .. rows_ and columns -1 .. columns_
  int columns_ = 0;
  // Per cell: -1 when every shape's grid answers outside there; else 2 k + 1 when the first
  // shape not outside, k, holds every point of the cell, and 2 k when it must be asked.
  std::vector<std::int32_t> cells_;
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
