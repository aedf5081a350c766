#include "numeric/matrices.h"

#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>

namespace plk {
namespace {

Eigen::MatrixXd toEigen(const Matrix& m) {
  Eigen::MatrixXd e(m.rowCount(), m.columnCount());
  for (int i = 0; i < m.rowCount(); ++i) {
    for (int j = 0; j < m.columnCount(); ++j) e(i, j) = m[i][j];
  }
  return e;
}

Matrix fromEigen(const Eigen::MatrixXd& e) {
  Matrix m(static_cast<int>(e.rows()), static_cast<int>(e.cols()));
  for (int i = 0; i < e.rows(); ++i) {
    for (int j = 0; j < e.cols(); ++j) m[i][j] = e(i, j);
  }
  return m;
}

Matrix fromRows(std::initializer_list<std::initializer_list<double>> rows) {
  Matrix m(static_cast<int>(rows.size()), static_cast<int>(rows.begin()->size()));
  int i = 0;
  for (const auto& row : rows) m[i++] = Vector(row);
  return m;
}

class RandomMatrices {
 public:
  Eigen::MatrixXd uniform(int rows, int cols) {
    Eigen::MatrixXd m(rows, cols);
    for (int i = 0; i < rows; ++i) {
      for (int j = 0; j < cols; ++j) m(i, j) = dist_(engine_);
    }
    return m;
  }
  Eigen::MatrixXd ofRank(int rows, int cols, int rank) {
    return uniform(rows, rank) * uniform(rank, cols);
  }

