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

// What the tensor products of every band read, fixed for the run.
struct TensorInputs {
  const GreyImage& image;
  const PolygonIndexMap& map;
  const std::vector<std::uint8_t>& unlocked;
  const DetectorKernels& k;
  const FilterTaps& filters;
  ResponseArea area;
};

// The end of the run of equal indices that starts at column c of `line` (`columns` long).
int runEnd(const std::int32_t* line, int c, int columns) {
  const std::int32_t index = line[c];
  while (c < columns && line[c] == index) ++c;
  return c;
}

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
  for (int j = 0, end = 0; j < columns.count(); j = end) {
    end = runEnd(line, j, columns.count());
    if (inUnlockedPolygon(in.unlocked, line[j])) continue;
    std::fill(ix + j, ix + end, kOutside);
    std::fill(iy + j, iy + end, kOutside);
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

// What respondRows does with each pixel of a row: nothing (a pixel of no polygon it responds
// to), -100000 (its inclusion window leaves its polygon), or the window sums.
enum PixelState : std::uint8_t { kLeave, kOutsideWindow, kRespond };

// The working rows of the inclusion test, kept from row to row.
struct InclusionScratch {
  // Per column of the widened row: how many rows down to `runsRow` hold the index of `runsRow`
  // (counted from the band's first window row on), 32-bit like the map's indices.
  std::vector<std::int32_t> runs;
  int runsRow = 0;
  std::vector<std::uint8_t> top;
  std::vector<std::uint8_t> bottom;
  std::vector<std::uint8_t> states;  // PixelState per column
};

// Whether each window of `width` columns of the map's row `row` within `wide` holds one index
// only (`wide.count() - width + 1` flags, one per first column), from the row's runs.
void uniformWindows(const PolygonIndexMap& map, int row, Span wide, int width,
                    std::vector<std::uint8_t>& uniform) {
  uniform.assign(taps(wide.count() - width + 1), 0);
  const std::int32_t* line = map.row(row) + wide.first;
  for (int first = 0, end = 0; first < wide.count(); first = end) {
    end = runEnd(line, first, wide.count());
    if (end - first >= width) {
      std::fill(uniform.begin() + first, uniform.begin() + (end - width + 1), std::uint8_t{1});
    }
  }
}

// Starts the column runs of scratch at the map's row `row` over `wide`.
void startColumnRuns(Span wide, int row, InclusionScratch& scratch) {
  scratch.runs.assign(taps(wide.count()), 1);
  scratch.runsRow = row;
}

// Carries the column runs of scratch down to the map's row `row`, one row at a time.
void advanceColumnRuns(const PolygonIndexMap& map, Span wide, int row, InclusionScratch& scratch) {
  std::int32_t* runs = scratch.runs.data();
  for (; scratch.runsRow < row; ++scratch.runsRow) {
    const std::int32_t* above = map.row(scratch.runsRow) + wide.first;
    const std::int32_t* line = map.row(scratch.runsRow + 1) + wide.first;
    for (int j = 0; j < wide.count(); ++j) runs[j] = line[j] == above[j] ? runs[j] + 1 : 1;
  }
}

// The state of each pixel (r, c) of `columns`: kLeave outside the polygons of `respondTo`, else
// kRespond when the border of its N_i window lies in its polygon y (its left and right columns
// over rows r - h_i .. r - h_i + N_i - 1, its top and bottom rows over c - h_i .. c + h_i), else
// kOutsideWindow. Computed for the whole row at once: which columns hold one index over those
// rows (their runs, started at the band's first window row), which windows of the top and
// bottom rows hold one index, and whether that index is y.
void inclusionRow(const PolygonIndexMap& map, const std::vector<std::uint8_t>& respondTo, int r,
                  int size, Span columns, InclusionScratch& scratch) {
  const int hi = halfWidth(size);
  const Span wide = widened(columns, hi);
  const std::int32_t* top = map.row(r - hi) + wide.first;
  const std::int32_t* bottom = map.row(r + hi) + wide.first;
  const std::int32_t* centre = map.row(r) + columns.first;
  advanceColumnRuns(map, wide, r - hi + size - 1, scratch);
  const std::int32_t* runs = scratch.runs.data();
  uniformWindows(map, r - hi, wide, 2 * hi + 1, scratch.top);
  uniformWindows(map, r + hi, wide, 2 * hi + 1, scratch.bottom);
  scratch.states.resize(taps(columns.count()));
  std::uint8_t* states = scratch.states.data();
  for (int j = 0; j < columns.count(); ++j) {
    const int left = j;
    const int right = j + 2 * hi;
    const std::int32_t y = centre[j];
    const bool holds = (runs[left] >= size) & (runs[right] >= size) &
                       (scratch.top[taps(left)] != 0) & (scratch.bottom[taps(left)] != 0) &
                       (top[left] == y) & (top[right] == y) & (bottom[left] == y);
    states[j] = holds ? kRespond : kOutsideWindow;
  }
  // Whether the polygon responds, once per run of equal indices.
  for (int j = 0, end = 0; j < columns.count(); j = end) {
    end = runEnd(centre, j, columns.count());
    if (!inUnlockedPolygon(respondTo, centre[j])) std::fill(states + j, states + end, kLeave);
  }
}

// The window sums of one row: its pixels of `columns` in state kRespond.
struct ResponseRow {
  const TensorBand& products;
  const DetectorKernels& k;
  const std::uint8_t* states;  // PixelState per column of `columns`
  Span columns;
  int r;
  DoubleMap& response;

  [[nodiscard]] bool responds(int c) const { return states[c - columns.first] == kRespond; }
};

// The W-weighted sums of Ix^2, Ix Iy and Iy^2 over the window of one pixel, taps in row order.
void respondPixel(const ResponseRow& row, int c) {
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
    row.response(row.r, first + p) = smallerEigenvalue(a[p], b[p], cc[p]);
  }
}

