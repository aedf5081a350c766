#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/fonctions/detection.h"
#include "core/fonctions/polygon_map.h"
#include "core/grey_image.h"
#include "core/polygon_list.h"
#include "core/project.h"
#include "core/run_control.h"

namespace plk {

// The matcher's settings, as typed in its dialog.
struct MatchParameters {
  int windowSize = 11;  // N, side of the correlation window
  int p1 = 10;          // rows searched above the point
  int p2 = 10;          // rows searched below the point
  int q1 = 30;          // columns searched left of the point
  int q2 = 10;          // columns searched right of the point
  int flexibility = 1;  // s, in pixels; -1 switches the bidirectional check off
  double precision = 0.1;
  double threshold = 0.97;
};

// Inclusive integer rectangle: first column, first row, last column, last row.
struct Rect {
  int left = 0;
  int top = 0;
  int right = -1;
  int bottom = -1;
  [[nodiscard]] int width() const { return right - left + 1; }
  [[nodiscard]] int height() const { return bottom - top + 1; }
};

// One image as the matcher reads it, prepared once per run: its pixel values as doubles, its
// polygons and their index map.
struct MatchingImage {
  MatchingImage(const GreyImage& image, const PolygonList& polygons);

  [[nodiscard]] double at(int row, int column) const {
    return pixels[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) +
                  static_cast<std::size_t>(column)];
  }
  [[nodiscard]] const double* row(int r) const {
    return pixels.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(columns);
  }

  int rows = 0;
  int columns = 0;
  std::vector<double> pixels;
  const PolygonList& polygons;
  PolygonIndexMap polygonMap;
};

// The match tables, one entry per left polygon.
struct MatchTables {
  std::vector<InterestPointList> matches;
  std::vector<std::int32_t> matchCounts;
};

// The best window position of `search` in image b for the window `window` of image a, by
// centred normalised cross-correlation, among the positions whose whole window lies in one
// region of b's polygons (one polygon, or none). The record's u, v are the window centre, its
// ordinal the position's number in raster order; score -1 when no position qualifies.
[[nodiscard]] InterestPoint searchBestPosition(const Rect& window, const Rect& search,
                                               const MatchingImage& a, const MatchingImage& b);

// The match of the left window in the right search rectangle: forward search, optional reverse
// check within s pixels, sub-pixel refinement by bicubic interpolation. Score -1 when refused.
[[nodiscard]] InterestPoint matchPoint(const MatchingImage& left, const MatchingImage& right,
                                       const Rect& leftWindow, const Rect& search,
                                       const MatchParameters& parameters);

// The match of one interest point (row u, column v), kept when its score reaches the threshold.
// Nothing when its window leaves the left image or the match is refused.
[[nodiscard]] std::optional<InterestPoint> matchInterestPoint(const MatchingImage& left,
                                                              const MatchingImage& right,
                                                              const InterestPoint& point,
                                                              const MatchParameters& parameters);

// Matches the interest points of every unlocked left polygon, points spread over the parallel
// loop. Entries of locked polygons (and of table entries beyond the polygon list) are those of
// `previous`. Reports a step per block of points; nothing when cancelled.
[[nodiscard]] std::optional<MatchTables> matchInterestPoints(
    const MatchingImage& left, const MatchingImage& right,
    const std::vector<InterestPointList>& interestPoints, const MatchTables& previous,
    const MatchParameters& parameters, RunControl& control);

}  // namespace plk