 private:
  std::mt19937 engine_{20240601};
  std::uniform_real_distribution<double> dist_{-10.0, 10.0};
};

// Decomposes A and checks it against the factors and against the reference singular values.
void expectDecomposition(const Eigen::MatrixXd& reference) {
  const int rows = static_cast<int>(reference.rows());
  const int cols = static_cast<int>(reference.cols());
  Matrix a = fromEigen(reference);
  Vector w(static_cast<std::size_t>(cols));
  Matrix v(cols, cols);
  ASSERT_EQ(singularValueDecomposition(a, 0, rows - 1, cols - 1, w, v), SvdStatus::Ok);

  const Eigen::MatrixXd u = toEigen(a);
  const Eigen::MatrixXd vm = toEigen(v);
  const Eigen::VectorXd wv = Eigen::Map<const Eigen::VectorXd>(w.data(), cols);
  const double norm = std::max(reference.norm(), 1e-300);
  EXPECT_LE((u * wv.asDiagonal() * vm.transpose() - reference).norm() / norm, 1e-10);
  EXPECT_LE((vm.transpose() * vm - Eigen::MatrixXd::Identity(cols, cols)).norm(), 1e-10);
  EXPECT_GE(wv.minCoeff(), 0.0);

  std::vector<double> sorted(w);
  std::sort(sorted.begin(), sorted.end(), std::greater<>());
  const Eigen::VectorXd expected = Eigen::JacobiSVD<Eigen::MatrixXd>(reference).singularValues();
  const double scale = std::max(expected.size() > 0 ? expected(0) : 0.0, 1e-300);
  for (int i = 0; i < cols; ++i) {
    const double want = i < expected.size() ? expected(i) : 0.0;
    EXPECT_LE(std::abs(sorted[static_cast<std::size_t>(i)] - want) / scale, 1e-10)
        << rows << "x" << cols << " value " << i;
  }
}

TEST(Creation, BoundsAndZeroFill) {
  Vector v{1.0};
  makeVector(v, 2);
  EXPECT_EQ(v, Vector({0.0, 0.0, 0.0}));
  makeVector(v, -1);
  EXPECT_TRUE(v.empty());
  IntVector iv;
  makeIntVector(iv, 1);
  EXPECT_EQ(iv, IntVector({0, 0}));
  Matrix m;
  makeMatrix(m, 1, 2);
  EXPECT_EQ(m.rowCount(), 2);
  EXPECT_EQ(m.columnCount(), 3);
  makeMatrix(m, 3, -1);
  EXPECT_EQ(m.rowCount(), 0);
  EXPECT_EQ(m.columnCount(), 0);
}

TEST(Matrix, CopiesAreDeepUnlessARowIsShared) {
  Matrix a(2, 2);
  Matrix b = a;
  b[0][0] = 5.0;
  EXPECT_EQ(a[0][0], 0.0);

  Matrix pairs(6, 3);
  Matrix left(3, 3);
  for (int i = 0; i < 3; ++i) pairs.shareRow(i, left, i);
  left[1][2] = 7.0;
  EXPECT_EQ(pairs[1][2], 7.0);
  pairs[2][0] = -1.0;
  EXPECT_EQ(left[2][0], -1.0);
  EXPECT_TRUE(pairs.sharesRow(0, left, 0));
  EXPECT_FALSE(pairs.sharesRow(3, left, 0));
}

TEST(ElementWise, ResultMayBeAnOperand) {
  Vector a{4.0, 9.0};
  const Vector b{2.0, 3.0};
  vectorSqrt(a, a);
  EXPECT_EQ(a, Vector({2.0, 3.0}));
  vectorSum(a, b, a);
  EXPECT_EQ(a, Vector({4.0, 6.0}));
  vectorProduct(a, b, a);
  EXPECT_EQ(a, Vector({8.0, 18.0}));
  vectorQuotient(a, b, a);
  EXPECT_EQ(a, Vector({4.0, 6.0}));
  vectorMinusScalar(a, 1.0, a);
  EXPECT_EQ(a, Vector({3.0, 5.0}));
  EXPECT_EQ(vectorMean(a), 4.0);
  EXPECT_TRUE(std::isnan(vectorMean(Vector{})));
}

TEST(BlockOperations, InclusiveRanges) {
  const Matrix src = fromRows({{1, 2, 3}, {4, 5, 6}});
  Matrix dest(2, 3);
  copyMatrix(dest, src, 1, 1, 0, 1);
  EXPECT_EQ(dest[0], Vector({0, 0, 0}));
  EXPECT_EQ(dest[1], Vector({4, 5, 0}));

  Matrix t(3, 2);
  transposeBlock(src, t, 0, 1, 0, 2);
  EXPECT_EQ(t[2], Vector({3, 6}));

  Vector column(2);
  getColumn(column, src, 0, 1, 2);
  EXPECT_EQ(column, Vector({3, 6}));
  setColumn(dest, column, 0, 1, 0);
  EXPECT_EQ(dest[0][0], 3.0);

  Matrix s = src;
  swapRows(s, 0, 1, 1, 2);
  EXPECT_EQ(s[0], Vector({1, 5, 6}));
  swapColumns(s, 0, 2, 0, 0);
  EXPECT_EQ(s[0], Vector({6, 5, 1}));

  Vector v{1, 2, 3};
  copyVector(v, Vector{9, 9, 9}, 2, 1);
  EXPECT_EQ(v, Vector({1, 2, 3}));
  EXPECT_EQ(vectorMaximum(Vector{-5, -2, -7}, 0, 2), -2.0);
}

TEST(BlockOperations, VectorMatrixRoundTripAndThreeColumnProduct) {
  Matrix m(2, 3);
  valuesToMatrix(m, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(m[1], Vector({4, 5, 6}));
  Vector flat(6);
  matrixToVector(m, flat);
  EXPECT_EQ(flat, Vector({1, 2, 3, 4, 5, 6}));

  const Matrix t = fromRows({{2, 0, 1}, {0, 1, 0}, {0, 0, 1}});
  const Matrix points = fromRows({{1, 2}, {3, 4}, {1, 1}});
  Matrix c(3, 2);
  product(t, points, c);
  EXPECT_EQ(c[0], Vector({3, 5}));
  EXPECT_EQ(c[1], Vector({3, 4}));
  EXPECT_EQ(c[2], Vector({1, 1}));
}

TEST(BlockOperations, ProductIntoOneOfItsInputs) {
  const Matrix t = fromRows({{2, 1, 1}, {1, 2, 1}, {0, 0, 1}});
  Matrix p = fromRows({{1, 2}, {3, 4}, {1, 1}});
  product(t, p, p);
  EXPECT_EQ(p[0], Vector({6, 9}));
  EXPECT_EQ(p[1], Vector({8, 11}));
  EXPECT_EQ(p[2], Vector({1, 1}));

  Matrix a = fromRows({{1, 2, 0}, {0, 1, 0}, {0, 0, 1}});
  product(a, t, a);
  EXPECT_EQ(a[0], Vector({4, 5, 3}));
  EXPECT_EQ(a[1], Vector({1, 2, 1}));

  // An output that shares a row with an input counts as the input.
  Matrix shared = fromRows({{0, 0}, {0, 0}, {0, 0}});
  Matrix q = fromRows({{1, 2}, {3, 4}, {1, 1}});
  shared.shareRow(0, q, 0);
  product(t, q, shared);
  EXPECT_EQ(q[0], Vector({6, 9}));
  EXPECT_EQ(shared[1], Vector({8, 11}));
}

TEST(GaussJordan, IdentityHasDeterminantOne) {
  const Matrix identity = fromRows({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
  Matrix inverse(3, 3);
  Vector x(3);
  const GaussJordanResult r = gaussJordan(identity, Vector{1, 2, 3}, 0, 2, inverse, x);
  EXPECT_EQ(r.status, LinearStatus::Ok);
  EXPECT_EQ(r.determinant, 1.0);
  EXPECT_EQ(toEigen(inverse), toEigen(identity));
  EXPECT_EQ(x, Vector({1, 2, 3}));
}

TEST(GaussJordan, PivotOffTheDiagonalKeepsVariableOrderAndDeterminantSign) {
  // Largest element at (2, 0): a row swap then a column swap; det = 11.
  const Matrix a = fromRows({{1, 2, 0}, {0, 1, 1}, {5, 0, 1}});
  Matrix inverse(3, 3);
  Vector x(3);
  const GaussJordanResult r = gaussJordan(a, Vector{-3, 1, 8}, 0, 2, inverse, x);
  ASSERT_EQ(r.status, LinearStatus::Ok);
  EXPECT_NEAR(r.determinant, 11.0, 1e-13);
  EXPECT_NEAR(x[0], 1.0, 1e-14);
  EXPECT_NEAR(x[1], -2.0, 1e-14);
  EXPECT_NEAR(x[2], 3.0, 1e-14);
  EXPECT_TRUE((toEigen(inverse) * toEigen(a)).isIdentity(1e-14));
  EXPECT_EQ(a[2][0], 5.0);

  // Largest element in row 0, column 2: only a column swap; det = 4 (1*3 - 2*0) = 12.
  const Matrix b = fromRows({{0, 0, 4}, {1, 2, 0}, {0, 3, 1}});
  const GaussJordanResult rb = gaussJordan(b, Vector{4, 3, 4}, 0, 2, inverse, x);
  EXPECT_EQ(rb.determinant, 12.0);
  EXPECT_NEAR(x[0], 1.0, 1e-14);
  EXPECT_NEAR(x[1], 1.0, 1e-14);
  EXPECT_NEAR(x[2], 1.0, 1e-14);
}

TEST(GaussJordan, SingularMatricesFail) {
  Matrix inverse(3, 3);
  const Matrix zeroRow = fromRows({{1, 2, 3}, {0, 0, 0}, {4, 5, 7}});
  EXPECT_EQ(invertMatrix(zeroRow, 0, 2, inverse), LinearStatus::Singular);
  const Matrix dependent = fromRows({{1, 2}, {2, 4}});
  Vector x(2);
  EXPECT_EQ(gaussJordan(dependent, Vector{1, 1}, 0, 1, inverse, x).status, LinearStatus::Singular);
}

TEST(GaussJordan, NonFinitePivotFails) {
  Matrix inverse(2, 2);
  Vector x(2);
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(invertMatrix(fromRows({{nan, 2}, {3, 4}}), 0, 1, inverse), LinearStatus::Singular);
  EXPECT_EQ(invertMatrix(fromRows({{inf, 2}, {3, 4}}), 0, 1, inverse), LinearStatus::Singular);
  // A NaN away from the first pivot spreads into a later one.
  EXPECT_EQ(gaussJordan(fromRows({{1, nan}, {3, 4}}), Vector{1, 1}, 0, 1, inverse, x).status,
            LinearStatus::Singular);
  EXPECT_EQ(gaussJordan(fromRows({{1, 2}, {3, -inf}}), Vector{1, 1}, 0, 1, inverse, x).status,
            LinearStatus::Singular);
}

TEST(GaussJordan, PivotTiesGoToTheFirstInRowMajorOrder) {
  // All four elements have magnitude 2: the pivot stays at (0, 0), then the block is 0. The
  // partly reduced outputs show which pivot was taken (from (1, 1) they would be
  // [[-0.5, 1], [1, 0]] and X = (-1.5, 4)).
  const Matrix equal = fromRows({{2, 2}, {-2, -2}});
  Matrix inverse(2, 2);
  Vector x(2);
  EXPECT_EQ(gaussJordan(equal, Vector{1, 3}, 0, 1, inverse, x).status, LinearStatus::Singular);
  EXPECT_EQ(inverse[0], Vector({0.5, 1.0}));
  EXPECT_EQ(inverse[1], Vector({1.0, 0.0}));
  EXPECT_EQ(x, Vector({0.5, 4.0}));

  // Ties at (0, 1) and (1, 0): row-major order takes (0, 1), a column swap that leaves X in
  // place; (1, 0) would swap the rows and give X = (3, 2, 0).
  const Matrix crossed = fromRows({{0, 2, 0}, {2, 0, 0}, {0, 0, 0}});
  Matrix inverse3(3, 3);
  Vector x3(3);
  EXPECT_EQ(gaussJordan(crossed, Vector{4, 6, 0}, 0, 2, inverse3, x3).status,
            LinearStatus::Singular);
  EXPECT_EQ(x3, Vector({2.0, 3.0, 0.0}));
}

TEST(GaussJordan, DeterminantSignAndUnpermutationOfACycle) {
  // A cyclic permutation of a diagonal: 2 x1 = b0, 4 x2 = b1, 3 x0 = b2. The first two steps
  // both swap rows and columns, and the swaps are undone in reverse order of the steps.
  const Matrix cycle = fromRows({{0, 2, 0}, {0, 0, 4}, {3, 0, 0}});
  Matrix inverse(3, 3);
  Vector x(3);
  const GaussJordanResult r = gaussJordan(cycle, Vector{4, 12, 3}, 0, 2, inverse, x);
  ASSERT_EQ(r.status, LinearStatus::Ok);
  EXPECT_EQ(r.determinant, 24.0);
  EXPECT_EQ(x, Vector({1.0, 2.0, 3.0}));
  EXPECT_EQ(inverse[0], Vector({0.0, 0.0, 1.0 / 3.0}));
  EXPECT_EQ(inverse[1], Vector({0.5, 0.0, 0.0}));
  EXPECT_EQ(inverse[2], Vector({0.0, 0.25, 0.0}));

  // Anti-diagonal: an odd permutation, det = -24.
  const Matrix anti = fromRows({{0, 0, 2}, {0, 3, 0}, {4, 0, 0}});
  const GaussJordanResult ra = gaussJordan(anti, Vector{2, 6, 8}, 0, 2, inverse, x);
  EXPECT_EQ(ra.determinant, -24.0);
  EXPECT_EQ(x, Vector({2.0, 2.0, 1.0}));
}

TEST(GaussJordan, PivotThresholdIsAbsolute) {
  Matrix inverse(2, 2);
  const double epsilon = std::ldexp(1.0, -52);
  EXPECT_EQ(invertMatrix(fromRows({{epsilon}}), 0, 0, inverse), LinearStatus::Ok);
  EXPECT_EQ(inverse[0][0], std::ldexp(1.0, 52));
  EXPECT_EQ(invertMatrix(fromRows({{epsilon / 2}}), 0, 0, inverse), LinearStatus::Singular);
  // Well conditioned, but every element is below 2^-52.
  const Matrix tiny = fromRows({{1e-17, 0}, {0, 1e-17}});
  EXPECT_EQ(invertMatrix(tiny, 0, 1, inverse), LinearStatus::Singular);
}

TEST(GaussJordan, RandomInversesMatchTheReference) {
  RandomMatrices random;
  for (int n : {1, 2, 3, 5, 9, 9, 9, 12}) {
    const Eigen::MatrixXd reference = random.uniform(n, n);
    Matrix inverse(n, n);
    ASSERT_EQ(invertMatrix(fromEigen(reference), 0, n - 1, inverse), LinearStatus::Ok);
    const Eigen::MatrixXd expected = reference.inverse();
    EXPECT_LE((toEigen(inverse) - expected).norm() / expected.norm(), 1e-10) << n;
  }
}

TEST(GaussJordan, WorksOnAnInnerBlockOnly) {
  Matrix a = fromRows({{9, 9, 9}, {9, 2, 0}, {9, 0, 4}});
  Matrix inverse(3, 3);
  Vector x(3);
  const GaussJordanResult r = gaussJordan(a, Vector{7, 2, 8}, 1, 2, inverse, x);
  EXPECT_NEAR(r.determinant, 8.0, 1e-14);
  EXPECT_EQ(x[0], 0.0);
  EXPECT_NEAR(x[1], 1.0, 1e-15);
  EXPECT_NEAR(x[2], 2.0, 1e-15);
  EXPECT_EQ(inverse[0], Vector({0, 0, 0}));
  EXPECT_NEAR(inverse[2][2], 0.25, 1e-16);
}

TEST(SingularValueDecomposition, RandomMatricesOfTheShapesInUse) {
  RandomMatrices random;
  for (int n = 1; n <= 30; ++n) {
    for (int repeat = 0; repeat < 5; ++repeat) expectDecomposition(random.uniform(3 * n, 9));
  }
  for (int repeat = 0; repeat < 15; ++repeat) {
    expectDecomposition(random.uniform(9, 9));
    expectDecomposition(random.uniform(3, 3));
    expectDecomposition(random.uniform(6, 9));
    expectDecomposition(random.uniform(3, 9));
  }
}

TEST(SingularValueDecomposition, RankDeficientAndDegenerate) {
  RandomMatrices random;
  for (int rank = 1; rank <= 8; ++rank) {
    expectDecomposition(random.ofRank(30, 9, rank));
    expectDecomposition(random.ofRank(9, 9, rank));
  }
  expectDecomposition(random.ofRank(6, 9, 2));
  expectDecomposition(Eigen::MatrixXd::Zero(6, 9));
  Eigen::MatrixXd zeroColumn = random.uniform(12, 9);
  zeroColumn.col(4).setZero();
  expectDecomposition(zeroColumn);
}

TEST(SingularValueDecomposition, NonFiniteInputReportsTheValueThatDidNotConverge) {
  Matrix a(3, 3);
  a[0][0] = 1.0;
  a[1][1] = std::nan("");
  Vector w(3);
  Matrix v(3, 3);
  EXPECT_EQ(singularValueDecomposition(a, 0, 2, 2, w, v), static_cast<SvdStatus>(-2));
}

// Rows of the homography linear system for one pair p -> q.
void addPairRows(Matrix& a, int pair, const Vector& p, const Vector& q) {
  const int r = 3 * pair;
  for (int c = 0; c < 3; ++c) {
    a[r][3 + c] = -q[2] * p[c];
    a[r][6 + c] = q[1] * p[c];
    a[r + 1][c] = q[2] * p[c];
    a[r + 1][6 + c] = -q[0] * p[c];
    a[r + 2][c] = -q[1] * p[c];
    a[r + 2][3 + c] = q[0] * p[c];
  }
}

TEST(SingularValueDecomposition, TwoPointPairsLeaveFiveNegligibleValues) {
  Matrix a(6, 9);
  addPairRows(a, 0, {0.3, -1.2, 1.0}, {0.5, -0.9, 1.0});
  addPairRows(a, 1, {-1.1, 0.4, 1.0}, {-1.3, 0.2, 1.0});
  const Eigen::MatrixXd reference = toEigen(a);
  expectDecomposition(reference);

  Vector w(9);
  Matrix v(9, 9);
  ASSERT_EQ(singularValueDecomposition(a, 0, 5, 8, w, v), SvdStatus::Ok);
  cutSmallValues(w, 0, 8, 1e-12);
  EXPECT_GE(std::count(w.begin(), w.end(), 0.0), 5);
}

TEST(SmallValueCut, RelativeToTheLargestValue) {
  Vector w{1e-13, 2.0, 1.9e-12, 2e-12, 0.5};
  cutSmallValues(w, 0, 4, 1e-12);
  EXPECT_EQ(w, Vector({0.0, 2.0, 0.0, 2e-12, 0.5}));
}

}  // namespace
}  // namespace plk
