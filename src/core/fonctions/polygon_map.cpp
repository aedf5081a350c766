#include "core/fonctions/polygon_map.h"

#include <numeric>

#include "core/fonctions/polygon_scan.h"
#include "core/parallel.h"

namespace plk {

PolygonIndexMap::PolygonIndexMap(const PolygonList& polygons, int rows, int columns)
    : rows_(rows),
      columns_(columns),
      indices_(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns), -1) {
  if (polygons.empty()) return;
  const std::vector<PolygonShape> shapes = shapesOf(polygons);
  std::vector<double> positions(static_cast<std::size_t>(columns));
  std::iota(positions.begin(), positions.end(), 0.0);
  parallelFor(static_cast<std::size_t>(rows), [&](std::size_t r) {
    const std::span<std::int32_t> line(indices_.data() + r * static_cast<std::size_t>(columns),
                                       static_cast<std::size_t>(columns));
    classifyRow(shapes, static_cast<double>(r), positions, line);
  });
}

}  // namespace plk
