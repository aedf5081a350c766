#include "core/fonctions/detection.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <numbers>
#include <queue>
#include <string>
#include <utility>
#include <vector>

#include "core/fonctions/detection_detail.h"
#include "core/fonctions/sampling.h"
#include "core/lanes.h"

namespace plk {

using namespace detection;

namespace {

double gaussian(int k, double sigma) {
  return std::exp(-static_cast<double>(k * k) / (2.0 * sigma * sigma));
}

void normaliseSum(std::vector<double>& values, double sum) {
  for (double& value : values) value /= sum;
}

// out[j] = the maximum of first[t * stride + j] over t = 0 .. tapCount - 1 for j = 0 .. count - 1,
// four vectors of columns at a time in registers, then single vectors, then single columns.
template <typename Lanes>
[[gnu::always_inline]] inline void maxColumns(const double* first, std::ptrdiff_t stride,
                                              int tapCount, int count, double* out) {
  constexpr int kWidth = sizeof(Lanes) / sizeof(double);
  constexpr int kVectors = 4;
  int j = 0;
  for (; j + kVectors * kWidth <= count; j += kVectors * kWidth) {
    Lanes best[kVectors];
#pragma GCC unroll 4
    for (int v = 0; v < kVectors; ++v) loadLanes(best[v], first + j + v * kWidth);
    for (int t = 1; t < tapCount; ++t) {
#pragma GCC unroll 4
      for (int v = 0; v < kVectors; ++v) {
        Lanes value;
        loadLanes(value, first + t * stride + j + v * kWidth);
        best[v] = best[v] < value ? value : best[v];
      }
    }
    std::memcpy(out + j, best, sizeof best);
  }
  for (; j + kWidth <= count; j += kWidth) {
    Lanes best;
    loadLanes(best, first + j);
    for (int t = 1; t < tapCount; ++t) {
      Lanes value;
      loadLanes(value, first + t * stride + j);
      best = best < value ? value : best;
    }
    std::memcpy(out + j, &best, sizeof best);
  }
  for (; j < count; ++j) {
    double best = first[j];
    for (int t = 1; t < tapCount; ++t) best = std::max(best, first[t * stride + j]);
    out[j] = best;
  }
}

// Maxima of the response over the (2h + 1) x (2h + 1) neighbourhoods of the pixels `rows` of
// the area, as a maximum along the rows followed by one along the columns (exact, like any
// maximum); `maxima` covers `rows` and the area's columns.
template <typename Lanes>
[[gnu::always_inline]] inline void neighbourhoodMaxima(const DoubleMap& response, int h,
                                                       const ResponseArea& area, Span rows,
                                                       BandBuffer& alongRows, BandBuffer& maxima) {
  const Span columns{area.left, area.right};
  const Span wide = widened(rows, h);
  alongRows.reset(wide, columns);
  for (int r = wide.first; r <= wide.last; ++r) {
    maxColumns<Lanes>(response.at(r, columns.first - h), 1, 2 * h + 1, columns.count(),
                      alongRows.at(r, columns.first));
  }
  maxima.reset(rows, columns);
  const std::ptrdiff_t stride = columns.count();
  for (int r = rows.first; r <= rows.last; ++r) {
    maxColumns<Lanes>(alongRows.at(r - h, columns.first), stride, 2 * h + 1, columns.count(),
                      maxima.at(r, columns.first));
  }
}

// A local maximum of an unlocked polygon's responses, in the raster order of the scan.
struct Candidate {
  double score;
  int r;
  int c;
  std::int32_t polygon;
};

// What the candidate scan of every band reads, fixed for the run.
struct CandidateInputs {
  const DoubleMap& response;
  const PolygonIndexMap& map;
  const std::vector<std::uint8_t>& unlocked;
  int h;
  ResponseArea area;
};

// The local maxima of the rows `rows`, in raster order.
template <typename Lanes>
[[gnu::always_inline]] inline void bandCandidates(const CandidateInputs& in, Span rows,
                                                  BandBuffer& alongRows, BandBuffer& maxima,
                                                  std::vector<Candidate>& candidates) {
  const ResponseArea& area = in.area;
  neighbourhoodMaxima<Lanes>(in.response, in.h, area, rows, alongRows, maxima);
  for (int r = rows.first; r <= rows.last; ++r) {
    const std::int32_t* line = in.map.row(r);
    const double* values = in.response.at(r, 0);
    const double* best = maxima.at(r, area.left);
    for (int c = area.left; c <= area.right; ++c) {
      // The rare local maximum first: most pixels stop at this test.
      const double value = values[c];
      if (!(value >= best[c - area.left])) continue;
      if (value != kOutside && inUnlockedPolygon(in.unlocked, line[c])) {
        candidates.push_back({value, r, c, line[c]});
      }
    }
  }
}

void bandCandidatesIn2Lanes(const CandidateInputs& in, Span rows, BandBuffer& alongRows,
                            BandBuffer& maxima, std::vector<Candidate>& candidates) {
  bandCandidates<Lanes2>(in, rows, alongRows, maxima, candidates);
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] void bandCandidatesIn4Lanes(const CandidateInputs& in, Span rows,
                                                    BandBuffer& alongRows, BandBuffer& maxima,
                                                    std::vector<Candidate>& candidates) {
  bandCandidates<Lanes4>(in, rows, alongRows, maxima, candidates);
}

[[gnu::target("avx512f")]] void bandCandidatesIn8Lanes(const CandidateInputs& in, Span rows,
                                                       BandBuffer& alongRows, BandBuffer& maxima,
                                                       std::vector<Candidate>& candidates) {
  bandCandidates<Lanes8>(in, rows, alongRows, maxima, candidates);
}
#endif

using CandidateScan = void (*)(const CandidateInputs&, Span, BandBuffer&, BandBuffer&,
                               std::vector<Candidate>&);

// The scan built for the widest vectors this processor runs.
CandidateScan widestCandidateScan() {
  switch (widestLaneWidth()) {
#if defined(__x86_64__)
    case 4:
      return bandCandidatesIn4Lanes;
    case 8:
      return bandCandidatesIn8Lanes;
#endif
    default:
      return bandCandidatesIn2Lanes;
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
    const CandidateInputs inputs{response, map, unlocked, h, area};
    const CandidateScan scan = widestCandidateScan();
    const int bands = (area.bottom - area.top + kBandRows) / kBandRows;
    std::vector<std::vector<Candidate>> candidates(taps(bands));
    parallelGroups(bands, [&](int firstBand, int lastBand) {
      BandBuffer alongRows;
      BandBuffer maxima;
      for (int b = firstBand; b <= lastBand; ++b) {
        const Span rows{area.top + b * kBandRows,
                        std::min(area.top + (b + 1) * kBandRows - 1, area.bottom)};
        scan(inputs, rows, alongRows, maxima, candidates[taps(b)]);
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
