#pragma once

#include <cstdint>
#include <memory>

namespace plk {

// A polygon corner of one image: U is the row (downwards), V the column (rightwards).
// Vertices are shared by identity between the polygons of one image.
struct Sommet {
  std::int32_t index = -1;  // number given while a project file is written, -1 otherwise
  double U = 0.0;
  double V = 0.0;
  bool BordU = false;  // U was snapped to the top or bottom border when placed
  bool BordV = false;  // V was snapped to the left or right border when placed
  bool Fixe = false;   // held in place by the segmentation optimisation

  Sommet() = default;
  Sommet(double u, double v) : U(u), V(v) {}

  [[nodiscard]] double distance(const Sommet& other) const;
  // Same coordinates and flags, no index.
  [[nodiscard]] std::unique_ptr<Sommet> clone() const;
};

}  // namespace plk
