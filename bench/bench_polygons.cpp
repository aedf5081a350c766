// Polygon index map of a 640 x 480 image (one findPolygon per pixel, as the detector does),
// against the straightforward form that builds a fresh corner array per call.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>
#include <random>
#include <vector>

#include "core/fonctions/geometry.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kPolygons = 20;

// Twenty closed star-shaped polygons of 8 to 12 corners scattered over the image.
const plk::PolygonList& scene() {
  static const plk::PolygonList list = [] {
    plk::PolygonList polygons;
    std::mt19937 random(4242);
    std::uniform_real_distribution<double> centreU(0.0, kHeight);
    std::uniform_real_distribution<double> centreV(0.0, kWidth);
    std::uniform_real_distribution<double> radius(30.0, 120.0);
    std::uniform_int_distribution<int> corners(8, 12);
    for (int k = 0; k < kPolygons; ++k) {
      const double u0 = centreU(random);
      const double v0 = centreV(random);
      const int n = corners(random);
      plk::Polygone& polygon = polygons.appendPolygon();
      for (int i = 0; i < n; ++i) {
        const double angle = 2.0 * std::numbers::pi * i / n;
        const double r = radius(random);
        polygon.sommets.push_back(polygons.createVertex(std::round(u0 + r * std::sin(angle)),
                                                        std::round(v0 + r * std::cos(angle))));
      }
      polygon.sommets.push_back(polygon.sommets.front());
    }
    return polygons;
  }();
  return list;
}

std::int32_t referenceFindPolygon(const plk::PolygonList& polygons, double u, double v) {
  for (std::size_t k = 0; k < polygons.size(); ++k) {
    const auto& sommets = polygons[k].sommets;
    std::vector<plk::Point2> corners;
    for (std::size_t i = 0; i + 1 < sommets.size(); ++i)
      corners.push_back({sommets[i]->V, sommets[i]->U});
    if (plk::pointInPolygon(corners, {v, u})) return static_cast<std::int32_t>(k);
  }
  return -1;
}

template <class Find>
std::vector<std::int32_t> indexMap(Find find) {
  std::vector<std::int32_t> map;
  map.reserve(static_cast<std::size_t>(kWidth) * kHeight);
  for (int u = 0; u < kHeight; ++u) {
    for (int v = 0; v < kWidth; ++v) map.push_back(find(scene(), u, v));
  }
  return map;
}

void checkSameMaps() {
  static const bool same = indexMap(plk::findPolygon) == indexMap(referenceFindPolygon);
  if (!same) std::abort();
}

void BM_IndexMapReference(benchmark::State& state) {
  checkSameMaps();
  for (auto _ : state) benchmark::DoNotOptimize(indexMap(referenceFindPolygon));
}

void BM_IndexMapFindPolygon(benchmark::State& state) {
  checkSameMaps();
  for (auto _ : state) benchmark::DoNotOptimize(indexMap(plk::findPolygon));
}

BENCHMARK(BM_IndexMapReference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IndexMapFindPolygon)->Unit(benchmark::kMillisecond);

}  // namespace
