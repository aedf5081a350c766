#pragma once

#include <memory>
#include <vector>

#include "core/sommet.h"

namespace plk {

// Owner of working-copy vertices (segmentation copies); list vertices are owned by PolygonList.
using VertexStore = std::vector<std::unique_ptr<Sommet>>;

// A polygon refers to its corners in drawing order and owns none of them. It is closed when
// its last element is the same vertex object as its first.
struct Polygone {
  std::vector<Sommet*> sommets;
  double value = 0.0;   // segmentation energy
  bool locked = false;  // skipped by the optimisation, detection and estimation

  [[nodiscard]] bool isClosed() const;

  // Replaces the corners by clones of the other polygon's corners, stored in `store`; a closing
  // repetition becomes a distinct last vertex.
  void copyVerticesFrom(const Polygone& other, VertexStore& store);
  // Copies U and V position by position from a polygon with as many elements; flags stay.
  void copyCoordinatesFrom(const Polygone& other);
};

}  // namespace plk
