#include "core/fonctions/segmentation_detail.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "numeric/optim.h"
#include "numeric/simopt.h"
#include "run_test_support.h"
#include "segmentation_test_support.h"

namespace plk {
namespace {

using test::Corner;
using test::Gradients;

// The halving as first described: append every midpoint, then sort the list along the side.
std::vector<SidePoint> naiveSideSamples(SidePoint p, SidePoint q, double s) {
  std::vector<SidePoint> points{p, q};
  const double du = q.u - p.u;
  const double dv = q.v - p.v;
  const auto before = [&](SidePoint a, SidePoint b) {
    if (du > 0) return a.u < b.u;
    if (du < 0) return a.u > b.u;
    return dv >= 0 ? a.v < b.v : a.v > b.v;
  };
  const auto gap = [&] {
    const double a = points[1].u - points[0].u;
    const double b = points[1].v - points[0].v;
    return std::sqrt(a * a + b * b);
  };
  while (gap() > s) {
    const std::size_t count = points.size();
    for (std::size_t i = 0; i + 1 < count; ++i) {
      points.push_back({(points[i].u + points[i + 1].u) / 2, (points[i].v + points[i + 1].v) / 2});
    }
    std::sort(points.begin(), points.end(), before);
  }
  return points;
}

bool samePoints(const std::vector<SidePoint>& a, const std::vector<SidePoint>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](SidePoint x, SidePoint y) { return x.u == y.u && x.v == y.v; });
}

TEST(SideSamples, HalvingsUntilTheSpacingIsAtMostTheStep) {
  const std::vector<SidePoint> row = sideSamples({0, 0}, {0, 10}, 1.0);
  ASSERT_EQ(row.size(), 17U);  // 10 / 2^4 = 0.625
  for (std::size_t i = 0; i < row.size(); ++i) {
    EXPECT_EQ(row[i].u, 0.0);
    EXPECT_EQ(row[i].v, 0.625 * static_cast<double>(i));
  }
  EXPECT_EQ(sideSamples({3, 4}, {3.5, 4}, 0.5).size(), 2U);  // already short enough
  const std::vector<SidePoint> ends{{2, 2}, {2, 2}};
  EXPECT_TRUE(samePoints(sideSamples({2, 2}, {2, 2}, 0.1), ends));
}

TEST(SideSamples, SameListAsSortingTheMidpointsInEveryDirection) {
  const SidePoint sides[][2] = {{{1, 1}, {7.3, 2.9}}, {{7.3, 2.9}, {1, 1}}, {{5, 9}, {5, 1.2}},
                                {{5, 1.2}, {5, 9}},   {{0.5, 3}, {9.5, 3}}, {{9.5, 3}, {0.5, 3}},
                                {{2, 8}, {6.1, 0.4}}, {{6.1, 0.4}, {2, 8}}};
  for (const auto& side : sides) {
    for (const double s : {1.0, 1.0 / 3, 0.1, 0.25}) {
      EXPECT_TRUE(
          samePoints(sideSamples(side[0], side[1], s), naiveSideSamples(side[0], side[1], s)))
          << side[0].u << "," << side[0].v << " -> " << side[1].u << "," << side[1].v << " s=" << s;
    }
  }
}

Gradients constantGradients(int width, int height, std::int32_t x, std::int32_t y) {
  Gradients g = test::flatGradients(width, height);
  for (int r = 0; r <= height; ++r) {
    for (int c = 0; c <= width; ++c) {
      g.x(r, c) = x;
      g.y(r, c) = y;
    }
  }
  return g;
}

