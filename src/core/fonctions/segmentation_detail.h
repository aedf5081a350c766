#pragma once

#include "core/fonctions/segmentation.h"

// The exact search's reference, kept out of the public header: only the segmentation source, its
// tests and its benchmark use it.
namespace plk {

// The plain depth-first enumeration of every combination, the reference for exactSearch.
void exactSearchByEnumeration(const Polygone& working, Polygone& polygon, double precisionStep,
                              EnergyField& field);

}  // namespace plk
