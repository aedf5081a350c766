#include "core/polygone.h"

#include <cassert>

namespace plk {

bool Polygone::isClosed() const { return !sommets.empty() && sommets.front() == sommets.back(); }

void Polygone::copyVerticesFrom(const Polygone& other, VertexStore& store) {
  sommets.clear();
  for (const Sommet* vertex : other.sommets) {
    store.push_back(vertex->clone());
    sommets.push_back(store.back().get());
  }
}

void Polygone::copyCoordinatesFrom(const Polygone& other) {
  assert(other.sommets.size() == sommets.size());
  for (std::size_t i = 0; i < other.sommets.size(); ++i) {
    sommets[i]->U = other.sommets[i]->U;
    sommets[i]->V = other.sommets[i]->V;
  }
}

}  // namespace plk
