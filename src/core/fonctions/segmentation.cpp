#include "core/fonctions/segmentation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "core/fonctions/sampling.h"
#include "core/fonctions/segmentation_detail.h"
#include "core/parallel.h"
#include "numeric/simopt.h"

namespace plk {

namespace {

// Annealing objective of a polygon without energy: worse than any polygon with some energy, yet
// finite so that temperatures and differences stay numbers.
constexpr double kZeroEnergyObjective = 1e300;
constexpr double kUnreached = -std::numeric_limits<double>::infinity();
// Samples each thread measures between two questions to the caller's stop check in an exact
// search: about a hundredth of a second of work.
constexpr std::size_t kBatchSamplesPerThread = std::size_t{1} << 18;

const std::string kLevelRule = "              " + std::string(63, '-');

SidePoint midpoint(SidePoint a, SidePoint b) { return {(a.u + b.u) / 2, (a.v + b.v) / 2}; }

double distance(SidePoint a, SidePoint b) {
  const double du = b.u - a.u;
  const double dv = b.v - a.v;
  return std::sqrt(du * du + dv * dv);
}

// How many halvings of the side from p to q bring consecutive samples at most s apart.
int halvingCount(SidePoint p, SidePoint q, double s) {
  int halvings = 0;
  for (SidePoint second = q; distance(p, second) > s; second = midpoint(p, second)) ++halvings;
  return halvings;
}

// The size of sideSamples(p, q, s).
std::size_t sampleCount(SidePoint p, SidePoint q, double s) {
  return (std::size_t{1} << halvingCount(p, q, s)) + 1;
}

// Appends the points of [a, b) after `depth` halvings, in order along the side.
void appendHalvings(SidePoint a, SidePoint b, int depth, std::vector<SidePoint>& points) {
  if (depth == 0) {
    points.push_back(a);
    return;
  }
  const SidePoint middle = midpoint(a, b);
  appendHalvings(a, middle, depth - 1, points);
  appendHalvings(middle, b, depth - 1, points);
}

struct GradientPair {
  double x = 0.0;
  double y = 0.0;
};

// bicubicSample of both gradient matrices at one position, the kernel weights computed once.
GradientPair sampleGradients(const IntMatrix& gradientX, const IntMatrix& gradientY, double u,
                             double v) {
  const CubicTap row = cubicTap(u);
  const CubicTap column = cubicTap(v);
  const auto reader = [](const IntMatrix& m) {
    return [&m](int r, int c) { return static_cast<double>(m(r, c)); };
  };
  return {cubicCombine(row, column, reader(gradientX)),
          cubicCombine(row, column, reader(gradientY))};
}

SidePoint position(const Sommet& vertex) { return {vertex.U, vertex.V}; }

bool onOneBorderLine(const Sommet& p, const Sommet& q) {
  return (p.BordU && q.BordU && p.U == q.U) || (p.BordV && q.BordV && p.V == q.V);
}

std::size_t distinctCount(const Polygone& polygon) { return polygon.sommets.size() - 1; }

// --- Exact search by dynamic programming ---

// Candidates of every distinct vertex and the energy of every side for every pair of candidates
// of its two ends: side k joins vertex k to vertex k + 1, the last one back to vertex 0.
class CandidateCycle {
 public:
  CandidateCycle(const Polygone& working, double precisionStep, const EnergyField& field) {
    const std::size_t count = distinctCount(working);
    for (std::size_t k = 0; k < count; ++k) {
      candidates_.push_back(vertexCandidates(*working.sommets[k], precisionStep,
                                             field.imageHeight(), field.imageWidth()));
    }
  }

  [[nodiscard]] std::size_t size() const { return candidates_.size(); }
  // False when some vertex, lying outside the image, has no position to take.
  [[nodiscard]] bool everyVertexPlaced() const {
    return std::none_of(candidates_.begin(), candidates_.end(),
                        [](const std::vector<Sommet>& c) { return c.empty(); });
  }
  [[nodiscard]] const std::vector<Sommet>& candidates(std::size_t k) const {
    return candidates_[k];
  }
  // Energy of side k with candidate a at its start and b at its end.
  [[nodiscard]] double side(std::size_t k, std::size_t a, std::size_t b) const {
    return sides_[k][a * candidates_[next(k)].size() + b];
  }