TEST(SideEnergy, ASideWeighsTheGradientAcrossIt) {
  const Gradients g = constantGradients(20, 20, 1000, 7);
  EXPECT_EQ(sideEnergy(sideSamples({5, 3}, {5, 12}, 1.0), g.x, g.y), 49.0);       // along a row
  EXPECT_EQ(sideEnergy(sideSamples({12, 6}, {3, 6}, 0.5), g.x, g.y), 1000000.0);  // a column
  EXPECT_DOUBLE_EQ(sideEnergy(sideSamples({2, 2}, {8, 10}, 0.5), g.x, g.y),
                   std::pow(1000 * 0.6 + 7 * 0.8, 2));  // |dU| / L = 0.6, |dV| / L = 0.8
}

TEST(SideEnergy, SamplesNearTheBorderAreSkippedAndAPointSideHasNone) {
  const Gradients g = constantGradients(20, 10, 1000, 7);
  // Rows below 1 and from H - 1 on, columns below 1 and from W - 1 on are left out.
  EXPECT_EQ(sideEnergy(sideSamples({0.5, 2}, {0.5, 15}, 1.0), g.x, g.y), 0.0);
  EXPECT_EQ(sideEnergy(sideSamples({9, 2}, {9, 15}, 1.0), g.x, g.y), 0.0);
  EXPECT_EQ(sideEnergy(sideSamples({2, 19}, {8, 19}, 1.0), g.x, g.y), 0.0);
  EXPECT_EQ(sideEnergy(sideSamples({4, 4}, {4, 4}, 1.0), g.x, g.y), 0.0);
  // Half of this column side lies above row 1: the mean is over the kept samples only.
  EXPECT_EQ(sideEnergy(sideSamples({0, 5}, {2, 5}, 1.0), g.x, g.y), 1000000.0);
}

TEST(PolygonEnergy, SidesOnOneBorderLineCountNothingAndMeasuresAreCached) {
  const Gradients g = constantGradients(20, 10, 1000, 7);
  PolygonList list;
  // Corner (0, 0), then along the top border, then inside.
  const Polygone& polygon =
      test::addPolygon(list, {{0, 0, true, true}, {0, 12, true, false}, {6, 12}, {6, 3}});
  SideEnergyCache cache;
  EnergyField field{g.x, g.y, 0.5, cache};
  const double expected = sideEnergy(sideSamples({0, 12}, {6, 12}, 0.5), g.x, g.y) +
                          sideEnergy(sideSamples({6, 12}, {6, 3}, 0.5), g.x, g.y) +
                          sideEnergy(sideSamples({6, 3}, {0, 0}, 0.5), g.x, g.y);
  EXPECT_EQ(polygonEnergy(polygon, field), expected);
  EXPECT_EQ(cache.size(), 3U);
  EXPECT_EQ(cache.find({6, 12}, {6, 3}), 49.0);
  EXPECT_EQ(cache.find({6, 3}, {6, 12}), SideEnergyCache::kMissing);
  EXPECT_EQ(polygonEnergy(polygon, field), expected);
  EXPECT_EQ(cache.size(), 3U);
}

std::vector<std::pair<double, double>> positions(const std::vector<Sommet>& vertices) {
  std::vector<std::pair<double, double>> result;
  for (const Sommet& v : vertices) result.emplace_back(v.U, v.V);
  return result;
}

TEST(VertexCandidates, OrderFlagsAndImageBounds) {
  using Positions = std::vector<std::pair<double, double>>;
  Sommet free(0, 5);
  EXPECT_EQ(positions(vertexCandidates(free, 1.0, 30, 40)),
            (Positions{{0, 4}, {0, 5}, {0, 6}, {1, 4}, {1, 5}, {1, 6}}));
  Sommet bottom(29, 39);
  bottom.BordU = true;
  const std::vector<Sommet> along = vertexCandidates(bottom, 0.5, 30, 40);
  EXPECT_EQ(positions(along), (Positions{{29, 38.5}, {29, 39}, {29, 39.5}}));
  EXPECT_TRUE(along[0].BordU);
  EXPECT_FALSE(along[0].BordV);
  Sommet right(0, 39);
  right.BordV = true;
  EXPECT_EQ(positions(vertexCandidates(right, 1.0, 30, 40)), (Positions{{0, 39}, {1, 39}}));
  Sommet corner(29, 0);
  corner.BordU = corner.BordV = true;
  EXPECT_EQ(positions(vertexCandidates(corner, 1.0, 30, 40)), (Positions{{29, 0}}));
  Sommet held(7, 7);
  held.Fixe = true;
  EXPECT_EQ(positions(vertexCandidates(held, 1.0, 30, 40)), (Positions{{7, 7}}));
  EXPECT_FALSE(vertexCandidates(Sommet(7, 7), 1.0, 30, 40)[4].Fixe);
}

