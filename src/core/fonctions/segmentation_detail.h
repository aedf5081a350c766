#pragma once

#include "core/fonctions/segmentation.h"

// The exact search's reference, kept out of the public header: only the segmentation source, its
// tests and its benchmark use it.
namespace plk {

// The best energy before any candidate was measured: below that of every polygon.
inline constexpr double kNoEnergyYet = -100.0;

// The plain depth-first enumeration of every combination, the reference for exactSearch.
void exactSearchByEnumeration(const Polygone& working, Polygone& polygon, double precisionStep,
                              EnergyField& field);

}  // namespace plk