  // The largest energy of a completion from vertex `from` holding candidate `start` with the
  // partial sum `partial` of sides 0 .. from - 1, the cycle closing on candidate `closing` of
  // vertex 0.
  [[nodiscard]] double bestCompletion(std::size_t from, std::size_t start, double partial,
                                      std::size_t closing) const {
    std::vector<double> current(candidates_[from].size(), kUnreached);
    current[start] = partial;
    for (std::size_t k = from; k + 1 < size(); ++k) current = advance(k, current);
    double best = kUnreached;
    for (std::size_t a = 0; a < current.size(); ++a) {
      const double total = current[a] + side(size() - 1, a, closing);
      if (total > best) best = total;
    }
    return best;
  }

  // Fills every side table from the cache, measuring the missing sides in parallel, a batch at
  // a time; false when `keepGoing`, asked before each batch, stopped it.
  bool measureSides(EnergyField& field, const ContinueCheck& keepGoing) {
    const std::vector<PendingSide> pending = collectSides(field);
    for (std::size_t begin = 0; begin < pending.size();) {
      if (keepGoing && !keepGoing()) return false;
      const std::size_t end = batchEnd(pending, begin, field.samplingStep);
      std::vector<double> measured(end - begin);
      parallelFor(measured.size(), [&](std::size_t i) {
        const PendingSide& side = pending[begin + i];
        measured[i] = sideEnergy(sideSamples(start(side), finish(side), field.samplingStep),
                                 field.gradientX, field.gradientY);
      });
      for (std::size_t i = 0; i < measured.size(); ++i) {
        const PendingSide& side = pending[begin + i];
        const std::size_t width = candidates_[next(side.k)].size();
        sides_[side.k][side.a * width + side.b] = measured[i];
        field.cache.store(start(side), finish(side), measured[i]);
      }
      begin = end;
    }
    return true;
  }

 private:
  [[nodiscard]] std::size_t next(std::size_t k) const { return (k + 1) % candidates_.size(); }

  // Largest partial sums at vertex k + 1 from those at vertex k.
  [[nodiscard]] std::vector<double> advance(std::size_t k, const std::vector<double>& at) const {
    std::vector<double> reached(candidates_[k + 1].size(), kUnreached);
    for (std::size_t a = 0; a < at.size(); ++a) {
      if (at[a] == kUnreached) continue;
      for (std::size_t b = 0; b < reached.size(); ++b) {
        const double sum = at[a] + side(k, a, b);
        if (sum > reached[b]) reached[b] = sum;
      }
    }
    return reached;
  }

  // Side k from candidate a of its start to candidate b of its end.
  struct PendingSide {
    std::size_t k, a, b;
  };

  [[nodiscard]] SidePoint start(const PendingSide& side) const {
    return position(candidates_[side.k][side.a]);
  }
  [[nodiscard]] SidePoint finish(const PendingSide& side) const {
    return position(candidates_[next(side.k)][side.b]);
  }

  // Sizes every side table, fills in the sides on one border line and those in the cache, and
  // returns the others.
  std::vector<PendingSide> collectSides(const EnergyField& field) {
    std::vector<PendingSide> pending;
    sides_.resize(size());
    for (std::size_t k = 0; k < size(); ++k) {
      const std::vector<Sommet>& from = candidates_[k];
      const std::vector<Sommet>& to = candidates_[next(k)];
      sides_[k].assign(from.size() * to.size(), 0.0);
      for (std::size_t a = 0; a < from.size(); ++a) {
        for (std::size_t b = 0; b < to.size(); ++b) {
          if (onOneBorderLine(from[a], to[b])) continue;
          const double cached = field.cache.find(position(from[a]), position(to[b]));
          if (cached == SideEnergyCache::kMissing) {
            pending.push_back({k, a, b});
          } else {
            sides_[k][a * to.size() + b] = cached;
          }
        }
      }
    }
    return pending;
  }

