// Speed of the photometric plane fit on the three polygons of the Sawtooth example, on one
// thread, against one bicubic pass over the same pixels in the same run (the unit the fit's
// passes are made of). Counters: ms_per_100k_px, processor time (the goal is at most 50), and,
// in BM_Ratio, fit / one pass. With OpenCV, BM_OpenCvPhotometricFit fits the same model with
// cv::remap and cv::Sobel, as many steps as the fit takes, for scripts/bench-ratios.

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

#ifdef PLK_WITH_OPENCV
#include <algorithm>
#include <cmath>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

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

#ifdef PLK_WITH_OPENCV

constexpr int kOpenCvLevels = 3;

// Both images as the OpenCV fit reads them: float pyramids of 2 x 2 means, and per level the
// right image's Sobel derivatives along columns and rows.
struct OpenCvPyramids {
  std::vector<cv::Mat> left;
  std::vector<cv::Mat> right;
  std::vector<cv::Mat> rightAlongColumns;
  std::vector<cv::Mat> rightAlongRows;
};

cv::Mat floatImage(const GreyImage& image) {
  cv::Mat grey(image.height(), image.width(), CV_8U);
  for (int r = 0; r < image.height(); ++r) {
    std::copy_n(image.row(r), image.width(), grey.ptr<std::uint8_t>(r));
  }
  cv::Mat values;
  grey.convertTo(values, CV_32F);
  return values;
}

OpenCvPyramids opencvPyramids(const Project& project) {
  OpenCvPyramids p;
  p.left.push_back(floatImage(project.left.image));
  p.right.push_back(floatImage(project.right.image));
  for (int level = 1; level < kOpenCvLevels; ++level) {
    for (std::vector<cv::Mat>* pyramid : {&p.left, &p.right}) {
      cv::Mat half;
      cv::resize(pyramid->back(), half, cv::Size(), 0.5, 0.5, cv::INTER_AREA);
      pyramid->push_back(half);
    }
  }
  return p;
}

// The Sobel derivatives of every right level, part of each timed fit as PLK computes its slopes
// in the fit.
void rightDerivatives(OpenCvPyramids& p) {
  p.rightAlongColumns.clear();
  p.rightAlongRows.clear();
  for (const cv::Mat& level : p.right) {
    cv::Mat alongColumns;
    cv::Mat alongRows;
    cv::Sobel(level, alongColumns, CV_32F, 1, 0, 3, 1.0 / 8.0);
    cv::Sobel(level, alongRows, CV_32F, 0, 1, 3, 1.0 / 8.0);
    p.rightAlongColumns.push_back(alongColumns);
    p.rightAlongRows.push_back(alongRows);
  }
}

// The six parameters: disparity a + b u + c v, vertical offset e, right-to-left gain and offset.
using Unknowns = cv::Vec<double, 6>;

// Tukey weight of a residual over its robust scale.
double tukeyWeight(double residual, double scale) {
  const double t = residual / (4.685 * scale);
  return std::abs(t) < 1.0 ? (1.0 - t * t) * (1.0 - t * t) : 0.0;
}

