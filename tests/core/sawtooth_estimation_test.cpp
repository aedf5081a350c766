// Accuracy of the estimated homographies on a real pair: three planar regions of Sawtooth,
// detected and matched with the default parameters, measured against the ground truth.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "core/fonctions/detection.h"
#include "core/fonctions/matching.h"
#include "core/runs/estime.h"
#include "middlebury.h"
#include "numeric/optim.h"
#include "run_test_support.h"

namespace plk {
namespace {

// Mean absolute difference between the disparity a homography gives at the inlier left points
// (left column minus transferred column) and the ground truth there, known points only.
double meanDisparityError(const Homography& h, const InterestPointList& inliers,
                          const test::StereoScene& scene) {
  double sum = 0.0;
  int known = 0;
  for (const InterestPoint& inlier : inliers) {
    const int row = static_cast<int>(inlier.leftU);
    const int column = static_cast<int>(inlier.leftV);
    const std::uint8_t truth = scene.truth.at(row, column);
    if (truth == 0) continue;
    const double w = h[6] * inlier.leftU + h[7] * inlier.leftV + h[8];
    const double transferred = (h[3] * inlier.leftU + h[4] * inlier.leftV + h[5]) / w;
    sum += std::fabs((inlier.leftV - transferred) - truth / scene.scale);
    ++known;
  }
  return known == 0 ? INFINITY : sum / known;
}

TEST(SawtoothEstimation, RobustRefinedHomographiesReproduceTheGroundTruth) {
  const test::StereoScene scene = test::loadScene("sawtooth");
  ASSERT_GT(scene.left.width(), 0);
  Project project;
  PolygonList& polygons = project.left.polygons;
  // Each box lies inside one plane of the ground truth, away from its borders.
  test::addBox(polygons, 5, 5, 110, 250);    // the textured backdrop, left
  test::addBox(polygons, 5, 265, 160, 428);  // the dark backdrop, right
  test::addBox(polygons, 290, 5, 374, 428);  // the foreground below the teeth
  UnattendedRun unattended;
  const std::optional<InterestPointTables> points =
      detectInterestPoints(polygons, scene.left, DetectionParameters{}, {}, unattended);
  ASSERT_TRUE(points);
  const PolygonList noRightPolygons;
  const MatchingImage left(scene.left, polygons);
  const MatchingImage right(scene.right, noRightPolygons);
  const std::optional<MatchTables> matched =
      matchInterestPoints(left, right, points->interestPoints, {}, MatchParameters{}, unattended);
  ASSERT_TRUE(matched);
  project.results.matches = matched->matches;

  setOptimLogEnabled(false);
  test::ReportLines report;
  const EstimeFields fields;
  LinearCongruentialGenerator generator;
  ASSERT_EQ(runEstime(project, fields, EstimationParameters{}, report, unattended,
                      NumberFormat{'.'}, generator),
            RunStatus::Completed);
  setOptimLogEnabled(true);

  const ToolResults& results = project.results;
  for (std::size_t p = 0; p < polygons.size(); ++p) {
    SCOPED_TRACE("polygon " + std::to_string(p + 1));
    const InterestPointList& inliers = results.inlierMatches[p];
    ASSERT_EQ(results.polygonEstimations[p].robustStatus, 0.0);
    EXPECT_GE(inliers.size(), 10U);
    const double robustNonLinear =
        meanDisparityError(results.robustNonLinearHomographies[p], inliers, scene);
    std::printf(
        "polygon %zu: %zu matches, %zu inliers, mean |disparity error| at the inliers (px): "
        "linear %.4f, non-linear %.4f, robust %.4f, robust + non-linear %.4f\n",
        p + 1, results.matches[p].size(), inliers.size(),
        meanDisparityError(results.linearHomographies[p], inliers, scene),
        meanDisparityError(results.nonLinearHomographies[p], inliers, scene),
        meanDisparityError(results.robustHomographies[p], inliers, scene), robustNonLinear);
    EXPECT_LT(robustNonLinear, 0.2);
  }
}

}  // namespace
}  // namespace plk
