#pragma once

#include <cstddef>
#include <vector>

#include "numeric/matrices.h"

// The refinement's transfer cost in vector lanes, bit for bit equal to transferCost (see
// vision.h): the same operations in the same order for every match. `laneWidth` is 2 or 4
// (supportsLanes); 0 chooses 4 when the processor runs it.
namespace plk {

// The transfer cost at each point of the numeric derivatives about p with the steps h, entries
// 0..8 (the 55 points of steppedNumericDerivatives, in its order), into costs (55 entries).
// Lanes take neighbouring matches; the quotients s/w and t/w that several points share are
// divided once, and each point sums its matches' distances in order.
void transferCostsAroundPoint(const Vector& p, const Vector& h, const Matrix& points1,
                              const Matrix& points2, std::vector<double>& costs, int laneWidth = 0);

// The transfer cost of one parameter vector: the distances of neighbouring matches in lanes,
// then added one by one in the matches' order.
[[nodiscard]] double transferCostByMatchLanes(const Vector& p, const Matrix& points1,
                                              const Matrix& points2, int laneWidth = 0);

}  // namespace plk