// One Gauss-Newton step at one level over the pixels (u, v) of that level.
void gaussNewtonStep(const OpenCvPyramids& p, int level, const std::vector<cv::Point2f>& pixels,
                     Unknowns& x) {
  const double scale = 1 << level;
  // remap takes maps under 32767 columns: the pixels lie row after row in maps of 1024 columns.
  constexpr int kMapColumns = 1024;
  const int mapRowCount = static_cast<int>((pixels.size() + kMapColumns - 1) / kMapColumns);
  cv::Mat mapColumns(mapRowCount, kMapColumns, CV_32F, cv::Scalar(0));
  cv::Mat mapRows(mapRowCount, kMapColumns, CV_32F, cv::Scalar(0));
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const double u = pixels[i].y * scale;
    const double v = pixels[i].x * scale;
    const double d = x[0] + x[1] * u + x[2] * v;
    mapColumns.ptr<float>()[i] = static_cast<float>((v - d) / scale);
    mapRows.ptr<float>()[i] = static_cast<float>((u + x[3]) / scale);
  }
  cv::Mat grey;
  cv::Mat alongColumns;
  cv::Mat alongRows;
  cv::Mat leftGrey;
  cv::remap(p.right[level], grey, mapColumns, mapRows, cv::INTER_CUBIC, cv::BORDER_REPLICATE);
  cv::remap(p.rightAlongColumns[level], alongColumns, mapColumns, mapRows, cv::INTER_CUBIC,
            cv::BORDER_REPLICATE);
  cv::remap(p.rightAlongRows[level], alongRows, mapColumns, mapRows, cv::INTER_CUBIC,
            cv::BORDER_REPLICATE);
  std::vector<double> residuals(pixels.size());
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const float left = p.left[level].at<float>(cvRound(pixels[i].y), cvRound(pixels[i].x));
    residuals[i] = x[4] * grey.ptr<float>()[i] + x[5] - left;
  }
  std::vector<double> magnitudes(residuals.size());
  std::transform(residuals.begin(), residuals.end(), magnitudes.begin(),
                 [](double r) { return std::abs(r); });
  std::nth_element(magnitudes.begin(), magnitudes.begin() + magnitudes.size() / 2,
                   magnitudes.end());
  const double robustScale = std::max(1.4826 * magnitudes[magnitudes.size() / 2], 1e-3);
  cv::Matx<double, 6, 6> normal = cv::Matx<double, 6, 6>::zeros();
  Unknowns gradient = Unknowns::all(0.0);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const double w = tukeyWeight(residuals[i], robustScale);
    if (w == 0.0) continue;
    const double u = pixels[i].y * scale;
    const double v = pixels[i].x * scale;
    const double gx = x[4] * alongColumns.ptr<float>()[i] / scale;
    const double gy = x[4] * alongRows.ptr<float>()[i] / scale;
    const Unknowns j(-gx, -gx * u, -gx * v, gy, grey.ptr<float>()[i], 1.0);
    normal += w * j * j.t();
    gradient += w * residuals[i] * j;
  }
  cv::Vec<double, 6> step;
  if (cv::solve(normal, -gradient, step, cv::DECOMP_CHOLESKY)) x += step;
}

// The polygon's pixels at least 2 px inside, at one level: every 2^level-th row and column.
std::vector<cv::Point2f> levelPixels(const std::vector<PixelPosition>& inside, int level) {
  const int step = 1 << level;
  std::vector<cv::Point2f> pixels;
  for (const PixelPosition& pixel : inside) {
    if (pixel.u % step == 0 && pixel.v % step == 0) {
      pixels.emplace_back(static_cast<float>(pixel.v / step), static_cast<float>(pixel.u / step));
    }
  }
  return pixels;
}

void BM_OpenCvPhotometricFit(benchmark::State& state) {
  const Scene& s = scene();
  OpenCvPyramids pyramids = opencvPyramids(*s.project);
  std::vector<std::vector<PixelPosition>> inside;
  std::vector<int> stepsPerLevel;
  std::vector<Unknowns> starts;
  for (std::size_t p = 0; p < s.left.size(); ++p) {
    inside.push_back(InsetMap(s.left[p], s.project->imageHeight, s.project->imageWidth)
                         .pixelsInside(2.0, s.project->imageHeight, s.project->imageWidth));
    const PhotometricEstimate fitted = estimatePhotometricPlane(inputOf(s, p));
    stepsPerLevel.push_back(
        std::max(1, (fitted.quality.iterations + kOpenCvLevels - 1) / kOpenCvLevels));
    const DisparityPlane& plane = fitted.plane;
    starts.push_back(Unknowns(plane.a + 0.5, plane.b, plane.c, 0.0, 1.0, 0.0));
  }
  for (auto _ : state) {
    rightDerivatives(pyramids);
    for (std::size_t p = 0; p < inside.size(); ++p) {
      Unknowns x = starts[p];
      for (int level = kOpenCvLevels - 1; level >= 0; --level) {
        const std::vector<cv::Point2f> pixels = levelPixels(inside[p], level);
        for (int step = 0; step < stepsPerLevel[p]; ++step) {
          gaussNewtonStep(pyramids, level, pixels, x);
        }
      }
      benchmark::DoNotOptimize(x);
    }
  }
}

#endif

}  // namespace

BENCHMARK(BM_PhotometricFit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OnePass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ratio);
#ifdef PLK_WITH_OPENCV
BENCHMARK(BM_OpenCvPhotometricFit)->Unit(benchmark::kMillisecond);
#endif