TEST(ExactSearch, AVertexOutsideTheImageLeavesThePolygonAsItIs) {
  const Gradients g = test::gradientsOf(test::rectangleImage(40, 30, 10, 10, 20, 30));
  PolygonList list;
  const Polygone& working = test::addPolygon(list, {{-5, 12}, {15, 20}, {18, 8}});
  for (const auto search : {&exactSearch, &exactSearchByEnumeration}) {
    VertexStore store;
    Polygone polygon;
    polygon.copyVerticesFrom(working, store);
    polygon.value = 0.0;
    SideEnergyCache cache;
    EnergyField field{g.x, g.y, 1.0, cache};
    search(working, polygon, 1.0, field);
    EXPECT_EQ(vertexListText(polygon, {}), vertexListText(working, {}));
    EXPECT_EQ(polygon.value, 0.0);
  }
}

// Runs optimisePolygon on the polygon with exact or annealing search, keeping the report.
class OptimisePolygonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setOptimLogEnabled(false);
    setAnnealingClock([] { return 1000U; });
  }
  void TearDown() override {
    setOptimLogEnabled(true);
    setAnnealingClock({});
  }

  PolygonOutcome optimise(const Gradients& g, Polygone& polygon,
                          const OptimisationParameters& parameters) {
    return optimisePolygon(g.x, g.y, polygon, parameters, report, NumberFormat{'.'},
                           [](std::int32_t) { return true; });
  }

  [[nodiscard]] bool reportHas(const std::string& line) const {
    return std::find(report.lines.begin(), report.lines.end(), line) != report.lines.end();
  }

  test::ReportLines report;
  PolygonList list;
};

TEST_F(OptimisePolygonTest, PolygonOfImageCornersHasNoEnergyAndStays) {
  const Gradients g = test::gradientsOf(test::rectangleImage(40, 30, 10, 10, 20, 30));
  Polygone& polygon = test::addPolygon(
      list, {{0, 0, true, true}, {0, 39, true, true}, {29, 39, true, true}, {29, 0, true, true}});
  polygon.value = 5.0;
  (void)optimise(g, polygon, test::parametersFor({1}));
  EXPECT_EQ(polygon.value, 0.0);
  EXPECT_EQ(vertexListText(polygon, {}),
            "(  0.0   0.0) (  0.0  39.0) ( 29.0  39.0) ( 29.0   0.0) (  0.0   0.0) ");
  EXPECT_TRUE(reportHas("                     *** Convergence après 2 itérations"));
}

TEST_F(OptimisePolygonTest, QuadrilateralOffARectangleEndsOnItsEdges) {
  // Bright rows 20..39 and columns 25..54: edges at rows 19.5 and 39.5, columns 24.5 and 54.5.
  const Gradients g = test::gradientsOf(test::rectangleImage(80, 60, 20, 25, 39, 54));
  Polygone& polygon =
      test::addPolygon(list, {{17.5, 22.5}, {17.5, 56.5}, {41.5, 56.5}, {41.5, 22.5}});
  (void)optimise(g, polygon, test::parametersFor({1, 3, 10}));
  const double expected[4][2] = {{19.5, 24.5}, {19.5, 54.5}, {39.5, 54.5}, {39.5, 24.5}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(polygon.sommets[i]->U, expected[i][0], 0.1 + 1e-9) << i;
    EXPECT_NEAR(polygon.sommets[i]->V, expected[i][1], 0.1 + 1e-9) << i;
  }
  SideEnergyCache cache;
  EnergyField field{g.x, g.y, 0.1, cache};
  EXPECT_EQ(polygon.value, polygonEnergy(polygon, field));
  EXPECT_TRUE(reportHas("                      - Energie finale : E = " +
                        formatFixed(polygon.value, 10, 2, {})));
}

