#pragma once

#include <cstdint>
#include <vector>

#include "core/polygon_list.h"

namespace plk {

// For every pixel of an image, the index of the first polygon of a list that contains it, or -1.
// Built once per tool run, it replaces every later containment test at integer positions.
class PolygonIndexMap {
 public:
  PolygonIndexMap() = default;
  // findPolygon at every pixel (row u, column v), a row at a time, rows spread over the
  // parallel loop.
  PolygonIndexMap(const PolygonList& polygons, int rows, int columns);

  [[nodiscard]] int rows() const { return rows_; }
  [[nodiscard]] int columns() const { return columns_; }
  [[nodiscard]] std::int32_t operator()(int row, int column) const {
    return indices_[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_) +
                    static_cast<std::size_t>(column)];
  }
  // The row of `columns()` indices.
  [[nodiscard]] const std::int32_t* row(int r) const {
    return indices_.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(columns_);
  }

 private:
  int rows_ = 0;
  int columns_ = 0;
  std::vector<std::int32_t> indices_;
};

}  // namespace plk
