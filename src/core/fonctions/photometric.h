#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/fonctions/estimation.h"
#include "core/fonctions/polygon_scan.h"
#include "core/grey_image.h"
#include "core/project.h"
#include "core/run_control.h"

// The photometric disparity plane: a polygon's plane fitted directly to the grey levels of the
// pixels both views see, and the constant-disparity sweep that starts it when nothing else can.
namespace plk {

// The left pixel (u, v) is seen in the right image at (u + e, v - (a + b u + c v)).
struct DisparityPlane {
  double a = 0.0;
  double b = 0.0;
  double c = 0.0;
  double e = 0.0;  // vertical offset, for small rectification errors

  [[nodiscard]] double at(double u, double v) const { return a + b * u + c * v; }
};

// The affine map of the plane as a homography of (u, v, 1).
[[nodiscard]] Homography planeHomography(const DisparityPlane& plane);

// Integer pixel of an image, row u, column v.
struct PixelPosition {
  int u = 0;
  int v = 0;
};

// Signed distance to a polygon's sides (positive inside, capped a few pixels from them),
// tabulated on the pixels of its box and interpolated between them: the tests "at least m pixels
// inside" of the fit.
class InsetMap {
 public:
  // Over the part of the polygon's box that lies on an image of `rows` x `columns` pixels.
  InsetMap(const PolygonShape& shape, int rows, int columns);
  // Distance inside the polygon at (u, v), negative outside; -1e9 off the table.
  [[nodiscard]] double depth(double u, double v) const;
  // The image pixels at least `margin` inside the polygon, row by row.
  [[nodiscard]] std::vector<PixelPosition> pixelsInside(double margin, int rows, int columns) const;

 private:
  void nearSide(Point2 a, Point2 b);
  void markOutside(const PolygonShape& shape, int row);

  int firstRow_ = 0;
  int firstColumn_ = 0;
  int rows_ = 0;
  int columns_ = 0;
  std::vector<float> depths_;
};

// The constant disparity of a left pixel set that the right image agrees with best.
struct SweepResult {
  bool found = false;      // some disparity had enough pixels inside the right image
  double disparity = 0.0;  // column shift: the left (u, v) is seen at (u, v - disparity)
  double correlation = -1.0;
};

// Tries the disparities lowest, lowest + step, ... up to highest and keeps the best zero-mean
// normalised correlation between the left pixels and the right image sampled bicubically there.
// At most a few thousand of the pixels, spread evenly, take part. Used to start the plane fit and
// to place a polygon copied to the other image.
[[nodiscard]] SweepResult sweepConstantDisparity(const GreyImage& left, const GreyImage& right,
                                                 std::span<const PixelPosition> pixels,
                                                 double lowest, double highest, double step = 0.5);

// Where the fit of one polygon starts.
enum class PhotometricStart : std::int32_t {
  RobustHomography = 0,  // the robust non-linear homography, from enough inliers
  Matches = 1,           // a robust plane through the matches
  Sweep = 2,             // the constant-disparity sweep
};

// Both images as the fit reads them: grey levels as floats, each level of the pyramid the 2 x 2
// means of the one below, so that the pixel (i, j) of level L is centred on the full-resolution
// position (2^L i + (2^L - 1) / 2, 2^L j + (2^L - 1) / 2).
class PyramidImage {
 public:
  PyramidImage() = default;
  PyramidImage(int rows, int columns) : rows_(rows), columns_(columns), values_(rows * columns) {}
  [[nodiscard]] int rows() const { return rows_; }
  [[nodiscard]] int columns() const { return columns_; }
  [[nodiscard]] float at(int row, int column) const {
    return values_[static_cast<std::size_t>(row) * columns_ + column];
  }
  void set(int row, int column, float value) {
    values_[static_cast<std::size_t>(row) * columns_ + column] = value;
  }

 private:
  int rows_ = 0;
  int columns_ = 0;
  std::vector<float> values_;
};

struct PhotometricImages {
  PhotometricImages(const GreyImage& left, const GreyImage& right);
  std::vector<PyramidImage> left;  // level 0 first
  std::vector<PyramidImage> right;
};

// What the fit of one polygon reads. `rightShape` is null when the right image has no polygon of
// the same number; `robustNonLinear` is given when that estimate succeeded (it is then compared
// with the plane) and `startFromHomography` when it rests on enough inliers to start from.
struct PhotometricInput {
  const GreyImage* left = nullptr;
  const GreyImage* right = nullptr;
  const PhotometricImages* pyramids = nullptr;  // of left and right
  const PolygonShape* leftShape = nullptr;
  const PolygonShape* rightShape = nullptr;
  const InterestPointList* matches = nullptr;
  std::optional<Homography> robustNonLinear;
  bool startFromHomography = false;
  DisparityRange sweepRange;
};

// The plane, its homography and its quality figures.
struct PhotometricEstimate {
  DisparityPlane plane;
  double gain = 1.0;  // left grey = gain * right grey + offset
  double offset = 0.0;
  PhotometricStart start = PhotometricStart::Sweep;
  Homography h{};
  PhotometricQuality quality;
};

// Fits the plane by a robust (Tukey biweight) Gauss-Newton / Levenberg-Marquardt descent on the
// grey-level differences, coarse to fine over a pyramid of both images, in coordinates centred and
// scaled on the polygon; the pixels used are re-derived at every step.
[[nodiscard]] PhotometricEstimate estimatePhotometricPlane(const PhotometricInput& input);

// The photometric estimates of every unlocked left polygon, in parallel; one progress step per
// block of polygons, for the positions the homography outcome estimated (it gives the robust
// non-linear homographies to start from and compare with). Nothing when cancelled.
using PhotometricOutcome = std::vector<std::optional<PhotometricEstimate>>;
[[nodiscard]] std::optional<PhotometricOutcome> estimatePhotometricPlanes(
    const Project& project, const EstimationOutcome& homographies, RunControl& control);

// Resizes the two photometric tables to the outcome (keeping earlier entries) and writes the
// estimated polygons.
void applyPhotometric(const PhotometricOutcome& outcome, ToolResults& results);

}  // namespace plk