  // The end of the batch from `begin`: sides are added until they hold kBatchSamplesPerThread
  // samples for each thread.
  [[nodiscard]] std::size_t batchEnd(const std::vector<PendingSide>& pending, std::size_t begin,
                                     double samplingStep) const {
    const std::size_t budget = kBatchSamplesPerThread * static_cast<std::size_t>(threadCount());
    std::size_t samples = 0;
    std::size_t end = begin;
    while (end < pending.size() && samples < budget) {
      samples += sampleCount(start(pending[end]), finish(pending[end]), samplingStep);
      ++end;
    }
    return end;
  }

  std::vector<std::vector<Sommet>> candidates_;
  std::vector<std::vector<double>> sides_;
};

// Writes the chosen candidates into the polygon's entries, the closing one included.
void placeVertices(const std::vector<Sommet>& chosen, Polygone& polygon) {
  for (std::size_t i = 0; i < polygon.sommets.size(); ++i) {
    const Sommet& source = chosen[i % chosen.size()];
    polygon.sommets[i]->U = source.U;
    polygon.sommets[i]->V = source.V;
  }
}

// --- optimisePolygon ---

std::string levelHeading(std::size_t position, std::int32_t precision) {
  return "              Profondeur niveau " + std::to_string(position) + " : précision 1/" +
         std::to_string(precision);
}

// Border vertices move to the last 1/p position of their pixel (those at 0 stay).
void snapBorderVertices(Polygone& working, std::int32_t precision) {
  for (Sommet* vertex : working.sommets) {
    if (vertex->BordU && vertex->U != 0.0)
      vertex->U = std::floor(vertex->U) + 1.0 - 1.0 / precision;
    if (vertex->BordV && vertex->V != 0.0)
      vertex->V = std::floor(vertex->V) + 1.0 - 1.0 / precision;
  }
}

// Entries 1 .. n - 1 (vertex 0 through its closing repeat) that are neither corners nor held.
std::int32_t movableCount(const Polygone& working) {
  std::int32_t count = 0;
  for (std::size_t i = 1; i < working.sommets.size(); ++i) {
    const Sommet& vertex = *working.sommets[i];
    if (!(vertex.BordU && vertex.BordV) && !vertex.Fixe) ++count;
  }
  return count;
}

double roundToTenth(double x) { return std::nearbyint(10.0 * x) / 10.0; }

class PolygonOptimiser {
 public:
  PolygonOptimiser(const IntMatrix& gradientX, const IntMatrix& gradientY, Polygone& polygon,
                   const OptimisationParameters& parameters, ReportSink& report,
                   NumberFormat format, const ContinueCheck& keepGoing)
      : gradientX_(gradientX),
        gradientY_(gradientY),
        polygon_(polygon),
        parameters_(parameters),
        report_(report),
        format_(format),
        keepGoing_(keepGoing) {
    working_.copyVerticesFrom(polygon, store_);
    objective_.copyVerticesFrom(polygon, store_);
  }

  PolygonOutcome run(const IterationCallback& afterIteration) {
    for (std::size_t k = 0; k < parameters_.levels.size(); ++k) {
      const std::int32_t precision = parameters_.levels[k];
      report_.appendLine(levelHeading(k + 1, precision));
      report_.appendLine(kLevelRule);
      report_.appendLine(" ");
      const LevelEnd end = runLevel(precision, afterIteration);
      if (end != LevelEnd::Converged) {
        outcome_.stopped = end == LevelEnd::Stopped;
        break;
      }
    }
    cache_.clear();
    return outcome_;
  }

 private:
  enum class LevelEnd { Converged, NotConverged, Stopped };

