#include "core/fonctions/detection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <vector>

#include "core/fonctions/detection_detail.h"
#include "core/fonctions/geometry.h"
#include "core/fonctions/sampling.h"
#include "middlebury.h"
#include "run_test_support.h"

namespace plk {
namespace {

constexpr double kOutside = -100000.0;

// A closed polygon through the given (u, v) corners.
void addPolygon(PolygonList& polygons, std::initializer_list<std::pair<double, double>> corners) {
  Polygone& polygon = polygons.appendPolygon();
  for (const auto& [u, v] : corners) polygon.sommets.push_back(polygons.createVertex(u, v));
  polygon.sommets.push_back(polygon.sommets.front());
}

void addBox(PolygonList& polygons, double top, double left, double bottom, double right) {
  addPolygon(polygons, {{top, left}, {top, right}, {bottom, right}, {bottom, left}});
}

GreyImage rectanglesImage() {
  GreyImage image(80, 60);
  for (int r = 0; r < 60; ++r) {
    for (int c = 0; c < 80; ++c) {
      const bool first = r >= 15 && r < 30 && c >= 12 && c < 30;
      const bool second = r >= 35 && r < 50 && c >= 45 && c < 70;
      image.set(r, c, first || second ? 200 : 30);
    }
  }
  return image;
}

std::optional<InterestPointTables> detect(const PolygonList& polygons, const GreyImage& image,
                                          DetectionParameters parameters,
                                          const InterestPointTables& previous = {}) {
  UnattendedRun run;
  return detectInterestPoints(polygons, image, parameters, previous, run);
}

// The derivatives as the double sums over the filter, pixel by pixel.
double referenceIx(const GreyImage& image, const DetectorKernels& k, int r, int c) {
  double sum = 0.0;
  for (int b = -k.h; b <= k.h; ++b) {
    double inner = 0.0;
    for (int a = 0; a < k.size; ++a) inner += image.at(r - k.h + a, c + b) * k.G[k.size - 1 - a];
    sum += inner * k.D[k.size - 1 - (b + k.h)];
  }
  return sum;
}

double referenceIy(const GreyImage& image, const DetectorKernels& k, int r, int c) {
  double sum = 0.0;
  for (int a = 0; a < k.size; ++a) {
    double inner = 0.0;
    for (int b = -k.h; b <= k.h; ++b) {
      inner += image.at(r - k.h + a, c + b) * k.G[k.size - 1 - (b + k.h)];
    }
    sum += inner * k.D[k.size - 1 - a];
  }
  return sum;
}

double referenceResponse(const DerivativeMaps& d, const DetectorKernels& k, int r, int c) {
  double a = 0.0;
  double b = 0.0;
  double cc = 0.0;
  for (int i = -k.h; i <= k.h; ++i) {
    for (int j = -k.h; j <= k.h; ++j) {
      const double w = k.W[(i + k.h) * k.size + (j + k.h)];
      const double x = d.ix(r + i, c + j);
      const double y = d.iy(r + i, c + j);
      a += w * (x * x);
      b += w * (x * y);
      cc += w * (y * y);
    }
  }
  return smallerEigenvalue(a, b, cc);
}

// The whole detector as written pixel by pixel: containment tests, local-maximum scans and the
// weakest-slot scan, all without the fast paths. The last response row leaves room below for
// the filter's and the inclusion window's rows, which reach one row further down than up for
// an even size.
std::vector<InterestPointList> referenceDetection(const PolygonList& polygons,
                                                  const GreyImage& image, int nf, int ni, int K) {
  const DetectorKernels k = detectorKernels(nf);
  const int hi = halfWidth(ni);
  const int m = std::max(k.h, hi);
  const int below = std::max({m, k.size - 1 - k.h, ni - 1 - hi});
  const int lastRow = image.height() - 1 - below;
  const int rows = image.height();
  const int columns = image.width();
  const auto region = [&](int r, int c) { return findPolygon(polygons, r, c); };
  const auto unlocked = [&](int y) { return y >= 0 && !polygons[y].locked; };
  DerivativeMaps d{DoubleMap(rows, columns, 0.0), DoubleMap(rows, columns, 0.0)};
  for (int r = m; r <= lastRow; ++r) {
    for (int c = m; c <= columns - m - 1; ++c) {
      const bool real = unlocked(region(r, c));
      d.ix(r, c) = real ? referenceIx(image, k, r, c) : kOutside;
      d.iy(r, c) = real ? referenceIy(image, k, r, c) : kOutside;
    }
  }
  DoubleMap response(rows, columns, 0.0);
  for (int r = m; r <= lastRow; ++r) {
    for (int c = m; c <= columns - m - 1; ++c) {
      const int y = region(r, c);
      bool inside = unlocked(y);
      for (int a = 0; inside && a < ni; ++a) {
        inside = region(r - hi + a, c - hi) == y && region(r - hi + a, c + hi) == y;
      }
      for (int b = -hi; inside && b <= hi; ++b) {
        inside = region(r - hi, c + b) == y && region(r + hi, c + b) == y;
      }
      response(r, c) = inside ? referenceResponse(d, k, r, c) : kOutside;
    }
  }
  std::vector<InterestPointList> lists(polygons.size());
  for (int r = m; r <= lastRow; ++r) {
    for (int c = m; c <= columns - m - 1; ++c) {
      const int y = region(r, c);
      const double value = response(r, c);
      if (!unlocked(y) || value == kOutside) continue;
      bool maximum = true;
      for (int a = -k.h; a <= k.h; ++a) {
        for (int b = -k.h; b <= k.h; ++b) maximum = maximum && !(response(r + a, c + b) > value);
      }
      if (!maximum) continue;
      InterestPointList& list = lists[y];
      if (static_cast<int>(list.size()) < K) {
        list.push_back(InterestPoint{0, value, double(r), double(c), 0.0, 0.0});
        continue;
      }
      std::size_t weakest = 0;
      for (std::size_t i = 1; i < list.size(); ++i) {
        if (list[i].score < list[weakest].score) weakest = i;
      }
      if (value > list[weakest].score) list[weakest] = {0, value, double(r), double(c), 0.0, 0.0};
    }
  }
  return lists;
}

void expectSamePoints(const InterestPointList& actual, const InterestPointList& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    EXPECT_EQ(actual[i].u, expected[i].u) << i;
    EXPECT_EQ(actual[i].v, expected[i].v) << i;
    EXPECT_EQ(actual[i].score, expected[i].score) << i;
  }
}

TEST(DetectorKernels, SizesSigmaAndUnitRampDerivative) {
  for (const auto& [size, h, taps] : {std::tuple{11, 5, 11}, {10, 4, 10}, {12, 6, 13}}) {
    const DetectorKernels k = detectorKernels(size);
    EXPECT_EQ(k.h, h);
    EXPECT_EQ(k.size, taps);
    EXPECT_EQ(k.W.size(), static_cast<std::size_t>(taps * taps));
    EXPECT_DOUBLE_EQ(k.sigma, size / 4.0);
    double sumG = 0.0;
    double slope = 0.0;
    double sumW = 0.0;
    for (int i = -h; i <= h; ++i) {
      sumG += k.G[i + h];
      slope += -i * k.D[i + h];
    }
    for (const double w : k.W) sumW += w;
    EXPECT_NEAR(sumG, 1.0, 1e-15);
    EXPECT_NEAR(slope, 1.0, 1e-15);
    EXPECT_NEAR(sumW, 1.0, 1e-15);
    if (2 * h + 1 < taps) {
      EXPECT_EQ(k.G.back(), 0.0);
      EXPECT_EQ(k.W.back(), 0.0);
    }
    // A ramp growing by one grey level per column: Ix is 1, Iy is 0, through the filters (for
    // N_f = 10 they are centred one row and one column off, as the taps' positions say).
    if (size == 10) continue;
    GreyImage ramp(40, 40);
    for (int r = 0; r < 40; ++r) {
      for (int c = 0; c < 40; ++c) ramp.set(r, c, static_cast<std::uint8_t>(100 + c));
    }
    const ResponseArea area = responseArea({size, 3, 1}, 40, 40);
    const DerivativeMaps d = computeDerivatives(ramp, std::vector<std::uint8_t>(1600, 1), k, area);
    EXPECT_NEAR(d.ix(20, 20), 1.0, 1e-12) << size;
    EXPECT_NEAR(d.iy(20, 20), 0.0, 1e-12) << size;
  }
  EXPECT_DOUBLE_EQ(detectorKernels(11).sigma, 2.75);
}

TEST(ResponseArea, MarginOfTheLargerHalfSizeGrowingAtTheBottomForEvenSizes) {
  const ResponseArea odd = responseArea({11, 7, 1}, 60, 80);
  EXPECT_EQ(odd.top, 5);
  EXPECT_EQ(odd.bottom, 54);
  EXPECT_EQ(odd.left, 5);
  EXPECT_EQ(odd.right, 74);
  const ResponseArea even = responseArea({10, 3, 1}, 60, 80);
  EXPECT_EQ(even.top, 4);
  EXPECT_EQ(even.bottom, 54);  // the filter reads rows r - 4 .. r + 5
  EXPECT_EQ(even.right, 75);
  EXPECT_TRUE(responseArea({61, 3, 1}, 60, 80).empty());
  const ResponseArea wideInclusion = responseArea({5, 11, 1}, 60, 80);  // h = 2, h_i = 5
  EXPECT_EQ(wideInclusion.top, 5);
  EXPECT_EQ(wideInclusion.bottom, 54);
  EXPECT_EQ(wideInclusion.left, 5);
  EXPECT_EQ(wideInclusion.right, 74);
}

TEST(ComputeDerivatives, SeparablePassesEqualTheDoubleSumsOnARealImage) {
  const test::StereoScene venus = test::loadScene("venus");
  ASSERT_FALSE(venus.left.empty());
  for (const int size : {11, 7}) {
    const DetectorKernels k = detectorKernels(size);
    const ResponseArea area =
        responseArea({size, size, 1}, venus.left.height(), venus.left.width());
    std::vector<std::uint8_t> unlocked(
        static_cast<std::size_t>(venus.left.height() * venus.left.width()), 1);
    unlocked[static_cast<std::size_t>(100 * venus.left.width() + 100)] = 0;
    const DerivativeMaps d = computeDerivatives(venus.left, unlocked, k, area);
    for (int r = area.top; r <= area.bottom; r += 7) {
      for (int c = area.left; c <= area.right; c += 5) {
        ASSERT_EQ(d.ix(r, c), referenceIx(venus.left, k, r, c)) << r << "," << c;
        ASSERT_EQ(d.iy(r, c), referenceIy(venus.left, k, r, c)) << r << "," << c;
      }
    }
    EXPECT_EQ(d.ix(100, 100), kOutside);
    EXPECT_EQ(d.ix(area.top - 1, 50), 0.0);
  }
}

TEST(ComputePolygonResponses, EqualTheWindowDoubleSumAndRespectTheInclusionWindow) {
  const test::StereoScene venus = test::loadScene("venus");
  PolygonList polygons;
  addBox(polygons, 20, 30, 200, 250);
  const PolygonIndexMap map(polygons, venus.left.height(), venus.left.width());
  const DetectorKernels k = detectorKernels(11);
  const ResponseArea area = responseArea({11, 9, 1}, venus.left.height(), venus.left.width());
  const DerivativeMaps d = computeDerivatives(venus.left, unlockedPixels(map, polygons), k, area);
  DoubleMap response(venus.left.height(), venus.left.width(), 0.0);
  computePolygonResponses(d, map, 0, k, 9, area, response);
  for (int r = 24; r <= 196; r += 3) {
    for (int c = 34; c <= 246; c += 4) {
      ASSERT_EQ(response(r, c), referenceResponse(d, k, r, c)) << r << "," << c;
    }
  }
  EXPECT_EQ(response(23, 100), kOutside);  // the inclusion window's top row leaves the box
  EXPECT_EQ(response(196, 247), kOutside);
  EXPECT_EQ(response(250, 300), 0.0);  // another region: left for its own polygon
}

TEST(ComputePolygonResponses, EveryLaneWidthGivesThePixelByPixelResponsesBitForBit) {
  const test::StereoScene venus = test::loadScene("venus");
  PolygonList polygons;
  // Slanted sides make runs of every length, so blocks, single vectors and single pixels mix.
  addPolygon(polygons, {{15, 20}, {30, 400}, {200, 260}, {180, 40}});
  addBox(polygons, 150, 200, 370, 420);
  const PolygonIndexMap map(polygons, venus.left.height(), venus.left.width());
  const DetectorKernels k = detectorKernels(11);
  const ResponseArea area = responseArea({11, 7, 1}, venus.left.height(), venus.left.width());
  const DerivativeMaps d = computeDerivatives(venus.left, unlockedPixels(map, polygons), k, area);
  const auto responses = [&](int laneWidth) {
    DoubleMap response(venus.left.height(), venus.left.width(), 0.0);
    for (const std::int32_t polygon : {0, 1}) {
      computePolygonResponses(d, map, polygon, k, 7, area, response, laneWidth);
    }
    return response;
  };
  const DoubleMap byPixels = responses(1);
  EXPECT_GT(std::count_if(byPixels.values.begin(), byPixels.values.end(),
                          [](double v) { return v != 0.0 && v != kOutside; }),
            50000);
  const std::vector<int> widths = responseLaneWidths();
  ASSERT_GE(widths.size(), 2U);  // the pixel path and the pairs of every x86-64 processor
  for (const int width : widths) {
    const DoubleMap inLanes = responses(width);
    EXPECT_EQ(std::memcmp(inLanes.values.data(), byPixels.values.data(),
                          byPixels.values.size() * sizeof(double)),
              0)
        << width << " lanes";
  }
}

TEST(DetectInterestPoints, FindsTheRectangleCornersAwayFromTheBorder) {
  PolygonList polygons;
  addBox(polygons, 0, 0, 59, 79);
  const auto tables = detect(polygons, rectanglesImage(), {11, 11, 8});
  ASSERT_TRUE(tables);
  const InterestPointList& points = tables->interestPoints[0];
  ASSERT_EQ(points.size(), 8U);
  EXPECT_EQ(tables->interestPointCounts[0], 8);
  // The smoothed response peaks a little inside each corner pixel of the rectangles.
  const std::vector<std::pair<double, double>> corners{{15, 12}, {15, 29}, {29, 12}, {29, 29},
                                                       {35, 45}, {35, 69}, {49, 45}, {49, 69}};
  for (const auto& [u, v] : corners) {
    bool found = false;
    for (const InterestPoint& p : points)
      found = found || (std::abs(p.u - u) <= 3.0 && std::abs(p.v - v) <= 3.0);
    EXPECT_TRUE(found) << u << "," << v;
  }
  const auto all = detect(polygons, rectanglesImage(), {11, 11, 100000});
  for (const InterestPoint& p : all->interestPoints[0]) {
    EXPECT_TRUE(p.u >= 5 && p.u <= 54 && p.v >= 5 && p.v <= 74) << p.u << "," << p.v;
  }
}

TEST(DetectInterestPoints, AgreesWithThePixelByPixelDetectorOnARealImage) {
  const test::StereoScene sawtooth = test::loadScene("sawtooth");
  PolygonList polygons;
  addPolygon(polygons, {{10, 10}, {10, 250}, {180, 200}, {200, 20}});
  addBox(polygons, 150, 180, 370, 420);
  addBox(polygons, 20, 300, 120, 420);
  polygons[2].locked = true;
  InterestPointTables previous;
  previous.interestPoints = {{}, {}, {InterestPoint{0, 1.0, 2.0, 3.0, 0.0, 0.0}}};
  previous.interestPointCounts = {0, 0, 1};
  const auto tables = detect(polygons, sawtooth.left, {11, 9, 60}, previous);
  ASSERT_TRUE(tables);
  const auto expected = referenceDetection(polygons, sawtooth.left, 11, 9, 60);
  expectSamePoints(tables->interestPoints[0], expected[0]);
  expectSamePoints(tables->interestPoints[1], expected[1]);
  EXPECT_EQ(tables->interestPointCounts[1], 60);
  // The locked polygon keeps what it had.
  expectSamePoints(tables->interestPoints[2], previous.interestPoints[2]);
  EXPECT_EQ(tables->interestPointCounts[2], 1);
}

// Even sizes centre the filters and the inclusion window half a pixel off: their rows reach one
// further down than up, and the response area stops one row higher.
TEST(DetectInterestPoints, AgreesWithThePixelByPixelDetectorForEvenSizes) {
  const test::StereoScene sawtooth = test::loadScene("sawtooth");
  PolygonList polygons;
  addPolygon(polygons, {{3, 10}, {3, 250}, {sawtooth.left.height() - 1.0, 200}, {200, 20}});
  for (const auto& [nf, ni] : {std::pair{10, 4}, {6, 10}}) {
    const auto tables = detect(polygons, sawtooth.left, {nf, ni, 80});
    ASSERT_TRUE(tables);
    expectSamePoints(tables->interestPoints[0],
                     referenceDetection(polygons, sawtooth.left, nf, ni, 80)[0]);
  }
}

TEST(DetectInterestPoints, OneThreadAndTwoGiveTheSameTables) {
  const test::StereoScene venus = test::loadScene("venus");
  PolygonList polygons;
  addBox(polygons, 0, 0, 382, 433);
  setenv("PLK_THREADS", "1", 1);
  const auto one = detect(polygons, venus.left, {});
  setenv("PLK_THREADS", "2", 1);
  const auto two = detect(polygons, venus.left, {});
  unsetenv("PLK_THREADS");
  ASSERT_EQ(one->interestPoints[0].size(), 300U);
  expectSamePoints(two->interestPoints[0], one->interestPoints[0]);
}

TEST(DetectInterestPoints, SmallPolygonsGetNothingAndEmptyAreasAllocateNothing) {
  PolygonList polygons;
  addBox(polygons, 20, 20, 26, 26);  // smaller than the inclusion window
  const auto tables = detect(polygons, rectanglesImage(), {11, 11, 10});
  EXPECT_TRUE(tables->interestPoints[0].empty());
  EXPECT_EQ(tables->interestPointCounts[0], 0);
  const auto huge = detect(polygons, rectanglesImage(), {2000000000, 2000000000, 2000000000});
  EXPECT_TRUE(huge->interestPoints[0].empty());
}

TEST(DetectInterestPoints, ACancelledRunGivesNothing) {
  PolygonList polygons;
  addBox(polygons, 0, 0, 59, 79);
  test::CancelAfterSteps cancel(1);
  EXPECT_FALSE(detectInterestPoints(polygons, rectanglesImage(), {}, {}, cancel));
  EXPECT_EQ(cancel.units, std::vector<std::string>{"Polygone 1/1"});
}

class Selection : public ::testing::Test {
 protected:
  // A 12 x 12 map, all in polygon 0, with a response falling in raster order (so that every
  // pixel has a stronger neighbour up and left) but for the peaks a test sets.
  void SetUp() override {
    addBox(polygons, -1, -1, 12, 12);
    for (int r = 0; r < 12; ++r) {
      for (int c = 0; c < 12; ++c) response(r, c) = -0.001 * (r * 12 + c);
    }
  }
  std::vector<InterestPointList> select(int K) {
    const PolygonIndexMap map(polygons, 12, 12);
    return selectInterestPoints(response, map, polygons, 1, K, area);
  }
  PolygonList polygons;
  DoubleMap response{12, 12, 0.0};
  ResponseArea area{1, 10, 1, 10};
};

TEST_F(Selection, EqualNeighbouringMaximaAreBothKeptInRasterOrder) {
  response(4, 4) = 5.0;
  response(4, 5) = 5.0;
  response(8, 2) = 3.0;
  response(8, 3) = 2.0;
  const auto lists = select(10);
  ASSERT_EQ(lists[0].size(), 3U);
  EXPECT_EQ(lists[0][0].v, 4.0);
  EXPECT_EQ(lists[0][1].v, 5.0);
  EXPECT_EQ(lists[0][2].u, 8.0);
  EXPECT_EQ(lists[0][2].v, 2.0);
}

TEST_F(Selection, AStrongerLaterMaximumTakesTheSlotOfTheFirstWeakest) {
  response(2, 2) = 4.0;
  response(2, 6) = 3.0;
  response(5, 2) = 3.0;
  response(8, 8) = 6.0;
  const auto lists = select(3);
  ASSERT_EQ(lists[0].size(), 3U);
  EXPECT_EQ(lists[0][0].score, 4.0);
  EXPECT_EQ(lists[0][1].score, 6.0);  // replaced (2, 6), the first of the two at 3
  EXPECT_EQ(lists[0][1].u, 8.0);
  EXPECT_EQ(lists[0][2].u, 5.0);
}

TEST_F(Selection, ALaterMaximumEqualToTheWeakestLeavesTheListAsItWas) {
  response(2, 2) = 4.0;
  response(2, 6) = 3.0;
  response(8, 8) = 3.0;
  const auto lists = select(2);
  ASSERT_EQ(lists[0].size(), 2U);
  EXPECT_EQ(lists[0][1].u, 2.0);
  EXPECT_EQ(lists[0][1].v, 6.0);
}

TEST_F(Selection, AFullListOfHugeResponsesStillLosesItsWeakest) {
  response(2, 2) = 300000.0;
  response(2, 6) = 200000.0;
  response(8, 8) = 250000.0;
  const auto lists = select(2);
  ASSERT_EQ(lists[0].size(), 2U);
  EXPECT_EQ(lists[0][1].score, 250000.0);
}

TEST_F(Selection, LockedPolygonsAndMarkedPixelsGiveNoPoint) {
  response(4, 4) = 5.0;
  response(7, 7) = kOutside;
  EXPECT_EQ(select(10)[0].size(), 1U);
  polygons[0].locked = true;
  EXPECT_TRUE(select(10)[0].empty());
}

}  // namespace
}  // namespace plk