TEST_F(OptimisePolygonTest, BottomBorderVertexTakesTheLastPositionOfItsPixelAtEachLevel) {
  const int h = 30;
  const Gradients g = test::flatGradients(40, h);
  const std::vector<std::vector<std::int32_t>> levelLists{{1}, {1, 3}, {1, 3, 10}};
  const double expected[] = {h - 1.0, (h - 1.0 + 1.0) - 1.0 / 3, (h - 1.0 + 1.0) - 1.0 / 10};
  for (std::size_t k = 0; k < levelLists.size(); ++k) {
    PolygonList own;
    Polygone& polygon = test::addPolygon(own, {{10, 10}, {h - 1.0, 20, true, false}, {15, 30}});
    (void)optimise(g, polygon, test::parametersFor(levelLists[k]));
    EXPECT_EQ(polygon.sommets[1]->U, expected[k]) << k;
  }
}

TEST_F(OptimisePolygonTest, FlatRegionTieMovesEveryFreeVertexBackTwice) {
  const Gradients g = test::flatGradients(40, 30);
  Polygone& polygon = test::addPolygon(
      list, {{10, 10}, {29, 20, true, false}, {15, 39, false, true}, {0.5, 5}, {0, 0, true, true}});
  (void)optimise(g, polygon, test::parametersFor({1}));
  EXPECT_EQ(vertexListText(polygon, {}),
            "(  8.0   8.0) ( 29.0  18.0) ( 13.0  39.0) (  0.5   3.0) (  0.0   0.0) (  8.0   8.0) ");
  EXPECT_EQ(polygon.value, 0.0);
  EXPECT_TRUE(reportHas("                     *** Convergence après 2 itérations"));
}

TEST_F(OptimisePolygonTest, ReportOfOnePolygonAndTwoLevels) {
  const Gradients g = test::flatGradients(40, 30);
  Polygone& polygon = test::addPolygon(list, {{10, 10}, {10, 20}, {20, 10}});
  const PolygonOutcome outcome = optimise(g, polygon, test::parametersFor({1, 3}));
  EXPECT_FALSE(outcome.stopped);
  const std::string rule = "              " + std::string(63, '-');
  const std::string initial = "                      - Polygone initial : ";
  const std::string final = "                      - Polygone final :    ";
  const std::string energy = "                      - Energie finale : E =       0.00";
  const std::string converged = "                     *** Convergence après 2 itérations";
  EXPECT_EQ(report.lines, (std::vector<std::string>{
                              "              Profondeur niveau 1 : précision 1/1",
                              rule,
                              " ",
                              "                  * Itération 1 : précision 1/1",
                              initial + "( 10.0  10.0) ( 10.0  20.0) ( 20.0  10.0) ( 10.0  10.0) ",
                              final + "(  9.0   9.0) (  9.0  19.0) ( 19.0   9.0) (  9.0   9.0) ",
                              energy,
                              " ",
                              "                  * Itération 2 : précision 1/1",
                              initial + "(  9.0   9.0) (  9.0  19.0) ( 19.0   9.0) (  9.0   9.0) ",
                              final + "(  8.0   8.0) (  8.0  18.0) ( 18.0   8.0) (  8.0   8.0) ",
                              energy,
                              " ",
                              converged,
                              " ",
                              "              Profondeur niveau 2 : précision 1/3",
                              rule,
                              " ",
                              "                  * Itération 1 : précision 1/3",
                              initial + "(  9.0   9.0) (  9.0  19.0) ( 19.0   9.0) (  9.0   9.0) ",
                              final + "(  8.7   8.7) (  8.7  18.7) ( 18.7   8.7) (  8.7   8.7) ",
                              energy,
                              " ",
                              "                  * Itération 2 : précision 1/3",
                              initial + "(  8.7   8.7) (  8.7  18.7) ( 18.7   8.7) (  8.7   8.7) ",
                              final + "(  8.3   8.3) (  8.3  18.3) ( 18.3   8.3) (  8.3   8.3) ",
                              energy,
                              " ",
                              converged,
                              " "}));
}

