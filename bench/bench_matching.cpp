// Interest-point detection on the left view of Sawtooth (one polygon over the image, 300 points)
// and matching per point (default parameters), on one thread and on every core, against
// OpenCV in the same run: cv::cornerMinEigenVal with the same block size on CV_32F (it takes
// no CV_64F image), an 11 x 11
// dilation for the local maxima and the 300 strongest; per point cv::matchTemplate
// (TM_CCOEFF_NORMED) over the same zone forward and backward, then 36 sub-pixel windows
// resampled with cv::remap (INTER_CUBIC) and scored against the left window.
#include <benchmark/benchmark.h>

#include <QString>
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

#include "core/fonctions/detection.h"
#include "core/fonctions/matching.h"
#include "io/image_io.h"

#ifdef PLK_WITH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kPoints = 300;

plk::GreyImage loadView(const char* name) {
  const std::optional<plk::io::DecodedImage> decoded = plk::io::loadImageFile(
      QStringLiteral(PLK_TESTDATA_DIR "/middlebury2001/sawtooth/") + QString::fromLatin1(name));
  if (!decoded) std::abort();
  return plk::io::toGreyImage(decoded->image);
}

struct Scene {
  plk::GreyImage left = loadView("left.bmp");
  plk::GreyImage right = loadView("right.bmp");
  plk::PolygonList leftPolygons;
  plk::PolygonList rightPolygons;
  plk::InterestPointTables points;

  Scene() {
    for (plk::PolygonList* polygons : {&leftPolygons, &rightPolygons}) {
      plk::Polygone& polygon = polygons->appendPolygon();
      const double last = left.height() - 1;
      const double right = left.width() - 1;
      plk::Sommet* first = polygons->createVertex(0, 0);
      polygon.sommets = {first, polygons->createVertex(0, right),
                         polygons->createVertex(last, right), polygons->createVertex(last, 0),
                         first};
    }
    plk::UnattendedRun run;
    points = *plk::detectInterestPoints(leftPolygons, left, {11, 11, kPoints}, {}, run);
  }
};

const Scene& sawtooth() {
  static const Scene scene;
  return scene;
}

void setThreads(bool single) {
  if (single) {
    setenv("PLK_THREADS", "1", 1);
  } else {
    unsetenv("PLK_THREADS");
  }
}

// Argument: 1 for one thread, 0 for every core.
void BM_DetectPlk(benchmark::State& state) {
  const Scene& scene = sawtooth();
  setThreads(state.range(0) == 1);
  plk::UnattendedRun run;
  for (auto _ : state) {
    auto tables =
        plk::detectInterestPoints(scene.leftPolygons, scene.left, {11, 11, kPoints}, {}, run);
    benchmark::DoNotOptimize(tables);
  }
  unsetenv("PLK_THREADS");
}
BENCHMARK(BM_DetectPlk)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// Per point: the run's preparation (both images and polygon maps) and the matching of the 300
// detected points, divided by the number of points.
void BM_MatchPerPointPlk(benchmark::State& state) {
  const Scene& scene = sawtooth();
  setThreads(state.range(0) == 1);
  plk::UnattendedRun run;
  for (auto _ : state) {
    const plk::MatchingImage left(scene.left, scene.leftPolygons);
    const plk::MatchingImage right(scene.right, scene.rightPolygons);
    auto tables = plk::matchInterestPoints(left, right, scene.points.interestPoints, {},
                                           plk::MatchParameters{}, run);
    benchmark::DoNotOptimize(tables);
  }
  state.SetItemsProcessed(state.iterations() * scene.points.interestPointCounts[0]);
  unsetenv("PLK_THREADS");
}
BENCHMARK(BM_MatchPerPointPlk)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

#ifdef PLK_WITH_OPENCV

cv::Mat toMat(const plk::GreyImage& image) {
  cv::Mat mat(image.height(), image.width(), CV_8U);
  for (int r = 0; r < image.height(); ++r) std::copy_n(image.row(r), image.width(), mat.ptr(r));
  return mat;
}

