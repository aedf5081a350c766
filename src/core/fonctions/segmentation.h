#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/grey_image.h"
#include "core/polygone.h"
#include "core/report.h"
#include "core/textformat.h"

// Segmentation energy of a polygon (mean squared gradient across each side, summed over the
// sides) and the search that moves the polygon's vertices to maximise it, level by level of
// precision, exactly or by simulated annealing.
namespace plk {

// What optimisePolygon is asked to do, the same for every polygon of a run.
struct OptimisationParameters {
  std::vector<std::int32_t> levels;         // precision 1/p pixel at level p, in order; p >= 1
  std::int32_t iterationsPerLevel = 10;     // >= 1
  std::int32_t annealingIterations = 1000;  // 0 selects the exact search for every polygon
  std::int32_t annealingMinVertices = 6;    // 0: no threshold
  double samplingStep = 0.0;                // forced step along the sides; 0 for the adaptive step
};

// A position on a side: u the row, v the column.
struct SidePoint {
  double u = 0.0;
  double v = 0.0;
};

// Energies of the sides measured during one precision level, keyed by the coordinates of both
// ends in order (a side measured from q to p is another key). A side's energy depends only on its
// ends, the sampling step and the image, so entries stay valid for the whole level.
class SideEnergyCache {
 public:
  static constexpr double kMissing = -100.0;  // energies are never negative

  [[nodiscard]] double find(SidePoint p, SidePoint q) const;
  void store(SidePoint p, SidePoint q, double energy);
  void clear() { entries_.clear(); }
  [[nodiscard]] std::size_t size() const { return entries_.size(); }

 private:
  struct Key {
    double pu, pv, qu, qv;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const;
  };
  std::unordered_map<Key, double, KeyHash> entries_;
};

// The image a polygon is fitted to: its gradient matrices (H + 1 rows, W + 1 columns) and the
// sampling step along the sides, with the level's cache of side energies.
struct EnergyField {
  const IntMatrix& gradientX;
  const IntMatrix& gradientY;
  double samplingStep;
  SideEnergyCache& cache;

  [[nodiscard]] int imageHeight() const { return gradientX.rows() - 1; }
  [[nodiscard]] int imageWidth() const { return gradientX.columns() - 1; }
};

// Points from p to q, both included, by repeated halving until consecutive points are at most s
// apart: spacing L / 2^m. s must be positive.
[[nodiscard]] std::vector<SidePoint> sideSamples(SidePoint p, SidePoint q, double s);

// Mean over the samples, the last one (q) left out, of the squared gradient across the side
// (X gradient weighted by |dU| / L, Y gradient by |dV| / L). Samples outside
// 1 <= u < H - 1, 1 <= v < W - 1 are skipped; none kept, or a side of length 0, gives 0.
[[nodiscard]] double sideEnergy(const std::vector<SidePoint>& samples, const IntMatrix& gradientX,
                                const IntMatrix& gradientY);

// Energy of the side from p to q: 0 when both ends lie on the same image border line, else the
// cached or newly measured (and stored) side energy.
[[nodiscard]] double borderAwareSideEnergy(const Sommet& p, const Sommet& q, EnergyField& field);

// Sum of the side energies from side 0 on, in order.
[[nodiscard]] double polygonEnergy(const Polygone& polygon, EnergyField& field);

// The positions vertex k of `working` may take in one exact-search step of precisionStep, in the
// order the search tries them: only itself for a corner or a held vertex, three along its border
// line for a border vertex, nine otherwise; positions outside the image are left out.
[[nodiscard]] std::vector<Sommet> vertexCandidates(const Sommet& vertex, double precisionStep,
                                                   int imageHeight, int imageWidth);

// The best polygon among every combination of vertex candidates: its coordinates go into
// `polygon` (n entries, like `working`) and its energy into polygon.value. Of equal energies the
// combination met first in the enumeration order (vertex 0 outermost) wins. Found by a max-sum
// recursion along the cycle of sides for each candidate of vertex 0, which reaches the
// enumeration's maximum exactly because the energy is a left fold of side energies and rounded
// addition is monotone.
void exactSearch(const Polygone& working, Polygone& polygon, double precisionStep,
                 EnergyField& field);

// Asked between pieces of work inside an iteration (batches of side measurements, annealing
// moves), so that a stop is seen promptly; false stops. An empty check never stops.
using ContinueCheck = std::function<bool()>;

// exactSearch that asks `keepGoing` between batches of side measurements; false, with the polygon
// left as it was, when it was told to stop.
bool exactSearchUntil(const Polygone& working, Polygone& polygon, double precisionStep,
                      EnergyField& field, const ContinueCheck& keepGoing);

// What optimisePolygon tells its caller.
struct PolygonOutcome {
  bool stopped = false;  // the caller asked to stop, after or within an iteration
  bool annealingLogFailed = false;
};

// Called after each iteration with the level's precision p; false stops the optimisation.
using IterationCallback = std::function<bool(std::int32_t precision)>;

// Fits the polygon to the contours of the image of `gradientX` and `gradientY`: moves its
// vertices (shared objects, so neighbours see the moves), sets its value and appends the report
// lines of every level and iteration. A polygon of a single entry has no side and is left alone.
// `keepGoing` may stop it within an iteration, which then reports no result.
PolygonOutcome optimisePolygon(const IntMatrix& gradientX, const IntMatrix& gradientY,
                               Polygone& polygon, const OptimisationParameters& parameters,
                               ReportSink& report, NumberFormat format,
                               const IterationCallback& afterIteration,
                               const ContinueCheck& keepGoing = {});

// "(U V) " for every entry, coordinates as "%5.1f".
[[nodiscard]] std::string vertexListText(const Polygone& polygon, NumberFormat format);

}  // namespace plk
