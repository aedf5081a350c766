// Speed of the robust estimation loop and of one refinement, against OpenCV's findHomography in
// the same run when it is available. BM_Ratios, registered last, reports ours / OpenCV:
// RANSAC per trial (OpenCV's per-trial cost is the slope between runs of 1 and N trials, which
// removes its final re-fit and refinement) and the refinement of 200 inliers (OpenCV's time
// includes its linear fit, so that ratio is at worst in OpenCV's favour).

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>
#include <vector>

#include "core/vision.h"
#include "numeric/optim.h"

#ifdef PLK_WITH_OPENCV
#include <opencv2/calib3d.hpp>
#endif

namespace {

using plk::Matrix;

constexpr int kMatches = 300;
constexpr int kOutliers = 90;  // 30 %
constexpr int kInliers = 200;
constexpr double kThresholdPixels = 2.0;

// A plane seen from two views, in a 480 x 640 image (u row, v column).
constexpr double kPlane[9] = {0.97, 0.04, 2.5, -0.03, 1.02, -14.0, 2e-5, -4e-5, 1.0};

struct Matches {
  Matrix left;
  Matrix right;
};

// n matches of the plane with 0.3 px of noise, the first `outliers` of them moved far away.
Matches makeMatches(int n, int outliers, unsigned seed) {
  std::mt19937 engine(seed);
  std::uniform_real_distribution<double> row(5.0, 475.0);
  std::uniform_real_distribution<double> column(5.0, 635.0);
  std::normal_distribution<double> noise(0.0, 0.3);
  std::uniform_real_distribution<double> jump(20.0, 80.0);
  Matches m{Matrix(3, n), Matrix(3, n)};
  for (int i = 0; i < n; ++i) {
    const double u = row(engine);
    const double v = column(engine);
    const double w = kPlane[6] * u + kPlane[7] * v + kPlane[8];
    m.left[0][i] = u;
    m.left[1][i] = v;
    m.left[2][i] = 1.0;
    m.right[0][i] = (kPlane[0] * u + kPlane[1] * v + kPlane[2]) / w + noise(engine);
    m.right[1][i] = (kPlane[3] * u + kPlane[4] * v + kPlane[5]) / w + noise(engine);
    m.right[2][i] = 1.0;
    if (i < outliers) {
      m.right[0][i] += jump(engine);
      m.right[1][i] -= jump(engine);
    }
  }
  return m;
}

double threadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Processor seconds of this thread per iteration of the benchmark loop, which other programs
// running on the same cores do not inflate.
template <typename Body>
double timePerIteration(benchmark::State& state, Body body) {
  const double start = threadSeconds();
  for (auto _ : state) body();
  return (threadSeconds() - start) / static_cast<double>(state.iterations());
}

struct Timings {
  double ransacTrial = 0.0;
  double refinement = 0.0;
  double refinementWithoutLog = 0.0;
  double openCvTrial = 0.0;
  double openCvRefinement = 0.0;
};
Timings timings;

// The normalised 6 x n data of the robust estimation and the pixel threshold in its units:
// the symmetric error adds two one-sided squared errors, each scaled by the normalising scale.
struct RansacInput {
  Matrix data{6, kMatches};
  double tolerance = 0.0;
};

RansacInput ransacInput(const Matches& m) {
  Matrix n1(3, kMatches);
  Matrix n2(3, kMatches);
  Matrix t1(3, 3);
  Matrix t2(3, 3);
  RansacInput input;
  if (!plk::normalizePoints(m.left, n1, t1) || !plk::normalizePoints(m.right, n2, t2)) return input;
  for (int r = 0; r < 3; ++r) {
    input.data[r] = n1[r];
    input.data[r + 3] = n2[r];
  }
  const double scaled1 = t1[0][0] * kThresholdPixels;
  const double scaled2 = t2[0][0] * kThresholdPixels;
  input.tolerance = scaled1 * scaled1 + scaled2 * scaled2;
  return input;
}

// The pieces estimateHomographyRobust gives the loop, counting the trials.
struct CountedModel {
  plk::RansacModel model() {
    return {[this](const Matrix& sample, Matrix& m) {
              ++trials;
              for (int r = 0; r < 3; ++r) {
                left.shareRow(r, sample, r);
                right.shareRow(r, sample, r + 3);
              }
              return estimator.estimate(left, right, m, 1e-8) == plk::LinearEstimateStatus::Ok;
            },
            plk::symmetricTransferError, plk::isDegenerateSample};
  }
  plk::LinearHomographyEstimator estimator;
  Matrix left{3, 0};
  Matrix right{3, 0};
  int trials = 0;
};

int ransacTrials() {
  const RansacInput input = ransacInput(makeMatches(kMatches, kOutliers, 1));
  CountedModel counted;
  plk::LinearCongruentialGenerator generator;
  Matrix m(3, 3);
  const plk::RansacResult result =
      plk::ransac(input.data, counted.model(), 4, input.tolerance, m, generator);
  return result.status == plk::RansacStatus::Found ? counted.trials : 0;
}

void BM_RansacLoop(benchmark::State& state) {
  const RansacInput input = ransacInput(makeMatches(kMatches, kOutliers, 1));
  CountedModel counted;
  const plk::RansacModel model = counted.model();
  Matrix m(3, 3);
  plk::LinearCongruentialGenerator generator;
  const double seconds = timePerIteration(state, [&] {
    generator.setSeed(0);
    benchmark::DoNotOptimize(plk::ransac(input.data, model, 4, input.tolerance, m, generator));
  });
  const int trials = ransacTrials();
  timings.ransacTrial = seconds / trials;
  state.counters["trials"] = trials;
  state.counters["us_per_trial"] = 1e6 * timings.ransacTrial;
}
BENCHMARK(BM_RansacLoop);

void BM_RobustEstimation(benchmark::State& state) {
  const Matches m = makeMatches(kMatches, kOutliers, 1);
  const double tolerance = ransacInput(m).tolerance;
  plk::LinearCongruentialGenerator generator;
  for (auto _ : state) {
    generator.setSeed(0);
    benchmark::DoNotOptimize(plk::estimateHomographyRobust(m.left, m.right, tolerance, generator));
  }
}
BENCHMARK(BM_RobustEstimation);

// 200 matches without outliers and their linear estimate, the start of the refinement.
struct RefinementInput {
  Matches matches = makeMatches(kInliers, 0, 2);
  Matrix start{3, 3};
  RefinementInput() {
    benchmark::DoNotOptimize(
        plk::estimateHomographyLinear(matches.left, matches.right, start, 1e-8));
  }
};

double timeRefinement(benchmark::State& state) {
  const RefinementInput input;
  return timePerIteration(state, [&] {
    benchmark::DoNotOptimize(
        plk::refineHomography(input.matches.left, input.matches.right, input.start, 100));
  });
}

void BM_Refinement(benchmark::State& state) {
  const std::filesystem::path log = std::filesystem::temp_directory_path() / "plk_bench_optim.log";
  plk::setOptimLogPath(log.string());
  timings.refinement = timeRefinement(state);
  plk::setOptimLogPath("optim.log");
  std::filesystem::remove(log);
  const RefinementInput input;
  const plk::Refinement r =
      plk::refineHomography(input.matches.left, input.matches.right, input.start, 100);
  state.counters["status"] = static_cast<double>(r.status);
  state.counters["mean_px_before"] = r.costBefore / kInliers;
  state.counters["mean_px_after"] = r.costAfter / kInliers;
}
BENCHMARK(BM_Refinement);

void BM_RefinementWithoutLog(benchmark::State& state) {
  plk::setOptimLogEnabled(false);
  timings.refinementWithoutLog = timeRefinement(state);
  plk::setOptimLogEnabled(true);
}
BENCHMARK(BM_RefinementWithoutLog);

#ifdef PLK_WITH_OPENCV

std::vector<cv::Point2d> cvPoints(const Matrix& points) {
  std::vector<cv::Point2d> result;
  for (int i = 0; i < points.columnCount(); ++i) result.emplace_back(points[1][i], points[0][i]);
  return result;
}

// findHomography with RANSAC run for exactly `trials` trials: with a confidence this close to 1
// its adaptive count never falls below the limit (for limits up to about a hundred trials).
double timeOpenCvRansac(benchmark::State& state, int trials) {
  const Matches m = makeMatches(kMatches, kOutliers, 1);
  const std::vector<cv::Point2d> left = cvPoints(m.left);
  const std::vector<cv::Point2d> right = cvPoints(m.right);
  cv::Mat mask;
  return timePerIteration(state, [&] {
    benchmark::DoNotOptimize(
        cv::findHomography(left, right, cv::RANSAC, kThresholdPixels, mask, trials, 1.0 - 1e-15));
  });
}

double openCvOneTrial = 0.0;

void BM_OpenCvRansacOneTrial(benchmark::State& state) {
  openCvOneTrial = timeOpenCvRansac(state, 1);
}
BENCHMARK(BM_OpenCvRansacOneTrial);

void BM_OpenCvRansacSameTrials(benchmark::State& state) {
  const int trials = ransacTrials();
  const double seconds = timeOpenCvRansac(state, trials);
  timings.openCvTrial = (seconds - openCvOneTrial) / (trials - 1);
  state.counters["trials"] = trials;
  state.counters["us_per_trial"] = 1e6 * timings.openCvTrial;
}
BENCHMARK(BM_OpenCvRansacSameTrials);

void BM_OpenCvRobustEstimation(benchmark::State& state) {
  const Matches m = makeMatches(kMatches, kOutliers, 1);
  const std::vector<cv::Point2d> left = cvPoints(m.left);
  const std::vector<cv::Point2d> right = cvPoints(m.right);
  for (auto _ : state) {
    benchmark::DoNotOptimize(cv::findHomography(left, right, cv::RANSAC, kThresholdPixels));
  }
}
BENCHMARK(BM_OpenCvRobustEstimation);

// Least squares on every match: the linear fit, then the Levenberg-Marquardt refinement.
void BM_OpenCvRefinement(benchmark::State& state) {
  const RefinementInput input;
  const std::vector<cv::Point2d> left = cvPoints(input.matches.left);
  const std::vector<cv::Point2d> right = cvPoints(input.matches.right);
  timings.openCvRefinement = timePerIteration(
      state, [&] { benchmark::DoNotOptimize(cv::findHomography(left, right, 0)); });
}
BENCHMARK(BM_OpenCvRefinement);

#endif

void BM_Ratios(benchmark::State& state) {
  // Nothing to time: the ratios come from the benchmarks above.
  for (auto _ : state) benchmark::ClobberMemory();
  if (timings.openCvTrial > 0.0) {
    state.counters["ransac_trial_ratio"] = timings.ransacTrial / timings.openCvTrial;
  }
  if (timings.openCvRefinement > 0.0) {
    state.counters["refinement_ratio"] = timings.refinement / timings.openCvRefinement;
    state.counters["refinement_ratio_no_log"] =
        timings.refinementWithoutLog / timings.openCvRefinement;
  }
}
BENCHMARK(BM_Ratios)->Iterations(1);

}  // namespace
