#include <algorithm>
#include <cmath>
#include <limits>

#include "core/fonctions/photometric_detail.h"
#include "core/fonctions/sampling.h"

namespace plk::photometric_detail {

namespace {

// Steps of the descent per level.
constexpr int kMaxIterations = 30;
// Tukey's biweight constant in robust standard deviations (95 % efficiency on Gaussian noise):
// residuals beyond it, such as half-occluded pixels inside the right polygon, weigh nothing.
constexpr double kTukey = 4.685;
// Least robust scale of the grey differences, so that an exact fit keeps a sane Tukey threshold.
constexpr double kMinGreyScale = 0.5;
// Marquardt's damping: start, bounds.
constexpr double kFirstDamping = 1e-4;
constexpr double kMaxDamping = 1e8;

// A bicubic sample of a pyramid level and its slopes along rows and columns.
struct GradientSample {
  double value = 0.0;
  double alongU = 0.0;
  double alongV = 0.0;
};

bool sampleWithSlopes(const PyramidImage& image, double u, double v, GradientSample& out) {
  const double floorU = std::floor(u);
  const double floorV = std::floor(v);
  const int row = static_cast<int>(floorU);
  const int column = static_cast<int>(floorV);
  if (row < 1 || row + 2 >= image.rows() || column < 1 || column + 2 >= image.columns()) {
    return false;
  }
  const std::array<double, 4> wu = cubicWeights(u - floorU);
  const std::array<double, 4> su = cubicWeightSlopes(u - floorU);
  const std::array<double, 4> wv = cubicWeights(v - floorV);
  const std::array<double, 4> sv = cubicWeightSlopes(v - floorV);
  double value = 0.0;
  double alongU = 0.0;
  double alongV = 0.0;
  for (int j = 0; j < 4; ++j) {
    double weighted = 0.0;
    double sloped = 0.0;
    for (int i = 0; i < 4; ++i) {
      const double level = image.at(row - 1 + i, column - 1 + j);
      weighted += wu[i] * level;
      sloped += su[i] * level;
    }
    value += wv[j] * weighted;
    alongV += sv[j] * weighted;
    alongU += wv[j] * sloped;
  }
  out = {value / 4.0, alongU / 4.0, alongV / 4.0};
  return true;
}

// The largest change of the disparity over the polygon's corners, and of the offset.
double stepSize(const Vector6& step, std::span<const Point2> centredCorners) {
  double largest = std::fabs(step[3]);
  for (const Point2& corner : centredCorners) {
    largest = std::max(largest, std::fabs(step[0] + step[1] * corner.u + step[2] * corner.v));
  }
  return largest;
}

}  // namespace

bool solveSymmetric(Matrix6 a, Vector6& b, int n) {
  for (int j = 0; j < n; ++j) {
    double diagonal = a[j * 6 + j];
    for (int k = 0; k < j; ++k) diagonal -= a[j * 6 + k] * a[j * 6 + k];
    if (!(diagonal > 0.0)) return false;
    const double root = std::sqrt(diagonal);
    a[j * 6 + j] = root;
    for (int i = j + 1; i < n; ++i) {
      double sum = a[i * 6 + j];
      for (int k = 0; k < j; ++k) sum -= a[i * 6 + k] * a[j * 6 + k];
      a[i * 6 + j] = sum / root;
    }
  }
  for (int i = 0; i < n; ++i) {
    double sum = b[i];
    for (int k = 0; k < i; ++k) sum -= a[i * 6 + k] * b[k];
    b[i] = sum / a[i * 6 + i];
  }
  for (int i = n - 1; i >= 0; --i) {
    double sum = b[i];
    for (int k = i + 1; k < n; ++k) sum -= a[k * 6 + i] * b[k];
    b[i] = sum / a[i * 6 + i];
  }
  return true;
}

bool LevelFit::rightPosition(const LevelPixel& pixel, const Parameters& p, double& u,
                             double& v) const {
  const double d = p[0] + p[1] * pixel.centredU + p[2] * pixel.centredV;
  const double fullU = pixel.u + p[3];
  const double fullV = pixel.v - d;
  if (rightInset_.depth(fullU, fullV) < inset_) return false;
  u = (fullU - half_) / scale_;
  v = (fullV - half_) / scale_;
  return true;
}

std::vector<double> LevelFit::residuals(const Parameters& p) const {
  std::vector<double> result;
  result.reserve(pixels_.size());
  GradientSample sample;
  for (const LevelPixel& pixel : pixels_) {
    double u = 0.0;
    double v = 0.0;
    if (!rightPosition(pixel, p, u, v) || !sampleWithSlopes(right_, u, v, sample)) continue;
    result.push_back(p[4] * sample.value + p[5] - leftGrey(pixel));
  }
  return result;
}

void LevelFit::matchGreyLevels(Parameters& p) const {
  CorrelationSums sums;
  GradientSample sample;
  for (const LevelPixel& pixel : pixels_) {
    double u = 0.0;
    double v = 0.0;
    if (!rightPosition(pixel, p, u, v) || !sampleWithSlopes(right_, u, v, sample)) continue;
    sums.add(sample.value, leftGrey(pixel));
  }
  if (sums.n < 2.0) return;
  const double varianceRight = sums.xx - sums.x * sums.x / sums.n;
  const double varianceLeft = sums.yy - sums.y * sums.y / sums.n;
  p[4] = varianceRight > 0.0 && varianceLeft > 0.0 ? std::sqrt(varianceLeft / varianceRight) : 1.0;
  p[5] = (sums.y - p[4] * sums.x) / sums.n;
}

Pass LevelFit::pass(const Parameters& p, double tukeyThreshold, const Pass* reference,
                    bool withSpread) const {
  Pass result;
  result.pixelCosts.assign(pixels_.size(), std::numeric_limits<float>::quiet_NaN());
  GradientSample sample;
  for (std::size_t k = 0; k < pixels_.size(); ++k) {
    const LevelPixel& pixel = pixels_[k];
    double u = 0.0;
    double v = 0.0;
    if (!rightPosition(pixel, p, u, v) || !sampleWithSlopes(right_, u, v, sample)) continue;
    const double r = p[4] * sample.value + p[5] - leftGrey(pixel);
    const double alongV = -p[4] * sample.alongV / scale_;
    const Vector6 j{alongV,
                    alongV * pixel.centredU,
                    alongV * pixel.centredV,
                    p[4] * sample.alongU / scale_,
                    sample.value,
                    1.0};
    const double ratio = r / tukeyThreshold;
    const double inside = 1.0 - ratio * ratio;
    const double w = inside > 0.0 ? inside * inside : 0.0;
    const double cost = tukeyThreshold * tukeyThreshold / 6.0 *
                        (inside > 0.0 ? 1.0 - inside * inside * inside : 1.0);
    result.pixelCosts[k] = static_cast<float>(cost);
    if (reference != nullptr && !std::isnan(reference->pixelCosts[k])) {
      result.sharedCost += cost;
      result.sharedReferenceCost += reference->pixelCosts[k];
    }
    result.weightedSquares += w * r * r;
    const double wr2 = (w * r) * (w * r);
    for (int a = 0; a < 6; ++a) {
      const double wa = w * j[a];
      result.gradient[a] += wa * r;
      for (int b = a; b < 6; ++b) result.normal[a * 6 + b] += wa * j[b];
      if (!withSpread) continue;
      for (int b = a; b < 6; ++b) result.spread[a * 6 + b] += wr2 * j[a] * j[b];
    }
    result.sums.add(leftGrey(pixel), sample.value);
    ++result.used;
  }
  for (int a = 0; a < 6; ++a) {
    for (int b = 0; b < a; ++b) {
      result.normal[a * 6 + b] = result.normal[b * 6 + a];
      result.spread[a * 6 + b] = result.spread[b * 6 + a];
    }
  }
  return result;
}

Descent descend(const LevelFit& fit, Parameters& p, double tolerance, double tukeyThreshold,
                std::span<const Point2> corners, int minPixels, Pass& last) {
  Descent descent;
  last = fit.pass(p, tukeyThreshold);
  double damping = kFirstDamping;
  while (descent.iterations < kMaxIterations && last.used >= minPixels) {
    Matrix6 damped = last.normal;
    for (int a = 0; a < 6; ++a) damped[a * 6 + a] *= 1.0 + damping;
    Vector6 step = last.gradient;
    for (double& value : step) value = -value;
    ++descent.iterations;
    if (!solveSymmetric(damped, step, 6)) {
      damping *= 10.0;
      if (damping > kMaxDamping) break;
      continue;
    }
    Parameters next = p;
    for (int a = 0; a < 6; ++a) next[a] += step[a];
    Pass trial = fit.pass(next, tukeyThreshold, &last);
    if (trial.used >= minPixels && trial.sharedCost <= trial.sharedReferenceCost) {
      p = next;
      last = std::move(trial);
      damping = std::max(damping / 10.0, 1e-9);
      if (stepSize(step, corners) < tolerance) {
        descent.converged = true;
        break;
      }
    } else {
      damping *= 10.0;
      if (damping > kMaxDamping) {
        // No step lowers the cost any more: p is a minimum to within rounding.
        descent.converged = true;
        break;
      }
    }
  }
  return descent;
}

std::vector<LevelPixel> levelPixelsInBox(const PyramidImage& left, const InsetMap& leftInset,
                                         const PolygonShape& shape, int level, const Frame& frame) {
  const int scale = 1 << level;
  const double half = (scale - 1.0) / 2.0;
  const int firstRow = std::max(0, static_cast<int>(std::floor((shape.box.minU - half) / scale)));
  const int lastRow =
      std::min(left.rows() - 1, static_cast<int>(std::ceil((shape.box.maxU - half) / scale)));
  const int firstColumn =
      std::max(0, static_cast<int>(std::floor((shape.box.minV - half) / scale)));
  const int lastColumn =
      std::min(left.columns() - 1, static_cast<int>(std::ceil((shape.box.maxV - half) / scale)));
  // Calls take(u, v) for the pixels far enough inside the outline.
  const auto forEachPixel = [&](auto take) {
    for (int r = firstRow; r <= lastRow; ++r) {
      const double u = scale * r + half;
      for (int c = firstColumn; c <= lastColumn; ++c) {
        const double v = scale * c + half;
        if (!(leftInset.depth(u, v) < kInset + half)) take(u, v);
      }
    }
  };
  // Counted first, so that the list is allocated once at its size: grown by doubling, a
  // polygon of millions of pixels would briefly hold its list twice and a half over.
  std::size_t count = 0;
  forEachPixel([&](double, double) { ++count; });
  std::vector<LevelPixel> pixels;
  pixels.reserve(count);
  forEachPixel([&](double u, double v) {
    pixels.push_back({(u - frame.centreU) / frame.scale, (v - frame.centreV) / frame.scale,
                      static_cast<float>(u), static_cast<float>(v)});
  });
  return pixels;
}

double tukeyThresholdOf(std::vector<double> residuals) {
  // Both medians are taken in the one list: a median does not depend on the order of the values.
  const double centre = medianReordering(residuals);
  for (double& r : residuals) r = std::fabs(r - centre);
  return kTukey * std::max(kMinGreyScale, 1.4826 * medianReordering(residuals));
}

}  // namespace plk::photometric_detail
