#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/project.h"
#include "core/run_control.h"
#include "numeric/lcg.h"

// The estimation driver: four homographies per polygon from its matches (linear, its Marquardt
// refinement, RANSAC, and the refinement of the RANSAC estimate on its inliers).
namespace plk {

struct EstimationParameters {
  std::int32_t maxIterations = 100;  // of each Marquardt refinement
  double ransacTolerance = 1e-4;     // on the squared symmetric transfer error, normalised units
};

// nonLinearStatus of a polygon whose linear estimate failed, apart from the minimiser's codes.
inline constexpr double kLinearEstimateFailed = -10.0;
// robustNonLinearStatus when RANSAC found no inlier set to refine: no status line.
inline constexpr double kRobustRefinementSkipped = 1.0;
// The three statuses of a polygon whose matches cannot determine a homography: fewer than four
// matches (eight unknowns up to scale need four points), or every left or every right point
// on one line. Its four homographies are zero, so that no map uses them.
inline constexpr double kTooFewMatches = -11.0;
inline constexpr double kCollinearMatches = -12.0;
// Points whose spread across their best line is below this many pixels are on that line: far
// below any matching precision, so nothing about the plane off the line is known.
inline constexpr double kCollinearSpread = 1e-3;
// A refinement whose start already carries the matches within this mean transfer distance
// (pixels) keeps its start as converged: the minimiser finds no descent from an exact fit and
// would otherwise give up and store a zero matrix.
inline constexpr double kExactFitDistance = 1e-9;

// What one polygon's estimation gives. When the linear estimate failed, only the linear and
// non-linear homographies (zero) and the first three fields of the record are meaningful: the
// run keeps the polygon's earlier robust results.
struct PolygonHomographies {
  bool linearFailed = false;
  bool underdetermined = false;  // statuses kTooFewMatches or kCollinearMatches, zero matrices
  Homography linear{};
  Homography nonLinear{};
  Homography robust{};
  Homography robustNonLinear{};
  PolygonEstimation estimation;
  InterestPointList inliers;  // u, v from the right image, leftU, leftV from the left
};

// The four estimates from one polygon's matches; RANSAC draws from the generator.
[[nodiscard]] PolygonHomographies estimatePolygonHomographies(
    const InterestPointList& matches, const EstimationParameters& parameters,
    LinearCongruentialGenerator& generator);

// One entry per list of matches; empty for the positions skipped (locked polygons).
struct EstimationOutcome {
  std::vector<std::optional<PolygonHomographies>> polygons;
};

// Estimates every list of matches whose position is not marked in `locked` (positions past its
// end are not locked), in order, with one progress step per position. Nothing when cancelled.
[[nodiscard]] std::optional<EstimationOutcome> estimateHomographies(
    const std::vector<InterestPointList>& matches, const std::vector<bool>& locked,
    const EstimationParameters& parameters, LinearCongruentialGenerator& generator,
    RunControl& control);

// Resizes the tables to the outcome (keeping the entries already there; new records show no
// robust status), writes the estimated polygons and sets homographiesEstimated.
void applyEstimation(const EstimationOutcome& outcome, ToolResults& results);

}  // namespace plk
