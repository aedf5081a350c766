#include "core/fonctions/polygon_map.h"

#include "core/fonctions/geometry.h"
#include "core/parallel.h"

namespace plk {

PolygonIndexMap::PolygonIndexMap(const PolygonList& polygons, int rows, int columns)
    : rows_(rows),
      columns_(columns),
      indices_(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns), -1) {
  if (polygons.empty()) return;
  parallelFor(static_cast<std::size_t>(rows), [&](std::size_t r) {
    std::int32_t* line = indices_.data() + r * static_cast<std::size_t>(columns);
    for (int c = 0; c < columns; ++c) {
      line[c] = findPolygon(polygons, static_cast<double>(r), static_cast<double>(c));
    }
  });
}

}  // namespace plk