TEST_F(OptimisePolygonTest, EveryIterationImprovingEndsTheCallWithoutTheFinerLevels) {
  const Gradients g = test::gradientsOf(test::rectangleImage(80, 60, 20, 25, 39, 54));
  Polygone& polygon =
      test::addPolygon(list, {{17.5, 22.5}, {17.5, 56.5}, {41.5, 56.5}, {41.5, 22.5}});
  OptimisationParameters parameters = test::parametersFor({1, 3});
  parameters.iterationsPerLevel = 1;
  (void)optimise(g, polygon, parameters);
  EXPECT_TRUE(reportHas("                     *** Pas de convergence après 1 itérations"));
  EXPECT_FALSE(reportHas("              Profondeur niveau 2 : précision 1/3"));
  // One pixel towards the edges, the first step of the way.
  EXPECT_EQ(vertexListText(polygon, {}),
            "( 18.5  23.5) ( 18.5  55.5) ( 40.5  55.5) ( 40.5  23.5) ( 18.5  23.5) ");
}

TEST_F(OptimisePolygonTest, SixMovableVerticesGoToAnnealingOnTheTenthGrid) {
  const int h = 60;
  const Gradients g = test::gradientsOf(test::rectangleImage(80, h, 20, 25, 39, 54));
  Polygone& hexagon = test::addPolygon(
      list, {{19, 24}, {19, 40}, {19, 55}, {40, 55}, {h - 1.0, 40, true, false}, {40, 24}});
  OptimisationParameters parameters = test::parametersFor({3}, 50);
  parameters.iterationsPerLevel = 1;
  (void)optimise(g, hexagon, parameters);
  EXPECT_TRUE(reportHas("                      *** Convergence *** ") ||
              reportHas("                      *** Pas de convergence *** "));
  for (const Sommet* vertex : hexagon.sommets) {
    EXPECT_EQ(std::nearbyint(vertex->U * 10) / 10, vertex->U);
    EXPECT_EQ(std::nearbyint(vertex->V * 10) / 10, vertex->V);
  }
  EXPECT_EQ(hexagon.sommets[4]->U, h - 0.3);  // snapped to H - 1/3, measured on the tenth grid
  SideEnergyCache cache;
  EnergyField field{g.x, g.y, 1.0 / 3, cache};
  EXPECT_DOUBLE_EQ(hexagon.value, polygonEnergy(hexagon, field));
}

TEST_F(OptimisePolygonTest, AHeldVertexOrAFifthVertexKeepsTheExactSearch) {
  const Gradients g = test::gradientsOf(test::rectangleImage(80, 60, 20, 25, 39, 54));
  Polygone& held = test::addPolygon(
      list, {{19, 24, false, false, true}, {19, 40}, {19, 55}, {40, 55}, {45, 40}, {40, 24}});
  Polygone& pentagon = test::addPolygon(list, {{19, 24}, {19, 55}, {40, 55}, {45, 40}, {40, 24}});
  OptimisationParameters parameters = test::parametersFor({1}, 50);
  (void)optimise(g, held, parameters);
  (void)optimise(g, pentagon, parameters);
  EXPECT_FALSE(reportHas("                      *** Convergence *** "));
  EXPECT_FALSE(reportHas("                      *** Pas de convergence *** "));
  EXPECT_EQ(held.sommets[0]->U, 19.0);
}

