#include "core/fonctions/polygon_scan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/fonctions/geometry.h"

namespace plk {
namespace {

void addPolygon(PolygonList& list, const std::vector<std::pair<double, double>>& corners,
                bool closed = true) {
  Polygone& polygon = list.appendPolygon();
  for (const auto& [u, v] : corners) polygon.sommets.push_back(list.createVertex(u, v));
  if (closed) polygon.sommets.push_back(polygon.sommets.front());
}

std::vector<double> sampleColumns(int count, int factor) {
  std::vector<double> columns(static_cast<std::size_t>(count));
  for (int x = 0; x < count; ++x) columns[static_cast<std::size_t>(x)] = double(x) / factor;
  return columns;
}

// Every row of a fine grid classified at once must agree with findPolygon at every sample.
void expectRowsMatchFindPolygon(const PolygonList& list, int rows, int columnCount, int factor) {
  const std::vector<PolygonShape> shapes = shapesOf(list);
  const std::vector<double> columns = sampleColumns(columnCount, factor);
  std::vector<std::int32_t> indices(columns.size());
  for (int y = 0; y < rows; ++y) {
    const double u = double(y) / factor;
    classifyRow(shapes, u, columns, indices);
    for (std::size_t x = 0; x < columns.size(); ++x) {
      ASSERT_EQ(indices[x], findPolygon(list, u, columns[x])) << "u " << u << " v " << columns[x];
      ASSERT_EQ(findShape(shapes, u, columns[x]), indices[x]);
    }
  }
}

TEST(ClassifyRow, AgreesWithFindPolygonOnEdgesCornersAndExtensions) {
  PolygonList list;
  addPolygon(list, {{2, 2}, {2, 8}, {6, 8}, {6, 2}});             // sides on sample rows
  addPolygon(list, {{0, 0}, {5, 10}, {10, 0}, {5, 3}});           // arrow: extension inside box
  addPolygon(list, {{0, 15}, {5, 20}, {10, 15}, {5, 10}});        // diamond: ray through corners
  addPolygon(list, {{1, 12}, {9, 18}, {1, 18}, {9, 12}});         // self-crossing bow tie
  addPolygon(list, {{3.3, 4.1}, {7.7, 1.2}, {8.9, 9.6}}, false);  // open: last element dropped
  addPolygon(list, {{4, 4}});                                     // one corner: never inside
  addPolygon(list, {{0.5, 0.5}, {11.5, 0.5}, {11.5, 21.5}, {0.5, 21.5}});  // catches the rest
  for (const int factor : {1, 2, 3, 7})
    expectRowsMatchFindPolygon(list, 12 * factor, 23 * factor, factor);
}

TEST(ClassifyRow, AgreesWithFindPolygonOnRandomPolygons) {
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> cornerCount(3, 9);
  std::uniform_real_distribution<double> coordinate(-2.0, 30.0);
  for (int scene = 0; scene < 40; ++scene) {
    PolygonList list;
    for (int k = 0; k < 4; ++k) {
      std::vector<std::pair<double, double>> corners;
      const int n = cornerCount(random);
      for (int i = 0; i < n; ++i) {
        double u = coordinate(random);
        double v = coordinate(random);
        // Half the scenes put corners on sample positions, where the rules for touching apply.
        if (scene % 2 == 0) {
          u = std::round(u * 2) / 2;
          v = std::round(v * 3) / 3;
        }
        corners.emplace_back(u, v);
      }
      addPolygon(list, corners);
    }
    expectRowsMatchFindPolygon(list, 30 * 6, 30 * 6, 6);
  }
}

}  // namespace
}  // namespace plk
