#include "core/polygon_list.h"

#include <algorithm>
#include <cassert>

namespace plk {

Sommet* PolygonList::createVertex(double u, double v, bool bordU, bool bordV) {
  auto vertex = std::make_unique<Sommet>(u, v);
  vertex->BordU = bordU;
  vertex->BordV = bordV;
  vertices_.push_back(std::move(vertex));
  return vertices_.back().get();
}

Polygone& PolygonList::appendPolygon() {
  polygons_.push_back(std::make_unique<Polygone>());
  return *polygons_.back();
}

void PolygonList::deleteVertex(Sommet* vertex) {
  for (auto& polygon : polygons_) {
    std::erase(polygon->sommets, vertex);
  }
  std::erase_if(vertices_, [vertex](const auto& owned) { return owned.get() == vertex; });
  std::erase_if(polygons_, [](const auto& polygon) { return polygon->sommets.empty(); });
}

void PolygonList::clear() {
  polygons_.clear();
  vertices_.clear();
}

PolygonListRecord PolygonList::describe() const {
  for (const auto& polygon : polygons_) {
    for (Sommet* vertex : polygon->sommets) vertex->index = -1;
  }
  PolygonListRecord record;
  for (const auto& polygon : polygons_) {
    std::vector<std::int32_t>& numbers = record.polygons.emplace_back();
    for (Sommet* vertex : polygon->sommets) {
      if (vertex->index == -1) {
        vertex->index = static_cast<std::int32_t>(record.vertices.size());
        record.vertices.push_back({vertex->U, vertex->V, vertex->BordU, vertex->BordV});
      }
      numbers.push_back(vertex->index);
    }
  }
  return record;
}

void PolygonList::rebuild(const PolygonListRecord& record) {
  assert(isValid(record));
  clear();
  std::vector<Sommet*> numbered;
  numbered.reserve(record.vertices.size());
  for (const VertexRecord& v : record.vertices) {
    numbered.push_back(createVertex(v.U, v.V, v.BordU, v.BordV));
  }
  for (const auto& numbers : record.polygons) {
    Polygone& polygon = appendPolygon();
    for (std::int32_t n : numbers) polygon.sommets.push_back(numbered[static_cast<std::size_t>(n)]);
  }
}

bool isValid(const PolygonListRecord& record) {
  const auto count = static_cast<std::int64_t>(record.vertices.size());
  return std::all_of(record.polygons.begin(), record.polygons.end(), [count](const auto& numbers) {
    return std::all_of(numbers.begin(), numbers.end(),
                       [count](std::int32_t n) { return n >= 0 && n < count; });
  });
}

}  // namespace plk
