#include "numeric/optim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include "locale_scope.h"
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
  EXPECT_EQ(formatLogReal(-0.0), " 0.000E+0000");
  EXPECT_EQ(formatLogReal(-2.5e-7), "-2.500E-0007");
  EXPECT_EQ(formatLogReal(std::numeric_limits<double>::infinity()), "         INF");
}

// The log's format has a point whatever the C library's locale (Qt sets it from the
// environment, and a French one makes printf write a comma).
TEST(FormatLogReal, PointUnderAFrenchLocale) {
  const test::ScopedCLibraryLocale french(test::kFrenchLocale);
  ASSERT_TRUE(french.active()) << "the test run generates " << test::kFrenchLocale;
  EXPECT_EQ(formatLogReal(1234.0), " 1.234E+0003");
  EXPECT_EQ(formatLogReal(0.01), " 1.000E-0002");
  EXPECT_EQ(formatLogReal(-2.5e-7), "-2.500E-0007");
  EXPECT_EQ(formatLogReal(-std::numeric_limits<double>::infinity()), "        -INF");
  EXPECT_EQ(formatLogReal(std::numeric_limits<double>::quiet_NaN()), "         NAN");
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

TEST(NumericDerivatives, EvaluationPointsAndOrder) {
  std::vector<Vector> points;
  const Objective record = [&points](const Vector& x) {
    points.push_back(x);
    return 0.0;
  };
  Vector x{0.0, -2.0, 4.0};
  Vector g(3);
  Matrix a(3, 3);
  numericDerivatives(record, x, 0, 2, g, a);
  // Steps eta*|x[i]|, eta for a zero parameter; 1 + 2n + n(n-1)/2 evaluations.
  const double h0 = eta();
  const double h1 = 2.0 * eta();
  const double h2 = 4.0 * eta();
  const std::vector<Vector> expected{
      {0.0, -2.0, 4.0},                                  // F0
      {-h0, -2.0, 4.0},          {h0, -2.0, 4.0},        // Fm[0], Fp[0]
      {0.0, -2.0 - h1, 4.0},     {0.0, -2.0 + h1, 4.0},  // Fm[1], Fp[1]
      {0.0, -2.0, 4.0 - h2},     {0.0, -2.0, 4.0 + h2},  // Fm[2], Fp[2]
      {h0, -2.0 + h1, 4.0},      {h0, -2.0, 4.0 + h2},   // F01, F02
      {0.0, -2.0 + h1, 4.0 + h2}};                       // F12
  EXPECT_EQ(points, expected);
  EXPECT_EQ(x, Vector({0.0, -2.0, 4.0}));
}

// phi(r) = f(r) along d = 1 from x = 0, with every r at which f is evaluated.
struct RecordedLine {
  std::function<double(double)> f;
  std::vector<double> r;

  LineResult run(Vector& x, std::int32_t maxIterations, double tolerance) {
    const Objective objective = [this](const Vector& p) {
      r.push_back(p[0]);
      return f(p[0]);
    };
    return lineMinimize(objective, x, {1.0}, 0, 0, maxIterations, tolerance);
  }
};

constexpr double kGolden = 1.618033988749895;
constexpr double kSection = 0.38196601125010515;

TEST(LineMinimize, UphillFirstStepSwapsTheStartPoints) {
  RecordedLine line{[](double r) { return (r - 0.3) * (r - 0.3); }, {}};
  Vector x{0.0};
  const LineResult result = line.run(x, 100, 0.01);
  ASSERT_EQ(result.status, OptimStatus::Converged);
  ASSERT_GE(line.r.size(), 4u);
  // f(1) > f(0): the search goes from 1 through 0 to c = 0 + golden*(0 - 1); the bracket is
  // (c, 0, 1) and its longer left part receives the first golden-section point.
  EXPECT_EQ(line.r[0], 0.0);
  EXPECT_EQ(line.r[1], 1.0);
  EXPECT_EQ(line.r[2], -kGolden);
  EXPECT_EQ(line.r[3], 0.0 - kSection * (0.0 + kGolden));
  // 13 golden-section steps shrink the bracket of width 2.618 below 0.01*(|x1| + |x2|).
  EXPECT_EQ(line.r.size(), 4u + 13u);
  EXPECT_EQ(result.minimum, line.f(x[0]));
  EXPECT_NEAR(x[0], 0.3, 0.01);

  // Equal values at 0 and 1: no swap, the search goes on beyond 1.
  RecordedLine level{[](double r) { return (r - 0.5) * (r - 0.5); }, {}};
  x = {0.0};
  ASSERT_EQ(level.run(x, 100, 0.01).status, OptimStatus::Converged);
  ASSERT_GE(level.r.size(), 3u);
  EXPECT_EQ(level.r[2], 1.0 + kGolden);
}

TEST(LineMinimize, DownhillExpandsByTheGoldenRatioWithoutParabolicSteps) {
  RecordedLine line{[](double r) { return (r - 5.0) * (r - 5.0); }, {}};
  Vector x{0.0};
  ASSERT_EQ(line.run(x, 100, 0.01).status, OptimStatus::Converged);
  ASSERT_GE(line.r.size(), 6u);
  const double c1 = 1.0 + kGolden * 1.0;
  const double c2 = c1 + kGolden * (c1 - 1.0);
  const double c3 = c2 + kGolden * (c2 - c1);
  EXPECT_EQ(line.r[0], 0.0);
  EXPECT_EQ(line.r[1], 1.0);
  EXPECT_EQ(line.r[2], c1);
  EXPECT_EQ(line.r[3], c2);
  EXPECT_EQ(line.r[4], c3);  // f rises again: bracket (c1, c2, c3)
  EXPECT_EQ(line.r[5], c2 + kSection * (c3 - c2));
}

TEST(LineMinimize, EqualFinalValuesGiveTheRightHandPoint) {
  // A step down at 0.5: the search ends with both inner points (0.50155..., 0.50347...) on the
  // flat part, and the tie goes to the second one.
  RecordedLine step{[](double r) { return r < 0.5 ? 1.0 : 0.0; }, {}};
  Vector x{0.0};
  const LineResult result = step.run(x, 100, 0.01);
  ASSERT_EQ(result.status, OptimStatus::Converged);
  EXPECT_EQ(x[0], 0.5034721887330705);
  EXPECT_EQ(result.minimum, 0.0);
}

TEST(LineMinimize, StepLimitAndToleranceFloor) {
  const auto parabola = [](double r) { return (r - 0.3) * (r - 0.3); };
  // The search above needs 13 steps: a limit of 13 is enough, 12 runs out and leaves x alone.
  RecordedLine enough{parabola, {}};
  Vector x{0.0};
  EXPECT_EQ(enough.run(x, 13, 0.01).status, OptimStatus::Converged);
  EXPECT_NE(x[0], 0.0);
  RecordedLine tooFew{parabola, {}};
  x = {0.0};
  EXPECT_EQ(tooFew.run(x, 12, 0.01).status, OptimStatus::IterationLimit);
  EXPECT_EQ(x[0], 0.0);
  EXPECT_EQ(tooFew.r.size(), enough.r.size());

  // A tolerance below sqrt(machineEpsilon) is raised to it, so 0 still ends.
  RecordedLine zero{parabola, {}};
  x = {0.0};
  EXPECT_EQ(zero.run(x, 100, 0.0).status, OptimStatus::Converged);
  RecordedLine floored{parabola, {}};
  Vector y{0.0};
  EXPECT_EQ(floored.run(y, 100, std::sqrt(fmath::machineEpsilon)).status, OptimStatus::Converged);
  EXPECT_EQ(zero.r, floored.r);
  EXPECT_EQ(x, y);
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

  // The iteration limit does not hide the failure of the last iteration.
  const MarquardtResult once = marquardt(linear, numericDerivatives, x, 0, 0, inverse, 1, 1e-10);
  EXPECT_EQ(once.status, OptimStatus::SingularHessian);
  EXPECT_EQ(once.minimum, 9.0);
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

// Exact derivatives of (x - 3)^2, counting the outer iterations.
struct ParabolaDerivatives {
  int* calls;
  void operator()(const Objective&, Vector& x, int, int, Vector& g, Matrix& a) const {
    ++*calls;
    g[0] = 2.0 * (x[0] - 3.0);
    a[0][0] = 2.0;
  }
};

TEST_F(OptimTest, ConvergedRunEndsWithAnUndampedStepAfterTheLastValue) {
  const Objective parabola = [](const Vector& x) { return (x[0] - 3.0) * (x[0] - 3.0); };
  int calls = 0;
  Vector x{5.0};
  Matrix inverse(1, 1);
  const MarquardtResult r =
      marquardt(parabola, ParabolaDerivatives{&calls}, x, 0, 0, inverse, 100, 1e-6);
  EXPECT_EQ(r.status, OptimStatus::Converged);
  // The Newton step on the exact Hessian lands on 3; the minimum is the last line-search value.
  EXPECT_EQ(x[0], 3.0);
  EXPECT_GT(r.minimum, 0.0);
  EXPECT_EQ(inverse[0][0], 0.5);
  // One log line per outer iteration, the undamped one included.
  const std::string bytes = logBytes();
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 2 + calls);

  // With the limit at that iteration the step is still made, but the status is -3.
  const int needed = calls;
  x = {5.0};
  const MarquardtResult atLimit =
      marquardt(parabola, ParabolaDerivatives{&calls}, x, 0, 0, inverse, needed, 1e-6);
  EXPECT_EQ(atLimit.status, OptimStatus::IterationLimit);
  EXPECT_EQ(x[0], 3.0);
  EXPECT_EQ(atLimit.minimum, r.minimum);
  x = {5.0};
  const MarquardtResult before =
      marquardt(parabola, ParabolaDerivatives{&calls}, x, 0, 0, inverse, needed - 1, 1e-6);
  EXPECT_EQ(before.status, OptimStatus::IterationLimit);
  EXPECT_NE(x[0], 3.0);
}

TEST_F(OptimTest, TooSmallRelativeDecreaseIsRejectedUntilLambdaPassesAThousand) {
  // Negative objective whose best step lowers it by 1e-6, a relative 1e-12: below the fixed
  // acceptance ratio 1e-10 (the caller's tolerance 1e-13 plays no part in it).
  const Objective shallow = [](const Vector& x) {
    return -1e6 + 1e-6 * (x[0] - 1.0) * (x[0] - 1.0);
  };
  const DerivativeRoutine exact = [](const Objective&, Vector& x, int, int, Vector& g, Matrix& a) {
    g[0] = 2e-6 * (x[0] - 1.0);
    a[0][0] = 2e-6;
  };
  Vector x{0.0};
  Matrix inverse(1, 1);
  const double start = shallow(x);
  const MarquardtResult r = marquardt(shallow, exact, x, 0, 0, inverse, 100, 1e-13);
  EXPECT_EQ(r.status, OptimStatus::LambdaTooLarge);
  // X and the minimum come from the last rejected line search (lambda 1000).
  EXPECT_LT(r.minimum, start);
  EXPECT_EQ(r.minimum, shallow(x));
  EXPECT_NEAR(x[0], 1.0, 0.02);
  const std::string bytes = logBytes();
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 3);
}

TEST_F(OptimTest, NonFiniteLineSearchValueIsNeverAccepted) {
  // A parabola with a narrow well of -infinity at its minimum, which the golden-section search
  // finds: the step is refused at every damping value instead of carrying -inf further.
  const Objective well = [](const Vector& x) {
    const double d = x[0] - 3.0;
    return std::fabs(d) < 0.01 ? -std::numeric_limits<double>::infinity() : d * d;
  };
  int calls = 0;
  Vector x{0.0};
  Matrix inverse(1, 1);
  const MarquardtResult r =
      marquardt(well, ParabolaDerivatives{&calls}, x, 0, 0, inverse, 100, 1e-10);
  EXPECT_EQ(r.status, OptimStatus::LambdaTooLarge);
  EXPECT_EQ(calls, 1);
}

TEST_F(OptimTest, LogOfThreeIterationsHasFiveLines) {
  // A longer former trace is written over and cut to the new one.
  std::ofstream(folder_ / "optim.log", std::ios::binary) << std::string(4000, '#');
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
