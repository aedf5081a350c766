#include "core/sommet.h"

#include <cmath>

namespace plk {

double Sommet::distance(const Sommet& other) const {
  const double du = U - other.U;
  const double dv = V - other.V;
  return std::sqrt(du * du + dv * dv);
}

std::unique_ptr<Sommet> Sommet::clone() const {
  auto copy = std::make_unique<Sommet>(U, V);
  copy->BordU = BordU;
  copy->BordV = BordV;
  copy->Fixe = Fixe;
  return copy;
}

}  // namespace plk
