#include "core/polyfunc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace plk {
namespace {

using Corners = std::vector<Point2>;

// The four corners of the classic example, given as (v, u).
const Corners kArrow{{0, 0}, {10, 5}, {0, 10}, {3, 5}};
const Corners kDiamond{{5, 0}, {10, 5}, {5, 10}, {0, 5}};

TEST(Orientation, SignOfTheTurnAndCollinearIsNegative) {
  EXPECT_EQ(orientation({0, 0}, {10, 0}, {5, 5}), 1);
  EXPECT_EQ(orientation({0, 0}, {10, 0}, {5, -5}), -1);
  EXPECT_EQ(orientation({0, 0}, {10, 0}, {20, 0}), -1);
}

TEST(SegmentsCross, ProperCrossingAndDisjointSegments) {
  EXPECT_TRUE(segmentsCross({0, 0}, {10, 10}, {0, 10}, {10, 0}));
  EXPECT_FALSE(segmentsCross({0, 0}, {4, 4}, {0, 10}, {10, 0}));
  EXPECT_FALSE(segmentsCross({0, 0}, {10, 0}, {0, 1}, {10, 1}));
}

TEST(BoundingBox, BoxOfTheCornersAndWhetherThePointLiesInIt) {
  const BoundingBoxTest test = boundingBox(kArrow, {10, 10});
  EXPECT_EQ(test.box.minV, 0);
  EXPECT_EQ(test.box.minU, 0);
  EXPECT_EQ(test.box.maxV, 10);
  EXPECT_EQ(test.box.maxU, 10);
  EXPECT_TRUE(test.inside);
  EXPECT_FALSE(boundingBox(kArrow, {10.5, 3}).inside);
}

TEST(PointInPolygon, ExtensionOfAnEdgeInsideTheBoxCountsAsInside) {
  EXPECT_TRUE(pointInPolygon(kArrow, {6, 10}));
  EXPECT_FALSE(pointInPolygon(kArrow, {9, 9}));
  EXPECT_TRUE(pointInPolygon(kArrow, {4, 5}));
}

TEST(PointInPolygon, PointsOnHorizontalAndVerticalSidesAreInside) {
  const Corners square{{2, 2}, {8, 2}, {8, 6}, {2, 6}};
  EXPECT_TRUE(pointInPolygon(square, {5, 2}));
  EXPECT_TRUE(pointInPolygon(square, {5, 6}));
  EXPECT_TRUE(pointInPolygon(square, {2, 4}));
  EXPECT_TRUE(pointInPolygon(square, {8, 4}));
  EXPECT_TRUE(pointInPolygon(square, {8, 6}));
}

TEST(PointInPolygon, RayThroughACornerBetweenARisingAndADescendingEdgeCountsOnce) {
  // The ray from (v 2, u 5) passes through the right corner (10, 5).
  EXPECT_TRUE(pointInPolygon(kDiamond, {2, 5}));
  // Through a notch whose two edges both lie above the ray: zero or two crossings there.
  const Corners notched{{0, 0}, {6, 5}, {12, 0}, {12, 10}, {0, 10}};
  EXPECT_TRUE(pointInPolygon(notched, {2, 5}));
  const Corners spike{{0, 0}, {12, 0}, {12, 4}, {6, 7}, {0, 4}};
  EXPECT_FALSE(pointInPolygon(spike, {2, 7}));
}

TEST(PointInPolygon, OutsideTheBoxIsOutsideEvenOnAnEdgeLine) {
  EXPECT_FALSE(pointInPolygon(kDiamond, {11, 5}));
  EXPECT_FALSE(pointInPolygon(kDiamond, {11, 6}));
}

TEST(PointInPolygon, AtMostOneCornerIsNeverInside) {
  EXPECT_FALSE(pointInPolygon({}, {0, 0}));
  const Corners one{{3, 4}};
  EXPECT_FALSE(pointInPolygon(one, {3, 4}));
}

// Independent even-odd rule (half-open crossing test), valid away from edges and their lines.
bool evenOdd(const Corners& corners, Point2 p) {
  bool inside = false;
  for (std::size_t i = 0, j = corners.size() - 1; i < corners.size(); j = i++) {
    const Point2 a = corners[i];
    const Point2 b = corners[j];
    if ((a.u > p.u) != (b.u > p.u) && p.v < (b.v - a.v) * (p.u - a.u) / (b.u - a.u) + a.v) {
      inside = !inside;
    }
  }
  return inside;
}

// Star-shaped around its centre, so simple: corners at increasing angles, random radii.
Corners randomSimplePolygon(std::mt19937& random) {
  std::uniform_int_distribution<int> count(3, 14);
  std::uniform_real_distribution<double> radius(5.0, 60.0);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const int n = count(random);
  std::vector<double> angles(static_cast<std::size_t>(n));
  for (double& a : angles) a = unit(random) * 2.0 * std::numbers::pi;
  std::sort(angles.begin(), angles.end());
  Corners corners;
  for (double a : angles) {
    const double r = radius(random);
    corners.push_back({100.0 + r * std::cos(a), 100.0 + r * std::sin(a)});
  }
  return corners;
}

bool nearAnEdgeLine(const Corners& corners, Point2 p) {
  for (std::size_t i = 0; i < corners.size(); ++i) {
    const Point2 a = corners[i];
    const Point2 b = corners[(i + 1) % corners.size()];
    if (std::fabs((b.u - a.u) * (p.v - a.v) + (a.v - b.v) * (p.u - a.u)) < 1.0) return true;
  }
  return false;
}

TEST(PointInPolygon, AgreesWithEvenOddAwayFromEdgeLines) {
  std::mt19937 random(20240607);
  std::uniform_real_distribution<double> coordinate(30.0, 170.0);
  int compared = 0;
  int inside = 0;
  for (int polygon = 0; polygon < 300; ++polygon) {
    const Corners corners = randomSimplePolygon(random);
    for (int k = 0; k < 40; ++k) {
      const Point2 p{coordinate(random), coordinate(random)};
      if (nearAnEdgeLine(corners, p)) continue;
      const bool expected = evenOdd(corners, p);
      ASSERT_EQ(pointInPolygon(corners, p), expected) << "polygon " << polygon << " point " << k;
      ++compared;
      inside += expected ? 1 : 0;
    }
  }
  EXPECT_GT(compared, 3000);
  EXPECT_GT(inside, 300);
}

}  // namespace
}  // namespace plk
