#include "core/fonctions/photometric.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>

#include "core/fonctions/sampling.h"
#include "core/parallel.h"
#include "core/vision.h"

namespace plk {

namespace {

// Pixels the fit needs at the finest level: with fewer, six parameters are not determined well.
constexpr int kMinPixels = 50;
// A coarser level joins the pyramid only when the polygon keeps this many pixels on it.
constexpr int kMinCoarsePixels = 64;
constexpr int kLevels = 3;
// Pixels of the polygon left out along its sides, full-resolution pixels.
constexpr double kInset = 2.0;
// Steps of the descent per level.
constexpr int kMaxIterations = 30;
// The finest level stops when a step moves the disparity and the offset by less than this (px),
// a coarser one when they move by less than this many of its pixels.
constexpr double kStepTolerance = 1e-3;
constexpr double kCoarseStepTolerance = 0.01;
// Pixels a sweep or a start fit looks at, spread evenly over the polygon.
constexpr std::size_t kMaxSampledPixels = 4096;
// Tukey's biweight constant in robust standard deviations (95 % efficiency on Gaussian noise):
// residuals beyond it, such as half-occluded pixels inside the right polygon, weigh nothing.
constexpr double kTukey = 4.685;
// Least robust scale of the grey differences, so that an exact fit keeps a sane Tukey threshold.
constexpr double kMinGreyScale = 0.5;
// The [1 2 1] smoothing makes neighbouring residuals correlated: a mean over many of them
// varies (sum of the weights)^2 / (sum of their squares) = 16 / 6 times more per axis than
// independent residuals of the same spread would.
constexpr double kSmoothingVarianceFactor = (16.0 / 6.0) * (16.0 / 6.0);
// Marquardt's damping: start, bounds.
constexpr double kFirstDamping = 1e-4;
constexpr double kMaxDamping = 1e8;

constexpr double kOffTable = -1e9;
// Depths are exact up to this distance from the sides and capped there: every inset the fit
// asks for is smaller.
constexpr double kDepthReach = 8.0;

using Vector6 = std::array<double, 6>;
using Matrix6 = std::array<double, 36>;

// Solves the symmetric positive definite n x n system a x = b (Cholesky). False when singular.
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

double distanceToSegment(Point2 a, Point2 b, double u, double v) {
  const double du = b.u - a.u;
  const double dv = b.v - a.v;
  const double length2 = du * du + dv * dv;
  double t = length2 > 0.0 ? ((u - a.u) * du + (v - a.v) * dv) / length2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  const double pu = a.u + t * du - u;
  const double pv = a.v + t * dv - v;
  return std::sqrt(pu * pu + pv * pv);
}

double median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// Every k-th pixel, so that at most `limit` remain.
std::vector<PixelPosition> spreadSample(std::span<const PixelPosition> pixels, std::size_t limit) {
  const std::size_t stride = std::max<std::size_t>(1, (pixels.size() + limit - 1) / limit);
  std::vector<PixelPosition> sample;
  for (std::size_t i = 0; i < pixels.size(); i += stride) sample.push_back(pixels[i]);
  return sample;
}

// Bicubic sample of an 8-bit image; nothing when the 4 x 4 neighbourhood leaves it.
std::optional<double> sampleGrey(const GreyImage& image, double u, double v) {
  const CubicTap row = cubicTap(u);
  const CubicTap column = cubicTap(v);
  if (row.first < 1 || row.first + 2 >= image.height() || column.first < 1 ||
      column.first + 2 >= image.width()) {
    return std::nullopt;
  }
  return cubicCombine(row, column,
                      [&image](int r, int c) { return static_cast<double>(image.at(r, c)); });
}

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

PyramidImage halved(const PyramidImage& image) {
  PyramidImage half(image.rows() / 2, image.columns() / 2);
  for (int r = 0; r < half.rows(); ++r) {
    for (int c = 0; c < half.columns(); ++c) {
      half.set(r, c,
               0.25f * (image.at(2 * r, 2 * c) + image.at(2 * r, 2 * c + 1) +
                        image.at(2 * r + 1, 2 * c) + image.at(2 * r + 1, 2 * c + 1)));
    }
  }
  return half;
}

// The image smoothed by the binomial kernel [1 2 1] / 4 along rows and columns, edges repeated.
// Interpolating a noisy image averages its noise more at half-pixel positions than at whole
// ones, which pulls an intensity fit towards half-pixel shifts; once both images are smoothed
// alike the interpolation barely changes the noise left and the pull vanishes.
PyramidImage smoothed(const PyramidImage& image) {
  const int rows = image.rows();
  const int columns = image.columns();
  PyramidImage across(rows, columns);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const double left = image.at(r, std::max(0, c - 1));
      const double right = image.at(r, std::min(columns - 1, c + 1));
      across.set(r, c, static_cast<float>((left + 2.0 * image.at(r, c) + right) / 4.0));
    }
  }
  PyramidImage result(rows, columns);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const double up = across.at(std::max(0, r - 1), c);
      const double down = across.at(std::min(rows - 1, r + 1), c);
      result.set(r, c, static_cast<float>((up + 2.0 * across.at(r, c) + down) / 4.0));
    }
  }
  return result;
}

