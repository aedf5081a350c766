#pragma once

#include <cstddef>
#include <vector>

#include "numeric/matrices.h"

// The refinement's transfer cost computed several at a time, bit for bit equal to transferCost
// (see vision.h): the same operations in the same order for every match, in vector lanes.
namespace plk {

// The transfer cost of each parameter vector k < costs.size(), entries 0..8 of `parameters` from
// k * stride on, into costs[k]. Each lane of the vectors takes one parameter vector and sums its
// matches in order. `laneWidth` is 2, 4 or 8 (supportsLanes); 0 chooses the widest the processor
// runs.
void transferCosts(const std::vector<double>& parameters, std::size_t stride,
                   const Matrix& points1, const Matrix& points2, std::vector<double>& costs,
                   int laneWidth = 0);

// The transfer cost of one parameter vector: the distances of neighbouring matches in lanes,
// then added one by one in the matches' order.
[[nodiscard]] double transferCostByMatchLanes(const Vector& p, const Matrix& points1,
                                              const Matrix& points2, int laneWidth = 0);

}  // namespace plk
