#pragma once

#include <cstdint>

// The annealer's random numbers: Marsaglia's multiply-with-carry generator, two 16-bit lags
// with multipliers 18000 and 30903 whose outputs are joined into one 32-bit pattern. Module
// state, seeded (1802, 9373) at start-up and re-seeded by every annealing run. Not re-entrant.
namespace plk {

class MultiplyWithCarry {
 public:
  MultiplyWithCarry(std::uint32_t x0, std::uint32_t y0) { seed(x0, y0); }

  // x = x0, y = y0, both carries 0.
  void seed(std::uint32_t x0, std::uint32_t y0);
  // Advances both lags and joins them: x in the high 16 bits, y in the low 16 bits.
  std::uint32_t nextInt32();
  // The pattern read as a signed integer s, mapped to (s + 2^31) / 2^32: in [0, 1).
  double nextUniform();

 private:
  std::uint32_t x_ = 0;
  std::uint32_t y_ = 0;
  std::uint32_t cx_ = 0;
  std::uint32_t cy_ = 0;
};

// The one generator of the annealer.
[[nodiscard]] MultiplyWithCarry& annealerGenerator();

void seedRandom(std::uint32_t x0, std::uint32_t y0);
std::uint32_t randomInt32();
double randomUniform();

}  // namespace plk
