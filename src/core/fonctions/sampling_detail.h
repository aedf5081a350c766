#pragma once

// A step of the sampling code that the tests check on its own; the programs include sampling.h.

#include <span>

#include "core/project.h"

namespace plk {

// Copy of the first record with the largest score, its `ordinal` set to its position. An empty
// list gives a record of score -100000.
[[nodiscard]] InterestPoint findMaxScore(std::span<const InterestPoint> list);

}  // namespace plk
