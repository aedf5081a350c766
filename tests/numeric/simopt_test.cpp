#include "numeric/simopt.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "numeric/lcg.h"

namespace plk {
namespace {

namespace fs = std::filesystem;

// Every run reads a fixed clock and writes its trace into a temporary folder.
class AnnealingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("plk_simopt_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
    setOptimLogPath((folder_ / "optim.log").string());
    setAnnealingClock([this] { return clock_; });
  }
  void TearDown() override {
    setOptimLogPath("optim.log");
    setAnnealingClock({});
    fs::remove_all(folder_);
  }

  [[nodiscard]] std::vector<std::string> logLines() const {
    std::ifstream in(folder_ / "optim.log", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::string> lines;
    std::string all = text.str();
    for (std::size_t start = 0; start < all.size();) {
      const std::size_t end = all.find("\r\n", start);
      lines.push_back(all.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }

  std::uint32_t clock_ = 45296789;  // 12:34:56.789
  fs::path folder_;
};

double bowl(const Vector& x) {
  return (x[0] - 1.0) * (x[0] - 1.0) + 4.0 * (x[1] + 2.0) * (x[1] + 2.0);
}

TEST_F(AnnealingTest, EveryCoordinateFixedLeavesTheStartPointAndConverges) {
  Vector x{0.3, -2.0, 7.5};
  const Vector start = x;
  int calls = 0;
  const Objective f = [&](const Vector& p) {
    ++calls;
    return p[0] + p[1] * p[2];
  };
  const AnnealingResult r = simulatedAnnealing(f, x, start, start, 0, 2, 100, 0.1);
  EXPECT_EQ(r.status, OptimStatus::Converged);
  EXPECT_EQ(x, start);
  EXPECT_EQ(r.fMin, f(start));
  // Start value, 50 probes and one stage of 5 x 15 sweeps over 3 coordinates.
  EXPECT_EQ(calls, 1 + temperatureProbes + 5 * 15 * 3 + 1);
}

TEST_F(AnnealingTest, ZeroIterationLimitRunsOneStageAndReportsTheLimit) {
  Vector x{4.0, 4.0};
  const AnnealingResult r =
      simulatedAnnealing(bowl, x, Vector{-5.0, -5.0}, Vector{5.0, 5.0}, 0, 1, 0, 1e-6);
  EXPECT_EQ(r.status, OptimStatus::IterationLimit);
  EXPECT_EQ(r.fMin, bowl(x));
  const std::vector<std::string> lines = logLines();
  ASSERT_EQ(lines.size(), 4U);
  EXPECT_EQ(lines[0], "Simulated annealing: Cycle 1");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "Iter         T              F        Inc   Acc");
  EXPECT_EQ(lines[3].substr(0, 7), "   0   ");
  EXPECT_EQ(lines[3].size(), 4U + 3 + 12 + 3 + 12 + 6 + 6);
}

TEST_F(AnnealingTest, QuadraticBowlInABoxConvergesNearItsMinimum) {
  Vector x{4.5, 4.5};
  const Vector lower{-5.0, -5.0};
  const Vector upper{5.0, 5.0};
  const AnnealingResult r = simulatedAnnealing(bowl, x, lower, upper, 0, 1, 1000, 1e-4);
  EXPECT_EQ(r.status, OptimStatus::Converged);
  EXPECT_NEAR(x[0], 1.0, 0.02);
  EXPECT_NEAR(x[1], -2.0, 0.01);
  EXPECT_EQ(r.fMin, bowl(x));
  EXPECT_LT(r.fMin, 1e-3);
  // One trace line per temperature stage after the three heading lines.
  EXPECT_GT(logLines().size(), 4U);
}

TEST_F(AnnealingTest, SameClockGivesTheSameRunAndReseedsTheProgramGenerator) {
  const Vector lower{-5.0, -5.0};
  const Vector upper{5.0, 5.0};
  Vector first{4.5, 4.5};
  const AnnealingResult a = simulatedAnnealing(bowl, first, lower, upper, 0, 1, 1000, 1e-4);
  LinearCongruentialGenerator expected;
  expected.setSeed(clock_);
  (void)expected.next(10000);
  (void)expected.next(10000);
  EXPECT_EQ(runtimeGenerator().seed(), expected.seed());

  Vector second{4.5, 4.5};
  const AnnealingResult b = simulatedAnnealing(bowl, second, lower, upper, 0, 1, 1000, 1e-4);
  EXPECT_EQ(first, second);
  EXPECT_EQ(a.fMin, b.fMin);

  clock_ += 1;
  Vector third{4.5, 4.5};
  (void)simulatedAnnealing(bowl, third, lower, upper, 0, 1, 1000, 1e-4);
  EXPECT_NE(first, third);
}

TEST_F(AnnealingTest, UnwritableLogIsReportedAndTheRunCompletes) {
  setOptimLogPath((folder_ / "missing" / "optim.log").string());
  Vector x{4.0, 4.0};
  const AnnealingResult r =
      simulatedAnnealing(bowl, x, Vector{-5.0, -5.0}, Vector{5.0, 5.0}, 0, 1, 1000, 1e-4);
  EXPECT_TRUE(r.logFailed);
  EXPECT_EQ(r.status, OptimStatus::Converged);
  EXPECT_LT(r.fMin, 1e-3);
}

TEST(AnnealingLogLine, CounterRealsAndCountsInTheirColumns) {
  EXPECT_EQ(annealingLogLine(0, 1.5, -0.25, 12, 3),
            "   0    1.500E+0000   -2.500E-0001    12     3");
  EXPECT_EQ(annealingLogLine(1234, 2.345678e-12, 1e5, 150, 150),
            "1234    2.346E-0012    1.000E+0005   150   150");
}

}  // namespace
}  // namespace plk
