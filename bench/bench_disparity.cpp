// The disparity maps of the Sawtooth example (three polygons, the homographies of the ground
// truth's planes) at factors 1 and 4, on one thread and on every core, against the same fine
// mapping done with OpenCV: per polygon a cv::fillPoly mask and a cv::warpPerspective of a
// coordinate grid, then the encoded length of the displacement where the mask is set. The OpenCV
// form neither classifies the samples exactly, nor tests the right polygons, nor votes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "core/fonctions/disparity.h"
#include "core/fonctions/polygon_scan.h"
#include "io/project_opening.h"

#ifdef PLK_WITH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

// d = a * column + b * row + c for the three planes, in the order of the example's polygons.
struct Plane {
  double a;
  double b;
  double c;
};
constexpr Plane kPlanes[] = {
    {-0.00203, -0.00930, 8.895}, {-0.00057, 0.00071, 4.060}, {-0.00077, 0.03136, 5.977}};

// u' = u, v' = v - d(u, v): the homography a plane of the scene induces.
plk::Homography planeHomography(const Plane& plane) {
  return {1, 0, 0, -plane.b, 1 - plane.a, -plane.c, 0, 0, 1};
}

const plk::Project& sawtooth() {
  static const std::unique_ptr<plk::Project> project = [] {
    auto opened = plk::io::openProjectFile(
        QStringLiteral(PLK_TESTDATA_DIR "/../../examples/sawtooth/sawtooth.plk"));
    if (!std::holds_alternative<std::unique_ptr<plk::Project>>(opened)) std::abort();
    auto loaded = std::move(std::get<std::unique_ptr<plk::Project>>(opened));
    for (const Plane& plane : kPlanes) {
      loaded->results.linearHomographies.push_back(planeHomography(plane));
    }
    loaded->results.robustNonLinearHomographies = loaded->results.linearHomographies;
    return loaded;
  }();
  return *project;
}

void setThreads(bool single) {
  if (single) {
    setenv("PLK_THREADS", "1", 1);
  } else {
    unsetenv("PLK_THREADS");
  }
}

// Arguments: factor, then 1 for one thread or 0 for every core.
void BM_ComputeDisparities(benchmark::State& state) {
  plk::DisparityParameters parameters;
  parameters.factor = static_cast<int>(state.range(0));
  setThreads(state.range(1) == 1);
  plk::UnattendedRun control;
  for (auto _ : state) {
    auto maps = plk::computeDisparities(sawtooth(), parameters, plk::NumberFormat{','}, control);
    benchmark::DoNotOptimize(maps);
  }
  unsetenv("PLK_THREADS");
}
BENCHMARK(BM_ComputeDisparities)
    ->Args({1, 1})
    ->Args({1, 0})
    ->Args({4, 1})
    ->Args({4, 0})
    ->Unit(benchmark::kMillisecond);

#ifdef PLK_WITH_OPENCV

// (column, row) of every fine sample in pixels, built once outside the timed loop.
cv::Mat coordinateGrid(cv::Size size, int factor) {
  cv::Mat grid(size, CV_32FC2);
  for (int y = 0; y < size.height; ++y) {
    auto* row = grid.ptr<cv::Vec2f>(y);
    for (int x = 0; x < size.width; ++x) row[x] = cv::Vec2f(float(x) / factor, float(y) / factor);
  }
  return grid;
}

// The fine map of one factor with OpenCV, E stored as a 32-bit integer per sample.
cv::Mat opencvFineMap(const plk::Project& project, int factor, const cv::Mat& grid) {
  const cv::Size size = grid.size();
  cv::Mat fine = cv::Mat::zeros(size, CV_32S);
  const std::vector<plk::PolygonShape> shapes = plk::shapesOf(project.left.polygons);
  constexpr int kShift = 8;  // fixed-point corners for fillPoly
  for (std::size_t k = 0; k < shapes.size(); ++k) {
    std::vector<cv::Point> corners;
    for (const plk::Point2& corner : shapes[k].corners) {
      corners.emplace_back(int(std::lround(corner.v * factor * (1 << kShift))),
                           int(std::lround(corner.u * factor * (1 << kShift))));
    }
    cv::Mat mask = cv::Mat::zeros(size, CV_8U);
    cv::fillPoly(mask, std::vector<std::vector<cv::Point>>{corners}, cv::Scalar(255), cv::LINE_8,
                 kShift);
    // Column x, row y of the fine grid map to (v', u') = H (u, v, 1) in pixels; the warp reads
    // the grid at those positions scaled by the factor, which gives them back as coordinates.
    const plk::Homography& h = project.results.linearHomographies[k];
    const cv::Matx33d toFine(factor, 0, 0, 0, factor, 0, 0, 0, 1);
    const cv::Matx33d fromFine(1.0 / factor, 0, 0, 0, 1.0 / factor, 0, 0, 0, 1);
    const cv::Matx33d swap(0, 1, 0, 1, 0, 0, 0, 0, 1);  // (u, v) <-> (x, y)
    const cv::Matx33d mapping = toFine * swap *
                                cv::Matx33d(h[0], h[1], h[2], h[3], h[4], h[5], h[6], h[7], h[8]) *
                                swap * fromFine;
    cv::Mat mapped;
    cv::warpPerspective(grid, mapped, cv::Mat(mapping), size,
                        cv::INTER_LINEAR | cv::WARP_INVERSE_MAP);
    cv::Mat displacement;
    cv::subtract(mapped, grid, displacement);
    std::vector<cv::Mat> parts;
    cv::split(displacement, parts);
    cv::Mat length;
    cv::magnitude(parts[0], parts[1], length);
    cv::Mat encoded;
    length.convertTo(encoded, CV_32S, 1000.0);
    encoded.copyTo(fine, mask);
  }
  return fine;
}

void BM_OpenCvFineMap(benchmark::State& state) {
  const int factor = static_cast<int>(state.range(0));
  cv::setNumThreads(state.range(1) == 1 ? 1 : cv::getNumberOfCPUs());
  const cv::Mat grid = coordinateGrid(
      cv::Size(sawtooth().imageWidth * factor, sawtooth().imageHeight * factor), factor);
  for (auto _ : state) benchmark::DoNotOptimize(opencvFineMap(sawtooth(), factor, grid));
  cv::setNumThreads(cv::getNumberOfCPUs());
}
BENCHMARK(BM_OpenCvFineMap)
    ->Args({1, 1})
    ->Args({1, 0})
    ->Args({4, 1})
    ->Args({4, 0})
    ->Unit(benchmark::kMillisecond);

#endif

}  // namespace