std::vector<PyramidImage> pyramidOf(const GreyImage& image) {
  std::vector<PyramidImage> levels;
  PyramidImage raw(image.height(), image.width());
  for (int r = 0; r < image.height(); ++r) {
    for (int c = 0; c < image.width(); ++c) raw.set(r, c, image.at(r, c));
  }
  levels.push_back(smoothed(raw));
  for (int level = 1; level < kLevels; ++level) levels.push_back(halved(levels.back()));
  return levels;
}

// Zero-mean normalised correlation from running sums.
struct CorrelationSums {
  double n = 0.0;
  double x = 0.0;
  double y = 0.0;
  double xx = 0.0;
  double yy = 0.0;
  double xy = 0.0;

  void add(double a, double b) {
    n += 1.0;
    x += a;
    y += b;
    xx += a * a;
    yy += b * b;
    xy += a * b;
  }
  [[nodiscard]] double correlation() const {
    if (n < 2.0) return -1.0;
    const double cx = xx - x * x / n;
    const double cy = yy - y * y / n;
    if (!(cx > 0.0) || !(cy > 0.0)) return 0.0;
    return (xy - x * y / n) / std::sqrt(cx * cy);
  }
};

// The polygon's frame: centre and scale of the coordinates the fit works in.
struct Frame {
  double centreU = 0.0;
  double centreV = 0.0;
  double scale = 1.0;
};

Frame frameOf(const PolygonShape& shape) {
  const BoundingBox& box = shape.box;
  return {(box.minU + box.maxU) / 2.0, (box.minV + box.maxV) / 2.0,
          std::max(1.0, std::max(box.maxU - box.minU, box.maxV - box.minV) / 2.0)};
}

// Parameters of the descent: a', b', c' of the centred plane, e, gain, offset.
using Parameters = Vector6;

DisparityPlane planeOf(const Parameters& p, const Frame& frame) {
  const double b = p[1] / frame.scale;
  const double c = p[2] / frame.scale;
  return {p[0] - b * frame.centreU - c * frame.centreV, b, c, p[3]};
}

Parameters parametersOf(const DisparityPlane& plane, const Frame& frame, double gain,
                        double offset) {
  return {plane.at(frame.centreU, frame.centreV),
          plane.b * frame.scale,
          plane.c * frame.scale,
          plane.e,
          gain,
          offset};
}

// Least-squares plane d(u, v) through weighted points; false when they do not determine one.
struct PlanePoint {
  double u = 0.0;
  double v = 0.0;
  double d = 0.0;
};

bool fitPlane(std::span<const PlanePoint> points, const Frame& frame, DisparityPlane& plane) {
  Matrix6 a{};
  Vector6 b{};
  for (const PlanePoint& point : points) {
    const std::array<double, 3> j{1.0, (point.u - frame.centreU) / frame.scale,
                                  (point.v - frame.centreV) / frame.scale};
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) a[r * 6 + c] += j[r] * j[c];
      b[r] += j[r] * point.d;
    }
  }
  // A nearly collinear set leaves the normal matrix close to singular.
  const double smallest = 1e-9 * std::max(1.0, a[0]);
  for (int r = 0; r < 3; ++r) a[r * 6 + r] += smallest;
  if (!solveSymmetric(a, b, 3)) return false;
  plane = planeOf({b[0], b[1], b[2], plane.e, 1.0, 0.0}, frame);
  return true;
}

