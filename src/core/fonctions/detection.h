#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/fonctions/polygon_map.h"
#include "core/grey_image.h"
#include "core/polygon_list.h"
#include "core/project.h"
#include "core/run_control.h"

namespace plk {

// The detector's sizes, as typed in its dialog.
struct DetectionParameters {
  int filterSize = 11;     // N_f, side of the derivative filters and of the tensor window
  int inclusionSize = 11;  // N_i, side of the window whose border must lie in the polygon
  int pointCount = 300;    // K, points kept per polygon
};

// The interest-point tables, one entry per left polygon.
struct InterestPointTables {
  std::vector<InterestPointList> interestPoints;
  std::vector<std::int32_t> interestPointCounts;
};

// Taps of the detector's filters: N_f, or 2h + 1 when h rounds (N_f - 1) / 2 up (N_f = 12,
// h = 6), so that every tap k = -h .. h has its place.
[[nodiscard]] int filterTaps(int filterSize);

// Gaussian smoothing G and derivative D (tap k at position k + h for k = -h .. h), normalised
// so that G sums to 1 and a unit ramp has derivative exactly 1, and the Gaussian window W
// (taps x taps, row-major) summing to 1. Taps beyond 2h (N_f = 10) are 0.
struct DetectorKernels {
  int size = 0;  // filterTaps(N_f)
  int h = 0;
  double sigma = 0.0;  // N_f / 4
  std::vector<double> G;
  std::vector<double> D;
  std::vector<double> W;
};

[[nodiscard]] DetectorKernels detectorKernels(int filterSize);

// The pixels that get a response: rows top .. bottom and columns left .. right, inclusive. The
// margin is max(h, h_i); for an even size it grows at the bottom so that the filter rows
// (r - h .. r - h + N_f - 1) and the inclusion rows stay inside the image.
struct ResponseArea {
  int top = 0;
  int bottom = -1;
  int left = 0;
  int right = -1;
  [[nodiscard]] bool empty() const { return bottom < top || right < left; }
  [[nodiscard]] bool contains(int row, int column) const {
    return row >= top && row <= bottom && column >= left && column <= right;
  }
};

[[nodiscard]] ResponseArea responseArea(const DetectionParameters& parameters, int rows,
                                        int columns);

// A rows x columns map of doubles, row-major.
struct DoubleMap {
  int rows = 0;
  int columns = 0;
  std::vector<double> values;

  DoubleMap() = default;
  DoubleMap(int rowCount, int columnCount, double fill)
      : rows(rowCount),
        columns(columnCount),
        values(static_cast<std::size_t>(rowCount) * static_cast<std::size_t>(columnCount), fill) {}
  [[nodiscard]] double& operator()(int r, int c) { return values[index(r, c)]; }
  [[nodiscard]] double operator()(int r, int c) const { return values[index(r, c)]; }
  // Pointer to (r, c), for passes along a row.
  [[nodiscard]] const double* at(int r, int c) const { return values.data() + index(r, c); }
  [[nodiscard]] std::size_t index(int r, int c) const {
    return static_cast<std::size_t>(r) * static_cast<std::size_t>(columns) +
           static_cast<std::size_t>(c);
  }
};

// The smaller eigenvalue of the symmetric matrix [[a, b], [b, c]].
[[nodiscard]] inline double smallerEigenvalue(double a, double b, double c) {
  return ((a + c) - std::sqrt((a - c) * (a - c) + 4.0 * b * b)) * 0.5;
}

// The interest points of every unlocked polygon from a response map: the local maxima (no
// neighbour within h strictly greater) in raster order, the first K kept and each later stronger
// one replacing the weakest kept (the first of equal weakest). Lists of locked polygons are
// left empty.
[[nodiscard]] std::vector<InterestPointList> selectInterestPoints(const DoubleMap& response,
                                                                  const PolygonIndexMap& map,
                                                                  const PolygonList& polygons,
                                                                  int h, int pointCount,
                                                                  const ResponseArea& area);

// Detects the interest points of every unlocked polygon of `polygons` in `image`. Locked
// polygons keep their entries of `previous` (an entry it lacks is empty). Reports a step per
// polygon; nothing when cancelled.
[[nodiscard]] std::optional<InterestPointTables> detectInterestPoints(
    const PolygonList& polygons, const GreyImage& image, const DetectionParameters& parameters,
    const InterestPointTables& previous, RunControl& control);

}  // namespace plk