TEST_F(OptimisePolygonTest, AnnealingWithoutAnyEnergyStaysFinite) {
  const Gradients g = test::flatGradients(40, 30);
  Polygone& hexagon =
      test::addPolygon(list, {{5, 5}, {5, 15}, {5, 25}, {20, 25}, {20, 15}, {20, 5}});
  (void)optimise(g, hexagon, test::parametersFor({1}, 20));
  EXPECT_EQ(hexagon.value, 0.0);
  for (const Sommet* vertex : hexagon.sommets) {
    EXPECT_TRUE(std::isfinite(vertex->U) && std::isfinite(vertex->V));
  }
}

TEST_F(OptimisePolygonTest, SingleEntryIsLeftAloneAndAPointPolygonHasNoEnergy) {
  const Gradients g = test::gradientsOf(test::rectangleImage(40, 30, 10, 10, 20, 30));
  Polygone& started = list.appendPolygon();
  started.sommets.push_back(list.createVertex(9.5, 9.5));
  (void)optimise(g, started, test::parametersFor({1}));
  EXPECT_TRUE(report.lines.empty());
  EXPECT_EQ(started.sommets[0]->U, 9.5);

  Polygone& point = list.appendPolygon();
  point.sommets = {list.createVertex(15, 15), nullptr};
  point.sommets[1] = point.sommets[0];
  (void)optimise(g, point, test::parametersFor({1}));
  EXPECT_EQ(point.value, 0.0);
}

TEST_F(OptimisePolygonTest, StoppingAfterAnIterationEndsTheCall) {
  const Gradients g = test::flatGradients(40, 30);
  Polygone& polygon = test::addPolygon(list, {{10, 10}, {10, 20}, {20, 10}});
  std::vector<std::int32_t> seen;
  const PolygonOutcome outcome =
      optimisePolygon(g.x, g.y, polygon, test::parametersFor({1, 3}), report, NumberFormat{','},
                      [&](std::int32_t precision) {
                        seen.push_back(precision);
                        return seen.size() < 3;
                      });
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(seen, (std::vector<std::int32_t>{1, 1, 3}));
  EXPECT_EQ(report.lines[4],
            "                      - Polygone initial : ( 10,0  10,0) ( 10,0  20,0) ( 20,0  10,0) "
            "( 10,0  10,0) ");
}

// Within an iteration the search asks between batches of side measurements (exact search) or
// before each evaluation (annealing); a stop ends the call at once, with no iteration result
// and the polygon as it was.
TEST_F(OptimisePolygonTest, StoppingWithinAnIterationLeavesThePolygonAsItWas) {
  const Gradients g = test::gradientsOf(test::rectangleImage(80, 60, 20, 25, 39, 54));
  for (const std::int32_t annealing : {0, 50}) {
    PolygonList own;
    Polygone& polygon =
        test::addPolygon(own, {{17.5, 22.5}, {17.5, 56.5}, {41.5, 56.5}, {41.5, 22.5}});
    const std::string before = vertexListText(polygon, {});
    OptimisationParameters parameters = test::parametersFor({1}, annealing);
    parameters.samplingStep = 1e-4;  // half a million samples a side: many batches
    report.lines.clear();
    int asked = 0;
    const PolygonOutcome outcome = optimisePolygon(
        g.x, g.y, polygon, parameters, report, NumberFormat{'.'}, [](std::int32_t) { return true; },
        [&] { return ++asked < 3; });
    EXPECT_TRUE(outcome.stopped) << annealing;
    EXPECT_EQ(asked, 3) << annealing;
    EXPECT_EQ(vertexListText(polygon, {}), before) << annealing;
    EXPECT_EQ(std::count_if(report.lines.begin(), report.lines.end(),
                            [](const std::string& line) {
                              return line.find("Polygone final") != std::string::npos;
                            }),
              0)
        << annealing;
  }
}

}  // namespace
}  // namespace plk
