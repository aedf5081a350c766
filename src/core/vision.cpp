#include "core/vision.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "core/transfer_cost.h"
#include "numeric/fmath.h"

namespace plk {

namespace {

constexpr double kFitTolerance = 1e-8;
constexpr double kRefinementTolerance = 1e-10;
constexpr int kHomographySample = 4;
constexpr double kCleanSampleProbability = 0.99;
constexpr int kMaxTrials = 1000;
constexpr int kMaxDraws = 100;

// Rows 0..2 of a 3-row matrix as raw pointers, for the loops over points.
struct PointRows {
  explicit PointRows(const Matrix& m) : x(m[0].data()), y(m[1].data()), w(m[2].data()) {}
  const double* x;
  const double* y;
  const double* w;
};

// H = T2^-1 H T1: takes a homography between normalised sets back to pixel coordinates.
// False when T2 cannot be inverted (a scale below the pivot threshold).
bool denormalize(const Matrix& t1, const Matrix& t2, Matrix& h) {
  Matrix t2Inverse(3, 3);
  if (invertMatrix(t2, 0, 2, t2Inverse) != LinearStatus::Ok) return false;
  product(t2Inverse, h, h);
  product(h, t1, h);
  return true;
}

}  // namespace

// --- Linear estimation ---

bool normalizePoints(const Matrix& points, Matrix& normalized, Matrix& t) {
  const int n = points.columnCount();
  if (n == 0) return false;
  const PointRows p(points);
  double xSum = 0.0;
  double ySum = 0.0;
  for (int i = 0; i < n; ++i) {
    xSum += p.x[i] / p.w[i];
    ySum += p.y[i] / p.w[i];
  }
  const double mx = xSum / n;
  const double my = ySum / n;
  double distanceSum = 0.0;
  for (int i = 0; i < n; ++i) {
    const double dx = p.x[i] / p.w[i] - mx;
    const double dy = p.y[i] / p.w[i] - my;
    distanceSum += std::sqrt(dx * dx + dy * dy);
  }
  const double meanDistance = distanceSum / n;
  const double s = std::sqrt(2.0) / meanDistance;
  if (!(meanDistance > 0.0) || !std::isfinite(meanDistance) || !std::isfinite(s)) return false;
  valuesToMatrix(t, {s, 0.0, -s * mx, 0.0, s, -s * my, 0.0, 0.0, 1.0});
  // normalized = T (x, y, 1), term by term as the matrix product computes it.
  for (int i = 0; i < n; ++i) {
    const double x = p.x[i] / p.w[i];
    const double y = p.y[i] / p.w[i];
    for (int r = 0; r < 3; ++r) normalized[r][i] = t[r][0] * x + t[r][1] * y + t[r][2];
  }
  return true;
}

void LinearHomographyEstimator::resize(int count) {
  if (normalized1_.columnCount() == count && normalized1_.rowCount() == 3) return;
  normalized1_ = Matrix(3, count);
  normalized2_ = Matrix(3, count);
  design_ = Matrix(3 * count, 9);
}

// Three rows per match (x, y, w) -> (x', y', w'), from x' x Hx = 0:
// [0, -w' p, y' p], [w' p, 0, -x' p], [-y' p, x' p, 0] with p = (x, y, w).
void LinearHomographyEstimator::buildDesignMatrix(int count) {
  const PointRows p(normalized1_);
  const PointRows q(normalized2_);
  for (int i = 0; i < count; ++i) {
    const double point[3] = {p.x[i], p.y[i], p.w[i]};
    double* row0 = design_[3 * i].data();
    double* row1 = design_[3 * i + 1].data();
    double* row2 = design_[3 * i + 2].data();
    for (int k = 0; k < 3; ++k) {
      row0[k] = 0.0;
      row0[3 + k] = -q.w[i] * point[k];
      row0[6 + k] = q.y[i] * point[k];
      row1[k] = q.w[i] * point[k];
      row1[3 + k] = 0.0;
      row1[6 + k] = -q.x[i] * point[k];
      row2[k] = -q.y[i] * point[k];
      row2[3 + k] = q.x[i] * point[k];
      row2[6 + k] = 0.0;
    }
  }
}

LinearEstimateStatus LinearHomographyEstimator::estimate(const Matrix& points1,
                                                         const Matrix& points2, Matrix& h,
                                                         double tolerance) {
  const int count = points1.columnCount();
  resize(count);
  if (!normalizePoints(points1, normalized1_, t1_) ||
      !normalizePoints(points2, normalized2_, t2_)) {
    return LinearEstimateStatus::TooFewDistinctPoints;
  }
  buildDesignMatrix(count);
  const SvdStatus svd =
      singularValueDecomposition(design_, 0, 3 * count - 1, 8, singularValues_, v_);
  if (svd != SvdStatus::Ok) return static_cast<LinearEstimateStatus>(svd);
  cutSmallValues(singularValues_, 0, 8, tolerance);
  // The smallest value, the last index among equal ones (the values are not sorted).
  int chosen = 0;
  double smallest = singularValues_[0];
  for (int i = 0; i < 9; ++i) {
    if (singularValues_[i] <= smallest) {
      smallest = singularValues_[i];
      chosen = i;
    }
  }
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) kernel_[r][c] = v_[3 * r + c][chosen];
  }
  // H = T2^-1 H T1 takes the solution back to pixel coordinates.
  if (invertMatrix(t2_, 0, 2, t2Inverse_) != LinearStatus::Ok) {
    return LinearEstimateStatus::TooFewDistinctPoints;
  }
  product(t2Inverse_, kernel_, partial_);
  product(partial_, t1_, h);
  return LinearEstimateStatus::Ok;
}