  LevelEnd runLevel(std::int32_t precision, const IterationCallback& afterIteration) {
    snapBorderVertices(working_, precision);
    const std::int32_t movable = movableCount(working_);
    const double step = 1.0 / precision;
    cache_.clear();
    EnergyField field{gradientX_, gradientY_,
                      parameters_.samplingStep != 0.0 ? parameters_.samplingStep : step, cache_};
    double bestEnergy = kNoEnergyYet;
    for (std::int32_t t = 1; t <= parameters_.iterationsPerLevel; ++t) {
      report_.appendLine("                  * Itération " + std::to_string(t) + " : précision 1/" +
                         std::to_string(precision));
      report_.appendLine("                      - Polygone initial : " +
                         vertexListText(working_, format_));
      if (!searchOnce(movable, step, field)) return LevelEnd::Stopped;
      reportIterationResult();
      const bool improved = polygon_.value > bestEnergy;
      if (improved) {
        bestEnergy = polygon_.value;
        working_.copyCoordinatesFrom(polygon_);
      } else {
        report_.appendLine("                     *** Convergence après " + std::to_string(t) +
                           " itérations");
        report_.appendLine(" ");
      }
      if (!afterIteration(precision)) return LevelEnd::Stopped;
      if (!improved) return LevelEnd::Converged;
    }
    report_.appendLine("                     *** Pas de convergence après " +
                       std::to_string(parameters_.iterationsPerLevel) + " itérations");
    report_.appendLine(" ");
    return LevelEnd::NotConverged;
  }

  // One iteration's search from the working polygon into polygon_; false when stopped within it.
  bool searchOnce(std::int32_t movable, double step, EnergyField& field) {
    if (!usesExactSearch(movable)) return anneal(step, field);
    polygon_.value = 0.0;
    return exactSearchUntil(working_, polygon_, step, field, keepGoing_);
  }

  [[nodiscard]] bool usesExactSearch(std::int32_t movable) const {
    return parameters_.annealingIterations == 0 ||
           (parameters_.annealingMinVertices != 0 && movable < parameters_.annealingMinVertices);
  }

  void reportIterationResult() {
    report_.appendLine("                      - Polygone final :    " +
                       vertexListText(polygon_, format_));
    report_.appendLine("                      - Energie finale : E = " +
                       formatFixed(polygon_.value, 10, 2, format_));
    report_.appendLine(" ");
  }

  // Simulated annealing over both coordinates of every distinct vertex, in a box of half-width
  // `step` around the working polygon; border coordinates and held vertices stay put. Positions
  // are measured on the 0.1-pixel grid. False when stopped before the annealing's end.
  bool anneal(double step, EnergyField& field) {
    const std::size_t count = distinctCount(working_);
    Vector x(2 * count);
    Vector lower(2 * count);
    Vector upper(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
      const Sommet& vertex = *working_.sommets[i];
      x[2 * i] = vertex.U;
      x[2 * i + 1] = vertex.V;
      const bool holdU = vertex.BordU || vertex.Fixe;
      const bool holdV = vertex.BordV || vertex.Fixe;
      lower[2 * i] = holdU ? vertex.U : vertex.U - step;
      upper[2 * i] = holdU ? vertex.U : vertex.U + step;
      lower[2 * i + 1] = holdV ? vertex.V : vertex.V - step;
      upper[2 * i + 1] = holdV ? vertex.V : vertex.V + step;
    }
    const Objective objective = [&](const Vector& point) {
      placeOnTenthGrid(point, objective_);
      const double energy = polygonEnergy(objective_, field);
      return energy > 0.0 ? 1.0 / energy : kZeroEnergyObjective;
    };
    const AnnealingResult result =
        simulatedAnnealing(objective, x, lower, upper, 0, static_cast<int>(2 * count) - 1,
                           parameters_.annealingIterations, step, keepGoing_);
    outcome_.annealingLogFailed = outcome_.annealingLogFailed || result.logFailed;
    if (result.stopped) return false;
    report_.appendLine(result.status == OptimStatus::Converged
                           ? "                      *** Convergence *** "
                           : "                      *** Pas de convergence *** ");
    placeOnTenthGrid(x, polygon_);
    polygon_.value = result.fMin >= kZeroEnergyObjective ? 0.0 : 1.0 / result.fMin;
    return true;
  }

