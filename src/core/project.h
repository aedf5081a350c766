#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/grey_image.h"
#include "core/polygon_list.h"

namespace plk {

// One record for interest points, matches and correlation samples. u is a row, v a column.
struct InterestPoint {
  std::int32_t ordinal = 0;  // position of the chosen candidate (matches)
  double score = 0.0;        // detector response or correlation score; -100 marks a discarded point
  double u = 0.0;
  double v = 0.0;
  double leftU = 0.0;  // left-image position of a match's interest point
  double leftV = 0.0;
};

using InterestPointList = std::vector<InterestPoint>;

// 3 x 3 doubles, row-major, mapping (u, v, 1) of the left image to the right image.
using Homography = std::array<double, 9>;

// What the estimation run records for one polygon.
struct PolygonEstimation {
  double nonLinearCostBefore = 0.0;
  double nonLinearCostAfter = 0.0;
  double nonLinearStatus = 0.0;
  double inlierCount = 0.0;
  double robustStatus = 0.0;
  double robustNonLinearCostBefore = 0.0;
  double robustNonLinearCostAfter = 0.0;
  double robustNonLinearStatus = 0.0;
};

// Results of the tools, one entry per left polygon (by position in the left list), and the
// three stage flags that chain detection, matching and estimation.
struct ToolResults {
  std::vector<InterestPointList> interestPoints;
  std::vector<std::int32_t> interestPointCounts;
  std::vector<InterestPointList> matches;
  std::vector<std::int32_t> matchCounts;
  std::vector<Homography> linearHomographies;
  std::vector<Homography> nonLinearHomographies;
  std::vector<Homography> robustHomographies;
  std::vector<Homography> robustNonLinearHomographies;
  std::vector<PolygonEstimation> polygonEstimations;
  std::vector<InterestPointList> inlierMatches;
  // Per left polygon, the fingerprint of the polygons each stage's results were computed from
  // (core/freshness): a later tool refuses the results of a polygon changed since.
  std::vector<std::uint64_t> detectedFrom;
  std::vector<std::uint64_t> matchedFrom;
  std::vector<std::uint64_t> estimatedFrom;
  bool pointsDetected = false;
  bool pointsMatched = false;
  bool homographiesEstimated = false;

  void clearFlags() { pointsDetected = pointsMatched = homographiesEstimated = false; }
};

// One image of the stereo pair with its polygons and gradient matrices.
struct ImageSide {
  GreyImage image;
  PolygonList polygons;
  IntMatrix gradientX;
  IntMatrix gradientY;
};

// The open project: identity, both images and the results of the tools. No GUI state.
struct Project {
  std::string projectName;
  std::string leftImagePath;
  std::string rightImagePath;
  ImageSide left;
  ImageSide right;
  std::int32_t imageWidth = 0;
  std::int32_t imageHeight = 0;
  ToolResults results;
};

}  // namespace plk
