// Speed of the photometric plane fit on the three polygons of the Sawtooth example, on one
// thread, against one bicubic pass over the same pixels in the same run (the unit the fit's
// passes are made of). Counters: ms_per_100k_px, processor time (the goal is at most 50), and,
// in BM_Ratio, fit / one pass.

#include <benchmark/benchmark.h>

#include <QString>
#include <ctime>
#include <memory>
#include <string>
#include <variant>

#include "core/fonctions/detection.h"
#include "core/fonctions/estimation.h"
#include "core/fonctions/matching.h"
#include "core/fonctions/photometric.h"
#include "core/fonctions/sampling.h"
#include "io/project_opening.h"
#include "numeric/optim.h"

namespace {

using namespace plk;

// The Sawtooth project with its matches and four estimates, made once.
struct Scene {
  std::unique_ptr<Project> project;
  EstimationOutcome homographies;
  std::vector<PolygonShape> left;
  std::vector<PolygonShape> right;
  std::unique_ptr<PhotometricImages> pyramids;
};

Scene& scene() {
  static Scene made = [] {
    Scene s;
    auto opened = io::openProjectFile(
        QStringLiteral(PLK_TESTDATA_DIR "/../../examples/sawtooth/sawtooth.plk"));
    s.project = std::move(std::get<std::unique_ptr<Project>>(opened));
    Project& project = *s.project;
    UnattendedRun unattended;
    const auto points = detectInterestPoints(project.left.polygons, project.left.image,
                                             DetectionParameters{}, {}, unattended);
    const MatchingImage left(project.left.image, project.left.polygons);
    const MatchingImage right(project.right.image, project.right.polygons);
    project.results.matches =
        matchInterestPoints(left, right, points->interestPoints, {}, MatchParameters{}, unattended)
            ->matches;
    setOptimLogEnabled(false);
    LinearCongruentialGenerator generator;
    s.homographies = *estimateHomographies(project.results.matches,
                                           std::vector<bool>(project.results.matches.size()),
                                           EstimationParameters{}, generator, unattended);
    s.left = shapesOf(project.left.polygons);
    s.right = shapesOf(project.right.polygons);
    s.pyramids = std::make_unique<PhotometricImages>(project.left.image, project.right.image);
    return s;
  }();
  return made;
}

PhotometricInput inputOf(const Scene& s, std::size_t p) {
  PhotometricInput input;
  input.left = &s.project->left.image;
  input.right = &s.project->right.image;
  input.pyramids = s.pyramids.get();
  input.leftShape = &s.left[p];
  input.rightShape = &s.right[p];
  input.matches = &s.project->results.matches[p];
  input.robustNonLinear = s.homographies.polygons[p]->robustNonLinear;
  input.startFromHomography = true;
  return input;
}

// Seconds per iteration of the two timed benchmarks, for the ratio.
double fitSeconds = 0.0;
double passSeconds = 0.0;

// Processor time, not wall time: the machine may be shared, and the work runs on one thread.
template <typename Body>
double secondsPerIteration(benchmark::State& state, Body body) {
  const std::clock_t begin = std::clock();
  std::int64_t iterations = 0;
  for (auto _ : state) {
    body();
    ++iterations;
  }
  const double elapsed = static_cast<double>(std::clock() - begin) / CLOCKS_PER_SEC;
  return iterations > 0 ? elapsed / static_cast<double>(iterations) : 0.0;
}

void BM_PhotometricFit(benchmark::State& state) {
  const Scene& s = scene();
  std::size_t pixels = 0;
  for (std::size_t p = 0; p < s.left.size(); ++p) {
    pixels += InsetMap(s.left[p], s.project->imageHeight, s.project->imageWidth)
                  .pixelsInside(0.0, s.project->imageHeight, s.project->imageWidth)
                  .size();
  }
  fitSeconds = secondsPerIteration(state, [&] {
    for (std::size_t p = 0; p < s.left.size(); ++p) {
      benchmark::DoNotOptimize(estimatePhotometricPlane(inputOf(s, p)));
    }
  });
  state.counters["polygon_pixels"] = static_cast<double>(pixels);
  state.counters["ms_per_100k_px"] = fitSeconds * 1e3 * 1e5 / static_cast<double>(pixels);
}

// One bicubic sample of the right image per polygon pixel, shifted by a constant disparity.
void BM_OnePass(benchmark::State& state) {
  const Scene& s = scene();
  std::vector<PixelPosition> pixels;
  for (std::size_t p = 0; p < s.left.size(); ++p) {
    const std::vector<PixelPosition> inside =
        InsetMap(s.left[p], s.project->imageHeight, s.project->imageWidth)
            .pixelsInside(2.0, s.project->imageHeight, s.project->imageWidth);
    pixels.insert(pixels.end(), inside.begin(), inside.end());
  }
  const GreyImage& right = s.project->right.image;
  passSeconds = secondsPerIteration(state, [&] {
    double sum = 0.0;
    for (const PixelPosition& pixel : pixels) {
      const CubicTap row = cubicTap(pixel.u + 0.3);
      const CubicTap column = cubicTap(pixel.v - 5.7);
      if (row.first < 1 || row.first + 2 >= right.height() || column.first < 1 ||
          column.first + 2 >= right.width()) {
        continue;
      }
      sum += cubicCombine(row, column,
                          [&right](int r, int c) { return static_cast<double>(right.at(r, c)); });
    }
    benchmark::DoNotOptimize(sum);
  });
}

void BM_Ratio(benchmark::State& state) {
  // Nothing to time: the ratio comes from the two benchmarks above.
  for (auto _ : state) benchmark::ClobberMemory();
  if (passSeconds > 0.0) state.counters["fit_over_one_pass"] = fitSeconds / passSeconds;
}

}  // namespace

BENCHMARK(BM_PhotometricFit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OnePass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ratio);