// The plane nearest a homography over the polygon's pixels.
std::optional<DisparityPlane> planeFromHomography(const Homography& h,
                                                  std::span<const PixelPosition> pixels,
                                                  const Frame& frame) {
  std::vector<PlanePoint> points;
  double rowShift = 0.0;
  for (const PixelPosition& pixel : spreadSample(pixels, kMaxSampledPixels)) {
    const double u = pixel.u;
    const double v = pixel.v;
    const double w = h[6] * u + h[7] * v + h[8];
    if (w == 0.0) continue;
    const double mappedU = (h[0] * u + h[1] * v + h[2]) / w;
    const double mappedV = (h[3] * u + h[4] * v + h[5]) / w;
    if (!std::isfinite(mappedU) || !std::isfinite(mappedV)) continue;
    points.push_back({u, v, v - mappedV});
    rowShift += mappedU - u;
  }
  if (points.size() < 3) return std::nullopt;
  DisparityPlane plane;
  plane.e = rowShift / static_cast<double>(points.size());
  if (!fitPlane(points, frame, plane)) return std::nullopt;
  return plane;
}

// A plane through the matches, refitted without those far from it until the set settles.
std::optional<DisparityPlane> planeFromMatches(const InterestPointList& matches,
                                               const Frame& frame) {
  std::vector<PlanePoint> points;
  std::vector<double> rowShifts;
  for (const InterestPoint& match : matches) {
    points.push_back({match.leftU, match.leftV, match.leftV - match.v});
    rowShifts.push_back(match.u - match.leftU);
  }
  DisparityPlane plane;
  plane.e = median(rowShifts);
  std::vector<PlanePoint> kept = points;
  for (int round = 0; round < 5; ++round) {
    if (kept.size() < 3 || !fitPlane(kept, frame, plane)) return std::nullopt;
    std::vector<double> residuals;
    for (const PlanePoint& point : points) {
      residuals.push_back(std::fabs(point.d - plane.at(point.u, point.v)));
    }
    const double threshold = std::max(0.5, 3.0 * 1.4826 * median(residuals));
    std::vector<PlanePoint> next;
    for (std::size_t i = 0; i < points.size(); ++i) {
      if (residuals[i] <= threshold) next.push_back(points[i]);
    }
    if (next.size() == kept.size()) break;
    kept = std::move(next);
  }
  return plane;
}

// One left pixel of a level: its centred coordinates, full-resolution position and grey level.
struct LevelPixel {
  double centredU = 0.0;
  double centredV = 0.0;
  double u = 0.0;
  double v = 0.0;
  double grey = 0.0;
};

// What one pass over a level's pixels gives at given parameters.
struct Pass {
  int used = 0;
  double weightedSquares = 0;     // sum of w r^2
  Matrix6 normal{};               // J^T W J
  Matrix6 spread{};               // sum of (w r)^2 J J^T, the meat of the sandwich covariance
  Vector6 gradient{};             // J^T W r
  CorrelationSums sums;           // left and right grey levels of the pixels used
  std::vector<float> pixelCosts;  // per pixel of the level, NaN where unused
  // Over the pixels used both here and in the reference pass: the two costs.
  double sharedCost = 0.0;
  double sharedReferenceCost = 0.0;
};

// The fit of one polygon at one level of the pyramid.
class LevelFit {
 public:
  LevelFit(const PyramidImage& right, const InsetMap& rightInset, int level,
           std::vector<LevelPixel> pixels)
      : right_(right),
        rightInset_(rightInset),
        scale_(static_cast<double>(1 << level)),
        half_((scale_ - 1.0) / 2.0),
        inset_(kInset + half_),
        pixels_(std::move(pixels)) {}

  // Where the left pixel is seen in this level's right image, if it is used there.
  bool rightPosition(const LevelPixel& pixel, const Parameters& p, double& u, double& v) const {
    const double d = p[0] + p[1] * pixel.centredU + p[2] * pixel.centredV;
    const double fullU = pixel.u + p[3];
    const double fullV = pixel.v - d;
    if (rightInset_.depth(fullU, fullV) < inset_) return false;
    u = (fullU - half_) / scale_;
    v = (fullV - half_) / scale_;
    return true;
  }

