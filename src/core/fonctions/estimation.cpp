#include "core/fonctions/estimation.h"

#include <cmath>
#include <string>

#include "core/vision.h"

namespace plk {

namespace {

constexpr double kLinearTolerance = 1e-8;

Homography toHomography(const Matrix& h) {
  Homography result{};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) result[static_cast<std::size_t>(3 * r + c)] = h[r][c];
  }
  return result;
}

// A start that fits its n matches to rounding is the answer, although the minimiser, finding
// no descent from it, gives up.
Refinement keepingAnExactStart(Refinement refined, const Matrix& start, double n) {
  const bool givenUp =
      refined.status != OptimStatus::Converged && refined.status != OptimStatus::IterationLimit;
  if (givenUp && refined.costBefore / n <= kExactFitDistance) {
    refined.h = start;
    refined.status = OptimStatus::Converged;
    refined.costAfter = refined.costBefore;
  }
  return refined;
}

// True when the points (one per column, rows 0 and 1) lie within kCollinearSpread of one line:
// the smaller principal spread of their scatter is that small.
bool onOneLine(const Matrix& points) {
  const int n = points.columnCount();
  double meanX = 0.0;
  double meanY = 0.0;
  for (int i = 0; i < n; ++i) {
    meanX += points[0][i] / n;
    meanY += points[1][i] / n;
  }
  double sxx = 0.0;
  double syy = 0.0;
  double sxy = 0.0;
  for (int i = 0; i < n; ++i) {
    const double dx = points[0][i] - meanX;
    const double dy = points[1][i] - meanY;
    sxx += dx * dx / n;
    syy += dy * dy / n;
    sxy += dx * dy / n;
  }
  const double smallerVariance =
      (sxx + syy) / 2.0 - std::sqrt((sxx - syy) * (sxx - syy) / 4.0 + sxy * sxy);
  return !(smallerVariance > kCollinearSpread * kCollinearSpread);
}

// Zero matrices and the reason in every status, for matches that cannot determine a homography.
void markUnderdetermined(PolygonHomographies& result, double reason) {
  result.underdetermined = true;
  result.linear = result.nonLinear = result.robust = result.robustNonLinear = Homography{};
  result.inliers.clear();
  result.estimation = PolygonEstimation{};
  result.estimation.nonLinearStatus = reason;
  result.estimation.robustStatus = reason;
  result.estimation.robustNonLinearStatus = reason;
}

// The minimiser's end point is worth keeping when it converged or ran out of iterations.
Homography refinedOrZero(const Refinement& refinement) {
  const bool kept = refinement.status == OptimStatus::Converged ||
                    refinement.status == OptimStatus::IterationLimit;
  return kept ? toHomography(refinement.h) : Homography{};
}

// Left points (leftU, leftV, 1) and right points (u, v, 1) of the matches, one per column.
void pointMatrices(const InterestPointList& matches, Matrix& points1, Matrix& points2) {
  const int n = static_cast<int>(matches.size());
  points1 = Matrix(3, n);
  points2 = Matrix(3, n);
  for (int i = 0; i < n; ++i) {
    const InterestPoint& match = matches[static_cast<std::size_t>(i)];
    points1[0][i] = match.leftU;
    points1[1][i] = match.leftV;
    points1[2][i] = 1.0;
    points2[0][i] = match.u;
    points2[1][i] = match.v;
    points2[2][i] = 1.0;
  }
}

InterestPointList inlierRecords(const RobustEstimate& robust) {
  InterestPointList inliers(static_cast<std::size_t>(robust.inlierCount));
  for (int k = 0; k < robust.inlierCount; ++k) {
    InterestPoint& record = inliers[static_cast<std::size_t>(k)];
    record.u = robust.inliers2[0][k];
    record.v = robust.inliers2[1][k];
    record.leftU = robust.inliers1[0][k];
    record.leftV = robust.inliers1[1][k];
  }
  return inliers;
}

// RANSAC, then the refinement of its estimate on the inliers. Without inliers the robust
// homography stays the linear one and nothing is refined.
void estimateRobustly(const Matrix& points1, const Matrix& points2, const Matrix& linear,
                      const EstimationParameters& parameters,
                      LinearCongruentialGenerator& generator, PolygonHomographies& result) {
  const RobustEstimate robust =
      estimateHomographyRobust(points1, points2, parameters.ransacTolerance, generator);
  PolygonEstimation& estimation = result.estimation;
  estimation.inlierCount = robust.inlierCount;
  estimation.robustStatus = static_cast<double>(robust.status);
  if (robust.status != RansacStatus::Found) {
    result.robust = toHomography(linear);
    estimation.robustNonLinearStatus = kRobustRefinementSkipped;
    return;
  }
  result.robust = toHomography(robust.h);
  const Refinement refined = keepingAnExactStart(
      refineHomography(robust.inliers1, robust.inliers2, robust.h, parameters.maxIterations),
      robust.h, robust.inlierCount);
  estimation.robustNonLinearCostBefore = refined.costBefore / robust.inlierCount;
  estimation.robustNonLinearCostAfter = refined.costAfter / robust.inlierCount;
  estimation.robustNonLinearStatus = static_cast<double>(refined.status);
  result.robustNonLinear = refinedOrZero(refined);
  result.inliers = inlierRecords(robust);
}

}  // namespace

