#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "numeric/matrices.h"
#include "numeric/optim.h"

// Minimisation of a function inside a box by simulated annealing (Kirkpatrick, Gelatt and
// Vecchi): Metropolis acceptance, per-coordinate steps adapted to an acceptance rate between
// 0.4 and 0.6 (Corana et al.), geometric cooling. Random numbers come from the annealer's own
// generator, seeded from the clock through the program-wide generator at every call. Each
// temperature stage may be traced in the optimisation log shared with the Marquardt minimiser.
namespace plk {

inline constexpr int adjustmentsPerTemperature = 5;
inline constexpr int sweepsPerAdjustment = 15;
inline constexpr double coolingFactor = 0.9;
inline constexpr int maxCycles = 1;
inline constexpr int temperatureProbes = 50;

// Time of day in universal time, in milliseconds since midnight.
using MillisecondClock = std::function<std::uint32_t()>;

// The system clock's time of day.
[[nodiscard]] std::uint32_t systemTimeOfDay();
// Replaces the clock that seeds the annealer (tests make runs reproducible); an empty function
// restores the system clock.
void setAnnealingClock(MillisecondClock clock);

struct AnnealingResult {
  OptimStatus status = OptimStatus::Converged;  // Converged or IterationLimit
  double fMin = 0.0;                            // the objective at the returned point
  bool logFailed = false;                       // the trace could not be created or written
  bool stopped = false;  // the caller's check stopped the run; x and fMin are then meaningless
};

// Asked before every evaluation of the objective; false stops the annealing.
using AnnealingCheck = std::function<bool()>;

// Minimises f over lower[i] <= x[i] <= upper[i], i in first..last (lower = upper fixes a
// coordinate), from the start point x, which receives the best point found. The run stops when
// every step is below max(tolerance |best[i]|, tolerance), or with IterationLimit once more than
// maxIterations temperature stages have run. An empty `keepGoing` never stops it.
[[nodiscard]] AnnealingResult simulatedAnnealing(const Objective& f, Vector& x, const Vector& lower,
                                                 const Vector& upper, int first, int last,
                                                 std::int32_t maxIterations, double tolerance,
                                                 const AnnealingCheck& keepGoing = {});

// One line of the trace: stage number, temperature, current value, uphill moves tried and
// accepted.
[[nodiscard]] std::string annealingLogLine(std::int32_t iteration, double temperature, double value,
                                           std::int32_t uphillCount, std::int32_t uphillAccepted);

}  // namespace plk
