#include "core/fonctions/detection.h"

#include <algorithm>
#include <functional>
#include <numbers>
#include <queue>
#include <string>
#include <utility>
#include <vector>

#include "core/fonctions/detection_detail.h"
#include "core/fonctions/sampling.h"

namespace plk {

using namespace detection;

namespace {

double gaussian(int k, double sigma) {
  return std::exp(-static_cast<double>(k * k) / (2.0 * sigma * sigma));
}

void normaliseSum(std::vector<double>& values, double sum) {
  for (double& value : values) value /= sum;
}

// Maxima of the response over the (2h + 1) x (2h + 1) neighbourhoods of the pixels `rows` of
// the area, as a maximum along the rows followed by one along the columns (exact, like any
// maximum); `maxima` covers `rows` and the area's columns.
void neighbourhoodMaxima(const DoubleMap& response, int h, const ResponseArea& area, Span rows,
                         BandBuffer& alongRows, BandBuffer& maxima) {
  const Span columns{area.left, area.right};
  const Span wide = widened(rows, h);
  alongRows.reset(wide, columns);
  for (int r = wide.first; r <= wide.last; ++r) {
    double* out = alongRows.at(r, columns.first);
    const double* in = response.at(r, columns.first);
    std::copy_n(in - h, columns.count(), out);
    for (int b = -h + 1; b <= h; ++b) {
      for (int j = 0; j < columns.count(); ++j) out[j] = std::max(out[j], in[j + b]);
    }
  }
  maxima.reset(rows, columns);
  for (int r = rows.first; r <= rows.last; ++r) {
    double* out = maxima.at(r, columns.first);
    std::copy_n(alongRows.at(r - h, columns.first), columns.count(), out);
    for (int a = -h + 1; a <= h; ++a) {
      const double* in = alongRows.at(r + a, columns.first);
      for (int j = 0; j < columns.count(); ++j) out[j] = std::max(out[j], in[j]);
    }
  }
}

// A local maximum of an unlocked polygon's responses, in the raster order of the scan.
struct Candidate {
  double score;
  int r;
  int c;
  std::int32_t polygon;
};

// The local maxima of the rows `rows`, in raster order.
void bandCandidates(const DoubleMap& response, const PolygonIndexMap& map,
                    const std::vector<std::uint8_t>& unlocked, int h, const ResponseArea& area,
                    Span rows, BandBuffer& alongRows, BandBuffer& maxima,
                    std::vector<Candidate>& candidates) {
  neighbourhoodMaxima(response, h, area, rows, alongRows, maxima);
  for (int r = rows.first; r <= rows.last; ++r) {
    const std::int32_t* line = map.row(r);
    const double* values = response.at(r, 0);
    const double* best = maxima.at(r, area.left);
    for (int c = area.left; c <= area.right; ++c) {
      const double value = values[c];
      if (!inUnlockedPolygon(unlocked, line[c]) || value == kOutside) continue;
      if (value >= best[c - area.left]) candidates.push_back({value, r, c, line[c]});
    }
  }
}

// One polygon's list while the raster scan fills it: slots in order of arrival, and a heap of
// (score, slot) whose top is the weakest slot, the first of equal weakest.
class PointSlots {
 public:
  explicit PointSlots(int capacity) : capacity_(static_cast<std::size_t>(capacity)) {}

  void offer(double score, int r, int c) {
    if (points_.size() < capacity_) {
      heap_.emplace(score, points_.size());
      points_.push_back(point(score, r, c));
      return;
    }
    if (heap_.empty() || !(score > heap_.top().first)) return;
    const std::size_t slot = heap_.top().second;
    heap_.pop();
    points_[slot] = point(score, r, c);
    heap_.emplace(score, slot);
  }

  [[nodiscard]] InterestPointList take() { return std::move(points_); }

 private:
  static InterestPoint point(double score, int r, int c) {
    InterestPoint p;
    p.score = score;
    p.u = r;
    p.v = c;
    return p;
  }

