#include <algorithm>
#include <cmath>

#include "core/fonctions/photometric.h"

namespace plk {

namespace {

constexpr double kOffTable = -1e9;
// Depths are exact up to this distance from the sides and capped there: every inset the fit
// asks for is smaller.
constexpr double kDepthReach = 8.0;

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

}  // namespace

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

}  // namespace plk
