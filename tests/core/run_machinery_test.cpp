#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "core/parallel.h"
#include "core/runs/run_common.h"
#include "run_test_support.h"

namespace plk {
namespace {

class ThreadsVariable : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv("PLK_THREADS"); }
};

TEST_F(ThreadsVariable, PositiveIntegerIsUsedUpToTheCapAnythingElseMeansEveryCore) {
  unsetenv("PLK_THREADS");
  const int cores = threadCount();
  EXPECT_GE(cores, 1);
  setenv("PLK_THREADS", "3", 1);
  EXPECT_EQ(threadCount(), 3);
  setenv("PLK_THREADS", "100000", 1);
  EXPECT_EQ(threadCount(), kThreadsPerCoreCap * cores);
  for (const char* text : {"0", "-2", "two", "2x", ""}) {
    setenv("PLK_THREADS", text, 1);
    EXPECT_EQ(threadCount(), cores) << text;
  }
}

TEST_F(ThreadsVariable, EveryIndexRunsOnceWhateverTheThreadCount) {
  for (const char* threads : {"1", "2", "7"}) {
    setenv("PLK_THREADS", threads, 1);
    std::vector<int> calls(1000, 0);
    parallelFor(calls.size(), [&](std::size_t i) { calls[i] += static_cast<int>(i) + 1; });
    for (std::size_t i = 0; i < calls.size(); ++i) ASSERT_EQ(calls[i], static_cast<int>(i) + 1);
  }
  parallelFor(0, [](std::size_t) { FAIL(); });
}

TEST(RunCommon, HeaderPolygonLabelAndEndings) {
  test::ReportLines report;
  appendHeader(report, "== titre ==");
  appendEnding(report, RunStatus::Completed);
  appendEnding(report, RunStatus::Cancelled);
  const std::string rule(52, '=');
  EXPECT_EQ(report.lines,
            (std::vector<std::string>{rule, "== titre ==", rule, " ", " ", "Calcul interrompu."}));
  EXPECT_EQ(polygonLabel(0, 3), "  --> Polygone 1/3");
}

}  // namespace
}  // namespace plk
