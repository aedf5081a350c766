#pragma once

#include <cstdint>

namespace plk {

// The program-wide linear congruential generator: seed = seed * 134775813 + 1 (mod 2^32), and a
// draw in [0, n) is the high 32 bits of seed * n. It supplies the RANSAC samples and, re-seeded
// from the clock, the seeds of the annealer's own generator. Starts at seed 0.
class LinearCongruentialGenerator {
 public:
  void setSeed(std::uint32_t seed) { seed_ = seed; }
  [[nodiscard]] std::uint32_t seed() const { return seed_; }

  // Advances the seed, then gives an index in [0, n).
  std::uint32_t next(std::uint32_t n) {
    seed_ = seed_ * 134775813U + 1U;
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(seed_) * n) >> 32);
  }

 private:
  std::uint32_t seed_ = 0;
};

// The one generator of the program, seeded 0 at start-up.
[[nodiscard]] LinearCongruentialGenerator& runtimeGenerator();

}  // namespace plk
