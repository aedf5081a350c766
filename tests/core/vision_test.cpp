#include "core/vision.h"

#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "core/lanes.h"
#include "core/transfer_cost.h"
#include "homography_test_support.h"

namespace plk {
namespace {

using test::Entries;
using test::Point;

constexpr double kTolerance = 1e-8;

Entries linearEstimate(const std::vector<Point>& left, const std::vector<Point>& right) {
  Matrix h(3, 3);
  EXPECT_EQ(
      estimateHomographyLinear(test::pointMatrix(left), test::pointMatrix(right), h, kTolerance),
      LinearEstimateStatus::Ok);
  return test::toEntries(h);
}

// --- Normalisation ---

TEST(NormalizePoints, CentroidAtOriginAndMeanDistanceRootTwo) {
  const Matrix points = test::pointMatrix({{0, 0}, {4, 0}, {4, 2}, {0, 2}});
  Matrix normalized(3, 4);
  Matrix t(3, 3);
  ASSERT_TRUE(normalizePoints(points, normalized, t));
  // Centroid (2, 1); every corner lies sqrt(5) from it.
  const double s = std::sqrt(2.0) / std::sqrt(5.0);
  EXPECT_EQ(test::toEntries(t), (Entries{s, 0, -2 * s, 0, s, -s, 0, 0, 1}));
  double distance = 0.0;
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(normalized[2][i], 1.0);
    distance += std::hypot(normalized[0][i], normalized[1][i]);
  }
  EXPECT_NEAR(distance / 4, std::sqrt(2.0), 1e-15);
  EXPECT_NEAR(normalized[0][0] + normalized[0][1] + normalized[0][2] + normalized[0][3], 0, 1e-15);
}

TEST(NormalizePoints, RefusesSetsWithoutTwoDistinctPoints) {
  Matrix normalized(3, 3);
  Matrix t(3, 3);
  EXPECT_FALSE(normalizePoints(Matrix(3, 0), normalized, t));
  EXPECT_FALSE(normalizePoints(test::pointMatrix({{5, 7}}), normalized, t));
  EXPECT_FALSE(normalizePoints(test::pointMatrix({{5, 7}, {5, 7}, {5, 7}}), normalized, t));
  EXPECT_FALSE(
      normalizePoints(test::pointMatrix({{5, 7}, {std::nan(""), 1}, {2, 2}}), normalized, t));
}

// --- Linear estimation ---

TEST(EstimateHomographyLinear, ExactMatchesGiveTheHomographyBack) {
  std::mt19937 engine(7);
  for (const int n : {4, 50}) {
    const test::MatchSet set = test::exactMatches(test::kPlane, n, engine);
    test::expectSameUpToScale(linearEstimate(set.left, set.right), test::kPlane, 1e-9);
  }
}

// A similarity of image coordinates: scale a, then translation (du, dv).
struct Similarity {
  double a, du, dv;
  [[nodiscard]] Point apply(Point p) const { return {a * p.u + du, a * p.v + dv}; }
  [[nodiscard]] Entries matrix() const { return {a, 0, du, 0, a, dv, 0, 0, 1}; }
  [[nodiscard]] Entries inverse() const { return {1 / a, 0, -du / a, 0, 1 / a, -dv / a, 0, 0, 1}; }
};

Entries multiply(const Entries& x, const Entries& y) {
  Entries z{};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      for (int k = 0; k < 3; ++k) z[3 * r + c] += x[3 * r + k] * y[3 * k + c];
    }
  }
  return z;
}

TEST(EstimateHomographyLinear, NoisyLeastSquaresIgnoresSimilaritiesOfEitherImage) {
  std::mt19937 engine(11);
  test::MatchSet set = test::exactMatches(test::kPlane, 30, engine);
  test::addNoise(set.right, 0.7, engine);
  const Entries reference = linearEstimate(set.left, set.right);

  const Similarity moves[] = {{1.0, 250.0, -80.0}, {3.5, 0.0, 0.0}, {0.25, -40.0, 1000.0}};
  for (const Similarity& move : moves) {
    std::vector<Point> left = set.left;
    std::vector<Point> right = set.right;
    for (Point& p : left) p = move.apply(p);
    // Left points moved by S: H' = H S^-1.
    test::expectSameUpToScale(linearEstimate(left, set.right), multiply(reference, move.inverse()),
                              1e-9);
    for (Point& p : right) p = move.apply(p);
    // Right points moved by S: H' = S H.
    test::expectSameUpToScale(linearEstimate(set.left, right), multiply(move.matrix(), reference),
                              1e-9);
  }
}

