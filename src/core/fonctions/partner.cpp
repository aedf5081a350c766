#include "core/fonctions/partner.h"

#include <algorithm>
#include <optional>

#include "core/fonctions/photometric.h"
#include "core/fonctions/polygon_scan.h"

namespace plk {

namespace {

// The inverse up to a factor, which a transfer divides out.
Homography adjugate(const Homography& h) {
  return {h[4] * h[8] - h[5] * h[7], h[2] * h[7] - h[1] * h[8], h[1] * h[5] - h[2] * h[4],
          h[5] * h[6] - h[3] * h[8], h[0] * h[8] - h[2] * h[6], h[2] * h[3] - h[0] * h[5],
          h[3] * h[7] - h[4] * h[6], h[1] * h[6] - h[0] * h[7], h[0] * h[4] - h[1] * h[3]};
}

// The left-to-right map of polygon k's photometric plane, when the last estimation fitted one.
std::optional<Homography> photometricMap(const ToolResults& results, std::size_t k) {
  if (!results.homographiesEstimated || k >= results.photometricQualities.size() ||
      k >= results.photometricHomographies.size() ||
      results.photometricQualities[k].status == PhotometricStatus::TooFewPixels) {
    return std::nullopt;
  }
  return results.photometricHomographies[k];
}

std::optional<std::vector<Point2>> throughPlane(const Homography& h,
                                                const std::vector<Point2>& corners) {
  std::vector<Point2> moved;
  for (const Point2& corner : corners) {
    const std::optional<Point2> p = transferPoint(h, corner.u, corner.v);
    if (!p) return std::nullopt;
    moved.push_back(*p);
  }
  return moved;
}

// The sweep over the polygon's pixels on its own image against the other one.
std::optional<std::vector<Point2>> bySweep(const ImageSide& own, const ImageSide& other,
                                           const PolygonShape& shape, double lowest,
                                           double highest) {
  const int rows = own.image.height();
  const int columns = own.image.width();
  const std::vector<PixelPosition> pixels =
      InsetMap(shape, rows, columns).pixelsInside(0.0, rows, columns);
  const SweepResult sweep = sweepConstantDisparity(own.image, other.image, pixels, lowest, highest);
  if (!sweep.found) return std::nullopt;
  std::vector<Point2> moved = shape.corners;
  for (Point2& corner : moved) corner.v -= sweep.disparity;
  return moved;
}

}  // namespace

std::variant<std::vector<Point2>, std::string> partnerCorners(const Project& project,
                                                             bool fromLeft,
                                                             DisparityRange range) {
  const ImageSide& own = fromLeft ? project.left : project.right;
  const ImageSide& other = fromLeft ? project.right : project.left;
  const std::size_t k = other.polygons.size();
  if (k >= own.polygons.size()) {
    return std::string(fromLeft ? "Pas de polygone à copier : chaque polygone de l'image gauche a "
                                  "déjà son partenaire dans l'image droite."
                                : "Pas de polygone à copier : chaque polygone de l'image droite a "
                                  "déjà son partenaire dans l'image gauche.");
  }
  if (!own.polygons[k].isClosed()) {
    return "Le polygone " + std::to_string(k + 1) +
           " n'est pas fermé : il ne peut pas être copié.";
  }
  const PolygonShape shape = shapesOf(own.polygons)[k];
  std::optional<std::vector<Point2>> moved;
  if (const std::optional<Homography> h = photometricMap(project.results, k)) {
    moved = throughPlane(fromLeft ? *h : adjugate(*h), shape.corners);
  }
  // A left-to-right disparity d is a right-to-left one of -d.
  if (!moved) {
    moved = fromLeft ? bySweep(own, other, shape, range.lowest, range.highest)
                     : bySweep(own, other, shape, -range.highest, -range.lowest);
  }
  if (!moved) {
    return "Le polygone " + std::to_string(k + 1) +
           " ne peut pas être placé sur l'autre image : trop peu de ses pixels s'y retrouvent.";
  }
  const double lastRow = other.image.height() - 1;
  const double lastColumn = other.image.width() - 1;
  for (Point2& corner : *moved) {
    corner.u = std::clamp(corner.u, 0.0, lastRow);
    corner.v = std::clamp(corner.v, 0.0, lastColumn);
  }
  return *moved;
}

}  // namespace plk
