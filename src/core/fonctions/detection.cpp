#include "core/fonctions/detection.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <numbers>
#include <queue>
#include <string>
#include <utility>
#include <vector>

#include "core/fonctions/sampling.h"
#include "core/lanes.h"
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

// Response rows per band: the working buffers hold one band of rows with its halo, never maps of
// the whole image.
constexpr int kBandRows = 64;

// An inclusive range of rows or columns.
struct Span {
  int first = 0;
  int last = -1;
  [[nodiscard]] int count() const { return last - first + 1; }
  [[nodiscard]] bool empty() const { return last < first; }
};

Span intersection(Span a, Span b) { return {std::max(a.first, b.first), std::min(a.last, b.last)}; }

Span widened(Span span, int margin) { return {span.first - margin, span.last + margin}; }

// Rows `rows` and columns `columns` of a map of doubles. Its storage is kept from band to band;
// the values are left as they were until written.
class BandBuffer {
 public:
  void reset(Span rows, Span columns) {
    rows_ = rows;
    columns_ = columns;
    const std::size_t size = taps(rows.count()) * taps(columns.count());
    if (values_.size() < size) values_.resize(size);
  }
  void zero() { std::fill(values_.begin(), values_.end(), 0.0); }
  [[nodiscard]] double* at(int r, int c) { return values_.data() + index(r, c); }
  [[nodiscard]] const double* at(int r, int c) const { return values_.data() + index(r, c); }

 private:
  [[nodiscard]] std::size_t index(int r, int c) const {
    return taps(r - rows_.first) * taps(columns_.count()) + taps(c - columns_.first);
  }
  Span rows_;
  Span columns_;
  std::vector<double> values_;
};

// Horizontal smoothing of image row r over `columns`: sum over b = -h .. h of
// I[r][c + b] * G[N_f - 1 - (b + h)]. The filters run tap by tap over whole rows, so every pixel
// still sums its taps in the specified order.
void smoothRow(const GreyImage& image, const DetectorKernels& k, int r, Span columns,
               double* out) {
  std::fill(out, out + columns.count(), 0.0);
  const std::uint8_t* line = image.row(r);
  for (int b = -k.h; b <= k.h; ++b) {
    const double weight = k.G[taps(k.size - 1 - (b + k.h))];
    const std::uint8_t* in = line + columns.first + b;
    for (int j = 0; j < columns.count(); ++j) out[j] += weight * static_cast<double>(in[j]);
  }
}

// The horizontally smoothed rows that Iy reads for the rows `rows`, over `columns`.
void smoothRows(const GreyImage& image, const DetectorKernels& k, Span rows, Span columns,
                BandBuffer& smoothed) {
  const Span needed{rows.first - k.h, rows.last - k.h + k.size - 1};
  smoothed.reset(needed, columns);
  for (int r = needed.first; r <= needed.last; ++r) {
    smoothRow(image, k, r, columns, smoothed.at(r, columns.first));
  }
}

// Ix (along the columns) and Iy (along the rows) of row r over `columns`: Ix sums the vertical
// smoothing sum over a = 0 .. N_f - 1 of I[r - h + a][c] * G[N_f - 1 - a] through D along the
// row, Iy sums the horizontally smoothed rows through D down the column.
void derivativeRow(const GreyImage& image, const DetectorKernels& k, const BandBuffer& smoothed,
                   int r, Span columns, double* ix, double* iy) {
  const Span wide = widened(columns, k.h);
  std::vector<double> vertical(taps(wide.count()), 0.0);
  for (int a = 0; a < k.size; ++a) {
    const double weight = k.G[taps(k.size - 1 - a)];
    const std::uint8_t* in = image.row(r - k.h + a) + wide.first;
    for (int j = 0; j < wide.count(); ++j) vertical[taps(j)] += weight * static_cast<double>(in[j]);
  }
  const int count = columns.count();
  std::fill(ix, ix + count, 0.0);
  std::fill(iy, iy + count, 0.0);
  for (int b = -k.h; b <= k.h; ++b) {
    const double weight = k.D[taps(k.size - 1 - (b + k.h))];
    const double* in = vertical.data() + (b + k.h);
    for (int j = 0; j < count; ++j) ix[j] += weight * in[j];
  }
  for (int a = 0; a < k.size; ++a) {
    const double weight = k.D[taps(k.size - 1 - a)];
    const double* in = smoothed.at(r - k.h + a, columns.first);
    for (int j = 0; j < count; ++j) iy[j] += weight * in[j];
  }
}