  // The differences right - left after the photometric correction, at p.
  std::vector<double> residuals(const Parameters& p) const {
    std::vector<double> result;
    GradientSample sample;
    for (const LevelPixel& pixel : pixels_) {
      double u = 0.0;
      double v = 0.0;
      if (!rightPosition(pixel, p, u, v) || !sampleWithSlopes(right_, u, v, sample)) continue;
      result.push_back(p[4] * sample.value + p[5] - pixel.grey);
    }
    return result;
  }

  // Gain and offset that match the right grey levels to the left ones at p's geometry.
  void matchGreyLevels(Parameters& p) const {
    CorrelationSums sums;
    GradientSample sample;
    for (const LevelPixel& pixel : pixels_) {
      double u = 0.0;
      double v = 0.0;
      if (!rightPosition(pixel, p, u, v) || !sampleWithSlopes(right_, u, v, sample)) continue;
      sums.add(sample.value, pixel.grey);
    }
    if (sums.n < 2.0) return;
    const double varianceRight = sums.xx - sums.x * sums.x / sums.n;
    const double varianceLeft = sums.yy - sums.y * sums.y / sums.n;
    p[4] =
        varianceRight > 0.0 && varianceLeft > 0.0 ? std::sqrt(varianceLeft / varianceRight) : 1.0;
    p[5] = (sums.y - p[4] * sums.x) / sums.n;
  }

