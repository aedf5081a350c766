#include "numeric/simopt.h"

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <utility>

#include "numeric/fmath.h"
#include "numeric/lcg.h"
#include "numeric/randnum.h"
#include "numeric/stat.h"

namespace plk {

namespace {

constexpr double kLn2 = 0.6931471805599453;
constexpr double kHighRate = 0.6;
constexpr double kLowRate = 0.4;
constexpr std::uint32_t kSeedRange = 10000;

MillisecondClock gClock;

double& at(Vector& v, int i) { return v[static_cast<std::size_t>(i)]; }
double at(const Vector& v, int i) { return v[static_cast<std::size_t>(i)]; }

// Re-seeds the program-wide generator from the clock and draws the annealer's two seeds from it.
void seedFromClock() {
  runtimeGenerator().setSeed(gClock ? gClock() : systemTimeOfDay());
  const std::uint32_t a = runtimeGenerator().next(kSeedRange);
  const std::uint32_t b = runtimeGenerator().next(kSeedRange);
  seedRandom(b, a);
}

// Working state of one annealing run, indexed first..last like the caller's vectors.
class Annealer {
 public:
  Annealer(const Objective& f, Vector& x, const Vector& lower, const Vector& upper, int first,
           int last, double tolerance, OptimLog& log, const AnnealingCheck& keepGoing)
      : f_(f),
        x_(x),
        lower_(lower),
        upper_(upper),
        first_(first),
        last_(last),
        tolerance_(tolerance),
        log_(log),
        keepGoing_(keepGoing),
        range_(x.size(), 0.0),
        step_(x.size(), 0.0),
        best_(x.size(), 0.0),
        acceptedCount_(x.size(), 0) {
    for (int i = first_; i <= last_; ++i) at(range_, i) = at(upper_, i) - at(lower_, i);
  }

  // One cycle from x; x receives the best point. Returns the status; a stopped cycle leaves x
  // where it was when the caller's check stopped it.
  OptimStatus runCycle(std::int32_t maxIterations, double& fMin) {
    for (int i = first_; i <= last_; ++i) {
      at(step_, i) = 0.5 * at(range_, i);
      at(best_, i) = at(x_, i);
    }
    if (!proceed()) return OptimStatus::Converged;
    value_ = f_(x_);
    fMin = value_;
    temperature_ = initialTemperature();
    std::int32_t iteration = 0;
    do {
      if (!runTemperatureStage(fMin)) return OptimStatus::Converged;
      log_.writeLine(
          annealingLogLine(iteration, temperature_, value_, uphillCount_, uphillAccepted_));
      temperature_ *= coolingFactor;
      ++iteration;
    } while (!converged() && iteration <= maxIterations);
    for (int i = first_; i <= last_; ++i) at(x_, i) = at(best_, i);
    return iteration > maxIterations ? OptimStatus::IterationLimit : OptimStatus::Converged;
  }

  [[nodiscard]] bool stopped() const { return stopped_; }

 private:
  // The median uphill difference met by random probes, scaled so that it is accepted with
  // probability 1/2. The probes move x; the reference value stays that of the start point.
  double initialTemperature() {
    double previous = value_;
    Vector differences;
    int i = first_;
    for (int probe = 0; probe < temperatureProbes && proceed(); ++probe) {
      at(x_, i) = at(lower_, i) + randomUniform() * at(range_, i);
      const double probed = f_(x_);
      if (probed > previous) differences.push_back(probed - previous);
      previous = probed;
      i = i == last_ ? first_ : i + 1;
    }
    if (differences.empty()) return 1.0;
    return median(differences, 0, static_cast<int>(differences.size()) - 1) / kLn2;
  }

  // False when the caller's check stopped it.
  bool runTemperatureStage(double& fMin) {
    uphillCount_ = 0;
    uphillAccepted_ = 0;
    for (int adjustment = 0; adjustment < adjustmentsPerTemperature; ++adjustment) {
      for (int sweep = 0; sweep < sweepsPerAdjustment; ++sweep) {
        for (int i = first_; i <= last_; ++i) {
          if (!proceed()) return false;
          tryMove(i, fMin);
        }
      }
      adjustSteps();
    }
    return true;
  }

  // Asks the caller's check before an evaluation; once it said stop, stays stopped.
  bool proceed() {
    if (!stopped_ && keepGoing_ && !keepGoing_()) stopped_ = true;
    return !stopped_;
  }