// Whether each polygon of the list is unlocked.
std::vector<std::uint8_t> unlockedPolygons(const PolygonList& polygons) {
  std::vector<std::uint8_t> unlocked(polygons.size(), 0);
  for (std::size_t i = 0; i < polygons.size(); ++i) unlocked[i] = polygons[i].locked ? 0 : 1;
  return unlocked;
}

bool inUnlockedPolygon(const std::vector<std::uint8_t>& unlocked, std::int32_t polygon) {
  return polygon >= 0 && unlocked[static_cast<std::size_t>(polygon)] != 0;
}

// The products Ix^2, Ix Iy and Iy^2 the tensor sums read, over a band of rows and columns.
struct TensorBand {
  BandBuffer xx;
  BandBuffer xy;
  BandBuffer yy;

  void reset(Span rows, Span columns) {
    xx.reset(rows, columns);
    xy.reset(rows, columns);
    yy.reset(rows, columns);
  }
  void zero() {
    xx.zero();
    xy.zero();
    yy.zero();
  }
  void set(int r, int c, double x, double y) {
    *xx.at(r, c) = x * x;
    *xy.at(r, c) = x * y;
    *yy.at(r, c) = y * y;
  }
};

// The tensor products of the windows of the response pixels `rows` x `columns`: 0 outside the
// area, from derivatives of -100000 outside every unlocked polygon.
void fillTensorBand(const GreyImage& image, const PolygonIndexMap& map,
                    const std::vector<std::uint8_t>& unlocked, const DetectorKernels& k,
                    const ResponseArea& area, Span rows, Span columns, TensorBand& band,
                    BandBuffer& smoothed) {
  const Span bandRows = widened(rows, k.h);
  const Span bandColumns = widened(columns, k.h);
  band.reset(bandRows, bandColumns);
  const Span derivativeRows = intersection(bandRows, {area.top, area.bottom});
  const Span derivativeColumns = intersection(bandColumns, {area.left, area.right});
  if (derivativeRows.count() < bandRows.count() || derivativeColumns.count() < bandColumns.count()) {
    band.zero();
  }
  smoothRows(image, k, derivativeRows, derivativeColumns, smoothed);
  std::vector<double> ix(taps(derivativeColumns.count()));
  std::vector<double> iy(taps(derivativeColumns.count()));
  for (int r = derivativeRows.first; r <= derivativeRows.last; ++r) {
    derivativeRow(image, k, smoothed, r, derivativeColumns, ix.data(), iy.data());
    const std::int32_t* line = map.row(r);
    for (int c = derivativeColumns.first; c <= derivativeColumns.last; ++c) {
      const std::size_t j = taps(c - derivativeColumns.first);
      if (inUnlockedPolygon(unlocked, line[c])) {
        band.set(r, c, ix[j], iy[j]);
      } else {
        band.set(r, c, kOutside, kOutside);
      }
    }
  }
}

// Whether the border of the N_i window around each pixel (r, c) of `columns` lies in polygon y:
// its left and right columns over rows r - h_i .. r - h_i + N_i - 1, and its top and bottom rows
// over c - h_i .. c + h_i. Computed for the whole row at once: which columns are full of y over
// those rows, and how many pixels of y end at each column of the top and bottom rows.
void inclusionRow(const PolygonIndexMap& map, std::int32_t y, int r, int size, Span columns,
                  std::vector<std::uint8_t>& holds) {
  const int hi = halfWidth(size);
  const Span wide = widened(columns, hi);
  std::vector<std::uint8_t> fullColumn(taps(wide.count()), 1);
  for (int a = 0; a < size; ++a) {
    const std::int32_t* line = map.row(r - hi + a) + wide.first;
    for (int j = 0; j < wide.count(); ++j) fullColumn[taps(j)] &= line[j] == y ? 1 : 0;
  }
  const auto streaks = [&](int row) {
    std::vector<int> streak(taps(wide.count()));
    const std::int32_t* line = map.row(row) + wide.first;
    int run = 0;
    for (int j = 0; j < wide.count(); ++j) {
      run = line[j] == y ? run + 1 : 0;
      streak[taps(j)] = run;
    }
    return streak;
  };
  const std::vector<int> top = streaks(r - hi);
  const std::vector<int> bottom = streaks(r + hi);
  holds.resize(taps(columns.count()));
  for (int j = 0; j < columns.count(); ++j) {
    const std::size_t right = taps(j + 2 * hi);
    holds[taps(j)] = fullColumn[taps(j)] != 0 && fullColumn[right] != 0 && top[right] > 2 * hi &&
                             bottom[right] > 2 * hi
                         ? 1
                         : 0;
  }
}

