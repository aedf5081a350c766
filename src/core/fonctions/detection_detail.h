#pragma once

// The detector's pieces that its two source files share, and the stages the tests check one by
// one; the programs include detection.h only.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/fonctions/detection.h"
#include "core/parallel.h"

namespace plk {

// Whether each pixel lies in an unlocked polygon (1) or not (0), from the polygon map.
[[nodiscard]] std::vector<std::uint8_t> unlockedPixels(const PolygonIndexMap& map,
                                                       const PolygonList& polygons);

// Ix (along the columns) and Iy (along the rows) of every pixel: 0 outside the area, -100000 in
// the area outside every unlocked polygon, else the filtered value.
struct DerivativeMaps {
  DoubleMap ix;
  DoubleMap iy;
};

[[nodiscard]] DerivativeMaps computeDerivatives(const GreyImage& image,
                                                const std::vector<std::uint8_t>& unlocked,
                                                const DetectorKernels& kernels,
                                                const ResponseArea& area);

// The detector response of every pixel of the area in polygon `polygon` whose N_i window border
// lies in that polygon (the smaller eigenvalue of the W-weighted structure tensor); -100000 for
// the others of that polygon. Pixels of other polygons are left as they are. The window sums of
// neighbouring pixels run in the lanes of the widest vectors the processor offers.
void computePolygonResponses(const DerivativeMaps& derivatives, const PolygonIndexMap& map,
                             std::int32_t polygon, const DetectorKernels& kernels,
                             int inclusionSize, const ResponseArea& area, DoubleMap& response);

// The same with the sums in vectors of `laneWidth` doubles, one of responseLaneWidths(); every
// width gives the same responses bit for bit.
void computePolygonResponses(const DerivativeMaps& derivatives, const PolygonIndexMap& map,
                             std::int32_t polygon, const DetectorKernels& kernels,
                             int inclusionSize, const ResponseArea& area, DoubleMap& response,
                             int laneWidth);

// The lane widths of the response sums this processor runs, narrowest first: 1 (pixel by pixel)
// and 2 always, 4 and 8 where the processor has the instructions.
[[nodiscard]] std::vector<int> responseLaneWidths();

namespace detection {

// Derivatives and responses of pixels outside every unlocked polygon, and responses of pixels
// whose inclusion window leaves their polygon.
constexpr double kOutside = -100000.0;

inline std::size_t taps(int size) { return static_cast<std::size_t>(size); }

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

inline Span intersection(Span a, Span b) {
  return {std::max(a.first, b.first), std::min(a.last, b.last)};
}

inline Span widened(Span span, int margin) { return {span.first - margin, span.last + margin}; }

// Rows `rows` and columns `columns` of a map of doubles. Its storage is kept from band to band
// and never zeroed: every user writes a position before reading it.
class BandBuffer {
 public:
  void reset(Span rows, Span columns) {
    rows_ = rows;
    columns_ = columns;
    const std::size_t size = taps(rows.count()) * taps(columns.count());
    if (capacity_ < size) {
      values_ = std::make_unique_for_overwrite<double[]>(size);
      capacity_ = size;
    }
  }
  // Zeros at every position of the buffer outside `rows` x `columns`.
  void zeroOutside(Span rows, Span columns) {
    for (int r = rows_.first; r <= rows_.last; ++r) {
      double* line = at(r, columns_.first);
      if (r < rows.first || r > rows.last) {
        std::fill_n(line, columns_.count(), 0.0);
        continue;
      }
      std::fill(line, line + (columns.first - columns_.first), 0.0);
      std::fill(line + (columns.last + 1 - columns_.first), line + columns_.count(), 0.0);
    }
  }
  [[nodiscard]] double* at(int r, int c) { return values_.get() + index(r, c); }
  [[nodiscard]] const double* at(int r, int c) const { return values_.get() + index(r, c); }

 private:
  [[nodiscard]] std::size_t index(int r, int c) const {
    return taps(r - rows_.first) * taps(columns_.count()) + taps(c - columns_.first);
  }
  Span rows_;
  Span columns_;
  std::unique_ptr<double[]> values_;
  std::size_t capacity_ = 0;
};

// Whether each polygon of the list is unlocked.
[[nodiscard]] std::vector<std::uint8_t> unlockedPolygons(const PolygonList& polygons);

inline bool inUnlockedPolygon(const std::vector<std::uint8_t>& unlocked, std::int32_t polygon) {
  return polygon >= 0 && unlocked[static_cast<std::size_t>(polygon)] != 0;
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

// What the responses of every polygon read.
struct ResponseInputs {
  const GreyImage& image;
  const PolygonIndexMap& map;
  const PolygonList& polygons;
  const DetectorKernels& k;
  int inclusionSize;
  ResponseArea area;
};

// The responses of every unlocked polygon of the area into `response` (kOutside at the pixels
// of no unlocked polygon), in bands of rows shared by the polygons they meet, in the widest
// lanes; reports a step per unlocked polygon, after which the bands of its box are done, and
// returns false when cancelled.
[[nodiscard]] bool respondPolygons(const ResponseInputs& in, DoubleMap& response,
                                   RunControl& control);

}  // namespace detection
}  // namespace plk