LinearEstimateStatus estimateHomographyLinear(const Matrix& points1, const Matrix& points2,
                                              Matrix& h, double tolerance) {
  LinearHomographyEstimator estimator;
  return estimator.estimate(points1, points2, h, tolerance);
}

// --- Non-linear refinement ---

double transferCost(const Vector& p, const Matrix& points1, const Matrix& points2) {
  const double* x = points1[0].data();
  const double* y = points1[1].data();
  const double* x2 = points2[0].data();
  const double* y2 = points2[1].data();
  const int n = points1.columnCount();
  double cost = 0.0;
  for (int i = 0; i < n; ++i) {
    const double s = p[0] * x[i] + p[3] * y[i] + p[6];
    const double t = p[1] * x[i] + p[4] * y[i] + p[7];
    const double w = p[2] * x[i] + p[5] * y[i] + p[8];
    if (w == 0.0) return std::numeric_limits<double>::infinity();
    const double du = x2[i] - s / w;
    const double dv = y2[i] - t / w;
    cost += std::sqrt(du * du + dv * dv);
  }
  return cost;
}

namespace {

// The transfer cost, remembering its lowest value and where it was met: the minimiser's line
// searches start from the point it accepted last, whose cost it has already computed (and the
// first one from the start point, whose cost the refinement has computed). The cost is a pure
// function of the entries, so the value kept for the same bits is the value computed anew.
class RememberedCost {
 public:
  RememberedCost(const Matrix& points1, const Matrix& points2)
      : points1_(points1), points2_(points2) {}

  double operator()(const Vector& p) {
    if (known_ && std::memcmp(p.data(), lowestAt_, sizeof lowestAt_) == 0) return lowest_;
    const double cost = transferCostByMatchLanes(p, points1_, points2_);
    if (!known_ || cost <= lowest_) {
      std::memcpy(lowestAt_, p.data(), sizeof lowestAt_);
      lowest_ = cost;
      known_ = true;
    }
    return cost;
  }

 private:
  const Matrix& points1_;
  const Matrix& points2_;
  bool known_ = false;
  double lowest_ = 0.0;
  double lowestAt_[9] = {};
};

}  // namespace

Refinement refineHomography(const Matrix& points1, const Matrix& points2, const Matrix& initialH,
                            std::int32_t maxIterations) {
  Vector p(9);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) p[3 * c + r] = initialH[r][c];
  }
  RememberedCost remembered(points1, points2);
  const Objective cost = [&remembered](const Vector& q) { return remembered(q); };
  // The numeric derivatives' points share most of their quotients: see transferCostsAroundPoint.
  const SteppedObjective costs = [&points1, &points2](const Vector& x, const Vector& h, int, int,
                                                      std::vector<double>& values) {
    transferCostsAroundPoint(x, h, points1, points2, values);
  };
  const DerivativeRoutine derivatives = [&costs](const Objective&, Vector& x, int lb, int ub,
                                                 Vector& g, Matrix& a) {
    steppedNumericDerivatives(costs, x, lb, ub, g, a);
  };
  Refinement result;
  result.costBefore = cost(p);
  if (!std::isfinite(result.costBefore)) {
    // Derivatives of a non-finite cost mean nothing: no minimisation, no matrix from NaN.
    result.status = OptimStatus::SingularHessian;
    result.h = initialH;
    result.costAfter = result.costBefore;
    return result;
  }
  Matrix inverseHessian(9, 9);
  const MarquardtResult minimised = marquardt(cost, derivatives, p, 0, 8, inverseHessian,
                                              maxIterations, kRefinementTolerance);
  result.status = minimised.status;
  result.costAfter = minimised.minimum;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) result.h[r][c] = p[3 * c + r];
  }
  return result;
}

