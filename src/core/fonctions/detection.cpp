#include "core/fonctions/detection.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <numbers>
#include <queue>
#include <string>
#include <utility>

#include "core/fonctions/double_pair.h"
#include "core/fonctions/sampling.h"
#include "core/parallel.h"

namespace plk {

namespace {

// Derivatives and responses of pixels outside every unlocked polygon, and responses of pixels
// whose inclusion window leaves their polygon.
constexpr double kOutside = -100000.0;

std::size_t taps(int size) { return static_cast<std::size_t>(size); }

double gaussian(int k, double sigma) {
  return std::exp(-static_cast<double>(k * k) / (2.0 * sigma * sigma));
}

void normaliseSum(std::vector<double>& values, double sum) {
  for (double& value : values) value /= sum;
}

// The image as doubles, read once.
DoubleMap imageValues(const GreyImage& image) {
  DoubleMap values(image.height(), image.width(), 0.0);
  for (int r = 0; r < image.height(); ++r) {
    const std::uint8_t* line = image.row(r);
    for (int c = 0; c < image.width(); ++c) values(r, c) = line[c];
  }
  return values;
}

// out[j] += weight * in[j] for j < count: the filters run tap by tap over whole rows, so every
// pixel still sums its taps in the specified order.
void addScaled(double* out, const double* in, double weight, int count) {
  for (int j = 0; j < count; ++j) out[j] += weight * in[j];
}

// Vertical smoothing of the rows the derivative Ix reads, over the columns it reads:
// sum over a = 0 .. N_f - 1 of I[r - h + a][c] * G[N_f - 1 - a].
DoubleMap smoothColumns(const DoubleMap& image, const DetectorKernels& k,
                        const ResponseArea& area) {
  DoubleMap smoothed(image.rows, image.columns, 0.0);
  const int first = area.left - k.h;
  const int count = area.right + k.h - first + 1;
  parallelFor(taps(area.bottom - area.top + 1), [&](std::size_t i) {
    const int r = area.top + static_cast<int>(i);
    double* out = &smoothed(r, first);
    for (int a = 0; a < k.size; ++a) {
      addScaled(out, image.at(r - k.h + a, first), k.G[taps(k.size - 1 - a)], count);
    }
  });
  return smoothed;
}

// Horizontal smoothing of the rows the derivative Iy reads, over the area's columns:
// sum over b = -h .. h of I[r][c + b] * G[N_f - 1 - (b + h)].
DoubleMap smoothRows(const DoubleMap& image, const DetectorKernels& k, const ResponseArea& area) {
  DoubleMap smoothed(image.rows, image.columns, 0.0);
  const int firstRow = area.top - k.h;
  const int count = area.right - area.left + 1;
  parallelFor(taps(area.bottom - k.h + k.size - firstRow), [&](std::size_t i) {
    const int r = firstRow + static_cast<int>(i);
    double* out = &smoothed(r, area.left);
    for (int b = -k.h; b <= k.h; ++b) {
      addScaled(out, image.at(r, area.left + b), k.G[taps(k.size - 1 - (b + k.h))], count);
    }
  });
  return smoothed;
}

// Keeps the filtered value of unlocked pixels of the area and marks the others.
void keepUnlocked(const std::vector<std::uint8_t>& unlocked, int columns, int r,
                  const ResponseArea& area, const std::vector<double>& filtered, double* out) {
  const std::size_t rowStart = static_cast<std::size_t>(r) * static_cast<std::size_t>(columns);
  for (int c = area.left; c <= area.right; ++c) {
    out[c] = unlocked[rowStart + taps(c)] != 0 ? filtered[taps(c - area.left)] : kOutside;
  }
}

// Inclusive row span of every polygon index in the map, empty (first > last) when absent.
std::vector<std::pair<int, int>> polygonRows(const PolygonIndexMap& map, std::size_t count) {
  std::vector<std::pair<int, int>> spans(count, {map.rows(), -1});
  for (int r = 0; r < map.rows(); ++r) {
    const std::int32_t* line = map.row(r);
    for (int c = 0; c < map.columns(); ++c) {
      if (line[c] < 0) continue;
      auto& span = spans[static_cast<std::size_t>(line[c])];
      span.first = std::min(span.first, r);
      span.second = r;
    }
  }
  return spans;
}

// The border of the N_i window around (r, c) lies in polygon y: its left and right columns
// over rows r - h_i .. r - h_i + N_i - 1, then its top and bottom rows over c - h_i .. c + h_i.
bool inclusionHolds(const PolygonIndexMap& map, std::int32_t y, int r, int c, int size) {
  const int hi = halfWidth(size);
  for (int a = 0; a < size; ++a) {
    if (map(r - hi + a, c - hi) != y || map(r - hi + a, c + hi) != y) return false;
  }
  for (int b = -hi; b <= hi; ++b) {
    if (map(r - hi, c + b) != y || map(r + hi, c + b) != y) return false;
  }
  return true;
}

struct TensorProducts {
  DoubleMap xx;
  DoubleMap xy;
  DoubleMap yy;
};

TensorProducts tensorProducts(const DerivativeMaps& d) {
  TensorProducts p{DoubleMap(d.ix.rows, d.ix.columns, 0.0), DoubleMap(d.ix.rows, d.ix.columns, 0.0),
                   DoubleMap(d.ix.rows, d.ix.columns, 0.0)};
  for (std::size_t i = 0; i < d.ix.values.size(); ++i) {
    const double x = d.ix.values[i];
    const double y = d.iy.values[i];
    p.xx.values[i] = x * x;
    p.xy.values[i] = x * y;
    p.yy.values[i] = y * y;
  }
  return p;
}

// Pixels whose tensor sums are accumulated together, in registers, each pixel still summing
// its taps in the specified order.
constexpr int kBlock = 8;
constexpr int kPairs = kBlock / 2;

// The W-weighted sums of Ix^2, Ix Iy and Iy^2 over the windows of kBlock consecutive pixels of
// row r from column `first` on: a, b and c of pixel first + j at j, kBlock + j, 2 kBlock + j.
std::array<double, 3 * kBlock> blockTensorSums(const TensorProducts& p, const DetectorKernels& k,
                                               int r, int first) {
  std::array<DoublePair, kPairs> xx{};
  std::array<DoublePair, kPairs> xy{};
  std::array<DoublePair, kPairs> yy{};
  for (int a = -k.h; a <= k.h; ++a) {
    for (int b = -k.h; b <= k.h; ++b) {
      const double w = k.W[taps(a + k.h) * taps(k.size) + taps(b + k.h)];
      const DoublePair weight = broadcastPair(w);
      const double* rowXX = p.xx.at(r + a, first + b);
      const double* rowXY = p.xy.at(r + a, first + b);
      const double* rowYY = p.yy.at(r + a, first + b);
#pragma GCC unroll 4
      for (std::size_t j = 0; j < kPairs; ++j) {
        xx[j] += weight * loadPair(rowXX + 2 * j);
        xy[j] += weight * loadPair(rowXY + 2 * j);
        yy[j] += weight * loadPair(rowYY + 2 * j);
      }
    }
  }
  std::array<double, 3 * kBlock> sums{};
  std::memcpy(sums.data(), xx.data(), sizeof xx);
  std::memcpy(sums.data() + kBlock, xy.data(), sizeof xy);
  std::memcpy(sums.data() + 2 * kBlock, yy.data(), sizeof yy);
  return sums;
}

// The same sums for one pixel.
std::array<double, 3> pixelTensorSums(const TensorProducts& p, const DetectorKernels& k, int r,
                                      int c) {
  std::array<double, 3> sums{};
  for (int a = -k.h; a <= k.h; ++a) {
    for (int b = -k.h; b <= k.h; ++b) {
      const double w = k.W[taps(a + k.h) * taps(k.size) + taps(b + k.h)];
      sums[0] += w * p.xx(r + a, c + b);
      sums[1] += w * p.xy(r + a, c + b);
      sums[2] += w * p.yy(r + a, c + b);
    }
  }
  return sums;
}

void respondBlock(const TensorProducts& p, const PolygonIndexMap& map, std::int32_t polygon,
                  const DetectorKernels& k, int inclusionSize, int r, int first,
                  DoubleMap& response) {
  const std::array<double, 3 * kBlock> sums = blockTensorSums(p, k, r, first);
  for (int j = 0; j < kBlock; ++j) {
    response(r, first + j) =
        inclusionHolds(map, polygon, r, first + j, inclusionSize)
            ? smallerEigenvalue(sums[taps(j)], sums[taps(kBlock + j)], sums[taps(2 * kBlock + j)])
            : kOutside;
  }
}

void respondPixel(const TensorProducts& p, const PolygonIndexMap& map, std::int32_t polygon,
                  const DetectorKernels& k, int inclusionSize, int r, int c, DoubleMap& response) {
  if (!inclusionHolds(map, polygon, r, c, inclusionSize)) {
    response(r, c) = kOutside;
    return;
  }
  const std::array<double, 3> sums = pixelTensorSums(p, k, r, c);
  response(r, c) = smallerEigenvalue(sums[0], sums[1], sums[2]);
}

void respondRow(const TensorProducts& p, const PolygonIndexMap& map, std::int32_t polygon,
                const DetectorKernels& k, int inclusionSize, const ResponseArea& area, int r,
                DoubleMap& response) {
  const std::int32_t* line = map.row(r);
  int c = area.left;
  while (c <= area.right) {
    if (line[c] != polygon) {
      ++c;
      continue;
    }
    const int first = c;
    while (c <= area.right && line[c] == polygon) ++c;
    int j = first;
    for (; j + kBlock <= c; j += kBlock) {
      respondBlock(p, map, polygon, k, inclusionSize, r, j, response);
    }
    for (; j < c; ++j) respondPixel(p, map, polygon, k, inclusionSize, r, j, response);
  }
}

void computeResponsesFromProducts(const TensorProducts& p, const PolygonIndexMap& map,
                                  std::int32_t polygon, const DetectorKernels& k, int inclusionSize,
                                  const ResponseArea& area, int firstRow, int lastRow,
                                  DoubleMap& response) {
  const int top = std::max(firstRow, area.top);
  const int bottom = std::min(lastRow, area.bottom);
  if (bottom < top || area.empty()) return;
  parallelFor(taps(bottom - top + 1), [&](std::size_t i) {
    respondRow(p, map, polygon, k, inclusionSize, area, top + static_cast<int>(i), response);
  });
}

// Maximum of the response over the (2h + 1) x (2h + 1) neighbourhood of every area pixel, as a
// maximum along the rows followed by one along the columns (exact, like any maximum).
DoubleMap neighbourhoodMaxima(const DoubleMap& response, int h, const ResponseArea& area) {
  DoubleMap alongRows(response.rows, response.columns, 0.0);
  parallelFor(taps(area.bottom - area.top + 2 * h + 1), [&](std::size_t i) {
    const int r = area.top - h + static_cast<int>(i);
    for (int c = area.left; c <= area.right; ++c) {
      double best = response(r, c - h);
      for (int b = -h + 1; b <= h; ++b) best = std::max(best, response(r, c + b));
      alongRows(r, c) = best;
    }
  });
  DoubleMap maxima(response.rows, response.columns, 0.0);
  parallelFor(taps(area.bottom - area.top + 1), [&](std::size_t i) {
    const int r = area.top + static_cast<int>(i);
    for (int c = area.left; c <= area.right; ++c) {
      double best = alongRows(r - h, c);
      for (int a = -h + 1; a <= h; ++a) best = std::max(best, alongRows(r + a, c));
      maxima(r, c) = best;
    }
  });
  return maxima;
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

bool isLocked(const PolygonList& polygons, std::int32_t index) {
  return polygons[static_cast<std::size_t>(index)].locked;
}

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

std::vector<std::uint8_t> unlockedPixels(const PolygonIndexMap& map, const PolygonList& polygons) {
  std::vector<std::uint8_t> unlocked(taps(map.rows()) * taps(map.columns()), 0);
  for (int r = 0; r < map.rows(); ++r) {
    const std::int32_t* line = map.row(r);
    for (int c = 0; c < map.columns(); ++c) {
      unlocked[taps(r) * taps(map.columns()) + taps(c)] =
          line[c] >= 0 && !isLocked(polygons, line[c]) ? 1 : 0;
    }
  }
  return unlocked;
}

DerivativeMaps computeDerivatives(const GreyImage& image, const std::vector<std::uint8_t>& unlocked,
                                  const DetectorKernels& k, const ResponseArea& area) {
  DerivativeMaps d{DoubleMap(image.height(), image.width(), 0.0),
                   DoubleMap(image.height(), image.width(), 0.0)};
  if (area.empty()) return d;
  const DoubleMap values = imageValues(image);
  const DoubleMap vertical = smoothColumns(values, k, area);
  const DoubleMap horizontal = smoothRows(values, k, area);
  const int count = area.right - area.left + 1;
  parallelFor(taps(area.bottom - area.top + 1), [&](std::size_t i) {
    const int r = area.top + static_cast<int>(i);
    std::vector<double> ix(taps(count), 0.0);
    std::vector<double> iy(taps(count), 0.0);
    for (int b = -k.h; b <= k.h; ++b) {
      addScaled(ix.data(), vertical.at(r, area.left + b), k.D[taps(k.size - 1 - (b + k.h))], count);
    }
    for (int a = 0; a < k.size; ++a) {
      addScaled(iy.data(), horizontal.at(r - k.h + a, area.left), k.D[taps(k.size - 1 - a)], count);
    }
    keepUnlocked(unlocked, image.width(), r, area, ix, &d.ix(r, 0));
    keepUnlocked(unlocked, image.width(), r, area, iy, &d.iy(r, 0));
  });
  return d;
}

void computePolygonResponses(const DerivativeMaps& derivatives, const PolygonIndexMap& map,
                             std::int32_t polygon, const DetectorKernels& kernels,
                             int inclusionSize, const ResponseArea& area, DoubleMap& response) {
  computeResponsesFromProducts(tensorProducts(derivatives), map, polygon, kernels, inclusionSize,
                               area, area.top, area.bottom, response);
}

std::vector<InterestPointList> selectInterestPoints(const DoubleMap& response,
                                                    const PolygonIndexMap& map,
                                                    const PolygonList& polygons, int h,
                                                    int pointCount, const ResponseArea& area) {
  std::vector<PointSlots> slots(polygons.size(), PointSlots(std::max(pointCount, 0)));
  if (!area.empty() && pointCount > 0) {
    const DoubleMap maxima = neighbourhoodMaxima(response, h, area);
    for (int r = area.top; r <= area.bottom; ++r) {
      for (int c = area.left; c <= area.right; ++c) {
        const std::int32_t y = map(r, c);
        const double value = response(r, c);
        if (y < 0 || isLocked(polygons, y) || value == kOutside) continue;
        if (value >= maxima(r, c)) slots[taps(y)].offer(value, r, c);
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
    const std::vector<std::uint8_t> unlocked = unlockedPixels(map, polygons);
    for (int r = area.top; r <= area.bottom; ++r) {
      for (int c = area.left; c <= area.right; ++c) {
        if (unlocked[response.index(r, c)] == 0) response(r, c) = kOutside;
      }
    }
    const TensorProducts products =
        tensorProducts(computeDerivatives(image, unlocked, kernels, area));
    const std::vector<std::pair<int, int>> rows = polygonRows(map, count);
    for (std::size_t i = 0; i < count; ++i) {
      if (polygons[i].locked) continue;
      control.step(static_cast<int>(i), total,
                   "Polygone " + std::to_string(i + 1) + "/" + std::to_string(total));
      if (control.cancelled()) return std::nullopt;
      computeResponsesFromProducts(products, map, static_cast<std::int32_t>(i), kernels,
                                   parameters.inclusionSize, area, rows[i].first, rows[i].second,
                                   response);
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
