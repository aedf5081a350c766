#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/grey_image.h"
#include "core/polyfunc.h"
#include "core/polygon_list.h"

namespace plk {

// One record for interest points, matches and correlation samples. u is a row, v a column.
struct InterestPoint {
  std::int32_t ordinal = 0;  // position of the chosen candidate (matches)
  double score = 0.0;        // detector response or correlation score; -100 marks a discarded point
  double u = 0.0;
  double v = 0.0;
  double leftU = 0.0;  // left-image position of a match's interest point
  double leftV = 0.0;
};

using InterestPointList = std::vector<InterestPoint>;

// 3 x 3 doubles, row-major, mapping (u, v, 1) of the left image to the right image.
using Homography = std::array<double, 9>;

// Where `h` carries the point (u, v); nothing when it goes to infinity or to no finite point.
[[nodiscard]] inline std::optional<Point2> transferPoint(const Homography& h, double u, double v) {
  const double w = h[6] * u + h[7] * v + h[8];
  if (w == 0.0) return std::nullopt;
  const double mappedU = (h[0] * u + h[1] * v + h[2]) / w;
  const double mappedV = (h[3] * u + h[4] * v + h[5]) / w;
  if (!std::isfinite(mappedU) || !std::isfinite(mappedV)) return std::nullopt;
  return pointAt(mappedU, mappedV);
}

// What the estimation run records for one polygon.
struct PolygonEstimation {
  double nonLinearCostBefore = 0.0;
  double nonLinearCostAfter = 0.0;
  double nonLinearStatus = 0.0;
  double inlierCount = 0.0;
  double robustStatus = 0.0;
  double robustNonLinearCostBefore = 0.0;
  double robustNonLinearCostAfter = 0.0;
  double robustNonLinearStatus = 0.0;
};

// Disparities (left column minus right column) that the matching searched: its columns right
// and left of each point. The initialisers are the matching dialog's defaults.
struct DisparityRange {
  double lowest = -10.0;
  double highest = 30.0;
};

// How the photometric fit of a polygon ended.
enum class PhotometricStatus : std::int32_t {
  Converged = 0,        // the last steps moved the plane by less than the tolerance
  IterationLimit = -3,  // stopped at the iteration limit; the plane is the last one reached
  TooFewPixels = -4,    // too few pixels both views see: no plane
};

// Quality figures of a polygon's photometric disparity plane.
struct PhotometricQuality {
  PhotometricStatus status = PhotometricStatus::TooFewPixels;
  std::int32_t pixelsUsed = 0;  // at the finest level, in the last step
  std::int32_t iterations = 0;  // over all levels
  double residualGrey = 0.0;    // robust scale of the grey-level differences
  double correlation = 0.0;     // zero-mean normalised correlation of the aligned pixels
  double disparitySd = std::numeric_limits<double>::infinity();  // largest over the polygon
  // Largest difference of the disparities (displacement lengths) of the plane and of the robust
  // non-linear homography over the polygon, when that homography exists.
  std::optional<double> maxDisagreement;
  // The disparity a + b u + c v is fitted as a' + b' (u - centreU) / scale + c' (v - centreV) /
  // scale; covariance of (a', b', c'), row-major.
  double centreU = 0.0;
  double centreV = 0.0;
  double scale = 1.0;
  std::array<double, 9> covariance{};

  // Standard deviation of the plane's disparity at (u, v).
  [[nodiscard]] double disparitySdAt(double u, double v) const {
    const std::array<double, 3> j{1.0, (u - centreU) / scale, (v - centreV) / scale};
    double variance = 0.0;
    for (std::size_t r = 0; r < 3; ++r) {
      for (std::size_t c = 0; c < 3; ++c) variance += j[r] * covariance[3 * r + c] * j[c];
    }
    return std::sqrt(std::max(variance, 0.0));
  }
};

// Results of the tools, one entry per left polygon (by position in the left list), and the
// three stage flags that chain detection, matching and estimation.
struct ToolResults {
  std::vector<InterestPointList> interestPoints;
  std::vector<std::int32_t> interestPointCounts;
  std::vector<InterestPointList> matches;
  std::vector<std::int32_t> matchCounts;
  std::vector<Homography> linearHomographies;
  std::vector<Homography> nonLinearHomographies;
  std::vector<Homography> robustHomographies;
  std::vector<Homography> robustNonLinearHomographies;
  std::vector<PolygonEstimation> polygonEstimations;
  std::vector<InterestPointList> inlierMatches;
  // Per left polygon, the fingerprint of the polygons each stage's results were computed from
  // (core/freshness): a later tool refuses the results of a polygon changed since.
  std::vector<std::uint64_t> detectedFrom;
  std::vector<std::uint64_t> matchedFrom;
  std::vector<std::uint64_t> estimatedFrom;
  // The fifth estimate, computed by the estimation run when the project has its images.
  std::vector<Homography> photometricHomographies;
  std::vector<PhotometricQuality> photometricQualities;
  DisparityRange matchedDisparities;  // set by the matching run
  // The estimate whose verdicts the windows show: the last disparity run's choice (index of the
  // dialog's radio item), "Robuste + non linéaire" until then.
  std::int32_t verdictEstimate = 3;
  // The disparity of every pixel (row-major, infinity where a pixel has none) from the last
  // completed disparity run, for the map window; null before the first. Shared, never copied.
  std::shared_ptr<const std::vector<double>> disparityMap;
  bool pointsDetected = false;
  bool pointsMatched = false;
  bool homographiesEstimated = false;

  void clearFlags() { pointsDetected = pointsMatched = homographiesEstimated = false; }
};

// One image of the stereo pair with its polygons and gradient matrices.
struct ImageSide {
  GreyImage image;
  PolygonList polygons;
  IntMatrix gradientX;
  IntMatrix gradientY;
};

// The open project: identity, both images and the results of the tools. No GUI state.
struct Project {
  std::string projectName;
  std::string leftImagePath;
  std::string rightImagePath;
  ImageSide left;
  ImageSide right;
  std::int32_t imageWidth = 0;
  std::int32_t imageHeight = 0;
  ToolResults results;
};

}  // namespace plk
