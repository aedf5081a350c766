#pragma once

// The detector's derivative filters over bands of rows: templates on the vector type, inlined
// into one function per lane width (the tensor fillers of detection_responses.cpp) so that they
// run in the widest vectors; every pixel still sums its taps in the specified order.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/fonctions/detection_detail.h"
#include "core/lanes.h"

namespace plk::detection {

// The working rows of the derivative filters, kept from band to band.
struct DerivativeScratch {
  BandBuffer grey;
  BandBuffer smoothed;
  std::vector<double> vertical;
  std::vector<double> ix;
  std::vector<double> iy;
};

// The rows the filters read for the rows `rows`: r - h .. r - h + N_f - 1 around each.
inline Span filterRows(const DetectorKernels& k, Span rows) {
  return {rows.first - k.h, rows.last - k.h + k.size - 1};
}

// The grey levels that the derivatives of `rows` x `columns` read, as doubles, which the filters
// read a vector at a time.
[[gnu::always_inline]] inline void greyRows(const GreyImage& image, const DetectorKernels& k,
                                            Span rows, Span columns, BandBuffer& grey) {
  const Span needed = filterRows(k, rows);
  const Span wide = widened(columns, k.h);
  grey.reset(needed, wide);
  for (int r = needed.first; r <= needed.last; ++r) {
    const std::uint8_t* in = image.row(r) + wide.first;
    double* out = grey.at(r, wide.first);
    for (int j = 0; j < wide.count(); ++j) out[j] = static_cast<double>(in[j]);
  }
}

// out[j] = sum over t = 0 .. tapCount - 1 of weights[t] * first[t * stride + j] for j = 0 ..
// count - 1, the taps added in order from 0.0. Four vectors of columns at a time keep the sums
// in registers across the taps, then single vectors, then single columns.
template <typename Lanes>
[[gnu::always_inline]] inline void filterColumns(const double* first, std::ptrdiff_t stride,
                                                 const double* weights, int tapCount, int count,
                                                 double* out) {
  constexpr int kWidth = sizeof(Lanes) / sizeof(double);
  constexpr int kVectors = 4;
  int j = 0;
  for (; j + kVectors * kWidth <= count; j += kVectors * kWidth) {
    Lanes sums[kVectors] = {};
    for (int t = 0; t < tapCount; ++t) {
      const double* in = first + t * stride + j;
#pragma GCC unroll 4
      for (int v = 0; v < kVectors; ++v) {
        Lanes values;
        loadLanes(values, in + v * kWidth);
        sums[v] += weights[t] * values;
      }
    }
    std::memcpy(out + j, sums, sizeof sums);
  }
  for (; j + kWidth <= count; j += kWidth) {
    Lanes sum = {};
    for (int t = 0; t < tapCount; ++t) {
      Lanes values;
      loadLanes(values, first + t * stride + j);
      sum += weights[t] * values;
    }
    std::memcpy(out + j, &sum, sizeof sum);
  }
  for (; j < count; ++j) {
    double sum = 0.0;
    for (int t = 0; t < tapCount; ++t) sum += weights[t] * first[t * stride + j];
    out[j] = sum;
  }
}

// G and D in the order the filters apply them: tap t weighs the sample at offset t - h.
struct FilterTaps {
  std::vector<double> smoothing;
  std::vector<double> derivative;

  explicit FilterTaps(const DetectorKernels& k)
      : smoothing(k.G.rbegin(), k.G.rend()), derivative(k.D.rbegin(), k.D.rend()) {}
};

// Horizontal smoothing of image row r over `columns`: sum over b = -h .. h of
// I[r][c + b] * G[N_f - 1 - (b + h)].
template <typename Lanes>
[[gnu::always_inline]] inline void smoothRow(const BandBuffer& grey, const DetectorKernels& k,
                                             const FilterTaps& filters, int r, Span columns,
                                             double* out) {
  filterColumns<Lanes>(grey.at(r, columns.first - k.h), 1, filters.smoothing.data(), 2 * k.h + 1,
                       columns.count(), out);
}

// The horizontally smoothed rows that Iy reads for the rows `rows`, over `columns`.
template <typename Lanes>
[[gnu::always_inline]] inline void smoothRows(const BandBuffer& grey, const DetectorKernels& k,
                                              const FilterTaps& filters, Span rows, Span columns,
                                              BandBuffer& smoothed) {
  const Span needed = filterRows(k, rows);
  smoothed.reset(needed, columns);
  for (int r = needed.first; r <= needed.last; ++r) {
    smoothRow<Lanes>(grey, k, filters, r, columns, smoothed.at(r, columns.first));
  }
}

// Ix (along the columns) and Iy (along the rows) of row r over `columns`: Ix sums the vertical
// smoothing sum over a = 0 .. N_f - 1 of I[r - h + a][c] * G[N_f - 1 - a] through D along the
// row, Iy sums the horizontally smoothed rows through D down the column. `vertical` is scratch.
template <typename Lanes>
[[gnu::always_inline]] inline void derivativeRow(const BandBuffer& grey, const DetectorKernels& k,
                                                 const FilterTaps& filters,
                                                 const BandBuffer& smoothed, int r, Span columns,
                                                 double* ix, double* iy,
                                                 std::vector<double>& vertical) {
  const Span wide = widened(columns, k.h);
  vertical.resize(taps(wide.count()));
  const double* top = grey.at(r - k.h, wide.first);
  filterColumns<Lanes>(top, grey.at(r - k.h + 1, wide.first) - top, filters.smoothing.data(),
                       k.size, wide.count(), vertical.data());
  filterColumns<Lanes>(vertical.data(), 1, filters.derivative.data(), 2 * k.h + 1, columns.count(),
                       ix);
  const double* smoothedTop = smoothed.at(r - k.h, columns.first);
  filterColumns<Lanes>(smoothedTop, smoothed.at(r - k.h + 1, columns.first) - smoothedTop,
                       filters.derivative.data(), k.size, columns.count(), iy);
}

}  // namespace plk::detection