  // The cost, normal equations and correlation at p. With a reference pass, also the costs of
  // both over the pixels they share, so that a step is judged on one set of pixels.
  Pass pass(const Parameters& p, double tukeyThreshold, const Pass* reference = nullptr,
            bool withSpread = false) const {
    Pass result;
    result.pixelCosts.assign(pixels_.size(), std::numeric_limits<float>::quiet_NaN());
    GradientSample sample;
    for (std::size_t k = 0; k < pixels_.size(); ++k) {
      const LevelPixel& pixel = pixels_[k];
      double u = 0.0;
      double v = 0.0;
      if (!rightPosition(pixel, p, u, v) || !sampleWithSlopes(right_, u, v, sample)) continue;
      const double r = p[4] * sample.value + p[5] - pixel.grey;
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
      result.sums.add(pixel.grey, sample.value);
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

 private:
  const PyramidImage& right_;
  const InsetMap& rightInset_;
  double scale_;
  double half_;
  double inset_;
  std::vector<LevelPixel> pixels_;
};

// The largest change of the disparity over the polygon's corners, and of the offset.
double stepSize(const Vector6& step, std::span<const Point2> centredCorners) {
  double largest = std::fabs(step[3]);
  for (const Point2& corner : centredCorners) {
    largest = std::max(largest, std::fabs(step[0] + step[1] * corner.u + step[2] * corner.v));
  }
  return largest;
}

// Levenberg-Marquardt on one level from p; the last accepted pass is kept in `last`.
struct Descent {
  int iterations = 0;
  bool converged = false;
};

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

// Left pixels of a level are looked for only in the polygon's box.
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
  std::vector<LevelPixel> pixels;
  for (int r = firstRow; r <= lastRow; ++r) {
    const double u = scale * r + half;
    for (int c = firstColumn; c <= lastColumn; ++c) {
      const double v = scale * c + half;
      if (leftInset.depth(u, v) < kInset + half) continue;
      pixels.push_back({(u - frame.centreU) / frame.scale, (v - frame.centreV) / frame.scale, u, v,
                        left.at(r, c)});
    }
  }
  return pixels;
}

// The robust scale of the residuals (median absolute deviation), and Tukey's threshold from it.
double tukeyThresholdOf(const std::vector<double>& residuals) {
  std::vector<double> magnitudes;
  magnitudes.reserve(residuals.size());
  const double centre = median(residuals);
  for (const double r : residuals) magnitudes.push_back(std::fabs(r - centre));
  return kTukey * std::max(kMinGreyScale, 1.4826 * median(magnitudes));
}

double displacementLength(double du, double dv) { return std::sqrt(du * du + dv * dv); }

// Largest difference between the displacement lengths of the plane and of a homography.
double largestDisagreement(const DisparityPlane& plane, const Homography& h,
                           std::span<const PixelPosition> pixels, std::span<const Point2> corners) {
  double largest = 0.0;
  const auto compare = [&](double u, double v) {
    const double w = h[6] * u + h[7] * v + h[8];
    const double mappedU = (h[0] * u + h[1] * v + h[2]) / w;
    const double mappedV = (h[3] * u + h[4] * v + h[5]) / w;
    const double difference = std::fabs(displacementLength(plane.e, plane.at(u, v)) -
                                        displacementLength(mappedU - u, mappedV - v));
    largest = std::max(
        largest, std::isfinite(difference) ? difference : std::numeric_limits<double>::infinity());
  };
  for (const PixelPosition& pixel : spreadSample(pixels, kMaxSampledPixels)) {
    compare(pixel.u, pixel.v);
  }
  for (const Point2& corner : corners) compare(corner.u, corner.v);
  return largest;
}

// The starting plane, and which start it came from.
DisparityPlane startingPlane(const PhotometricInput& input, std::span<const PixelPosition> pixels,
                             const Frame& frame, PhotometricStart& start) {
  if (input.startFromHomography && input.robustNonLinear) {
    if (auto plane = planeFromHomography(*input.robustNonLinear, pixels, frame)) {
      start = PhotometricStart::RobustHomography;
      return *plane;
    }
  }
  if (input.matches != nullptr && input.matches->size() >= 3) {
    if (auto plane = planeFromMatches(*input.matches, frame)) {
      start = PhotometricStart::Matches;
      return *plane;
    }
  }
  start = PhotometricStart::Sweep;
  // Only the disparities that bring the left polygon's box onto the right one's can be right.
  const BoundingBox& left = input.leftShape->box;
  const BoundingBox& right = input.rightShape->box;
  double lowest = std::max(input.sweepRange.lowest, left.minV - right.maxV);
  double highest = std::min(input.sweepRange.highest, left.maxV - right.minV);
  if (lowest > highest) {
    lowest = input.sweepRange.lowest;
    highest = input.sweepRange.highest;
  }
  const SweepResult sweep =
      sweepConstantDisparity(*input.left, *input.right, pixels, lowest, highest);
  DisparityPlane plane;
  plane.a = sweep.found ? sweep.disparity : 0.0;
  return plane;
}

// Covariance of (a', b', c') by the sandwich A^-1 B A^-1 (A the normal matrix, B the spread of
// the weighted residuals along the Jacobian), which stays honest where the residuals are large
// exactly where the information is (an edge the interpolation renders imperfectly); scaled for
// the correlation between neighbouring residuals that the smoothing brings.
std::array<double, 9> planeCovariance(const Pass& pass) {
  std::array<double, 9> covariance{};
  std::array<Vector6, 6> inverse{};
  for (int column = 0; column < 6; ++column) {
    Vector6 unit{};
    unit[column] = 1.0;
    if (!solveSymmetric(pass.normal, unit, 6)) {
      covariance.fill(std::numeric_limits<double>::infinity());
      return covariance;
    }
    inverse[column] = unit;
  }
  const double correction = static_cast<double>(pass.used) / std::max(1, pass.used - 6);
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      double sum = 0.0;
      for (int i = 0; i < 6; ++i) {
        for (int k = 0; k < 6; ++k)
          sum += inverse[row][i] * pass.spread[i * 6 + k] * inverse[column][k];
      }
      covariance[row * 3 + column] = kSmoothingVarianceFactor * correction * sum;
    }
  }
  return covariance;
}

void fillQuality(const Pass& last, const Frame& frame, std::span<const Point2> corners,
                 PhotometricQuality& quality) {
  quality.pixelsUsed = last.used;
  quality.residualGrey = std::sqrt(last.weightedSquares / std::max(1, last.used - 6));
  quality.correlation = last.sums.correlation();
  quality.centreU = frame.centreU;
  quality.centreV = frame.centreV;
  quality.scale = frame.scale;
  quality.covariance = planeCovariance(last);
  quality.disparitySd = 0.0;
  for (const Point2& corner : corners) {
    quality.disparitySd = std::max(quality.disparitySd, quality.disparitySdAt(corner.u, corner.v));
  }
  if (!std::isfinite(quality.disparitySd)) {
    quality.disparitySd = std::numeric_limits<double>::infinity();
  }
}

}  // namespace

