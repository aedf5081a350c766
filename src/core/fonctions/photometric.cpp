#include "core/fonctions/photometric.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/fonctions/photometric_detail.h"
#include "core/parallel.h"
#include "core/vision.h"

namespace plk {

namespace {

// Pixels the fit needs at the finest level: with fewer, six parameters are not determined well.
constexpr int kMinPixels = 50;
// A coarser level joins the pyramid only when the polygon keeps this many pixels on it.
constexpr int kMinCoarsePixels = 64;
// The finest level stops when a step moves the disparity and the offset by less than this (px),
// a coarser one when they move by less than this many of its pixels.
constexpr double kStepTolerance = 1e-3;
constexpr double kCoarseStepTolerance = 0.01;

}  // namespace

using namespace photometric_detail;

Homography planeHomography(const DisparityPlane& plane) {
  return {1.0, 0.0, plane.e, -plane.b, 1.0 - plane.c, -plane.a, 0.0, 0.0, 1.0};
}

PhotometricEstimate estimatePhotometricPlane(const PhotometricInput& input) {
  PhotometricEstimate estimate;
  const PolygonShape& leftShape = *input.leftShape;
  if (input.rightShape == nullptr || leftShape.corners.size() < 3 ||
      input.rightShape->corners.size() < 3) {
    return estimate;
  }
  const InsetMap leftInset(leftShape, input.left->height(), input.left->width());
  const InsetMap rightInset(*input.rightShape, input.right->height(), input.right->width());
  const Frame frame = frameOf(leftShape);
  // The inner pixels serve the start only: the list goes before the levels' own lists come.
  std::size_t innerCount = 0;
  DisparityPlane start;
  {
    const std::vector<PixelPosition> inner =
        leftInset.pixelsInside(kInset, input.left->height(), input.left->width());
    innerCount = inner.size();
    if (static_cast<int>(innerCount) < kMinPixels) {
      estimate.quality.pixelsUsed = static_cast<int>(innerCount);
      return estimate;
    }
    start = startingPlane(input, inner, frame, estimate.start);
  }
  std::vector<Point2> centred;
  for (const Point2& corner : leftShape.corners) {
    centred.push_back(
        {(corner.v - frame.centreV) / frame.scale, (corner.u - frame.centreU) / frame.scale});
  }
  Parameters p = parametersOf(start, frame, 1.0, 0.0);

  int coarsest = 0;
  while (coarsest + 1 < kLevels &&
         static_cast<double>(innerCount) / std::pow(4.0, coarsest + 1) >= kMinCoarsePixels) {
    ++coarsest;
  }
  bool greyMatched = false;
  Pass last;
  Descent descent;
  for (int level = coarsest; level >= 0; --level) {
    const PyramidImage& left = input.pyramids->left[static_cast<std::size_t>(level)];
    const LevelFit fit(left, input.pyramids->right[static_cast<std::size_t>(level)], rightInset,
                       level, levelPixelsInBox(left, leftInset, leftShape, level, frame));
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