// One row of one polygon's responses: its pixels of `columns` in `polygon`.
struct ResponseRow {
  const TensorBand& products;
  const PolygonIndexMap& map;
  std::int32_t polygon;
  const DetectorKernels& k;
  const std::uint8_t* holds;  // per column of `columns`: the inclusion window lies in the polygon
  Span columns;
  int r;
  DoubleMap& response;

  [[nodiscard]] bool included(int c) const { return holds[c - columns.first] != 0; }
};

// The W-weighted sums of Ix^2, Ix Iy and Iy^2 over the window of one pixel, taps in row order.
void respondPixel(const ResponseRow& row, int c) {
  if (!row.included(c)) {
    row.response(row.r, c) = kOutside;
    return;
  }
  const DetectorKernels& k = row.k;
  double a = 0.0;
  double b = 0.0;
  double cc = 0.0;
  for (int i = -k.h; i <= k.h; ++i) {
    for (int j = -k.h; j <= k.h; ++j) {
      const double w = k.W[taps(i + k.h) * taps(k.size) + taps(j + k.h)];
      a += w * *row.products.xx.at(row.r + i, c + j);
      b += w * *row.products.xy.at(row.r + i, c + j);
      cc += w * *row.products.yy.at(row.r + i, c + j);
    }
  }
  row.response(row.r, c) = smallerEigenvalue(a, b, cc);
}

// The same sums for `Vectors` vectors of consecutive pixels from column `first` on, one pixel per
// lane: every lane adds the same taps in the same order as respondPixel.
template <typename Lanes, int Vectors>
[[gnu::always_inline]] inline void respondLanes(const ResponseRow& row, int first) {
  constexpr int kWidth = sizeof(Lanes) / sizeof(double);
  constexpr int kPixels = kWidth * Vectors;
  const DetectorKernels& k = row.k;
  Lanes xx[Vectors] = {};
  Lanes xy[Vectors] = {};
  Lanes yy[Vectors] = {};
  for (int i = -k.h; i <= k.h; ++i) {
    for (int j = -k.h; j <= k.h; ++j) {
      const double w = k.W[taps(i + k.h) * taps(k.size) + taps(j + k.h)];
      const double* inXX = row.products.xx.at(row.r + i, first + j);
      const double* inXY = row.products.xy.at(row.r + i, first + j);
      const double* inYY = row.products.yy.at(row.r + i, first + j);
#pragma GCC unroll 4
      for (int v = 0; v < Vectors; ++v) {
        Lanes x;
        Lanes y;
        Lanes z;
        std::memcpy(&x, inXX + v * kWidth, sizeof x);
        std::memcpy(&y, inXY + v * kWidth, sizeof y);
        std::memcpy(&z, inYY + v * kWidth, sizeof z);
        xx[v] += w * x;
        xy[v] += w * y;
        yy[v] += w * z;
      }
    }
  }
  double a[kPixels];
  double b[kPixels];
  double cc[kPixels];
  std::memcpy(a, xx, sizeof a);
  std::memcpy(b, xy, sizeof b);
  std::memcpy(cc, yy, sizeof cc);
  for (int p = 0; p < kPixels; ++p) {
    row.response(row.r, first + p) =
        row.included(first + p) ? smallerEigenvalue(a[p], b[p], cc[p])
            : kOutside;
  }
}

// The end of the run of the row's pixels in its polygon that starts at or after column c
// (columns.last + 1 when none), and its first column in `first`. A plain function: a lambda in
// a function built for wider vectors would be built for the default processor.
int nextRun(const ResponseRow& row, int c, int& first) {
  const std::int32_t* line = row.map.row(row.r);
  while (c <= row.columns.last && line[c] != row.polygon) ++c;
  first = c;
  while (c <= row.columns.last && line[c] == row.polygon) ++c;
  return c;
}