// The normalised design matrix built from the formula, for the tests that look inside.
Matrix designMatrix(const Matrix& p, const Matrix& q) {
  const int n = p.columnCount();
  Matrix a(3 * n, 9);
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < 3; ++k) {
      a[3 * i][3 + k] = -q[2][i] * p[k][i];
      a[3 * i][6 + k] = q[1][i] * p[k][i];
      a[3 * i + 1][k] = q[2][i] * p[k][i];
      a[3 * i + 1][6 + k] = -q[0][i] * p[k][i];
      a[3 * i + 2][k] = -q[1][i] * p[k][i];
      a[3 * i + 2][3 + k] = q[0][i] * p[k][i];
    }
  }
  return a;
}

TEST(EstimateHomographyLinear, CollinearPointsTakeTheLastZeroSingularValue) {
  const std::vector<Point> left = {{10, 10}, {20, 20}, {35, 35}, {40, 40}, {70, 70}};
  const std::vector<Point> right = {{12, 5}, {22, 15}, {37, 30}, {42, 35}, {72, 65}};
  const Matrix points1 = test::pointMatrix(left);
  const Matrix points2 = test::pointMatrix(right);
  Matrix p(3, 5), q(3, 5), t1(3, 3), t2(3, 3);
  ASSERT_TRUE(normalizePoints(points1, p, t1));
  ASSERT_TRUE(normalizePoints(points2, q, t2));
  Matrix a = designMatrix(p, q);
  Vector w(9);
  Matrix v(9, 9);
  ASSERT_EQ(singularValueDecomposition(a, 0, 14, 8, w, v), SvdStatus::Ok);
  cutSmallValues(w, 0, 8, kTolerance);
  std::vector<int> zeros;
  for (int i = 0; i < 9; ++i) {
    if (w[i] == 0.0) zeros.push_back(i);
  }
  ASSERT_GE(zeros.size(), 2U);

  Matrix t2Inverse(3, 3);
  ASSERT_EQ(invertMatrix(t2, 0, 2, t2Inverse), LinearStatus::Ok);
  const auto fromColumn = [&](int column) {
    Entries kernel{};
    for (int k = 0; k < 9; ++k) kernel[k] = v[k][column];
    return multiply(multiply(test::toEntries(t2Inverse), kernel), test::toEntries(t1));
  };
  const Entries estimate = linearEstimate(left, right);
  test::expectSameUpToScale(estimate, fromColumn(zeros.back()), 1e-12);
  const Entries first = test::canonical(fromColumn(zeros.front()));
  EXPECT_GT(std::fabs(first[0] - test::canonical(estimate)[0]) +
                std::fabs(first[4] - test::canonical(estimate)[4]),
            1e-3);
}

TEST(EstimateHomographyLinear, TwoMatchesGiveAWideSystemThatStillFitsThem) {
  const std::vector<Point> left = {{10, 20}, {50, 80}};
  const std::vector<Point> right = {{13, 18}, {60, 71}};
  const Entries h = linearEstimate(left, right);
  for (std::size_t i = 0; i < 2; ++i) {
    const Point mapped = test::transfer(h, left[i]);
    EXPECT_NEAR(mapped.u, right[i].u, 1e-9);
    EXPECT_NEAR(mapped.v, right[i].v, 1e-9);
  }
}

TEST(EstimateHomographyLinear, FewerThanTwoDistinctPointsFailWithHUntouched) {
  Matrix h = test::toMatrix({1, 2, 3, 4, 5, 6, 7, 8, 9});
  const Matrix before = h;
  const std::vector<std::vector<Point>> sets = {{}, {{3, 4}}, {{3, 4}, {3, 4}, {3, 4}}};
  for (const auto& set : sets) {
    EXPECT_EQ(
        estimateHomographyLinear(test::pointMatrix(set), test::pointMatrix(set), h, kTolerance),
        LinearEstimateStatus::TooFewDistinctPoints);
  }
  // Distinct on the left but not on the right.
  EXPECT_EQ(estimateHomographyLinear(test::pointMatrix({{1, 1}, {9, 4}}),
                                     test::pointMatrix({{2, 2}, {2, 2}}), h, kTolerance),
            LinearEstimateStatus::TooFewDistinctPoints);
  EXPECT_EQ(test::toEntries(h), test::toEntries(before));
}