// --- Robust estimation ---

namespace {

// Draws samples until one is not degenerate; false when the draw counter passes kMaxDraws,
// which the 100th draw always does.
bool drawSample(const Matrix& data, const RansacModel& model, int sampleSize,
                LinearCongruentialGenerator& generator, Matrix& sample) {
  const auto n = static_cast<std::uint32_t>(data.columnCount());
  int draws = 1;
  bool degenerate = true;
  do {
    for (int k = 0; k < sampleSize; ++k) {
      const auto column = static_cast<int>(generator.next(n));
      for (int r = 0; r < data.rowCount(); ++r) sample[r][k] = data[r][column];
    }
    degenerate = model.degenerateCount(sample) > 0;
    ++draws;
    if (draws > kMaxDraws) return false;
  } while (degenerate);
  return true;
}

// Trials needed for a clean sample with probability 0.99 when `count` of n columns are inliers.
double requiredTrials(int count, int n, int sampleSize) {
  const double inlierRatio = static_cast<double>(count) / n;
  double outlierFree = 1.0 - fmath::intPower(inlierRatio, sampleSize);
  outlierFree = std::fmax(outlierFree, fmath::machineEpsilon);
  outlierFree = std::fmin(outlierFree, 1.0 - fmath::machineEpsilon);
  return fmath::logarithm(1.0 - kCleanSampleProbability) / fmath::logarithm(outlierFree);
}

}  // namespace

RansacResult ransac(const Matrix& data, const RansacModel& model, int sampleSize, double t,
                    Matrix& m, LinearCongruentialGenerator& generator) {
  const int n = data.columnCount();
  Matrix sample(data.rowCount(), sampleSize);
  Vector distances(static_cast<std::size_t>(n));
  std::vector<int> inliers;
  inliers.reserve(static_cast<std::size_t>(n));
  RansacResult best;
  Matrix bestModel;
  double required = 1.0;
  for (int trials = 0; trials < required;) {
    if (!drawSample(data, model, sampleSize, generator, sample)) {
      return {RansacStatus::Degenerate, {}};
    }
    inliers.clear();
    if (model.fit(sample, m) && model.distance(m, data, distances)) {
      for (int i = 0; i < n; ++i) {
        if (std::fabs(distances[i]) < t) inliers.push_back(i);
      }
    }
    if (inliers.size() > best.inliers.size()) {
      best.inliers = inliers;
      bestModel = m;
      best.status = RansacStatus::Found;
      required = requiredTrials(static_cast<int>(inliers.size()), n, sampleSize);
    }
    ++trials;
    if (trials > kMaxTrials) break;
  }
  if (best.status == RansacStatus::Found) {
    copyMatrix(m, bestModel, 0, m.rowCount() - 1, 0, m.columnCount() - 1);
  }
  return best;
}

std::int32_t isDegenerateSample(const Matrix& sample) {
  static constexpr int kTriples[4][3] = {{0, 1, 2}, {0, 2, 3}, {1, 2, 3}, {0, 1, 3}};
  std::int32_t collinear = 0;
  for (const int row : {0, 3}) {
    const Vector& x = sample[row];
    const Vector& y = sample[row + 1];
    for (const auto& triple : kTriples) {
      const int a = triple[0];
      const int b = triple[1];
      const int c = triple[2];
      if ((x[b] - x[a]) * (y[c] - y[a]) - (y[b] - y[a]) * (x[c] - x[a]) == 0.0) ++collinear;
    }
  }
  return collinear;
}

