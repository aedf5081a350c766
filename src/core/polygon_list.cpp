#include "core/polygon_list.h"

#include <algorithm>
#include <cassert>
#include <unordered_map>

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

std::unique_ptr<Sommet> PolygonList::deleteVertex(Sommet* vertex) {
  for (auto& polygon : polygons_) {
    std::erase(polygon->sommets, vertex);
  }
  std::erase_if(polygons_, [](const auto& polygon) { return polygon->sommets.empty(); });
  const auto owned =
      std::find_if(vertices_.begin(), vertices_.end(),
                   [vertex](const auto& candidate) { return candidate.get() == vertex; });
  if (owned == vertices_.end()) return nullptr;
  std::unique_ptr<Sommet> removed = std::move(*owned);
  vertices_.erase(owned);
  return removed;
}

void PolygonList::clear() {
  polygons_.clear();
  vertices_.clear();
}

PolygonListState PolygonList::capture() const {
  PolygonListState state;
  state.vertices.reserve(vertices_.size());
  for (const auto& vertex : vertices_) {
    state.vertices.push_back({vertex.get(), {vertex->U, vertex->V, vertex->BordU, vertex->BordV}});
  }
  state.polygons.reserve(polygons_.size());
  for (const auto& polygon : polygons_) {
    state.polygons.push_back({polygon->sommets, polygon->value, polygon->locked});
  }
  return state;
}

void PolygonList::restore(const PolygonListState& state, VertexStore& spare) {
  std::unordered_map<Sommet*, std::unique_ptr<Sommet>> pool;
  for (auto& vertex : vertices_) pool.emplace(vertex.get(), std::move(vertex));
  for (auto& vertex : spare) pool.emplace(vertex.get(), std::move(vertex));
  vertices_.clear();
  spare.clear();
  for (const VertexState& entry : state.vertices) {
    auto node = pool.extract(entry.vertex);
    assert(!node.empty());
    Sommet& vertex = *node.mapped();
    vertex.U = entry.record.U;
    vertex.V = entry.record.V;
    vertex.BordU = entry.record.BordU;
    vertex.BordV = entry.record.BordV;
    vertices_.push_back(std::move(node.mapped()));
  }
  for (auto& [address, vertex] : pool) spare.push_back(std::move(vertex));
  polygons_.clear();
  for (const PolygonState& entry : state.polygons) {
    Polygone& polygon = appendPolygon();
    polygon.sommets = entry.sommets;
    polygon.value = entry.value;
    polygon.locked = entry.locked;
  }
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