// The end of the run of the row's pixels in state kRespond that starts at or after column c
// (columns.last + 1 when none), and its first column in `first`. A plain function: a lambda in
// a function built for wider vectors would be built for the default processor.
int nextRun(const ResponseRow& row, int c, int& first) {
  while (c <= row.columns.last && !row.responds(c)) ++c;
  first = c;
  while (c <= row.columns.last && row.responds(c)) ++c;
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

// The responses of the polygons of `respondTo` over `rows` and `columns`, row after row.
void respondRows(const TensorBand& products, const PolygonIndexMap& map,
                 const std::vector<std::uint8_t>& respondTo, const DetectorKernels& k,
                 int inclusionSize, Span rows, Span columns, RowResponder respond,
                 DoubleMap& response) {
  InclusionScratch scratch;
  const int hi = halfWidth(inclusionSize);
  startColumnRuns(widened(columns, hi), rows.first - hi, scratch);
  for (int r = rows.first; r <= rows.last; ++r) {
    inclusionRow(map, respondTo, r, inclusionSize, columns, scratch);
    for (int c = columns.first; c <= columns.last; ++c) {
      if (scratch.states[taps(c - columns.first)] == kOutsideWindow) response(r, c) = kOutside;
    }
    respond({products, k, scratch.states.data(), columns, r, response});
  }
}

// Bounding rows and columns of a polygon index in the map, empty when absent.
struct PolygonBox {
  Span rows{std::numeric_limits<int>::max(), -1};
  Span columns{std::numeric_limits<int>::max(), -1};
};

// A flag per index of the map (and up to `polygon`), set for `polygon` only.
std::vector<std::uint8_t> onlyPolygon(const PolygonIndexMap& map, std::int32_t polygon) {
  std::vector<std::uint8_t> flags(taps(polygon) + 1, 0);
  for (int r = 0; r < map.rows(); ++r) {
    const std::int32_t* line = map.row(r);
    for (int c = 0; c < map.columns(); ++c) {
      if (taps(line[c]) >= flags.size() && line[c] >= 0) flags.resize(taps(line[c]) + 1, 0);
    }
  }
  flags[taps(polygon)] = 1;
  return flags;
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

// What the responses of every band read, fixed for the run.
struct BandResponses {
  const GreyImage& image;
  const PolygonIndexMap& map;
  const std::vector<std::uint8_t>& unlocked;
  const std::vector<PolygonBox>& boxes;
  const DetectorKernels& k;
  const FilterTaps& filters;
  int inclusionSize;
  ResponseArea area;
  RowResponder respond;
  TensorFiller fill;

  // Band b's rows of the area: kBandRows rows, the last band fewer.
  [[nodiscard]] Span bandRows(int b) const {
    return {area.top + b * kBandRows, std::min(area.top + (b + 1) * kBandRows - 1, area.bottom)};
  }
  // The area's columns of the unlocked polygons whose boxes meet `rows`, empty when none.
  [[nodiscard]] Span bandColumns(Span rows) const {
    Span columns{std::numeric_limits<int>::max(), -1};
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      if (unlocked[i] == 0 || intersection(boxes[i].rows, rows).empty()) continue;
      columns.first = std::min(columns.first, boxes[i].columns.first);
      columns.last = std::max(columns.last, boxes[i].columns.last);
    }
    return intersection(columns, {area.left, area.right});
  }
};

// The responses of every unlocked polygon over the bands `bands`: each band's derivatives and
// tensor products computed once, with their halo, for all the polygons it meets.
void respondBands(const BandResponses& in, const std::vector<int>& bands, DoubleMap& response) {
  parallelGroups(static_cast<int>(bands.size()), [&](int firstBand, int lastBand) {
    const TensorInputs tensorInputs{in.image, in.map, in.unlocked, in.k, in.filters, in.area};
    TensorBand products;
    DerivativeScratch scratch;
    for (int b = firstBand; b <= lastBand; ++b) {
      const Span rows = in.bandRows(bands[taps(b)]);
      const Span columns = in.bandColumns(rows);
      if (columns.empty()) continue;
      in.fill(tensorInputs, rows, columns, products, scratch);
      respondRows(products, in.map, in.unlocked, in.k, in.inclusionSize, rows, columns, in.respond,
                  response);
    }
  });
}

// The bands that meet `rows` and are not done yet, marked done.
std::vector<int> bandsToDo(Span rows, const ResponseArea& area, std::vector<std::uint8_t>& done) {
  std::vector<int> bands;
  const Span inArea = intersection(rows, {area.top, area.bottom});
  if (inArea.empty()) return bands;
  for (int b = (inArea.first - area.top) / kBandRows; b <= (inArea.last - area.top) / kBandRows;
       ++b) {
    if (done[taps(b)] != 0) continue;
    done[taps(b)] = 1;
    bands.push_back(b);
  }
  return bands;
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
  const BandResponses inputs{in.image,
                             in.map,
                             unlocked,
                             boxes,
                             in.k,
                             filters,
                             in.inclusionSize,
                             in.area,
                             rowResponder(laneWidth),
                             tensorFiller(laneWidth)};
  std::vector<std::uint8_t> done(taps((in.area.bottom - in.area.top + kBandRows) / kBandRows), 0);
  const std::size_t count = in.polygons.size();
  const int total = static_cast<int>(count);
  // A step per unlocked polygon, after which the bands of its box are done, with every other
  // polygon they meet.
  for (std::size_t i = 0; i < count; ++i) {
    if (in.polygons[i].locked) continue;
    control.step(static_cast<int>(i), total,
                 "Polygone " + std::to_string(i + 1) + "/" + std::to_string(total));
    if (control.cancelled()) return false;
    respondBands(inputs, bandsToDo(boxes[i].rows, in.area, done), response);
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
  respondRows(products, map, onlyPolygon(map, polygon), kernels, inclusionSize,
              {area.top, area.bottom}, {area.left, area.right}, rowResponder(laneWidth), response);
}

void computePolygonResponses(const DerivativeMaps& derivatives, const PolygonIndexMap& map,
                             std::int32_t polygon, const DetectorKernels& kernels,
                             int inclusionSize, const ResponseArea& area, DoubleMap& response) {
  computePolygonResponses(derivatives, map, polygon, kernels, inclusionSize, area, response,
                          widestLaneWidth());
}

}  // namespace plk