PolygonHomographies estimatePolygonHomographies(const InterestPointList& matches,
                                                const EstimationParameters& parameters,
                                                LinearCongruentialGenerator& generator) {
  PolygonHomographies result;
  Matrix points1;
  Matrix points2;
  pointMatrices(matches, points1, points2);
  Matrix h(3, 3);
  if (estimateHomographyLinear(points1, points2, h, kLinearTolerance) != LinearEstimateStatus::Ok) {
    result.linearFailed = true;
    result.estimation.nonLinearStatus = kLinearEstimateFailed;
    return result;
  }
  result.linear = toHomography(h);
  const double n = static_cast<double>(matches.size());
  const Refinement refined =
      keepingAnExactStart(refineHomography(points1, points2, h, parameters.maxIterations), h, n);
  result.estimation.nonLinearCostBefore = refined.costBefore / n;
  result.estimation.nonLinearCostAfter = refined.costAfter / n;
  result.estimation.nonLinearStatus = static_cast<double>(refined.status);
  result.nonLinear = refinedOrZero(refined);
  // The robust estimate runs whatever follows, so that the random draws of later polygons stay
  // the same.
  estimateRobustly(points1, points2, h, parameters, generator, result);
  if (matches.size() < 4) {
    markUnderdetermined(result, kTooFewMatches);
  } else if (onOneLine(points1) || onOneLine(points2)) {
    markUnderdetermined(result, kCollinearMatches);
  }
  return result;
}

std::optional<EstimationOutcome> estimateHomographies(const std::vector<InterestPointList>& matches,
                                                      const std::vector<bool>& locked,
                                                      const EstimationParameters& parameters,
                                                      LinearCongruentialGenerator& generator,
                                                      RunControl& control) {
  const int total = static_cast<int>(matches.size());
  EstimationOutcome outcome;
  outcome.polygons.resize(matches.size());
  for (std::size_t p = 0; p < matches.size(); ++p) {
    const int done = static_cast<int>(p);
    control.step(done, total, "Polygone " + std::to_string(done + 1) + "/" + std::to_string(total));
    if (control.cancelled()) return std::nullopt;
    if (p < locked.size() && locked[p]) continue;
    outcome.polygons[p] = estimatePolygonHomographies(matches[p], parameters, generator);
  }
  return outcome;
}

void applyEstimation(const EstimationOutcome& outcome, ToolResults& results) {
  // A new entry has no robust result yet: its statuses must not read as RANSAC's success and a
  // converged refinement, which zeros would.
  PolygonEstimation neverEstimated;
  neverEstimated.robustStatus = static_cast<double>(RansacStatus::TooFewMatches);
  neverEstimated.robustNonLinearStatus = kRobustRefinementSkipped;
  const std::size_t count = outcome.polygons.size();
  results.linearHomographies.resize(count);
  results.nonLinearHomographies.resize(count);
  results.robustHomographies.resize(count);
  results.robustNonLinearHomographies.resize(count);
  results.polygonEstimations.resize(count, neverEstimated);
  results.inlierMatches.resize(count);
  for (std::size_t p = 0; p < count; ++p) {
    if (!outcome.polygons[p]) continue;
    const PolygonHomographies& polygon = *outcome.polygons[p];
    results.linearHomographies[p] = polygon.linear;
    results.nonLinearHomographies[p] = polygon.nonLinear;
    PolygonEstimation& estimation = results.polygonEstimations[p];
    if (polygon.linearFailed) {
      estimation.nonLinearCostBefore = polygon.estimation.nonLinearCostBefore;
      estimation.nonLinearCostAfter = polygon.estimation.nonLinearCostAfter;
      estimation.nonLinearStatus = polygon.estimation.nonLinearStatus;
      continue;
    }
    // An underdetermined polygon replaces every earlier result: none may be used for a map.
    estimation = polygon.estimation;
    results.robustHomographies[p] = polygon.robust;
    results.robustNonLinearHomographies[p] = polygon.robustNonLinear;
    results.inlierMatches[p] = polygon.inliers;
  }
  results.homographiesEstimated = true;
}

}  // namespace plk