Homography planeHomography(const DisparityPlane& plane) {
  return {1.0, 0.0, plane.e, -plane.b, 1.0 - plane.c, -plane.a, 0.0, 0.0, 1.0};
}

// The table covers the polygon's box only where it meets the image, with the reach around it, so
// that a polygon reaching far off the image costs no more memory than the image.
InsetMap::InsetMap(const PolygonShape& shape, int rows, int columns) {
  if (shape.corners.size() < 3) return;
  const double margin = kDepthReach + 2.0;
  const double top = std::max(std::floor(shape.box.minU) - 1.0, -margin);
  const double bottom = std::min(std::ceil(shape.box.maxU) + 2.0, rows + margin);
  const double left = std::max(std::floor(shape.box.minV) - 1.0, -margin);
  const double right = std::min(std::ceil(shape.box.maxV) + 2.0, columns + margin);
  if (!(top < bottom && left < right)) return;
  firstRow_ = static_cast<int>(top);
  firstColumn_ = static_cast<int>(left);
  rows_ = static_cast<int>(bottom - top);
  columns_ = static_cast<int>(right - left);
  depths_.assign(static_cast<std::size_t>(rows_) * columns_, static_cast<float>(kDepthReach));
  const std::size_t n = shape.corners.size();
  for (std::size_t i = 0; i < n; ++i) nearSide(shape.corners[i], shape.corners[(i + 1) % n]);
  for (int r = 0; r < rows_; ++r) markOutside(shape, r);
}

// Distances to the side AB of the table pixels within kDepthReach of it: row by row, the columns
// that the part of the side within reach of the row spans, widened by the reach.
void InsetMap::nearSide(Point2 a, Point2 b) {
  const double top = std::min(a.u, b.u);
  const double bottom = std::max(a.u, b.u);
  const int firstRow = std::max(0, static_cast<int>(std::floor(top - kDepthReach)) - firstRow_);
  const int lastRow =
      std::min(rows_ - 1, static_cast<int>(std::ceil(bottom + kDepthReach)) - firstRow_);
  const auto columnAt = [&](double u) {
    return bottom > top ? a.v + (b.v - a.v) * (u - a.u) / (b.u - a.u) : a.v;
  };
  for (int r = firstRow; r <= lastRow; ++r) {
    const double u = firstRow_ + r;
    const double from = std::clamp(u - kDepthReach, top, bottom);
    const double to = std::clamp(u + kDepthReach, top, bottom);
    const double left = bottom > top ? std::min(columnAt(from), columnAt(to)) : std::min(a.v, b.v);
    const double right = bottom > top ? std::max(columnAt(from), columnAt(to)) : std::max(a.v, b.v);
    const int firstColumn =
        std::max(0, static_cast<int>(std::floor(left - kDepthReach)) - firstColumn_);
    const int lastColumn =
        std::min(columns_ - 1, static_cast<int>(std::ceil(right + kDepthReach)) - firstColumn_);
    float* row = depths_.data() + static_cast<std::size_t>(r) * columns_;
    for (int c = firstColumn; c <= lastColumn; ++c) {
      const auto distance = static_cast<float>(distanceToSegment(a, b, u, firstColumn_ + c));
      row[c] = std::min(row[c], distance);
    }
  }
}

// Negates the depths of the row's pixels outside the polygon: those with an even number of side
// crossings to their left (each side counted from its upper end, inclusive, to its lower end).
void InsetMap::markOutside(const PolygonShape& shape, int r) {
  const double u = firstRow_ + r;
  std::vector<double> crossings;
  const std::size_t n = shape.corners.size();
  for (std::size_t i = 0; i < n; ++i) {
    const Point2 a = shape.corners[i];
    const Point2 b = shape.corners[(i + 1) % n];
    if ((a.u <= u) != (b.u <= u)) crossings.push_back(a.v + (b.v - a.v) * (u - a.u) / (b.u - a.u));
  }
  std::sort(crossings.begin(), crossings.end());
  float* row = depths_.data() + static_cast<std::size_t>(r) * columns_;
  std::size_t passed = 0;
  for (int c = 0; c < columns_; ++c) {
    const double v = firstColumn_ + c;
    while (passed < crossings.size() && crossings[passed] <= v) ++passed;
    if (passed % 2 == 0) row[c] = -row[c];
  }
}

