// The detector's responses: the derivative filters, the structure tensor's window sums in
// vector lanes, band by band, and the inclusion windows.

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/fonctions/detection_detail.h"
#include "core/fonctions/sampling.h"
#include "core/lanes.h"

namespace plk {

using namespace detection;

namespace {

// Horizontal smoothing of image row r over `columns`: sum over b = -h .. h of
// I[r][c + b] * G[N_f - 1 - (b + h)]. The filters run tap by tap over whole rows, so every pixel
// still sums its taps in the specified order.
void smoothRow(const GreyImage& image, const DetectorKernels& k, int r, Span columns, double* out) {
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
  if (derivativeRows.count() < bandRows.count() ||
      derivativeColumns.count() < bandColumns.count()) {
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
        row.included(first + p) ? smallerEigenvalue(a[p], b[p], cc[p]) : kOutside;
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
struct PolygonResponses {
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
void respondPolygon(const PolygonResponses& in, std::int32_t polygon, const PolygonBox& box,
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

}  // namespace

namespace detection {

std::vector<std::uint8_t> unlockedPolygons(const PolygonList& polygons) {
  std::vector<std::uint8_t> unlocked(polygons.size(), 0);
  for (std::size_t i = 0; i < polygons.size(); ++i) unlocked[i] = polygons[i].locked ? 0 : 1;
  return unlocked;
}

bool respondPolygons(const ResponseInputs& in, DoubleMap& response, RunControl& control) {
  const std::vector<std::uint8_t> unlocked = unlockedPolygons(in.polygons);
  for (int r = in.area.top; r <= in.area.bottom; ++r) {
    const std::int32_t* line = in.map.row(r);
    for (int c = in.area.left; c <= in.area.right; ++c) {
      if (!inUnlockedPolygon(unlocked, line[c])) response(r, c) = kOutside;
    }
  }
  const PolygonResponses inputs{
      in.image, in.map, unlocked, in.k, in.inclusionSize, in.area, rowResponder(widestLaneWidth())};
  const std::size_t count = in.polygons.size();
  const int total = static_cast<int>(count);
  const std::vector<PolygonBox> boxes = polygonBoxes(in.map, count);
  for (std::size_t i = 0; i < count; ++i) {
    if (in.polygons[i].locked) continue;
    control.step(static_cast<int>(i), total,
                 "Polygone " + std::to_string(i + 1) + "/" + std::to_string(total));
    if (control.cancelled()) return false;
    respondPolygon(inputs, static_cast<std::int32_t>(i), boxes[i], response);
  }
  return true;
}

}  // namespace detection

std::vector<std::uint8_t> unlockedPixels(const PolygonIndexMap& map, const PolygonList& polygons) {
  const std::vector<std::uint8_t> unlocked = unlockedPolygons(polygons);
  std::vector<std::uint8_t> pixels(taps(map.rows()) * taps(map.columns()), 0);
  for (int r = 0; r < map.rows(); ++r) {
    const std::int32_t* line = map.row(r);
    for (int c = 0; c < map.columns(); ++c) {
      pixels[taps(r) * taps(map.columns()) + taps(c)] =
          inUnlockedPolygon(unlocked, line[c]) ? 1 : 0;
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

}  // namespace plk