// Independent oracle: Hartley normalisation and the DLT written with Eigen, solved by its SVD.
Entries eigenLinearEstimate(const std::vector<Point>& left, const std::vector<Point>& right) {
  const auto normalisation = [](const std::vector<Point>& points) {
    Eigen::Vector2d centroid = Eigen::Vector2d::Zero();
    for (const Point& p : points) centroid += Eigen::Vector2d(p.u, p.v);
    centroid /= static_cast<double>(points.size());
    double distance = 0.0;
    for (const Point& p : points) distance += (Eigen::Vector2d(p.u, p.v) - centroid).norm();
    const double s = std::sqrt(2.0) * static_cast<double>(points.size()) / distance;
    Eigen::Matrix3d t;
    t << s, 0, -s * centroid.x(), 0, s, -s * centroid.y(), 0, 0, 1;
    return t;
  };
  const Eigen::Matrix3d t1 = normalisation(left);
  const Eigen::Matrix3d t2 = normalisation(right);
  Eigen::MatrixXd a = Eigen::MatrixXd::Zero(3 * static_cast<Eigen::Index>(left.size()), 9);
  for (std::size_t i = 0; i < left.size(); ++i) {
    const Eigen::Vector3d p = t1 * Eigen::Vector3d(left[i].u, left[i].v, 1);
    const Eigen::Vector3d q = t2 * Eigen::Vector3d(right[i].u, right[i].v, 1);
    const auto row = static_cast<Eigen::Index>(3 * i);
    a.block<1, 3>(row, 3) = -q.z() * p.transpose();
    a.block<1, 3>(row, 6) = q.y() * p.transpose();
    a.block<1, 3>(row + 1, 0) = q.z() * p.transpose();
    a.block<1, 3>(row + 1, 6) = -q.x() * p.transpose();
    a.block<1, 3>(row + 2, 0) = -q.y() * p.transpose();
    a.block<1, 3>(row + 2, 3) = q.x() * p.transpose();
  }
  const Eigen::JacobiSVD<Eigen::MatrixXd> svd(a, Eigen::ComputeFullV);
  const Eigen::VectorXd kernel = svd.matrixV().col(8);
  Eigen::Matrix3d h;
  h << kernel(0), kernel(1), kernel(2), kernel(3), kernel(4), kernel(5), kernel(6), kernel(7),
      kernel(8);
  const Eigen::Matrix3d pixels = t2.inverse() * h * t1;
  Entries result{};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) result[3 * r + c] = pixels(r, c);
  }
  return result;
}

TEST(EstimateHomographyLinear, AgreesWithAnIndependentSvdOnNoisySets) {
  std::mt19937 engine(2024);
  std::uniform_int_distribution<int> size(5, 60);
  std::uniform_real_distribution<double> jitter(-0.05, 0.05);
  std::uniform_real_distribution<double> sigma(0.1, 2.0);
  for (int trial = 0; trial < 200; ++trial) {
    Entries h = test::kPlane;
    for (std::size_t k = 0; k < 6; ++k) h[k] += jitter(engine) * (k % 3 == 2 ? 100.0 : 1.0);
    test::MatchSet set = test::exactMatches(h, size(engine), engine);
    test::addNoise(set.right, sigma(engine), engine);
    test::expectSameUpToScale(linearEstimate(set.left, set.right),
                              eigenLinearEstimate(set.left, set.right), 1e-9);
    if (HasFailure()) FAIL() << "trial " << trial;
  }
}

// --- Non-linear refinement ---

TEST(TransferCost, SumsEuclideanDistancesWithHReadColumnByColumn) {
  // H = [[1, 0, 2], [0, 1, 0], [0, 0, 1]] in column order; left (0, 0) goes to (2, 0).
  const Vector p = {1, 0, 0, 0, 1, 0, 2, 0, 1};
  const Matrix left = test::pointMatrix({{0, 0}, {1, 1}});
  const Matrix right = test::pointMatrix({{5, 4}, {3, 1}});
  // (5, 4) - (2, 0) is 5 long, (3, 1) - (3, 1) is 0.
  EXPECT_EQ(transferCost(p, left, right), 5.0);
  // w = 0 at (0, 0) when H[2][2] = 0: the cost is infinite, not NaN.
  Vector atInfinity = p;
  atInfinity[8] = 0.0;
  EXPECT_EQ(transferCost(atInfinity, left, right), std::numeric_limits<double>::infinity());
}

