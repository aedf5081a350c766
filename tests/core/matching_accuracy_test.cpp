// Matches of the default detection and matching on Middlebury pairs against their ground truth.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <iostream>
#include <string>

#include "core/fonctions/detection.h"
#include "core/fonctions/matching.h"
#include "middlebury.h"

namespace plk {
namespace {

struct Accuracy {
  int matches = 0;
  int interestPoints = 0;
  std::array<int, 4> within{};  // shares within 0.125, 0.25, 0.5 and 1 px
};

constexpr std::array<double, 4> kTolerances{0.125, 0.25, 0.5, 1.0};

// One polygon covering each image, default parameters. The error of a match is the larger of
// its row error and its disparity error; matches on pixels of unknown disparity do not count.
Accuracy measure(const std::string& sceneName) {
  const test::StereoScene scene = test::loadScene(sceneName);
  const int rows = scene.left.height();
  const int columns = scene.left.width();
  PolygonList leftPolygons;
  PolygonList rightPolygons;
  for (PolygonList* polygons : {&leftPolygons, &rightPolygons}) {
    Polygone& polygon = polygons->appendPolygon();
    Sommet* first = polygons->createVertex(0, 0);
    polygon.sommets = {first, polygons->createVertex(0, columns - 1),
                       polygons->createVertex(rows - 1, columns - 1),
                       polygons->createVertex(rows - 1, 0), first};
  }
  UnattendedRun run;
  const auto points = detectInterestPoints(leftPolygons, scene.left, {}, {}, run);
  const MatchingImage left(scene.left, leftPolygons);
  const MatchingImage right(scene.right, rightPolygons);
  const auto tables = matchInterestPoints(left, right, points->interestPoints, {}, {}, run);
  Accuracy accuracy;
  accuracy.interestPoints = points->interestPointCounts[0];
  for (const InterestPoint& m : tables->matches[0]) {
    const int truth = scene.truth.at(static_cast<int>(m.leftU), static_cast<int>(m.leftV));
    if (truth == 0) continue;
    const double disparity = truth / scene.scale;
    const double error = std::max(std::fabs(m.u - m.leftU), std::fabs((m.leftV - m.v) - disparity));
    ++accuracy.matches;
    for (std::size_t i = 0; i < kTolerances.size(); ++i) {
      accuracy.within[i] += error <= kTolerances[i] ? 1 : 0;
    }
  }
  std::cout << sceneName << ": " << accuracy.matches << " matches of known disparity for "
            << accuracy.interestPoints << " points; within 0.125 / 0.25 / 0.5 / 1 px:";
  for (const int count : accuracy.within)
    std::cout << " " << 100.0 * count / accuracy.matches << " %";
  std::cout << "\n";
  return accuracy;
}

TEST(MatchingAccuracy, MostSawtoothMatchesLieWithinHalfAPixel) {
  const Accuracy sawtooth = measure("sawtooth");
  ASSERT_GT(sawtooth.matches, 150);
  EXPECT_GE(sawtooth.within[2], sawtooth.matches * 95 / 100);
}

TEST(MatchingAccuracy, MostVenusMatchesLieWithinOnePixel) {
  const Accuracy venus = measure("venus");
  ASSERT_GT(venus.matches, 150);
  EXPECT_GE(venus.within[3], venus.matches * 95 / 100);
}

}  // namespace
}  // namespace plk
