#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "numeric/lcg.h"
#include "numeric/matrices.h"
#include "numeric/optim.h"

// Plane-to-plane homography estimation from point matches: Hartley normalisation, the
// normalised direct linear transformation, Marquardt refinement of the transfer distance and
// RANSAC. A point set is a 3 x n Matrix, one point (x, y, 1) per column; a homography H is a
// 3 x 3 Matrix mapping a left point to the right image, never rescaled.
namespace plk {

// --- Linear estimation ---

// Status of the linear estimate. Besides these, a failed singular value decomposition hands
// back its own code (SvdStatus: -k, or FirstValueNotConverged); H is then unchanged too.
enum class LinearEstimateStatus : std::int32_t {
  Ok = 0,                       // H written
  TooFewDistinctPoints = -100,  // a point set has fewer than two distinct points: no normalisation
};

// Hartley normalisation: translates the centroid to the origin and scales the mean distance
// from it to sqrt(2). Writes the normalised points (3 x n) and T (3 x 3) = [[s, 0, -s mx],
// [0, s, -s my], [0, 0, 1]], both allocated by the caller. False, with nothing written, when
// the set has no point, all its points coincide or a coordinate is not finite.
[[nodiscard]] bool normalizePoints(const Matrix& points, Matrix& normalized, Matrix& t);

// The normalised direct linear transformation with its working storage, kept between calls so
// that the many small fits of RANSAC allocate nothing.
class LinearHomographyEstimator {
 public:
  // Fits H to the matches (columns of points1 and points2, at least two distinct points in
  // each): all three equations of x' x Hx = 0 per match, right singular vector of the smallest
  // singular value after the values below tolerance * largest are cut to zero (the last index
  // among equal minima), normalisation undone. H (3 x 3) is written only on success.
  [[nodiscard]] LinearEstimateStatus estimate(const Matrix& points1, const Matrix& points2,
                                              Matrix& h, double tolerance);

 private:
  void resize(int count);
  void buildDesignMatrix(int count);

  Matrix normalized1_;
  Matrix normalized2_;
  Matrix t1_{3, 3};
  Matrix t2_{3, 3};
  Matrix t2Inverse_{3, 3};
  Matrix design_;
  Vector singularValues_ = Vector(9);
  Matrix v_{9, 9};
  Matrix kernel_{3, 3};
  Matrix partial_{3, 3};
};

// One linear estimate with fresh working storage.
[[nodiscard]] LinearEstimateStatus estimateHomographyLinear(const Matrix& points1,
                                                            const Matrix& points2, Matrix& h,
                                                            double tolerance);

// --- Non-linear refinement ---

// Sum over the matches of the Euclidean distance between the right point and the transfer of
// the left point through H, whose entries p holds column by column (p[3c + r] = H[r][c]).
// Infinite when H sends a left point to infinity (w = 0).
[[nodiscard]] double transferCost(const Vector& p, const Matrix& points1, const Matrix& points2);

struct Refinement {
  OptimStatus status = OptimStatus::Converged;
  Matrix h{3, 3};  // the minimiser's end point, read back into H
  double costBefore = 0.0;
  double costAfter = 0.0;
};

// Minimises transferCost over the nine entries of H with the Marquardt minimiser (numeric
// derivatives, tolerance 1e-10, the trace in the optimisation log). When the start cost is
// not finite nothing is minimised: the status is SingularHessian, H the start and both costs
// the start cost. After SingularHessian on the first damped system the cost after is the cost
// before. On Converged, h includes the minimiser's final undamped step, taken after costAfter.
[[nodiscard]] Refinement refineHomography(const Matrix& points1, const Matrix& points2,
                                          const Matrix& initialH, std::int32_t maxIterations);

// --- Robust estimation ---

// Status of the robust estimation.
enum class RansacStatus : std::int32_t {
  Found = 0,           // a model with at least one inlier
  Degenerate = -1,     // 100 draws in a row gave no non-degenerate sample
  NoModel = -3,        // no trial gave any inlier
  TooFewMatches = -4,  // fewer than 4 matches: nothing done
};

// What the generic RANSAC loop needs of a model. `fit` writes the model of a sample and tells
// whether it could; `distance` writes one distance per data column and tells whether the model
// could be used; `degenerateCount` is positive for a sample that cannot define a model.
struct RansacModel {
  std::function<bool(const Matrix& sample, Matrix& model)> fit;
  std::function<bool(const Matrix& model, const Matrix& data, Vector& distances)> distance;
  std::function<std::int32_t(const Matrix& sample)> degenerateCount;
};

struct RansacResult {
  RansacStatus status = RansacStatus::NoModel;  // Found, Degenerate or NoModel
  std::vector<int> inliers;                     // data columns of the best model, increasing
};

// Fischler and Bolles' random sample consensus over the columns of `data`, with samples of
// `sampleSize` columns drawn from the generator (repeats allowed, degenerate samples redrawn up
// to 100 draws per trial), inliers the columns whose |distance| is below t, and the number of
// trials adapted to the best inlier ratio for a 0.99 chance of one clean sample (at most 1001).
// A trial whose fit or distance fails has no inlier. Equal counts keep the earlier set. `m` is
// the working model, allocated by the caller; it holds the best model when Found.
[[nodiscard]] RansacResult ransac(const Matrix& data, const RansacModel& model, int sampleSize,
                                  double t, Matrix& m, LinearCongruentialGenerator& generator);

// Number of exactly collinear triples among the four points of a 6 x 4 sample, in the left
// (rows 0, 1) and in the right (rows 3, 4) image: 0 to 8.
[[nodiscard]] std::int32_t isDegenerateSample(const Matrix& sample);

// Squared symmetric transfer error of every column of the 6 x n data (left point rows 0-2, right
// point rows 3-5) through M and its inverse. False, with nothing written, when M cannot be
// inverted.
[[nodiscard]] bool symmetricTransferError(const Matrix& m, const Matrix& data, Vector& distances);

struct RobustEstimate {
  RansacStatus status = RansacStatus::TooFewMatches;
  Matrix h;         // 3 x 3, only when Found
  Matrix inliers1;  // 3 x inlierCount left points, in pixels, when Found
  Matrix inliers2;  // the matching right points
  int inlierCount = 0;
};

// RANSAC on the normalised matches with four-point samples, the linear estimate as fit, the
// squared symmetric transfer error (normalised units) as distance and the collinearity test,
// then a linear re-fit on all inliers. When RANSAC fails the count is 0 and no H is given.
[[nodiscard]] RobustEstimate estimateHomographyRobust(const Matrix& points1, const Matrix& points2,
                                                      double tolerance,
                                                      LinearCongruentialGenerator& generator);

}  // namespace plk