bool symmetricTransferError(const Matrix& m, const Matrix& data, Vector& distances) {
  Matrix inverse(3, 3);
  if (invertMatrix(m, 0, 2, inverse) != LinearStatus::Ok) return false;
  const double* x1 = data[0].data();
  const double* y1 = data[1].data();
  const double* w1 = data[2].data();
  const double* x2 = data[3].data();
  const double* y2 = data[4].data();
  const double* w2 = data[5].data();
  const Vector& h0 = m[0];
  const Vector& h1 = m[1];
  const Vector& h2 = m[2];
  const Vector& i0 = inverse[0];
  const Vector& i1 = inverse[1];
  const Vector& i2 = inverse[2];
  for (int i = 0; i < data.columnCount(); ++i) {
    // M X1 and M^-1 X2, then every point divided by its third coordinate.
    const double hx = h0[0] * x1[i] + h0[1] * y1[i] + h0[2] * w1[i];
    const double hy = h1[0] * x1[i] + h1[1] * y1[i] + h1[2] * w1[i];
    const double hw = h2[0] * x1[i] + h2[1] * y1[i] + h2[2] * w1[i];
    const double ix = i0[0] * x2[i] + i0[1] * y2[i] + i0[2] * w2[i];
    const double iy = i1[0] * x2[i] + i1[1] * y2[i] + i1[2] * w2[i];
    const double iw = i2[0] * x2[i] + i2[1] * y2[i] + i2[2] * w2[i];
    const double dx1 = x1[i] / w1[i] - ix / iw;
    const double dy1 = y1[i] / w1[i] - iy / iw;
    const double dx2 = x2[i] / w2[i] - hx / hw;
    const double dy2 = y2[i] / w2[i] - hy / hw;
    distances[i] = dx1 * dx1 + dy1 * dy1 + dx2 * dx2 + dy2 * dy2;
  }
  return true;
}

namespace {

// Columns `indices` of a 3-row point set.
Matrix gatherColumns(const Matrix& points, const std::vector<int>& indices) {
  Matrix gathered(3, static_cast<int>(indices.size()));
  for (int r = 0; r < 3; ++r) {
    for (std::size_t k = 0; k < indices.size(); ++k) gathered[r][k] = points[r][indices[k]];
  }
  return gathered;
}

// The fit of a homography to a 6 x 4 sample (left points rows 0-2, right points rows 3-5),
// with storage reused between trials.
struct HomographyFit {
  bool operator()(const Matrix& sample, Matrix& model) {
    for (int r = 0; r < 3; ++r) {
      left.shareRow(r, sample, r);
      right.shareRow(r, sample, r + 3);
    }
    return estimator.estimate(left, right, model, kFitTolerance) == LinearEstimateStatus::Ok;
  }

  LinearHomographyEstimator estimator;
  Matrix left{3, 0};
  Matrix right{3, 0};
};

}  // namespace

RobustEstimate estimateHomographyRobust(const Matrix& points1, const Matrix& points2,
                                        double tolerance, LinearCongruentialGenerator& generator) {
  RobustEstimate result;
  const int n = points1.columnCount();
  if (n < kHomographySample) return result;
  Matrix normalized1(3, n);
  Matrix normalized2(3, n);
  Matrix t1(3, 3);
  Matrix t2(3, 3);
  if (!normalizePoints(points1, normalized1, t1) || !normalizePoints(points2, normalized2, t2)) {
    // All points of one image coincide: every sample would be degenerate.
    result.status = RansacStatus::Degenerate;
    return result;
  }
  Matrix data(6, 0);
  for (int r = 0; r < 3; ++r) {
    data.shareRow(r, normalized1, r);
    data.shareRow(r + 3, normalized2, r);
  }
  HomographyFit fit;
  const RansacModel homography{
      [&fit](const Matrix& sample, Matrix& model) { return fit(sample, model); },
      symmetricTransferError, isDegenerateSample};
  Matrix model(3, 3);
  const RansacResult found =
      ransac(data, homography, kHomographySample, tolerance, model, generator);
  result.status = found.status;
  if (found.status != RansacStatus::Found) return result;

  // Re-fit on every inlier; when that fails (fewer than two distinct inliers) the best
  // sample's model stands.
  static_cast<void>(fit.estimator.estimate(gatherColumns(normalized1, found.inliers),
                                           gatherColumns(normalized2, found.inliers), model,
                                           kFitTolerance));
  if (!denormalize(t1, t2, model)) {
    result.status = RansacStatus::Degenerate;
    return result;
  }
  result.h = model;
  result.inliers1 = gatherColumns(points1, found.inliers);
  result.inliers2 = gatherColumns(points2, found.inliers);
  result.inlierCount = static_cast<int>(found.inliers.size());
  return result;
}

}  // namespace plk