class RefineHomography : public ::testing::Test {
 protected:
  void SetUp() override { setOptimLogEnabled(false); }
  void TearDown() override { setOptimLogEnabled(true); }
};

TEST_F(RefineHomography, ExactStartCannotImproveAndEndsWithLambdaTooLarge) {
  // Integer points through a map whose transfers are exact in floating point.
  const Entries h = {2, 0, 3, 0, 2, -1, 0, 0, 1};
  std::vector<Point> left;
  std::vector<Point> right;
  for (int i = 0; i < 6; ++i) {
    left.push_back({static_cast<double>(3 * i), static_cast<double>(i * i)});
    right.push_back(test::transfer(h, left.back()));
  }
  const Refinement r =
      refineHomography(test::pointMatrix(left), test::pointMatrix(right), test::toMatrix(h), 100);
  EXPECT_EQ(r.costBefore, 0.0);
  EXPECT_EQ(r.status, OptimStatus::LambdaTooLarge);
}

TEST_F(RefineHomography, NoisyMatchesLowerTheCostAndScaleDoesNotChangeIt) {
  std::mt19937 engine(5);
  test::MatchSet set = test::exactMatches(test::kPlane, 40, engine);
  test::addNoise(set.right, 0.8, engine);
  const Matrix left = test::pointMatrix(set.left);
  const Matrix right = test::pointMatrix(set.right);
  Matrix start(3, 3);
  ASSERT_EQ(estimateHomographyLinear(left, right, start, kTolerance), LinearEstimateStatus::Ok);
  const Refinement r = refineHomography(left, right, start, 100);
  EXPECT_TRUE(r.status == OptimStatus::Converged || r.status == OptimStatus::IterationLimit);
  EXPECT_LT(r.costAfter, r.costBefore);
  Vector p(9);
  for (int k = 0; k < 9; ++k) p[k] = r.h[k % 3][k / 3];
  EXPECT_LT(transferCost(p, left, right), r.costBefore);

  for (const double factor : {-2.5, 1e-3, 4.0}) {
    Matrix scaled = start;
    for (int k = 0; k < 9; ++k) scaled[k / 3][k % 3] *= factor;
    EXPECT_NEAR(refineHomography(left, right, scaled, 1).costBefore, r.costBefore,
                1e-12 * r.costBefore);
  }
}

TEST_F(RefineHomography, CostsInLanesGiveTheScalarRefinementBitForBit) {
  std::mt19937 engine(11);
  test::MatchSet set = test::exactMatches(test::kPlane, 37, engine);  // not a multiple of a width
  test::addNoise(set.right, 0.6, engine);
  const Matrix left = test::pointMatrix(set.left);
  const Matrix right = test::pointMatrix(set.right);
  Matrix start(3, 3);
  ASSERT_EQ(estimateHomographyLinear(left, right, start, kTolerance), LinearEstimateStatus::Ok);
  Vector p(9);
  for (int k = 0; k < 9; ++k) p[k] = start[k % 3][k / 3];
  const Vector startEntries = p;
  // With a match at (0, 0) and H[2][2] = 0, w = 0 there except where entry 8 is stepped: those
  // points only have a finite cost.
  std::vector<Point> leftWithOrigin = set.left;
  std::vector<Point> rightWithOrigin = set.right;
  leftWithOrigin.push_back({0, 0});
  rightWithOrigin.push_back({3, 4});
  const Matrix left0 = test::pointMatrix(leftWithOrigin);
  const Matrix right0 = test::pointMatrix(rightWithOrigin);
  Vector atInfinity = p;
  atInfinity[8] = 0.0;
  for (const int width : {2, 4}) {
    if (!supportsLanes(width)) continue;
    for (const Vector& centre : {p, atInfinity}) {
      std::vector<Vector> points;
      const Objective record = [&points](const Vector& q) {
        points.push_back(q);
        return 0.0;
      };
      Vector x = centre;
      Vector g(9);
      Matrix a(9, 9);
      numericDerivatives(record, x, 0, 8, g, a);
      std::vector<double> costs;
      const SteppedObjective inLanes = [&](const Vector& base, const Vector& h, int, int,
                                           std::vector<double>& values) {
        transferCostsAroundPoint(base, h, left0, right0, values, width);
        costs = values;
      };
      steppedNumericDerivatives(inLanes, x, 0, 8, g, a);
      ASSERT_EQ(costs.size(), points.size());
      for (std::size_t k = 0; k < points.size(); ++k) {
        const double expected = transferCost(points[k], left0, right0);
        EXPECT_EQ(costs[k], expected) << width << " lanes, point " << k;
        EXPECT_EQ(transferCostByMatchLanes(points[k], left0, right0, width), expected) << width;
        EXPECT_EQ(std::isinf(expected), points[k][8] == 0.0) << k;
      }
    }
  }

  const Refinement r = refineHomography(left, right, start, 100);
  const Objective scalarCost = [&](const Vector& q) { return transferCost(q, left, right); };
  Matrix inverse(9, 9);
  const MarquardtResult expected =
      marquardt(scalarCost, numericDerivatives, p, 0, 8, inverse, 100, 1e-10);
  EXPECT_EQ(r.status, expected.status);
  EXPECT_EQ(r.costBefore, transferCost(startEntries, left, right));
  EXPECT_EQ(r.costAfter, expected.minimum);
  for (int k = 0; k < 9; ++k) EXPECT_EQ(r.h[k % 3][k / 3], p[k]) << k;
}

