#include "core/fonctions/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace plk {
namespace {

Polygone& addClosedPolygon(PolygonList& list, const std::vector<Point2>& corners) {
  Polygone& polygon = list.appendPolygon();
  for (const Point2& c : corners) polygon.sommets.push_back(list.createVertex(c.u, c.v));
  polygon.sommets.push_back(polygon.sommets.front());
  return polygon;
}

// The straightforward form: a fresh corner array per call.
bool referencePolygonContains(const Polygone& polygon, double u, double v) {
  std::vector<Point2> corners;
  for (std::size_t i = 0; i + 1 < polygon.sommets.size(); ++i) {
    corners.push_back({polygon.sommets[i]->V, polygon.sommets[i]->U});
  }
  return pointInPolygon(corners, {v, u});
}

TEST(InsideBox, BoundsIncluded) {
  const BoundingBox box{1, 2, 5, 7};
  EXPECT_TRUE(insideBox(box, {1, 2}));
  EXPECT_TRUE(insideBox(box, {5, 7}));
  EXPECT_FALSE(insideBox(box, {5.01, 7}));
  EXPECT_FALSE(insideBox(box, {3, 1.99}));
}

TEST(PolygonContains, TakesUAsRowAndVAsColumnAndDropsTheLastElement) {
  PolygonList list;
  const Polygone& arrow = addClosedPolygon(list, {{0, 0}, {10, 5}, {0, 10}, {3, 5}});
  EXPECT_TRUE(polygonContains(arrow, 10, 6));
  EXPECT_FALSE(polygonContains(arrow, 9, 9));
  EXPECT_FALSE(polygonContains(arrow, 6, 10.5));

  Polygone& open = list.appendPolygon();
  open.sommets = {list.createVertex(0, 0), list.createVertex(0, 10), list.createVertex(10, 10)};
  // Without its last element the open polygon is the segment (0,0)-(0,10).
  EXPECT_TRUE(polygonContains(open, 0, 5));
  EXPECT_FALSE(polygonContains(open, 5, 8));
  EXPECT_FALSE(polygonContains(list.appendPolygon(), 0, 0));
}

TEST(PolygonContains, MatchesTheReferenceForSmallAndLargePolygons) {
  PolygonList list;
  for (const int n : {7, 64, 65, 300}) {
    std::vector<Point2> corners;
    for (int i = 0; i < n; ++i) {
      const double angle = 2.0 * std::numbers::pi * i / n;
      const double radius = (i % 2 == 0) ? 40.0 : 25.0;
      corners.push_back({50 + radius * std::cos(angle), 50 + radius * std::sin(angle)});
    }
    const Polygone& star = addClosedPolygon(list, corners);
    for (int u = 0; u <= 100; u += 3) {
      for (int v = 0; v <= 100; v += 3) {
        ASSERT_EQ(polygonContains(star, u, v), referencePolygonContains(star, u, v))
            << n << " corners, at " << u << "," << v;
      }
    }
  }
}

TEST(FindPolygon, FirstContainingPolygonInListOrder) {
  PolygonList list;
  addClosedPolygon(list, {{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  addClosedPolygon(list, {{5, 5}, {20, 5}, {20, 20}, {5, 20}});
  EXPECT_EQ(findPolygon(list, 2, 2), 0);
  EXPECT_EQ(findPolygon(list, 7, 7), 0);
  EXPECT_EQ(findPolygon(list, 15, 15), 1);
  EXPECT_EQ(findPolygon(list, 30, 30), -1);
  EXPECT_EQ(findPolygon(PolygonList(), 1, 1), -1);
}

TEST(AllPolygonsClosed, ComparesIdentityNotCoordinates) {
  PolygonList list;
  EXPECT_TRUE(allPolygonsClosed(list));
  addClosedPolygon(list, {{0, 0}, {10, 0}, {10, 10}});
  EXPECT_TRUE(allPolygonsClosed(list));
  Polygone& lookalike = list.appendPolygon();
  lookalike.sommets = {list.createVertex(0, 0), list.createVertex(5, 5), list.createVertex(0, 0)};
  EXPECT_FALSE(allPolygonsClosed(list));
}

TEST(CrossProduct3, LineThroughTwoPointsAndIntersectionOfTwoLines) {
  EXPECT_EQ(crossProduct3({1, 0, 0}, {0, 1, 0}), (Vector3{0, 0, 1}));
  EXPECT_EQ(crossProduct3({2, 3, 4}, {5, 6, 7}), (Vector3{-3, 6, -3}));
  // The lines u = 2 and v = 3 meet at (2, 3).
  Vector3 meet = crossProduct3({1, 0, -2}, {0, 1, -3});
  ASSERT_TRUE(normalizeHomogeneous(meet));
  EXPECT_EQ(meet, (Vector3{2, 3, 1}));
}

TEST(NormalizeHomogeneous, PointAtInfinityIsReportedAndLeftUnchanged) {
  Vector3 parallel = crossProduct3({1, 0, -2}, {1, 0, -5});
  EXPECT_EQ(parallel[2], 0.0);
  const Vector3 before = parallel;
  EXPECT_FALSE(normalizeHomogeneous(parallel));
  EXPECT_EQ(parallel, before);
}

}  // namespace
}  // namespace plk