  using Entry = std::pair<double, std::size_t>;
  std::size_t capacity_;
  InterestPointList points_;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<>> heap_;
};

}  // namespace

int filterTaps(int filterSize) { return std::max(filterSize, 2 * halfWidth(filterSize) + 1); }

DetectorKernels detectorKernels(int filterSize) {
  DetectorKernels k;
  k.size = filterTaps(filterSize);
  k.h = halfWidth(filterSize);
  k.sigma = filterSize / 4.0;
  k.G.assign(taps(k.size), 0.0);
  k.D.assign(taps(k.size), 0.0);
  const double sigma = k.sigma;
  const double root = std::sqrt(2.0 * std::numbers::pi);
  double sumG = 0.0;
  double ramp = 0.0;
  for (int i = -k.h; i <= k.h; ++i) {
    k.G[taps(i + k.h)] = gaussian(i, sigma) / (sigma * root);
    k.D[taps(i + k.h)] = -i * gaussian(i, sigma) / (sigma * sigma * sigma * root);
  }
  for (int i = -k.h; i <= k.h; ++i) {
    sumG += k.G[taps(i + k.h)];
    ramp += -i * k.D[taps(i + k.h)];
  }
  normaliseSum(k.G, sumG);
  normaliseSum(k.D, ramp);
  k.W.assign(taps(k.size) * taps(k.size), 0.0);
  double sumW = 0.0;
  for (int i = -k.h; i <= k.h; ++i) {
    for (int j = -k.h; j <= k.h; ++j) {
      const double w = std::exp(-static_cast<double>(i * i + j * j) / (2.0 * sigma * sigma)) /
                       (2.0 * std::numbers::pi * sigma * sigma);
      k.W[taps(i + k.h) * taps(k.size) + taps(j + k.h)] = w;
      sumW += w;
    }
  }
  normaliseSum(k.W, sumW);
  return k;
}

ResponseArea responseArea(const DetectionParameters& parameters, int rows, int columns) {
  const int h = halfWidth(parameters.filterSize);
  const int hi = halfWidth(parameters.inclusionSize);
  const int margin = std::max(h, hi);
  const int bottomMargin = std::max(
      {margin, filterTaps(parameters.filterSize) - 1 - h, parameters.inclusionSize - 1 - hi});
  return {margin, rows - 1 - bottomMargin, margin, columns - 1 - margin};
}

std::vector<InterestPointList> selectInterestPoints(const DoubleMap& response,
                                                    const PolygonIndexMap& map,
                                                    const PolygonList& polygons, int h,
                                                    int pointCount, const ResponseArea& area) {
  std::vector<PointSlots> slots(polygons.size(), PointSlots(std::max(pointCount, 0)));
  if (!area.empty() && pointCount > 0) {
    const std::vector<std::uint8_t> unlocked = unlockedPolygons(polygons);
    const int bands = (area.bottom - area.top + kBandRows) / kBandRows;
    std::vector<std::vector<Candidate>> candidates(taps(bands));
    parallelGroups(bands, [&](int firstBand, int lastBand) {
      BandBuffer alongRows;
      BandBuffer maxima;
      for (int b = firstBand; b <= lastBand; ++b) {
        const Span rows{area.top + b * kBandRows,
                        std::min(area.top + (b + 1) * kBandRows - 1, area.bottom)};
        bandCandidates(response, map, unlocked, h, area, rows, alongRows, maxima,
                       candidates[taps(b)]);
      }
    });
    for (const std::vector<Candidate>& band : candidates) {
      for (const Candidate& found : band) {
        slots[taps(found.polygon)].offer(found.score, found.r, found.c);
      }
    }
  }
  std::vector<InterestPointList> lists;
  lists.reserve(slots.size());
  for (PointSlots& polygonSlots : slots) lists.push_back(polygonSlots.take());
  return lists;
}

std::optional<InterestPointTables> detectInterestPoints(const PolygonList& polygons,
                                                        const GreyImage& image,
                                                        const DetectionParameters& parameters,
                                                        const InterestPointTables& previous,
                                                        RunControl& control) {
  const std::size_t count = polygons.size();
  const int total = static_cast<int>(count);
  const ResponseArea area = responseArea(parameters, image.height(), image.width());
  const PolygonIndexMap map(polygons, image.height(), image.width());
  DoubleMap response(image.height(), image.width(), 0.0);
  int h = 0;
  if (!area.empty()) {
    const DetectorKernels kernels = detectorKernels(parameters.filterSize);
    h = kernels.h;
    if (!respondPolygons({image, map, polygons, kernels, parameters.inclusionSize, area}, response,
                         control)) {
      return std::nullopt;
    }
  }
  if (control.cancelled()) return std::nullopt;
  std::vector<InterestPointList> lists =
      selectInterestPoints(response, map, polygons, h, parameters.pointCount, area);
  InterestPointTables tables;
  tables.interestPoints.resize(count);
  tables.interestPointCounts.resize(count, 0);
  for (std::size_t i = 0; i < count; ++i) {
    if (polygons[i].locked) {
      if (i < previous.interestPoints.size()) tables.interestPoints[i] = previous.interestPoints[i];
      if (i < previous.interestPointCounts.size()) {
        tables.interestPointCounts[i] = previous.interestPointCounts[i];
      }
      continue;
    }
    tables.interestPointCounts[i] = static_cast<std::int32_t>(lists[i].size());
    tables.interestPoints[i] = std::move(lists[i]);
  }
  control.step(total, total, "Polygone " + std::to_string(total) + "/" + std::to_string(total));
  return tables;
}

}  // namespace plk
