#include "numeric/optim.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "numeric/fmath.h"

namespace plk {
namespace {

namespace fs = std::filesystem;

// Points the trace to a fresh temporary folder for the duration of a test.
class OptimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("plk_optim_" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    setOptimLogPath((folder_ / "optim.log").string());
  }
  void TearDown() override {
    setOptimLogPath("optim.log");
    fs::remove_all(folder_);
  }

  [[nodiscard]] std::string logBytes() const {
    std::ifstream in(folder_ / "optim.log", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path folder_;
};

double rosenbrock(const Vector& x) {
  const double a = x[1] - x[0] * x[0];
  const double b = 1.0 - x[0];
  return 100.0 * a * a + b * b;
}

// Sum of squared transfer distances of the point pairs through the homography h (row-major).
struct TransferCost {
  std::vector<double> px, py, qx, qy;

  double operator()(const Vector& h) const {
    double sum = 0.0;
    for (std::size_t i = 0; i < px.size(); ++i) {
      const double w = h[6] * px[i] + h[7] * py[i] + h[8];
      const double du = (h[0] * px[i] + h[1] * py[i] + h[2]) / w - qx[i];
      const double dv = (h[3] * px[i] + h[4] * py[i] + h[5]) / w - qy[i];
      sum += du * du + dv * dv;
    }
    return sum;
  }
};

TransferCost exactPairs(const Vector& h, int count) {
  TransferCost cost;
  for (int i = 0; i < count; ++i) {
    const double x = 10.0 + 37.0 * (i % 5) + 3.0 * i;
    const double y = 20.0 + 29.0 * (i / 5) - 2.0 * (i % 3);
    const double w = h[6] * x + h[7] * y + h[8];
    cost.px.push_back(x);
    cost.py.push_back(y);
    cost.qx.push_back((h[0] * x + h[1] * y + h[2]) / w);
    cost.qy.push_back((h[3] * x + h[4] * y + h[5]) / w);
  }
  return cost;
}

const Vector kTrueHomography{1.05, 0.02, 3.0, -0.03, 0.98, -2.0, 1e-4, -2e-4, 1.0};

TEST(FormatLogReal, TwelveCharactersWithFourExponentDigits) {
  EXPECT_EQ(formatLogReal(0.01), " 1.000E-0002");
  EXPECT_EQ(formatLogReal(-1234.6), "-1.235E+0003");
  EXPECT_EQ(formatLogReal(0.0), " 0.000E+0000");
  EXPECT_EQ(formatLogReal(1e-300), " 1.000E-0300");
  EXPECT_EQ(formatLogReal(9.9996), " 1.000E+0001");
}

TEST(ConvergenceTest, RelativeToleranceWithAnAbsoluteFloor) {
  EXPECT_TRUE(convergenceTest({0.0, 100.0}, {0.5e-3, 100.05}, 0, 1, 1e-3));
  EXPECT_FALSE(convergenceTest({0.0, 100.0}, {2e-3, 100.0}, 0, 1, 1e-3));
  EXPECT_FALSE(convergenceTest({0.0, 100.0}, {0.0, 100.2}, 0, 1, 1e-3));
  EXPECT_TRUE(convergenceTest({0.0, 5.0}, {0.0, 5.0}, 1, 0, 1e-3));
}

TEST(NumericDerivatives, CentralDifferencesOfAQuadratic) {
  EXPECT_EQ(eta(), fmath::power(fmath::machineEpsilon, 0.333));
  const Objective f = [](const Vector& x) {
    return x[0] * x[0] + 3.0 * x[0] * x[1] + 2.0 * x[1] * x[1] + x[0];
  };
  Vector x{1.0, 2.0};
  Vector g(2);
  Matrix a(2, 2);
  numericDerivatives(f, x, 0, 1, g, a);
  EXPECT_EQ(x, Vector({1.0, 2.0}));
  EXPECT_NEAR(g[0], 9.0, 1e-8);
  EXPECT_NEAR(g[1], 11.0, 1e-8);
  EXPECT_NEAR(a[0][0], 2.0, 1e-3);
  EXPECT_NEAR(a[0][1], 3.0, 1e-3);
  EXPECT_EQ(a[1][0], a[0][1]);
  EXPECT_NEAR(a[1][1], 4.0, 1e-3);
}

TEST(LineMinimize, FindsTheMinimumAlongTheDirection) {
  const Objective f = [](const Vector& x) { return (x[0] - 3.0) * (x[0] - 3.0) + x[1] * x[1]; };
  Vector x{0.0, 0.0};
  const LineResult r = lineMinimize(f, x, {1.0, 0.0}, 0, 1, 100, 0.01);
  EXPECT_EQ(r.status, OptimStatus::Converged);
  EXPECT_NEAR(x[0], 3.0, 0.05);
  EXPECT_EQ(x[1], 0.0);
  EXPECT_NEAR(r.minimum, 0.0, 1e-3);

  const LineResult still = lineMinimize(f, x, {0.0, 0.0}, 0, 1, 100, 0.01);
  EXPECT_EQ(still.status, OptimStatus::Converged);
  EXPECT_EQ(still.minimum, f(x));
}

TEST(LineMinimize, EndlessOrNonFiniteDescentStopsWithIterationLimit) {
  const Objective downhill = [](const Vector& x) { return -x[0]; };
  Vector x{1.0};
  const LineResult endless = lineMinimize(downhill, x, {1.0}, 0, 0, 100, 0.01);
  EXPECT_EQ(endless.status, OptimStatus::IterationLimit);
  EXPECT_EQ(x[0], 1.0);
  EXPECT_EQ(endless.minimum, -1.0);

  const Objective cliff = [](const Vector& x) { return x[0] > 2.0 ? std::nan("") : -x[0]; };
  EXPECT_EQ(lineMinimize(cliff, x, {1.0}, 0, 0, 100, 0.01).status, OptimStatus::IterationLimit);
  EXPECT_EQ(x[0], 1.0);
}

TEST_F(OptimTest, FitsAHomographyToExactPairsFromAPerturbedStart) {
  const TransferCost cost = exactPairs(kTrueHomography, 12);
  Vector h = kTrueHomography;
  h[0] += 0.01;
  h[2] -= 0.5;
  h[4] -= 0.01;
  h[7] += 5e-5;
  const double start = cost(h);
  Matrix inverse(9, 9);
  const MarquardtResult r = marquardt(cost, numericDerivatives, h, 0, 8, inverse, 50, 1e-10);
  EXPECT_EQ(r.status, OptimStatus::Converged);
  EXPECT_FALSE(r.logFailed);
  EXPECT_LT(r.minimum, start * 1e-8);
  EXPECT_LT(cost(h), start * 1e-8);
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(h[i] / h[8], kTrueHomography[i], 1e-5) << i;
}

TEST_F(OptimTest, EdgeStatusCodes) {
  Matrix inverse(2, 2);
  Vector x{-1.2, 1.0};
  EXPECT_EQ(marquardt(rosenbrock, numericDerivatives, x, 0, 1, inverse, 1, 1e-10).status,
            OptimStatus::IterationLimit);

  const Objective zeroAtStart = [](const Vector& x) { return x[0] * x[0] + x[1] * x[1]; };
  Vector origin{0.0, 0.0};
  const MarquardtResult flat =
      marquardt(zeroAtStart, numericDerivatives, origin, 0, 1, inverse, 100, 1e-10);
  EXPECT_EQ(flat.status, OptimStatus::LambdaTooLarge);
  EXPECT_EQ(flat.minimum, 0.0);
}

TEST_F(OptimTest, SingularFirstSystemReportsTheStartValue) {
  const Objective linear = [](const Vector& x) { return 2.0 * x[0] + 7.0; };
  Vector x{1.0};
  Matrix inverse(1, 1);
  const MarquardtResult r = marquardt(linear, numericDerivatives, x, 0, 0, inverse, 10, 1e-10);
  EXPECT_EQ(r.status, OptimStatus::SingularHessian);
  EXPECT_EQ(r.minimum, 9.0);
  EXPECT_EQ(x[0], 1.0);
}

TEST_F(OptimTest, EndlessDescentEndsWithIterationLimit) {
  const Objective cliff = [](const Vector& x) { return -std::exp(x[0]); };
  Vector x{0.0};
  Matrix inverse(1, 1);
  const MarquardtResult r = marquardt(cliff, numericDerivatives, x, 0, 0, inverse, 10, 1e-10);
  EXPECT_EQ(r.status, OptimStatus::IterationLimit);
  EXPECT_EQ(x[0], 0.0);
  EXPECT_EQ(r.minimum, -1.0);
}

TEST_F(OptimTest, LogOfThreeIterationsHasFiveLines) {
  Vector x{-1.2, 1.0};
  Matrix inverse(2, 2);
  const MarquardtResult r = marquardt(rosenbrock, numericDerivatives, x, 0, 1, inverse, 3, 1e-10);
  EXPECT_EQ(r.status, OptimStatus::IterationLimit);
  EXPECT_FALSE(r.logFailed);

  const std::string bytes = logBytes();
  const std::string head =
      "Marquardt\r\n"
      "Iter         F            Lambda\r\n"
      "   1    2.420E+0001    1.000E-0002\r\n";
  ASSERT_EQ(bytes.substr(0, head.size()), head);
  const std::regex rest("(   [23]    \\d\\.\\d{3}E[-+]\\d{4}    1\\.000E-00\\d\\d\\r\\n){2}");
  EXPECT_TRUE(std::regex_match(bytes.substr(head.size()), rest)) << bytes;
}

TEST_F(OptimTest, DisabledLogWritesNothing) {
  setOptimLogEnabled(false);
  Vector x{-1.2, 1.0};
  Matrix inverse(2, 2);
  const MarquardtResult r = marquardt(rosenbrock, numericDerivatives, x, 0, 1, inverse, 2, 1e-10);
  setOptimLogEnabled(true);
  EXPECT_FALSE(r.logFailed);
  EXPECT_FALSE(fs::exists(folder_ / "optim.log"));
}

TEST_F(OptimTest, UnwritableLogIsReportedAndTheRunCompletes) {
  Vector logged{-1.2, 1.0};
  Matrix inverse(2, 2);
  const MarquardtResult reference =
      marquardt(rosenbrock, numericDerivatives, logged, 0, 1, inverse, 20, 1e-10);

  for (const std::string& path :
       {(folder_ / "missing" / "optim.log").string(), std::string("/dev/full")}) {
    setOptimLogPath(path);
    Vector x{-1.2, 1.0};
    const MarquardtResult r =
        marquardt(rosenbrock, numericDerivatives, x, 0, 1, inverse, 20, 1e-10);
    EXPECT_TRUE(r.logFailed) << path;
    EXPECT_EQ(r.status, reference.status) << path;
    EXPECT_EQ(r.minimum, reference.minimum) << path;
    EXPECT_EQ(x, logged) << path;
  }
}

}  // namespace
}  // namespace plk