// Four vectors of pixels at a time, enough sums in flight to hide the additions' latency, then
// single vectors, then single pixels.
template <typename Lanes>
[[gnu::always_inline]] inline void respondRowInLanes(const ResponseRow& row) {
  constexpr int kWidth = sizeof(Lanes) / sizeof(double);
  constexpr int kVectors = 4;
  int first = 0;
  for (int end = nextRun(row, row.columns.first, first); first < end;
       end = nextRun(row, end, first)) {
    int c = first;
    for (; c + kVectors * kWidth <= end; c += kVectors * kWidth) {
      respondLanes<Lanes, kVectors>(row, c);
    }
    for (; c + kWidth <= end; c += kWidth) respondLanes<Lanes, 1>(row, c);
    for (; c < end; ++c) respondPixel(row, c);
  }
}

void respondRowByPixels(const ResponseRow& row) {
  int first = 0;
  for (int end = nextRun(row, row.columns.first, first); first < end;
       end = nextRun(row, end, first)) {
    for (int c = first; c < end; ++c) respondPixel(row, c);
  }
}

void respondRowIn2Lanes(const ResponseRow& row) { respondRowInLanes<Lanes2>(row); }

#if defined(__x86_64__)
[[gnu::target("avx2")]] void respondRowIn4Lanes(const ResponseRow& row) {
  respondRowInLanes<Lanes4>(row);
}

[[gnu::target("avx512f")]] void respondRowIn8Lanes(const ResponseRow& row) {
  respondRowInLanes<Lanes8>(row);
}
#endif

using RowResponder = void (*)(const ResponseRow&);

RowResponder rowResponder(int laneWidth) {
  switch (laneWidth) {
    case 2:
      return respondRowIn2Lanes;
#if defined(__x86_64__)
    case 4:
      return respondRowIn4Lanes;
    case 8:
      return respondRowIn8Lanes;
#endif
    default:
      return respondRowByPixels;
  }
}

// The responses of `polygon` over `rows` and `columns`, row after row.
void respondRows(const TensorBand& products, const PolygonIndexMap& map, std::int32_t polygon,
                 const DetectorKernels& k, int inclusionSize, Span rows, Span columns,
                 RowResponder respond, DoubleMap& response) {
  std::vector<std::uint8_t> holds;
  for (int r = rows.first; r <= rows.last; ++r) {
    inclusionRow(map, polygon, r, inclusionSize, columns, holds);
    respond({products, map, polygon, k, holds.data(), columns, r, response});
  }
}

// Calls work(first, last) over `count` items split into one contiguous group per thread, so
// that each thread keeps its working buffers from one item to the next.
template <typename Work>
void parallelGroups(int count, Work work) {
  const int groups = std::max(1, std::min(threadCount(), count));
  parallelFor(taps(groups), [&](std::size_t g) {
    const int group = static_cast<int>(g);
    work(count * group / groups, count * (group + 1) / groups - 1);
  });
}

// Bounding rows and columns of every polygon index in the map, empty when absent.
struct PolygonBox {
  Span rows{std::numeric_limits<int>::max(), -1};
  Span columns{std::numeric_limits<int>::max(), -1};
};

std::vector<PolygonBox> polygonBoxes(const PolygonIndexMap& map, std::size_t count) {
  std::vector<PolygonBox> boxes(count);
  for (int r = 0; r < map.rows(); ++r) {
    const std::int32_t* line = map.row(r);
    for (int c = 0; c < map.columns(); ++c) {
      if (line[c] < 0) continue;
      PolygonBox& box = boxes[static_cast<std::size_t>(line[c])];
      box.rows.first = std::min(box.rows.first, r);
      box.rows.last = r;
      box.columns.first = std::min(box.columns.first, c);
      box.columns.last = std::max(box.columns.last, c);
    }
  }
  return boxes;
}

// What every polygon's responses read, fixed for the run.
struct ResponseInputs {
  const GreyImage& image;
  const PolygonIndexMap& map;
  const std::vector<std::uint8_t>& unlocked;
  const DetectorKernels& k;
  int inclusionSize;
  ResponseArea area;
  RowResponder respond;
};