  void tryMove(int i, double& fMin) {
    const double old = at(x_, i);
    at(x_, i) = old + (2.0 * randomUniform() - 1.0) * at(step_, i);
    if (at(x_, i) < at(lower_, i) || at(x_, i) > at(upper_, i)) {
      at(x_, i) = at(lower_, i) + randomUniform() * at(range_, i);
    }
    const double candidate = f_(x_);
    if (metropolisAccept(candidate - value_)) {
      ++acceptedCount_[static_cast<std::size_t>(i)];
      value_ = candidate;
    } else {
      at(x_, i) = old;
    }
    if (value_ < fMin) {
      fMin = value_;
      best_ = x_;
    }
  }

  // Downhill moves are taken; an uphill (or level) move with probability exp(-dF/T).
  bool metropolisAccept(double difference) {
    if (difference < 0.0) return true;
    ++uphillCount_;
    const double probability =
        difference == 0.0 ? 1.0 : fmath::exponential(-difference / temperature_);
    if (randomUniform() >= probability) return false;
    ++uphillAccepted_;
    return true;
  }

  // Widens the steps of coordinates accepted too often, narrows those accepted too rarely.
  void adjustSteps() {
    for (int i = first_; i <= last_; ++i) {
      int& accepted = acceptedCount_[static_cast<std::size_t>(i)];
      const double rate = static_cast<double>(accepted) / sweepsPerAdjustment;
      double& step = at(step_, i);
      if (rate > kHighRate) {
        step = step * (1.0 + 2.0 * (rate - kHighRate) / kLowRate);
        if (step > at(range_, i)) step = at(range_, i);
      } else if (rate < kLowRate) {
        step = step / (1.0 + 2.0 * (kLowRate - rate) / kLowRate);
      }
      accepted = 0;
    }
  }

  [[nodiscard]] bool converged() const {
    for (int i = first_; i <= last_; ++i) {
      const double bound = fmath::maximum(tolerance_ * std::fabs(at(best_, i)), tolerance_);
      if (!(at(step_, i) < bound)) return false;
    }
    return true;
  }

  const Objective& f_;
  Vector& x_;
  const Vector& lower_;
  const Vector& upper_;
  int first_;
  int last_;
  double tolerance_;
  OptimLog& log_;
  const AnnealingCheck& keepGoing_;
  bool stopped_ = false;
  Vector range_;
  Vector step_;
  Vector best_;
  std::vector<int> acceptedCount_;
  double value_ = 0.0;
  double temperature_ = 1.0;
  std::int32_t uphillCount_ = 0;
  std::int32_t uphillAccepted_ = 0;
};

}  // namespace

std::uint32_t systemTimeOfDay() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto sinceMidnight = now - floor<days>(now);
  return static_cast<std::uint32_t>(duration_cast<milliseconds>(sinceMidnight).count());
}

void setAnnealingClock(MillisecondClock clock) { gClock = std::move(clock); }

AnnealingResult simulatedAnnealing(const Objective& f, Vector& x, const Vector& lower,
                                   const Vector& upper, int first, int last,
                                   std::int32_t maxIterations, double tolerance,
                                   const AnnealingCheck& keepGoing) {
  OptimLog log;
  log.open();
  seedFromClock();
  AnnealingResult result;
  Annealer annealer(f, x, lower, upper, first, last, tolerance, log, keepGoing);
  for (int cycle = 1;; ++cycle) {
    log.writeLine("Simulated annealing: Cycle " + std::to_string(cycle));
    log.writeLine("");
    log.writeLine("Iter         T              F        Inc   Acc");
    result.status = annealer.runCycle(maxIterations, result.fMin);
    if (annealer.stopped() || cycle + 1 > maxCycles || result.status != OptimStatus::Converged) {
      break;
    }
  }
  log.close();
  result.logFailed = log.failed();
  result.stopped = annealer.stopped();
  return result;
}

std::string annealingLogLine(std::int32_t iteration, double temperature, double value,
                             std::int32_t uphillCount, std::int32_t uphillAccepted) {
  char number[16];
  std::snprintf(number, sizeof number, "%4d", static_cast<int>(iteration));
  char counts[32];
  std::snprintf(counts, sizeof counts, "%6d%6d", static_cast<int>(uphillCount),
                static_cast<int>(uphillAccepted));
  return std::string(number) + "   " + formatLogReal(temperature) + "   " + formatLogReal(value) +
         counts;
}

}  // namespace plk