void BM_DetectOpenCV(benchmark::State& state) {
  cv::setNumThreads(1);
  cv::Mat grey;
  toMat(sawtooth().left).convertTo(grey, CV_32F);
  const cv::Mat neighbourhood = cv::Mat::ones(11, 11, CV_8U);
  for (auto _ : state) {
    cv::Mat response;
    cv::cornerMinEigenVal(grey, response, 11, 3);
    cv::Mat maxima;
    cv::dilate(response, maxima, neighbourhood);
    std::vector<std::pair<float, cv::Point>> peaks;
    for (int r = 5; r < response.rows - 5; ++r) {
      const auto* value = response.ptr<float>(r);
      const auto* maximum = maxima.ptr<float>(r);
      for (int c = 5; c < response.cols - 5; ++c) {
        if (value[c] >= maximum[c]) peaks.emplace_back(value[c], cv::Point(c, r));
      }
    }
    const auto keep = std::min<std::size_t>(kPoints, peaks.size());
    std::partial_sort(peaks.begin(), peaks.begin() + static_cast<std::ptrdiff_t>(keep), peaks.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
    benchmark::DoNotOptimize(peaks.data());
  }
  cv::setNumThreads(-1);
}
BENCHMARK(BM_DetectOpenCV)->Unit(benchmark::kMillisecond);

// The default zone around (row, column) cut to the image: rows -10 .. +10, columns -30 .. +10,
// widened by the half window.
cv::Rect zone(int row, int column, int above, int below, int left, int right, cv::Size size) {
  const int top = std::max(row - above - 5, 0);
  const int bottom = std::min(row + below + 5, size.height - 1);
  const int first = std::max(column - left - 5, 0);
  const int last = std::min(column + right + 5, size.width - 1);
  return {first, top, last - first + 1, bottom - top + 1};
}

// Best window centre of `templ` in `image` over `area`.
cv::Point bestCentre(const cv::Mat& image, const cv::Mat& templ, const cv::Rect& area) {
  cv::Mat scores;
  cv::matchTemplate(image(area), templ, scores, cv::TM_CCOEFF_NORMED);
  cv::Point best;
  cv::minMaxLoc(scores, nullptr, nullptr, nullptr, &best);
  return {area.x + best.x + 5, area.y + best.y + 5};
}

void BM_MatchPerPointOpenCV(benchmark::State& state) {
  cv::setNumThreads(1);
  const cv::Mat left = toMat(sawtooth().left);
  const cv::Mat right = toMat(sawtooth().right);
  cv::Mat rightFloat;
  right.convertTo(rightFloat, CV_32F);
  const plk::InterestPointList& points = sawtooth().points.interestPoints[0];
  cv::Mat mapX(11, 11, CV_32F);
  cv::Mat mapY(11, 11, CV_32F);
  for (auto _ : state) {
    for (const plk::InterestPoint& point : points) {
      const int row = static_cast<int>(point.u);
      const int column = static_cast<int>(point.v);
      const cv::Rect window(column - 5, row - 5, 11, 11);
      const cv::Point forward =
          bestCentre(right, left(window), zone(row, column, 10, 10, 30, 10, right.size()));
      if (forward.x < 6 || forward.y < 6 || forward.x > right.cols - 7 ||
          forward.y > right.rows - 7) {
        continue;
      }
      const cv::Point back = bestCentre(left, right(cv::Rect(forward.x - 5, forward.y - 5, 11, 11)),
                                        zone(forward.y, forward.x, 10, 10, 10, 30, left.size()));
      benchmark::DoNotOptimize(back);
      cv::Mat reference;
      left(window).convertTo(reference, CV_32F);
      float bestScore = -2.0F;
      for (int pass = 0; pass < 4; ++pass) {
        const float step = 0.5F / static_cast<float>(1 << pass);
        for (int k = 0; k < 9; ++k) {
          for (int a = 0; a < 11; ++a) {
            for (int b = 0; b < 11; ++b) {
              mapX.at<float>(a, b) = static_cast<float>(forward.x - 5 + b) + (k % 3 - 1) * step;
              mapY.at<float>(a, b) = static_cast<float>(forward.y - 5 + a) + (k / 3 - 1) * step;
            }
          }
          cv::Mat sampled;
          cv::remap(rightFloat, sampled, mapX, mapY, cv::INTER_CUBIC);
          cv::Mat score;
          cv::matchTemplate(sampled, reference, score, cv::TM_CCOEFF_NORMED);
          bestScore = std::max(bestScore, score.at<float>(0, 0));
        }
      }
      benchmark::DoNotOptimize(bestScore);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(points.size()));
  cv::setNumThreads(-1);
}
BENCHMARK(BM_MatchPerPointOpenCV)->Unit(benchmark::kMillisecond);

#endif

}  // namespace