  // Vertex i at (R(10 x[2i]) / 10, R(10 x[2i + 1]) / 10), the closing entry like vertex 0.
  static void placeOnTenthGrid(const Vector& point, Polygone& target) {
    const std::size_t count = distinctCount(target);
    for (std::size_t i = 0; i < target.sommets.size(); ++i) {
      const std::size_t k = i % count;
      target.sommets[i]->U = roundToTenth(point[2 * k]);
      target.sommets[i]->V = roundToTenth(point[2 * k + 1]);
    }
  }

  const IntMatrix& gradientX_;
  const IntMatrix& gradientY_;
  Polygone& polygon_;
  const OptimisationParameters& parameters_;
  ReportSink& report_;
  NumberFormat format_;
  const ContinueCheck& keepGoing_;
  VertexStore store_;
  Polygone working_;
  Polygone objective_;
  SideEnergyCache cache_;
  PolygonOutcome outcome_;
};

}  // namespace

std::size_t SideEnergyCache::KeyHash::operator()(const Key& key) const {
  std::size_t seed = 0;
  for (const double value : {key.pu, key.pv, key.qu, key.qv}) {
    seed ^= std::hash<double>{}(value) + 0x9E3779B97F4A7C15ULL + (seed << 6) + (seed >> 2);
  }
  return seed;
}

double SideEnergyCache::find(SidePoint p, SidePoint q) const {
  const auto found = entries_.find(Key{p.u, p.v, q.u, q.v});
  return found == entries_.end() ? kMissing : found->second;
}

void SideEnergyCache::store(SidePoint p, SidePoint q, double energy) {
  entries_[Key{p.u, p.v, q.u, q.v}] = energy;
}

std::vector<SidePoint> sideSamples(SidePoint p, SidePoint q, double s) {
  const int halvings = halvingCount(p, q, s);
  std::vector<SidePoint> points;
  points.reserve((std::size_t{1} << halvings) + 1);
  appendHalvings(p, q, halvings, points);
  points.push_back(q);
  return points;
}

double sideEnergy(const std::vector<SidePoint>& samples, const IntMatrix& gradientX,
                  const IntMatrix& gradientY) {
  const SidePoint p = samples.front();
  const SidePoint q = samples.back();
  const double du = q.u - p.u;
  const double dv = q.v - p.v;
  const double length = std::sqrt(du * du + dv * dv);
  if (length == 0.0) return 0.0;
  const double weightU = std::fabs(du) / length;
  const double weightV = std::fabs(dv) / length;
  const double lastRow = gradientX.rows() - 2;  // H - 1
  const double lastColumn = gradientX.columns() - 2;
  double sum = 0.0;
  int kept = 0;
  for (std::size_t i = 0; i + 1 < samples.size(); ++i) {
    const SidePoint sample = samples[i];
    if (sample.u < 1.0 || sample.u >= lastRow || sample.v < 1.0 || sample.v >= lastColumn) continue;
    const GradientPair gradient = sampleGradients(gradientX, gradientY, sample.u, sample.v);
    const double across = gradient.x * weightU + gradient.y * weightV;
    sum += across * across;
    ++kept;
  }
  return kept == 0 ? 0.0 : sum / kept;
}

double borderAwareSideEnergy(const Sommet& p, const Sommet& q, EnergyField& field) {
  if (onOneBorderLine(p, q)) return 0.0;
  const double cached = field.cache.find(position(p), position(q));
  if (cached != SideEnergyCache::kMissing) return cached;
  const double energy = sideEnergy(sideSamples(position(p), position(q), field.samplingStep),
                                   field.gradientX, field.gradientY);
  field.cache.store(position(p), position(q), energy);
  return energy;
}

double polygonEnergy(const Polygone& polygon, EnergyField& field) {
  double energy = 0.0;
  for (std::size_t k = 0; k + 1 < polygon.sommets.size(); ++k) {
    energy += borderAwareSideEnergy(*polygon.sommets[k], *polygon.sommets[k + 1], field);
  }
  return energy;
}

std::vector<Sommet> vertexCandidates(const Sommet& vertex, double precisionStep, int imageHeight,
                                     int imageWidth) {
  const auto insideRows = [&](double u) { return u >= 0.0 && u < imageHeight; };
  const auto insideColumns = [&](double v) { return v >= 0.0 && v < imageWidth; };
  std::vector<Sommet> candidates;
  if ((vertex.BordU && vertex.BordV) || vertex.Fixe) {
    candidates.push_back(vertex);
    return candidates;
  }
  const double offsets[] = {-1.0, 0.0, 1.0};
  if (vertex.BordU || vertex.BordV) {
    for (const double k : offsets) {
      Sommet moved = vertex;
      if (vertex.BordU) moved.V = vertex.V + k * precisionStep;
      if (vertex.BordV) moved.U = vertex.U + k * precisionStep;
      if (insideRows(moved.U) && insideColumns(moved.V)) candidates.push_back(moved);
    }
    return candidates;
  }
  for (const double i : offsets) {
    for (const double j : offsets) {
      Sommet moved(vertex.U + i * precisionStep, vertex.V + j * precisionStep);
      if (insideRows(moved.U) && insideColumns(moved.V)) candidates.push_back(moved);
    }
  }
  return candidates;
}

void exactSearch(const Polygone& working, Polygone& polygon, double precisionStep,
                 EnergyField& field) {
  (void)exactSearchUntil(working, polygon, precisionStep, field, {});
}

bool exactSearchUntil(const Polygone& working, Polygone& polygon, double precisionStep,
                      EnergyField& field, const ContinueCheck& keepGoing) {
  CandidateCycle cycle(working, precisionStep, field);
  // Like the enumeration, which meets no complete combination then, leave the polygon alone.
  if (!cycle.everyVertexPlaced()) return true;
  if (!cycle.measureSides(field, keepGoing)) return false;
  const std::size_t firstCount = cycle.candidates(0).size();
  std::vector<double> totals(firstCount);
  for (std::size_t a = 0; a < firstCount; ++a) totals[a] = cycle.bestCompletion(0, a, 0.0, a);
  std::size_t first = 0;
  for (std::size_t a = 1; a < firstCount; ++a) {
    if (totals[a] > totals[first]) first = a;
  }
  const double best = totals[first];
  // Walk the vertices in order, taking at each the first candidate that still reaches `best`.
  std::vector<Sommet> chosen{cycle.candidates(0)[first]};
  std::size_t previous = first;
  double partial = 0.0;
  for (std::size_t k = 1; k < cycle.size(); ++k) {
    for (std::size_t b = 0; b < cycle.candidates(k).size(); ++b) {
      const double extended = partial + cycle.side(k - 1, previous, b);
      if (cycle.bestCompletion(k, b, extended, first) == best) {
        chosen.push_back(cycle.candidates(k)[b]);
        previous = b;
        partial = extended;
        break;
      }
    }
  }
  placeVertices(chosen, polygon);
  polygon.value = best;
  return true;
}

PolygonOutcome optimisePolygon(const IntMatrix& gradientX, const IntMatrix& gradientY,
                               Polygone& polygon, const OptimisationParameters& parameters,
                               ReportSink& report, NumberFormat format,
                               const IterationCallback& afterIteration,
                               const ContinueCheck& keepGoing) {
  if (polygon.sommets.size() < 2) return {};
  PolygonOptimiser optimiser(gradientX, gradientY, polygon, parameters, report, format, keepGoing);
  return optimiser.run(afterIteration);
}

std::string vertexListText(const Polygone& polygon, NumberFormat format) {
  std::string text;
  for (const Sommet* vertex : polygon.sommets) {
    text += "(" + formatFixed(vertex->U, 5, 1, format) + " " +
            formatFixed(vertex->V, 5, 1, format) + ") ";
  }
  return text;
}

}  // namespace plk