TEST_F(RefineHomography, IterationLimitOneStillMovesTheMatrix) {
  std::mt19937 engine(9);
  test::MatchSet set = test::exactMatches(test::kPlane, 20, engine);
  test::addNoise(set.right, 0.5, engine);
  const Matrix left = test::pointMatrix(set.left);
  const Matrix right = test::pointMatrix(set.right);
  Matrix start(3, 3);
  ASSERT_EQ(estimateHomographyLinear(left, right, start, kTolerance), LinearEstimateStatus::Ok);
  const Refinement r = refineHomography(left, right, start, 1);
  EXPECT_EQ(r.status, OptimStatus::IterationLimit);
  EXPECT_LT(r.costAfter, r.costBefore);
  EXPECT_NE(test::toEntries(r.h), test::toEntries(start));
}

TEST_F(RefineHomography, StartAtInfinityIsNotMinimised) {
  // H[2][2] = 0 sends the left point (0, 0) to infinity.
  const Entries h = {1, 0, 2, 0, 1, 0, 0, 0, 0};
  const Matrix left = test::pointMatrix({{0, 0}, {1, 1}, {2, 5}, {7, 1}});
  const Matrix right = test::pointMatrix({{2, 0}, {3, 1}, {4, 5}, {9, 1}});
  const Refinement r = refineHomography(left, right, test::toMatrix(h), 100);
  EXPECT_EQ(r.status, OptimStatus::SingularHessian);
  EXPECT_EQ(r.costBefore, std::numeric_limits<double>::infinity());
  EXPECT_EQ(r.costAfter, r.costBefore);
}

// --- Robust estimation ---

TEST(IsDegenerateSample, CountsCollinearTriplesOfBothImages) {
  Matrix sample(6, 4);
  const double left[2][4] = {{0, 1, 0, 1}, {0, 0, 1, 1}};  // a square
  for (int k = 0; k < 4; ++k) {
    sample[0][k] = left[0][k];
    sample[1][k] = left[1][k];
    sample[2][k] = 1;
    sample[3][k] = 2 * left[0][k];
    sample[4][k] = left[1][k];
    sample[5][k] = 1;
  }
  EXPECT_EQ(isDegenerateSample(sample), 0);
  // Point 3 on the line through points 0 and 1, in the right image only: triple (0, 1, 3).
  sample[3][3] = 5;
  sample[4][3] = 0;
  EXPECT_EQ(isDegenerateSample(sample), 1);
  // Column 2 drawn twice: triples (0, 2, 3) and (1, 2, 3) are collinear in both images.
  for (int r = 0; r < 6; ++r) sample[r][3] = sample[r][2];
  EXPECT_EQ(isDegenerateSample(sample), 4);
}

