// One exact-search iteration of the segmentation optimisation on the Venus left image, at the
// finest default level (1/10 pixel, sides sampled every 0.1 pixel, an empty side cache): the
// recursion over the cycle of sides against the enumeration of every combination of moves, and
// one annealing search of an octagon for scale.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

#include "core/fonctions/gradient.h"
#include "core/fonctions/segmentation_detail.h"
#include "core/polygon_list.h"
#include "io/image_io.h"
#include "numeric/optim.h"

namespace {

constexpr double kPrecisionStep = 0.1;
constexpr double kRadius = 60.0;

struct Gradients {
  plk::IntMatrix x;
  plk::IntMatrix y;
};

const Gradients& venus() {
  static const Gradients gradients = [] {
    const auto picture =
        plk::io::loadImageFile(QStringLiteral(PLK_TESTDATA_DIR "/middlebury2001/venus/left.bmp"));
    const plk::GreyImage image = plk::io::toGreyImage(picture.value().image);
    return Gradients{plk::computeGradient(image, plk::kSobelX),
                     plk::computeGradient(image, plk::kSobelY)};
  }();
  return gradients;
}

// A regular polygon of `count` free vertices around the image centre, on the 1/10 grid.
struct RegularPolygon {
  explicit RegularPolygon(int count) {
    const double u0 = std::round(venus().x.rows() / 2.0);
    const double v0 = std::round(venus().x.columns() / 2.0);
    plk::Polygone& polygon = list.appendPolygon();
    for (int i = 0; i < count; ++i) {
      const double angle = 2.0 * std::numbers::pi * i / count;
      polygon.sommets.push_back(
          list.createVertex(std::round(10 * (u0 + kRadius * std::sin(angle))) / 10,
                            std::round(10 * (v0 + kRadius * std::cos(angle))) / 10));
    }
    polygon.sommets.push_back(polygon.sommets.front());
    working.copyVerticesFrom(polygon, store);
    result.copyVerticesFrom(polygon, store);
  }
  plk::PolygonList list;
  plk::VertexStore store;
  plk::Polygone working;
  plk::Polygone result;
};

template <void (*Search)(const plk::Polygone&, plk::Polygone&, double, plk::EnergyField&)>
void exactIteration(benchmark::State& state) {
  RegularPolygon shape(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    plk::SideEnergyCache cache;
    plk::EnergyField field{venus().x, venus().y, kPrecisionStep, cache};
    Search(shape.working, shape.result, kPrecisionStep, field);
    const double energy = shape.result.value;
    benchmark::DoNotOptimize(energy);
  }
  state.counters["energy"] = shape.result.value;
}

void BM_ExactSearchRecursion(benchmark::State& state) { exactIteration<plk::exactSearch>(state); }
void BM_ExactSearchEnumeration(benchmark::State& state) {
  exactIteration<plk::exactSearchByEnumeration>(state);
}

BENCHMARK(BM_ExactSearchRecursion)
    ->Arg(4)
    ->Arg(6)
    ->Arg(8)
    ->Arg(12)
    ->Arg(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExactSearchEnumeration)->Arg(4)->Arg(6)->Arg(8)->Unit(benchmark::kMillisecond);

// Discards the report lines.
class NoReport final : public plk::ReportSink {
 public:
  void appendLine(std::string_view) override {}
};

void BM_AnnealingSearchOctagon(benchmark::State& state) {
  plk::setOptimLogEnabled(false);
  plk::OptimisationParameters parameters;
  parameters.levels = {10};
  parameters.iterationsPerLevel = 1;
  parameters.annealingIterations = 1000;
  parameters.annealingMinVertices = 6;
  NoReport report;
  for (auto _ : state) {
    RegularPolygon shape(8);
    (void)plk::optimisePolygon(venus().x, venus().y, shape.list[0], parameters, report, {},
                               [](std::int32_t) { return true; });
    const double energy = shape.list[0].value;
    benchmark::DoNotOptimize(energy);
  }
  plk::setOptimLogEnabled(true);
}

BENCHMARK(BM_AnnealingSearchOctagon)->Unit(benchmark::kMillisecond);

}  // namespace
