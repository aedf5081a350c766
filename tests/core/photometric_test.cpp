// The photometric plane and the verdicts on a rendered piecewise-planar pair whose disparities
// are known: real texture, area sampling, noise, a gain change and occlusions, polygons from
// about 200 to 5 000 pixels, run through detection, matching and estimation.

#include "core/fonctions/photometric.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "core/fonctions/detection.h"
#include "core/fonctions/matching.h"
#include "core/runs/disparites.h"
#include "core/runs/estime.h"
#include "core/verdict.h"
#include "middlebury.h"
#include "numeric/optim.h"
#include "run_test_support.h"
#include "synthetic_scene.h"

namespace plk {
namespace {

using test::SyntheticPatch;
using test::SyntheticPlane;

constexpr int kWidth = 320;
constexpr int kHeight = 240;

struct RenderedPair {
  Project project;
  std::vector<SyntheticPlane> planes;  // per polygon
  std::vector<std::vector<std::pair<double, double>>> outlines;
};

// Six patches in front of the background (one with almost no texture) and two polygons on the
// background, one of them partly hidden in the right view by the patch beside it.
RenderedPair renderPair(const GreyImage& texture) {
  test::SyntheticScene scene(texture, kWidth, kHeight, {{}, {8.0, 0.004, 0.01}, 60, 40});
  const std::vector<SyntheticPatch> patches = {
      {{{30, 40}, {28, 110}, {100, 115}, {98, 38}}, {20.0, -0.02, 0.015}, 10, 100},
      {{{120, 60}, {200, 40}, {190, 130}}, {15.0, 0.01, 0.02}, 100, 10},
      {{{40, 200}, {40, 215}, {55, 215}, {55, 200}}, {22.0, 0.0, 0.0}, 130, 60},
      {{{150, 200}, {150, 230}, {175, 232}, {175, 198}}, {12.0, -0.02, 0.05}, 20, 20},
      {{{60, 250}, {60, 300}, {100, 300}, {100, 250}}, {16.0, 0.01, 0.0}, 90, 90, 0.04},
      {{{180, 250}, {170, 280}, {195, 305}, {220, 285}, {215, 255}}, {10.0, 0.03, 0.0}, 5, 80},
  };
  RenderedPair pair;
  for (const SyntheticPatch& patch : patches) {
    scene.addPatch(patch);
    pair.outlines.push_back(patch.corners);
    pair.planes.push_back(patch.plane);
  }
  const SyntheticPlane background = scene.patches()[0].plane;
  for (const auto& box : std::vector<std::vector<std::pair<double, double>>>{
           {{5, 130}, {5, 198}, {60, 198}, {60, 130}},
           {{110, 232}, {110, 310}, {140, 310}, {140, 232}}}) {
    pair.outlines.push_back(box);
    pair.planes.push_back(background);
  }
  Project& project = pair.project;
  project.imageWidth = kWidth;
  project.imageHeight = kHeight;
  project.left.image = scene.renderLeft(0.7, 3);
  project.right.image = scene.renderRight(1.1, -5.0, 1.0, 7);
  for (std::size_t p = 0; p < pair.outlines.size(); ++p) {
    test::addOutline(project.left.polygons, pair.outlines[p]);
    test::addOutline(project.right.polygons, scene.rightOutline(pair.outlines[p], pair.planes[p]));
  }
  return pair;
}

// Detection, matching and estimation with the dialogs' defaults.
void estimate(Project& project) {
  UnattendedRun unattended;
  const auto points = detectInterestPoints(project.left.polygons, project.left.image,
                                           DetectionParameters{}, {}, unattended);
  ASSERT_TRUE(points);
  const MatchingImage left(project.left.image, project.left.polygons);
  const MatchingImage right(project.right.image, project.right.polygons);
  const auto matched =
      matchInterestPoints(left, right, points->interestPoints, {}, MatchParameters{}, unattended);
  ASSERT_TRUE(matched);
  project.results.matches = matched->matches;
  setOptimLogEnabled(false);
  test::ReportLines report;
  LinearCongruentialGenerator generator;
  ASSERT_EQ(runEstime(project, EstimeFields{}, EstimationParameters{}, report, unattended,
                      NumberFormat{'.'}, generator),
            RunStatus::Completed);
  setOptimLogEnabled(true);
}

// Mean |disparity error| of a homography over the polygon's pixels; the disparity is the
// displacement's length, as the maps give it.
double meanError(const Homography& h, const std::vector<std::pair<double, double>>& outline,
                 const SyntheticPlane& plane) {
  double sum = 0.0;
  int count = 0;
  for (int u = 0; u < kHeight; ++u) {
    for (int v = 0; v < kWidth; ++v) {
      if (!test::insideOutline(outline, u, v)) continue;
      const double w = h[6] * u + h[7] * v + h[8];
      const double du = (h[0] * u + h[1] * v + h[2]) / w - u;
      const double dv = (h[3] * u + h[4] * v + h[5]) / w - v;
      const double error = std::fabs(std::sqrt(du * du + dv * dv) - plane.at(u, v));
      sum += std::isfinite(error) ? error : 1e9;
      ++count;
    }
  }
  return sum / count;
}

TEST(PhotometricPlane, RenderedPairReliableVerdictsAreRightAndEveryPolygonIsCovered) {
  const GreyImage texture = test::loadScene("sawtooth").left;
  ASSERT_GE(texture.width(), 434);
  RenderedPair pair = renderPair(texture);
  estimate(pair.project);
  const ToolResults& results = pair.project.results;
  ASSERT_EQ(results.photometricQualities.size(), pair.outlines.size());

  const std::array<const char*, 5> names{"lin", "nonlin", "robust", "rob+nl", "photo"};
  int reliablePlanes = 0;
  for (std::size_t p = 0; p < pair.outlines.size(); ++p) {
    SCOPED_TRACE("polygon " + std::to_string(p + 1));
    const PhotometricQuality& quality = results.photometricQualities[p];
    std::printf(
        "polygon %zu: %zu matches, %g inliers, %d pixels, %d iterations, residual %.2f, "
        "correlation %.4f, sd %.4f, disagreement %.4f\n",
        p + 1, results.matches[p].size(), results.polygonEstimations[p].inlierCount,
        quality.pixelsUsed, quality.iterations, quality.residualGrey, quality.correlation,
        quality.disparitySd, quality.maxDisagreement.value_or(-1.0));
    for (std::int32_t choice = 0; choice < 5; ++choice) {
      const auto estimateChoice = static_cast<HomographyChoice>(choice);
      const double error =
          meanError(homographyTable(results, estimateChoice)[p], pair.outlines[p], pair.planes[p]);
      const auto verdict = judgePolygon(results, p, estimateChoice, NumberFormat{'.'});
      ASSERT_TRUE(verdict);
      std::printf("  %-7s mean error %10.4f px  %s %s\n", names[choice], error,
                  std::string(verdictName(verdict->verdict)).c_str(), verdict->reason.c_str());
      const bool reliable = verdict->verdict == Verdict::Reliable;
      if (reliable) {
        EXPECT_LT(error, 0.5) << names[choice];
      }
      if (estimateChoice != HomographyChoice::Photometric) continue;
      EXPECT_NE(verdict->verdict, Verdict::Rejected);
      if (reliable) {
        EXPECT_LT(error, 0.01);
        ++reliablePlanes;
      }
    }
  }
  // The well-textured patches, which the matches leave with too few inliers.
  EXPECT_GE(reliablePlanes, 2);
}

}  // namespace
}  // namespace plk
