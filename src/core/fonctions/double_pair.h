#pragma once

#include <cstring>

namespace plk {

// Two doubles in one vector register. Each lane is computed with plain IEEE operations, so a
// value computed in a lane equals the same expression computed alone: filters and correlations
// run two pixels or candidates at a time with bit-identical results.
using DoublePair = double __attribute__((vector_size(16)));

[[nodiscard]] inline DoublePair loadPair(const double* values) {
  DoublePair pair;
  std::memcpy(&pair, values, sizeof pair);
  return pair;
}

[[nodiscard]] inline DoublePair broadcastPair(double value) { return DoublePair{value, value}; }

}  // namespace plk