double InsetMap::depth(double u, double v) const {
  const double row = u - firstRow_;
  const double column = v - firstColumn_;
  if (!(row >= 0.0 && column >= 0.0 && row < rows_ - 1 && column < columns_ - 1)) return kOffTable;
  const int r = static_cast<int>(row);
  const int c = static_cast<int>(column);
  const double fu = row - r;
  const double fv = column - c;
  const float* top = depths_.data() + static_cast<std::size_t>(r) * columns_ + c;
  const float* bottom = top + columns_;
  return (1.0 - fu) * ((1.0 - fv) * top[0] + fv * top[1]) +
         fu * ((1.0 - fv) * bottom[0] + fv * bottom[1]);
}

std::vector<PixelPosition> InsetMap::pixelsInside(double margin, int rows, int columns) const {
  std::vector<PixelPosition> pixels;
  for (int r = std::max(0, firstRow_); r < std::min(rows, firstRow_ + rows_); ++r) {
    for (int c = std::max(0, firstColumn_); c < std::min(columns, firstColumn_ + columns_); ++c) {
      if (depth(r, c) >= margin) pixels.push_back({r, c});
    }
  }
  return pixels;
}

SweepResult sweepConstantDisparity(const GreyImage& left, const GreyImage& right,
                                   std::span<const PixelPosition> pixels, double lowest,
                                   double highest, double step) {
  SweepResult best;
  const std::vector<PixelPosition> sample = spreadSample(pixels, kMaxSampledPixels);
  const int steps = step > 0.0 ? static_cast<int>(std::floor((highest - lowest) / step + 1e-9)) : 0;
  for (int k = 0; k <= steps; ++k) {
    const double disparity = lowest + k * step;
    CorrelationSums sums;
    for (const PixelPosition& pixel : sample) {
      const std::optional<double> seen = sampleGrey(right, pixel.u, pixel.v - disparity);
      if (seen) sums.add(left.at(pixel.u, pixel.v), *seen);
    }
    // Half of the pixels at least must be seen, so that a score rests on the polygon.
    if (sums.n < std::max(3.0, 0.5 * static_cast<double>(sample.size()))) continue;
    const double correlation = sums.correlation();
    if (!best.found || correlation > best.correlation) best = {true, disparity, correlation};
  }
  return best;
}

PhotometricImages::PhotometricImages(const GreyImage& leftImage, const GreyImage& rightImage)
    : left(pyramidOf(leftImage)), right(pyramidOf(rightImage)) {}

PhotometricEstimate estimatePhotometricPlane(const PhotometricInput& input) {
  PhotometricEstimate estimate;
  const PolygonShape& leftShape = *input.leftShape;
  if (input.rightShape == nullptr || leftShape.corners.size() < 3 ||
      input.rightShape->corners.size() < 3) {
    return estimate;
  }
  const InsetMap leftInset(leftShape, input.left->height(), input.left->width());
  const InsetMap rightInset(*input.rightShape, input.right->height(), input.right->width());
  const std::vector<PixelPosition> inner =
      leftInset.pixelsInside(kInset, input.left->height(), input.left->width());
  if (static_cast<int>(inner.size()) < kMinPixels) {
    estimate.quality.pixelsUsed = static_cast<int>(inner.size());
    return estimate;
  }
  const Frame frame = frameOf(leftShape);
  std::vector<Point2> centred;
  for (const Point2& corner : leftShape.corners) {
    centred.push_back(
        {(corner.v - frame.centreV) / frame.scale, (corner.u - frame.centreU) / frame.scale});
  }
  const DisparityPlane start = startingPlane(input, inner, frame, estimate.start);
  Parameters p = parametersOf(start, frame, 1.0, 0.0);

  int coarsest = 0;
  while (coarsest + 1 < kLevels &&
         static_cast<double>(inner.size()) / std::pow(4.0, coarsest + 1) >= kMinCoarsePixels) {
    ++coarsest;
  }
  bool greyMatched = false;
  Pass last;
  Descent descent;
  for (int level = coarsest; level >= 0; --level) {
    const LevelFit fit(input.pyramids->right[static_cast<std::size_t>(level)], rightInset, level,
                       levelPixelsInBox(input.pyramids->left[static_cast<std::size_t>(level)],
                                        leftInset, leftShape, level, frame));
    if (!greyMatched) {
      fit.matchGreyLevels(p);
      greyMatched = true;
    }
    const double threshold = tukeyThresholdOf(fit.residuals(p));
    const double tolerance = level == 0 ? kStepTolerance : kCoarseStepTolerance * (1 << level);
    const int minPixels = level == 0 ? kMinPixels : kMinCoarsePixels / 2;
    const Descent levelDescent = descend(fit, p, tolerance, threshold, centred, minPixels, last);
    estimate.quality.iterations += levelDescent.iterations;
    // The covariance needs the spread of the residuals, gathered only once, at the end.
    if (level == 0) last = fit.pass(p, threshold, nullptr, true);
    descent = levelDescent;
  }
  if (last.used < kMinPixels) {
    estimate.quality.pixelsUsed = last.used;
    return estimate;
  }
  estimate.plane = planeOf(p, frame);
  estimate.gain = p[4];
  estimate.offset = p[5];
  estimate.h = planeHomography(estimate.plane);
  PhotometricQuality& quality = estimate.quality;
  quality.status =
      descent.converged ? PhotometricStatus::Converged : PhotometricStatus::IterationLimit;
  fillQuality(last, frame, leftShape.corners, quality);
  if (input.robustNonLinear) {
    quality.maxDisagreement = largestDisagreement(
        estimate.plane, *input.robustNonLinear,
        leftInset.pixelsInside(0.0, input.left->height(), input.left->width()), leftShape.corners);
  }
  return estimate;
}