// The responses of one polygon, band by band over its bounding box, each band's tensor products
// computed with their halo.
void respondPolygon(const ResponseInputs& in, std::int32_t polygon, const PolygonBox& box,
                    DoubleMap& response) {
  const Span rows = intersection(box.rows, {in.area.top, in.area.bottom});
  const Span columns = intersection(box.columns, {in.area.left, in.area.right});
  if (rows.empty() || columns.empty()) return;
  const int bands = (rows.count() + kBandRows - 1) / kBandRows;
  parallelGroups(bands, [&](int firstBand, int lastBand) {
    TensorBand products;
    BandBuffer smoothed;
    for (int b = firstBand; b <= lastBand; ++b) {
      const Span band{rows.first + b * kBandRows,
                      std::min(rows.first + (b + 1) * kBandRows - 1, rows.last)};
      fillTensorBand(in.image, in.map, in.unlocked, in.k, in.area, band, columns, products,
                     smoothed);
      respondRows(products, in.map, polygon, in.k, in.inclusionSize, band, columns, in.respond,
                  response);
    }
  });
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

std::vector<std::uint8_t> unlockedPixels(const PolygonIndexMap& map, const PolygonList& polygons) {
  const std::vector<std::uint8_t> unlocked = unlockedPolygons(polygons);
  std::vector<std::uint8_t> pixels(taps(map.rows()) * taps(map.columns()), 0);
  for (int r = 0; r < map.rows(); ++r) {
    const std::int32_t* line = map.row(r);
    for (int c = 0; c < map.columns(); ++c) {
      pixels[taps(r) * taps(map.columns()) + taps(c)] = inUnlockedPolygon(unlocked, line[c]) ? 1 : 0;
    }
  }
  return pixels;
}

DerivativeMaps computeDerivatives(const GreyImage& image, const std::vector<std::uint8_t>& unlocked,
                                  const DetectorKernels& k, const ResponseArea& area) {
  DerivativeMaps d{DoubleMap(image.height(), image.width(), 0.0),
                   DoubleMap(image.height(), image.width(), 0.0)};
  if (area.empty()) return d;
  const Span rows{area.top, area.bottom};
  const Span columns{area.left, area.right};
  BandBuffer smoothed;
  smoothRows(image, k, rows, columns, smoothed);
  parallelFor(taps(rows.count()), [&](std::size_t i) {
    const int r = rows.first + static_cast<int>(i);
    double* ix = &d.ix(r, columns.first);
    double* iy = &d.iy(r, columns.first);
    derivativeRow(image, k, smoothed, r, columns, ix, iy);
    for (int c = columns.first; c <= columns.last; ++c) {
      if (unlocked[d.ix.index(r, c)] == 0) d.ix(r, c) = d.iy(r, c) = kOutside;
    }
  });
  return d;
}

std::vector<int> responseLaneWidths() {
  std::vector<int> widths;
  for (const int width : {1, 2, 4, 8}) {
    if (supportsLanes(width)) widths.push_back(width);
  }
  return widths;
}

void computePolygonResponses(const DerivativeMaps& derivatives, const PolygonIndexMap& map,
                             std::int32_t polygon, const DetectorKernels& kernels,
                             int inclusionSize, const ResponseArea& area, DoubleMap& response,
                             int laneWidth) {
  if (area.empty()) return;
  TensorBand products;
  products.reset({0, derivatives.ix.rows - 1}, {0, derivatives.ix.columns - 1});
  for (int r = 0; r < derivatives.ix.rows; ++r) {
    for (int c = 0; c < derivatives.ix.columns; ++c) {
      products.set(r, c, derivatives.ix(r, c), derivatives.iy(r, c));
    }
  }
  respondRows(products, map, polygon, kernels, inclusionSize, {area.top, area.bottom},
              {area.left, area.right}, rowResponder(laneWidth), response);
}

void computePolygonResponses(const DerivativeMaps& derivatives, const PolygonIndexMap& map,
                             std::int32_t polygon, const DetectorKernels& kernels,
                             int inclusionSize, const ResponseArea& area, DoubleMap& response) {
  computePolygonResponses(derivatives, map, polygon, kernels, inclusionSize, area, response,
                          widestLaneWidth());
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
    const std::vector<std::uint8_t> unlocked = unlockedPolygons(polygons);
    for (int r = area.top; r <= area.bottom; ++r) {
      const std::int32_t* line = map.row(r);
      for (int c = area.left; c <= area.right; ++c) {
        if (!inUnlockedPolygon(unlocked, line[c])) response(r, c) = kOutside;
      }
    }
    const ResponseInputs inputs{image,    map,  unlocked, kernels, parameters.inclusionSize,
                                area, rowResponder(widestLaneWidth())};
    const std::vector<PolygonBox> boxes = polygonBoxes(map, count);
    for (std::size_t i = 0; i < count; ++i) {
      if (polygons[i].locked) continue;
      control.step(static_cast<int>(i), total,
                   "Polygone " + std::to_string(i + 1) + "/" + std::to_string(total));
      if (control.cancelled()) return std::nullopt;
      respondPolygon(inputs, static_cast<std::int32_t>(i), boxes[i], response);
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
