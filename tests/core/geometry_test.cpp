#include "core/fonctions/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
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

// Picks given as (u, v), the order of the listing; the image is 384 x 288 (width x height).
std::optional<Point2> adjust(Point2 a0, Point2 a1, Point2 b0, Point2 b1) {
  return sideIntersection(a0, a1, b0, b1, 384, 288);
}

Point2 at(double u, double v) { return {v, u}; }

TEST(SideIntersection, MovesOntoTheSideAlongTheEdge) {
  const std::optional<Point2> onSide = adjust(at(20, 10), at(20, 50), at(5, 60), at(45, 60));
  ASSERT_TRUE(onSide);
  EXPECT_NEAR(onSide->u, 20.0, 1e-12);
  EXPECT_NEAR(onSide->v, 60.0, 1e-12);
  const std::optional<Point2> diagonal = adjust(at(10, 20), at(30, 40), at(40, 5), at(40, 80));
  ASSERT_TRUE(diagonal);
  EXPECT_NEAR(diagonal->u, 40.0, 1e-12);
  EXPECT_NEAR(diagonal->v, 50.0, 1e-12);
}

TEST(SideIntersection, RefusesLinesThroughTheOriginAndRepeatedPicks) {
  EXPECT_FALSE(adjust(at(20, 10), at(20, 50), at(0, 30), at(0, 90)));
  EXPECT_FALSE(adjust(at(20, 10), at(20, 50), at(30, 0), at(70, 0)));
  EXPECT_FALSE(adjust(at(20, 50), at(20, 50), at(5, 60), at(45, 60)));
  // Collinear with the origin, but 0.1 x 2.1 - 0.7 x 0.3 leaves 2.8e-17 instead of 0.
  EXPECT_FALSE(adjust(at(0.7, 0.1), at(2.1, 0.3), at(5, 60), at(45, 60)));
}

// The picks (20,20), (22,122), (40,24), (42,126) once gave a third component of about 1e-21 and a
// vertex thrown 1e18 pixels away.
TEST(SideIntersection, RegressionParallelSlantedLinesAreRefused) {
  EXPECT_FALSE(adjust(at(20, 20), at(22, 122), at(40, 24), at(42, 126)));
}

// Exactly parallel picks at whole and at dyadic coordinates (sums exact in doubles), with the
// second pair's step a multiple of the first's, in either direction.
TEST(SideIntersection, NoExactlyParallelPickSetEscapesTheRefusal) {
  std::mt19937 random(13);
  std::uniform_int_distribution<int> coordinate(0, 2000);
  std::uniform_int_distribution<int> step(-300, 300);
  std::uniform_int_distribution<int> multiple(-3, 3);
  int tried = 0;
  for (int i = 0; i < 20000; ++i) {
    const double unit = i % 2 == 0 ? 1.0 : 0.125;
    const Point2 a0 = at(coordinate(random) * unit, coordinate(random) * unit);
    const Point2 b0 = at(coordinate(random) * unit, coordinate(random) * unit);
    const double du = step(random) * unit;
    const double dv = step(random) * unit;
    const int k = multiple(random);
    if ((du == 0 && dv == 0) || k == 0) continue;
    ++tried;
    const std::optional<Point2> moved =
        adjust(a0, at(a0.u + du, a0.v + dv), b0, at(b0.u + k * du, b0.v + k * dv));
    ASSERT_FALSE(moved) << "picks " << a0.u << "," << a0.v << " step " << du << "," << dv
                        << " second " << b0.u << "," << b0.v << " x" << k << " gave " << moved->u
                        << "," << moved->v;
  }
  EXPECT_GT(tried, 15000);
}

// Lines through a chosen point inside the image, at least a degree apart, with picks at random
// distances along them: the meeting point is found to well under a thousandth of a pixel.
TEST(SideIntersection, CrossingLinesMeetWhereTheyCross) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> inside(0.0, 280.0);
  std::uniform_real_distribution<double> angle(0.0, std::numbers::pi);
  std::uniform_real_distribution<double> distance(5.0, 150.0);
  constexpr double kOneDegree = std::numbers::pi / 180.0;
  for (int i = 0; i < 5000; ++i) {
    const Point2 x = at(inside(random), inside(random));
    const double first = angle(random);
    double second = angle(random);
    if (std::abs(std::sin(second - first)) < std::sin(kOneDegree)) second = first + 0.5;
    const auto along = [&](double theta, double t) {
      return at(x.u + t * std::sin(theta), x.v + t * std::cos(theta));
    };
    const std::optional<Point2> meeting =
        adjust(along(first, distance(random)), along(first, -distance(random)),
               along(second, distance(random)), along(second, -distance(random)));
    ASSERT_TRUE(meeting) << "at " << x.u << "," << x.v;
    EXPECT_NEAR(meeting->u, x.u, 1e-6);
    EXPECT_NEAR(meeting->v, x.v, 1e-6);
  }
}

TEST(SideIntersection, RefusesAMeetingPointFarOutsideTheImage) {
  // Nearly parallel rows: they meet about 3800 columns to the right of a 384-column image.
  EXPECT_FALSE(adjust(at(100, 10), at(100, 200), at(110, 10), at(109.5, 200)));
  // Within one image size of the image: accepted, off the image.
  const std::optional<Point2> beyond = adjust(at(100, 10), at(100, 200), at(50, 700), at(60, 700));
  ASSERT_TRUE(beyond);
  EXPECT_NEAR(beyond->v, 700.0, 1e-9);
  EXPECT_FALSE(adjust(at(100, 10), at(100, 200), at(50, 800), at(60, 800)));
  EXPECT_FALSE(adjust(at(100, 10), at(100, 200), at(50, -400), at(60, -400)));
}

}  // namespace
}  // namespace plk