std::optional<PhotometricOutcome> estimatePhotometricPlanes(const Project& project,
                                                            const EstimationOutcome& homographies,
                                                            RunControl& control) {
  const std::size_t count = homographies.polygons.size();
  PhotometricOutcome outcome(count);
  const std::vector<PolygonShape> leftShapes = shapesOf(project.left.polygons);
  const std::vector<PolygonShape> rightShapes = shapesOf(project.right.polygons);
  const PhotometricImages pyramids(project.left.image, project.right.image);
  const auto estimateAt = [&](std::size_t p) {
    const std::optional<PolygonHomographies>& polygon = homographies.polygons[p];
    if (!polygon || p >= leftShapes.size()) return;
    PhotometricInput input;
    input.left = &project.left.image;
    input.right = &project.right.image;
    input.pyramids = &pyramids;
    input.leftShape = &leftShapes[p];
    input.rightShape = p < rightShapes.size() ? &rightShapes[p] : nullptr;
    input.matches = &project.results.matches[p];
    const PolygonEstimation& estimation = polygon->estimation;
    const bool refined =
        !polygon->linearFailed &&
        estimation.robustStatus == static_cast<double>(RansacStatus::Found) &&
        (estimation.robustNonLinearStatus == static_cast<double>(OptimStatus::Converged) ||
         estimation.robustNonLinearStatus == static_cast<double>(OptimStatus::IterationLimit));
    if (refined) input.robustNonLinear = polygon->robustNonLinear;
    input.startFromHomography = refined && estimation.inlierCount >= 8.0;
    input.sweepRange = project.results.matchedDisparities;
    outcome[p] = estimatePhotometricPlane(input);
  };
  const std::size_t block = static_cast<std::size_t>(std::max(1, threadCount()));
  for (std::size_t start = 0; start < count; start += block) {
    control.step(static_cast<int>(start), static_cast<int>(count),
                 "Estimation photométrique : polygone " + std::to_string(start + 1) + "/" +
                     std::to_string(count));
    if (control.cancelled()) return std::nullopt;
    const std::size_t size = std::min(block, count - start);
    parallelFor(size, [&](std::size_t i) { estimateAt(start + i); });
  }
  if (control.cancelled()) return std::nullopt;
  return outcome;
}

void applyPhotometric(const PhotometricOutcome& outcome, ToolResults& results) {
  results.photometricHomographies.resize(outcome.size());
  results.photometricQualities.resize(outcome.size());
  for (std::size_t p = 0; p < outcome.size(); ++p) {
    if (!outcome[p]) continue;
    results.photometricHomographies[p] = outcome[p]->h;
    results.photometricQualities[p] = outcome[p]->quality;
  }
}

}  // namespace plk
