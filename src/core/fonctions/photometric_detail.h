#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "core/fonctions/photometric.h"

// The pieces of the photometric plane fit that its source files share: the fit's frame and
// parameters, the start, one level's descent and the quality figures. No other part of the
// program includes it.
namespace plk::photometric_detail {

// Levels of the pyramid at most.
constexpr int kLevels = 3;
// Pixels of the polygon left out along its sides, full-resolution pixels.
constexpr double kInset = 2.0;
// Pixels a sweep or a start fit looks at, spread evenly over the polygon.
constexpr std::size_t kMaxSampledPixels = 4096;

using Vector6 = std::array<double, 6>;
using Matrix6 = std::array<double, 36>;

// Solves the symmetric positive definite n x n system a x = b (Cholesky). False when singular.
bool solveSymmetric(Matrix6 a, Vector6& b, int n);

[[nodiscard]] double median(std::vector<double> values);
// The same, reordering `values` instead of copying them.
[[nodiscard]] double medianReordering(std::vector<double>& values);

// Every k-th pixel, so that at most `limit` remain.
[[nodiscard]] std::vector<PixelPosition> spreadSample(std::span<const PixelPosition> pixels,
                                                      std::size_t limit);

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

[[nodiscard]] Frame frameOf(const PolygonShape& shape);

// Parameters of the descent: a', b', c' of the centred plane, e, gain, offset.
using Parameters = Vector6;

[[nodiscard]] DisparityPlane planeOf(const Parameters& p, const Frame& frame);
[[nodiscard]] Parameters parametersOf(const DisparityPlane& plane, const Frame& frame, double gain,
                                      double offset);

// The starting plane, and which start it came from.
[[nodiscard]] DisparityPlane startingPlane(const PhotometricInput& input,
                                           std::span<const PixelPosition> pixels,
                                           const Frame& frame, PhotometricStart& start);

// One left pixel of a level: its centred coordinates and full-resolution position. Floats hold
// the position exactly (pixel centres, below 2^24), and the grey level is read from the level
// when needed: a polygon can cover millions of pixels.
struct LevelPixel {
  double centredU = 0.0;
  double centredV = 0.0;
  float u = 0.0F;
  float v = 0.0F;
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
  LevelFit(const PyramidImage& left, const PyramidImage& right, const InsetMap& rightInset,
           int level, std::vector<LevelPixel> pixels)
      : left_(left),
        right_(right),
        rightInset_(rightInset),
        scale_(static_cast<double>(1 << level)),
        half_((scale_ - 1.0) / 2.0),
        inset_(kInset + half_),
        pixels_(std::move(pixels)) {}

  // The grey level of the left pixel in this level's left image.
  [[nodiscard]] double leftGrey(const LevelPixel& pixel) const {
    return left_.at(static_cast<int>((pixel.u - half_) / scale_),
                    static_cast<int>((pixel.v - half_) / scale_));
  }
  // Where the left pixel is seen in this level's right image, if it is used there.
  bool rightPosition(const LevelPixel& pixel, const Parameters& p, double& u, double& v) const;
  // The differences right - left after the photometric correction, at p.
  [[nodiscard]] std::vector<double> residuals(const Parameters& p) const;
  // Gain and offset that match the right grey levels to the left ones at p's geometry.
  void matchGreyLevels(Parameters& p) const;
  // The cost, normal equations and correlation at p. With a reference pass, also the costs of
  // both over the pixels they share, so that a step is judged on one set of pixels.
  [[nodiscard]] Pass pass(const Parameters& p, double tukeyThreshold,
                          const Pass* reference = nullptr, bool withSpread = false) const;

 private:
  const PyramidImage& left_;
  const PyramidImage& right_;
  const InsetMap& rightInset_;
  double scale_;
  double half_;
  double inset_;
  std::vector<LevelPixel> pixels_;
};

// Levenberg-Marquardt on one level from p; the last accepted pass is kept in `last`.
struct Descent {
  int iterations = 0;
  bool converged = false;
};

Descent descend(const LevelFit& fit, Parameters& p, double tolerance, double tukeyThreshold,
                std::span<const Point2> corners, int minPixels, Pass& last);

// Left pixels of a level are looked for only in the polygon's box.
[[nodiscard]] std::vector<LevelPixel> levelPixelsInBox(const PyramidImage& left,
                                                       const InsetMap& leftInset,
                                                       const PolygonShape& shape, int level,
                                                       const Frame& frame);

// The robust scale of the residuals (median absolute deviation), and Tukey's threshold from it.
[[nodiscard]] double tukeyThresholdOf(std::vector<double> residuals);

// Largest difference between the displacement lengths of the plane and of a homography.
[[nodiscard]] double largestDisagreement(const DisparityPlane& plane, const Homography& h,
                                         std::span<const PixelPosition> pixels,
                                         std::span<const Point2> corners);

// The quality figures of the plane from the last pass at the finest level.
void fillQuality(const Pass& last, const Frame& frame, std::span<const Point2> corners,
                 PhotometricQuality& quality);

}  // namespace plk::photometric_detail
