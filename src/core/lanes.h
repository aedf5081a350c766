#pragma once

#include <cstring>

namespace plk {

// Vectors of 2, 4 and 8 doubles. Each lane is computed with plain IEEE operations (the build
// turns off contraction into fused multiply-adds), so a value computed in a lane equals the same
// expression computed alone. The 4- and 8-lane forms only run in functions compiled for AVX2 or
// AVX-512F and chosen at run time (supportsLanes).
using Lanes2 = double __attribute__((vector_size(16)));
using Lanes4 = double __attribute__((vector_size(32)));
using Lanes8 = double __attribute__((vector_size(64)));

// The vector of the doubles from `values` on, which need no alignment. Returned through a
// reference: a vector returned by value would take the default processor's convention.
template <typename Lanes>
[[gnu::always_inline]] inline void loadLanes(Lanes& lanes, const double* values) {
  std::memcpy(&lanes, values, sizeof lanes);
}

// Whether this processor runs vectors of `width` doubles: 1 and 2 always (SSE2 belongs to
// x86-64), 4 with AVX2, 8 with AVX-512F.
[[nodiscard]] bool supportsLanes(int width);

// The widest of 8, 4 and 2 that supportsLanes.
[[nodiscard]] int widestLaneWidth();

}  // namespace plk
