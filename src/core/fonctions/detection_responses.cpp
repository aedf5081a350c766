// The detector's responses: the tensor products from the derivative filters and the structure
// tensor's window sums in vector lanes, band by band, and the inclusion windows.

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/fonctions/detection_detail.h"
#include "core/fonctions/detection_filters.h"
#include "core/fonctions/sampling.h"
#include "core/lanes.h"

namespace plk {

using namespace detection;

namespace {

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
  void zeroOutside(Span rows, Span columns) {
    xx.zeroOutside(rows, columns);
    xy.zeroOutside(rows, columns);
    yy.zeroOutside(rows, columns);
  }
  void set(int r, int c, double x, double y) {
    *xx.at(r, c) = x * x;
    *xy.at(r, c) = x * y;
    *yy.at(r, c) = y * y;
  }
};

// The working rows of the derivative filters, kept from band to band.
struct DerivativeScratch {
  BandBuffer grey;
  BandBuffer smoothed;
  std::vector<double> vertical;
  std::vector<double> ix;
  std::vector<double> iy;
};

// What the tensor products of every band read, fixed for the run.
struct TensorInputs {
  const GreyImage& image;
  const PolygonIndexMap& map;
  const std::vector<std::uint8_t>& unlocked;
  const DetectorKernels& k;
  const FilterTaps& filters;
  ResponseArea area;
};

// Ix and Iy of row r over `columns` (scratch.ix, scratch.iy), -100000 outside every unlocked
// polygon, turned into the band's tensor products.
template <typename Lanes>
[[gnu::always_inline]] inline void fillTensorRow(const TensorInputs& in, int r, Span columns,
                                                 TensorBand& band, DerivativeScratch& scratch) {
  double* ix = scratch.ix.data();
  double* iy = scratch.iy.data();
  derivativeRow<Lanes>(scratch.grey, in.k, in.filters, scratch.smoothed, r, columns, ix, iy,
                       scratch.vertical);
  const std::int32_t* line = in.map.row(r) + columns.first;
  for (int j = 0; j < columns.count(); ++j) {
    if (!inUnlockedPolygon(in.unlocked, line[j])) ix[j] = iy[j] = kOutside;
  }
  double* xx = band.xx.at(r, columns.first);
  double* xy = band.xy.at(r, columns.first);
  double* yy = band.yy.at(r, columns.first);
  for (int j = 0; j < columns.count(); ++j) {
    xx[j] = ix[j] * ix[j];
    xy[j] = ix[j] * iy[j];
    yy[j] = iy[j] * iy[j];
  }
}

// The tensor products of the windows of the response pixels `rows` x `columns`: 0 outside the
// area, from derivatives of -100000 outside every unlocked polygon.
template <typename Lanes>
[[gnu::always_inline]] inline void fillTensorBand(const TensorInputs& in, Span rows, Span columns,
                                                  TensorBand& band, DerivativeScratch& scratch) {
  const DetectorKernels& k = in.k;
  const Span bandRows = widened(rows, k.h);
  const Span bandColumns = widened(columns, k.h);
  band.reset(bandRows, bandColumns);
  const Span derivativeRows = intersection(bandRows, {in.area.top, in.area.bottom});
  const Span derivativeColumns = intersection(bandColumns, {in.area.left, in.area.right});
  band.zeroOutside(derivativeRows, derivativeColumns);
  greyRows(in.image, k, derivativeRows, derivativeColumns, scratch.grey);
  smoothRows<Lanes>(scratch.grey, k, in.filters, derivativeRows, derivativeColumns,
                    scratch.smoothed);
  scratch.ix.resize(taps(derivativeColumns.count()));
  scratch.iy.resize(taps(derivativeColumns.count()));
  for (int r = derivativeRows.first; r <= derivativeRows.last; ++r) {
    fillTensorRow<Lanes>(in, r, derivativeColumns, band, scratch);
  }
}

void fillTensorBandIn2Lanes(const TensorInputs& in, Span rows, Span columns, TensorBand& band,
                            DerivativeScratch& scratch) {
  fillTensorBand<Lanes2>(in, rows, columns, band, scratch);
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] void fillTensorBandIn4Lanes(const TensorInputs& in, Span rows, Span columns,
                                                    TensorBand& band, DerivativeScratch& scratch) {
  fillTensorBand<Lanes4>(in, rows, columns, band, scratch);
}

[[gnu::target("avx512f")]] void fillTensorBandIn8Lanes(const TensorInputs& in, Span rows,
                                                       Span columns, TensorBand& band,
                                                       DerivativeScratch& scratch) {
  fillTensorBand<Lanes8>(in, rows, columns, band, scratch);
}
#endif

using TensorFiller = void (*)(const TensorInputs&, Span, Span, TensorBand&, DerivativeScratch&);

// The filler built for the widest vectors of `laneWidth` doubles.
TensorFiller tensorFiller(int laneWidth) {
  switch (laneWidth) {
#if defined(__x86_64__)
    case 4:
      return fillTensorBandIn4Lanes;
    case 8:
      return fillTensorBandIn8Lanes;
#endif
    default:
      return fillTensorBandIn2Lanes;
  }
}

// The working rows of the inclusion test, kept from row to row.
struct InclusionScratch {
  std::vector<std::int32_t> fullColumn;  // 32-bit flags like the map's indices: no packing
  std::vector<std::uint8_t> top;
  std::vector<std::uint8_t> bottom;
  std::vector<std::uint8_t> holds;
};

// Whether each window of `width` columns of the map's row `row` within `wide` lies in polygon y
// (`wide.count() - width + 1` flags, one per first column), from the row's runs of y.
void rowWindowsIn(const PolygonIndexMap& map, std::int32_t y, int row, Span wide, int width,
                  std::vector<std::uint8_t>& inside) {
  inside.assign(taps(wide.count() - width + 1), 0);
  const std::int32_t* line = map.row(row) + wide.first;
  for (int j = 0; j < wide.count(); ++j) {
    if (line[j] != y) continue;
    const int first = j;
    while (j < wide.count() && line[j] == y) ++j;
    if (j - first >= width) {
      std::fill(inside.begin() + first, inside.begin() + (j - width + 1), std::uint8_t{1});
    }
  }
}

// Whether the border of the N_i window around each pixel (r, c) of `columns` lies in polygon y:
// its left and right columns over rows r - h_i .. r - h_i + N_i - 1, and its top and bottom rows
// over c - h_i .. c + h_i. Computed for the whole row at once into scratch.holds: which columns
// are full of y over those rows, and which windows of the top and bottom rows lie in y.
void inclusionRow(const PolygonIndexMap& map, std::int32_t y, int r, int size, Span columns,
                  InclusionScratch& scratch) {
  const int hi = halfWidth(size);
  const Span wide = widened(columns, hi);
  scratch.fullColumn.assign(taps(wide.count()), 1);
  std::int32_t* fullColumn = scratch.fullColumn.data();
  const int count = wide.count();
  for (int a = 0; a < size; ++a) {
    const std::int32_t* line = map.row(r - hi + a) + wide.first;
    for (int j = 0; j < count; ++j) fullColumn[j] &= line[j] == y ? 1 : 0;
  }
  rowWindowsIn(map, y, r - hi, wide, 2 * hi + 1, scratch.top);
  rowWindowsIn(map, y, r + hi, wide, 2 * hi + 1, scratch.bottom);
  scratch.holds.resize(taps(columns.count()));
  for (int j = 0; j < columns.count(); ++j) {
    const std::size_t at = taps(j);
    scratch.holds[at] = static_cast<std::uint8_t>(fullColumn[at] & fullColumn[at + taps(2 * hi)] &
                                                  scratch.top[at] & scratch.bottom[at]);
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
  InclusionScratch scratch;
  for (int r = rows.first; r <= rows.last; ++r) {
    inclusionRow(map, polygon, r, inclusionSize, columns, scratch);
    respond({products, map, polygon, k, scratch.holds.data(), columns, r, response});
  }
}

// Bounding rows and columns of a polygon index in the map, empty when absent.
struct PolygonBox {
  Span rows{std::numeric_limits<int>::max(), -1};
  Span columns{std::numeric_limits<int>::max(), -1};
};

// The end of the run of equal indices that starts at column c of `line` (`columns` long).
int runEnd(const std::int32_t* line, int c, int columns) {
  const std::int32_t index = line[c];
  while (c < columns && line[c] == index) ++c;
  return c;
}

// The bounding boxes of the polygons of the map, and -100000 at the pixels of the area in no
// unlocked polygon; one pass over the map, a run of equal indices at a time.
std::vector<PolygonBox> boxesAndOutside(const PolygonIndexMap& map,
                                        const std::vector<std::uint8_t>& unlocked,
                                        const ResponseArea& area, DoubleMap& response) {
  std::vector<PolygonBox> boxes(unlocked.size());
  for (int r = 0; r < map.rows(); ++r) {
    const std::int32_t* line = map.row(r);
    for (int c = 0, end = 0; c < map.columns(); c = end) {
      end = runEnd(line, c, map.columns());
      if (line[c] >= 0) {
        PolygonBox& box = boxes[static_cast<std::size_t>(line[c])];
        box.rows.first = std::min(box.rows.first, r);
        box.rows.last = r;
        box.columns.first = std::min(box.columns.first, c);
        box.columns.last = std::max(box.columns.last, end - 1);
      }
      const Span outside = intersection({c, end - 1}, {area.left, area.right});
      if (r >= area.top && r <= area.bottom && !outside.empty() &&
          !inUnlockedPolygon(unlocked, line[c])) {
        std::fill_n(&response(r, outside.first), outside.count(), kOutside);
      }
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
  const FilterTaps& filters;
  int inclusionSize;
  ResponseArea area;
  RowResponder respond;
  TensorFiller fill;
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
    const TensorInputs tensorInputs{in.image, in.map, in.unlocked, in.k, in.filters, in.area};
    TensorBand products;
    DerivativeScratch scratch;
    for (int b = firstBand; b <= lastBand; ++b) {
      const Span band{rows.first + b * kBandRows,
                      std::min(rows.first + (b + 1) * kBandRows - 1, rows.last)};
      in.fill(tensorInputs, band, columns, products, scratch);
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
  const std::vector<PolygonBox> boxes = boxesAndOutside(in.map, unlocked, in.area, response);
  const int laneWidth = widestLaneWidth();
  const FilterTaps filters(in.k);
  const PolygonResponses inputs{in.image,
                                in.map,
                                unlocked,
                                in.k,
                                filters,
                                in.inclusionSize,
                                in.area,
                                rowResponder(laneWidth),
                                tensorFiller(laneWidth)};
  const std::size_t count = in.polygons.size();
  const int total = static_cast<int>(count);
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
  const FilterTaps filters(k);
  BandBuffer grey;
  greyRows(image, k, rows, columns, grey);
  BandBuffer smoothed;
  smoothRows<Lanes2>(grey, k, filters, rows, columns, smoothed);
  parallelFor(taps(rows.count()), [&](std::size_t i) {
    const int r = rows.first + static_cast<int>(i);
    double* ix = &d.ix(r, columns.first);
    double* iy = &d.iy(r, columns.first);
    std::vector<double> vertical;
    derivativeRow<Lanes2>(grey, k, filters, smoothed, r, columns, ix, iy, vertical);
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
