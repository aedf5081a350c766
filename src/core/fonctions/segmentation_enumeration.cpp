#include "core/fonctions/segmentation_detail.h"

// The plain depth-first enumeration of every combination of candidates: the reference the exact
// search is tested and measured against.
namespace plk {

namespace {

class Enumeration {
 public:
  Enumeration(const Polygone& working, Polygone& polygon, double precisionStep, EnergyField& field)
      : polygon_(polygon), field_(field) {
    candidate_.copyVerticesFrom(working, store_);
    // Every distinct vertex: the closing entry repeats the first.
    for (std::size_t k = 0; k + 1 < working.sommets.size(); ++k) {
      candidates_.push_back(vertexCandidates(*working.sommets[k], precisionStep,
                                             field.imageHeight(), field.imageWidth()));
    }
  }

  void run(std::size_t position) {
    if (position == candidates_.size()) {
      *candidate_.sommets.back() = *candidate_.sommets.front();
      const double energy = polygonEnergy(candidate_, field_);
      if (energy > best_) {
        best_ = energy;
        polygon_.copyCoordinatesFrom(candidate_);
        polygon_.value = energy;
      }
      return;
    }
    for (const Sommet& choice : candidates_[position]) {
      *candidate_.sommets[position] = choice;
      run(position + 1);
    }
  }

 private:
  Polygone& polygon_;
  EnergyField& field_;
  VertexStore store_;
  Polygone candidate_;
  std::vector<std::vector<Sommet>> candidates_;
  double best_ = kNoEnergyYet;
};

}  // namespace

void exactSearchByEnumeration(const Polygone& working, Polygone& polygon, double precisionStep,
                              EnergyField& field) {
  Enumeration enumeration(working, polygon, precisionStep, field);
  enumeration.run(0);
}

}  // namespace plk