TEST(SymmetricTransferError, SquaredDistancesBothWaysAndSingularModels) {
  // A translation by (1, 2): each point pair off by (0.5, 0) contributes 0.25 each way.
  const Matrix m = test::toMatrix({1, 0, 1, 0, 1, 2, 0, 0, 1});
  Matrix data(6, 2);
  const double columns[2][6] = {{0, 0, 1, 1.5, 2, 1}, {3, 4, 1, 4, 6, 1}};
  for (int i = 0; i < 2; ++i) {
    for (int r = 0; r < 6; ++r) data[r][i] = columns[i][r];
  }
  Vector d(2);
  ASSERT_TRUE(symmetricTransferError(m, data, d));
  EXPECT_EQ(d, Vector({0.5, 0.0}));
  EXPECT_FALSE(symmetricTransferError(test::toMatrix({1, 2, 3, 2, 4, 6, 0, 0, 1}), data, d));
}

// The homography pieces of the robust estimation, counting the fits, for tests of the loop.
struct CountingHomographyModel {
  RansacModel model() {
    return {[this](const Matrix& sample, Matrix& m) {
              ++fits;
              Matrix left(3, 4), right(3, 4);
              for (int r = 0; r < 3; ++r) {
                left[r] = sample[r];
                right[r] = sample[r + 3];
              }
              return estimateHomographyLinear(left, right, m, kTolerance) ==
                     LinearEstimateStatus::Ok;
            },
            symmetricTransferError, isDegenerateSample};
  }
  int fits = 0;
};

Matrix normalisedData(const std::vector<Point>& left, const std::vector<Point>& right) {
  const int n = static_cast<int>(left.size());
  Matrix p(3, n), q(3, n), t(3, 3);
  EXPECT_TRUE(normalizePoints(test::pointMatrix(left), p, t));
  EXPECT_TRUE(normalizePoints(test::pointMatrix(right), q, t));
  Matrix data(6, n);
  for (int r = 0; r < 3; ++r) {
    data[r] = p[r];
    data[r + 3] = q[r];
  }
  return data;
}

TEST(Ransac, FindsExactlyTheInliersAmongGrossOutliers) {
  std::mt19937 engine(3);
  test::MatchSet set = test::exactMatches(test::kPlane, 100, engine);
  std::uniform_real_distribution<double> offset(30.0, 80.0);
  std::vector<Point> expected1;
  std::vector<Point> expected2;
  for (std::size_t i = 0; i < set.right.size(); ++i) {
    if (i % 10 < 3) {
      set.right[i].u += offset(engine);
      set.right[i].v -= offset(engine);
    } else {
      expected1.push_back(set.left[i]);
      expected2.push_back(set.right[i]);
    }
  }
  LinearCongruentialGenerator generator;
  const RobustEstimate r = estimateHomographyRobust(test::pointMatrix(set.left),
                                                    test::pointMatrix(set.right), 1e-4, generator);
  ASSERT_EQ(r.status, RansacStatus::Found);
  ASSERT_EQ(r.inlierCount, 70);
  for (int k = 0; k < 70; ++k) {
    EXPECT_EQ(r.inliers1[0][k], expected1[k].u);
    EXPECT_EQ(r.inliers1[1][k], expected1[k].v);
    EXPECT_EQ(r.inliers2[0][k], expected2[k].u);
    EXPECT_EQ(r.inliers2[1][k], expected2[k].v);
  }
  test::expectSameUpToScale(test::toEntries(r.h), test::kPlane, 1e-9);
}

TEST(Ransac, FourDistinctMatchesEndAfterOneTrial) {
  const std::vector<Point> left = {{10, 10}, {10, 200}, {150, 30}, {140, 220}};
  std::vector<Point> right;
  for (const Point& p : left) right.push_back(test::transfer(test::kPlane, p));
  CountingHomographyModel counting;
  LinearCongruentialGenerator generator;
  Matrix m(3, 3);
  const RansacResult r =
      ransac(normalisedData(left, right), counting.model(), 4, 1e-4, m, generator);
  EXPECT_EQ(r.status, RansacStatus::Found);
  EXPECT_EQ(r.inliers, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(counting.fits, 1);
}

TEST(Ransac, ToleranceZeroAcceptsNoInlierAfterOneTrial) {
  std::mt19937 engine(4);
  const test::MatchSet set = test::exactMatches(test::kPlane, 12, engine);
  CountingHomographyModel counting;
  LinearCongruentialGenerator generator;
  Matrix m(3, 3);
  const RansacResult r =
      ransac(normalisedData(set.left, set.right), counting.model(), 4, 0.0, m, generator);
  EXPECT_EQ(r.status, RansacStatus::NoModel);
  EXPECT_TRUE(r.inliers.empty());
  EXPECT_EQ(counting.fits, 1);

  const RobustEstimate robust = estimateHomographyRobust(
      test::pointMatrix(set.left), test::pointMatrix(set.right), 0.0, generator);
  EXPECT_EQ(robust.status, RansacStatus::NoModel);
  EXPECT_EQ(robust.inlierCount, 0);
  EXPECT_EQ(robust.h.rowCount(), 0);
}

TEST(Ransac, FewerThanFourMatchesDoNothing) {
  LinearCongruentialGenerator generator;
  const Matrix three = test::pointMatrix({{1, 2}, {5, 9}, {7, 3}});
  const RobustEstimate r = estimateHomographyRobust(three, three, 1e-4, generator);
  EXPECT_EQ(r.status, RansacStatus::TooFewMatches);
  EXPECT_EQ(r.inlierCount, 0);
  EXPECT_EQ(generator.seed(), 0U);
}

TEST(Ransac, HundredDegenerateDrawsEndTheRun) {
  // Left points on one line: every triple is collinear.
  const std::vector<Point> left = {{0, 0}, {1, 2}, {2, 4}, {3, 6}, {5, 10}};
  const std::vector<Point> right = {{0, 0}, {9, 1}, {4, 7}, {3, 3}, {8, 8}};
  LinearCongruentialGenerator generator;
  const RobustEstimate r =
      estimateHomographyRobust(test::pointMatrix(left), test::pointMatrix(right), 1e-4, generator);
  EXPECT_EQ(r.status, RansacStatus::Degenerate);
  EXPECT_EQ(r.inlierCount, 0);
  // 100 samples of four indices.
  LinearCongruentialGenerator reference;
  for (int k = 0; k < 400; ++k) static_cast<void>(reference.next(5));
  EXPECT_EQ(generator.seed(), reference.seed());

  // A right image whose points all coincide is refused without drawing.
  const std::vector<Point> same(5, Point{4, 4});
  LinearCongruentialGenerator untouched;
  EXPECT_EQ(
      estimateHomographyRobust(test::pointMatrix(left), test::pointMatrix(same), 1e-4, untouched)
          .status,
      RansacStatus::Degenerate);
  EXPECT_EQ(untouched.seed(), 0U);
}

TEST(Ransac, EqualInlierCountsKeepTheFirstSet) {
  // One-dimensional toy model: a sample of one column picks the columns of its parity, three
  // inliers out of six whatever the sample, so N = ln 0.01 / ln 0.5, seven trials.
  Matrix data(1, 6);
  for (int i = 0; i < 6; ++i) data[0][i] = i;
  std::vector<int> drawn;
  const RansacModel parity{[&drawn](const Matrix& sample, Matrix& m) {
                             m[0][0] = sample[0][0];
                             drawn.push_back(static_cast<int>(sample[0][0]));
                             return true;
                           },
                           [](const Matrix& m, const Matrix& d, Vector& distances) {
                             for (int i = 0; i < d.columnCount(); ++i) {
                               distances[i] = (i - static_cast<int>(m[0][0])) % 2 == 0 ? 0 : 1;
                             }
                             return true;
                           },
                           [](const Matrix&) { return 0; }};
  LinearCongruentialGenerator generator;
  Matrix m(1, 1);
  const RansacResult r = ransac(data, parity, 1, 0.5, m, generator);
  ASSERT_EQ(drawn.size(), 7U);
  const int first = drawn.front();
  EXPECT_TRUE(std::any_of(drawn.begin(), drawn.end(),
                          [first](int column) { return (column - first) % 2 != 0; }));
  EXPECT_EQ(r.inliers.front(), first % 2);
  EXPECT_EQ(m[0][0], first);
}

TEST(Ransac, ATrialWhoseModelCannotBeUsedHasNoInlier) {
  Matrix data(1, 4);
  const RansacModel failing{[](const Matrix&, Matrix&) { return true; },
                            [](const Matrix&, const Matrix&, Vector&) { return false; },
                            [](const Matrix&) { return 0; }};
  LinearCongruentialGenerator generator;
  Matrix m(1, 1);
  EXPECT_EQ(ransac(data, failing, 1, 1.0, m, generator).status, RansacStatus::NoModel);
}

}  // namespace
}  // namespace plk
