#include "core/fonctions/polygon_scan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/fonctions/geometry.h"
#include "core/lanes.h"

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

// Points at random, on the integer grid, on and near the sides and corners, and on the corners'
// rows: the grid's answer, and the sides' at every lane width, must be the shape's, with the
// cells over the whole box or clipped to a smaller image, and for polygons whose corners lie a
// million or a billion pixels away.
TEST(ShapeGrid, AgreesWithTheShapeEverywhere) {
  std::mt19937 random(8);
  std::uniform_int_distribution<int> cornerCount(3, 12);
  std::uniform_real_distribution<double> coordinate(-5.0, 60.0);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int polygon = 0; polygon < 66; ++polygon) {
    PolygonShape shape;
    const int n = cornerCount(random);
    const double reach = polygon < 60 ? 1.0 : (polygon % 2 == 0 ? 1e6 : 1e9);
    for (int i = 0; i < n; ++i) {
      double u = coordinate(random);
      double v = coordinate(random);
      if (reach > 1.0) {
        u = (u - 27.5) * reach;
        v = (v - 27.5) * reach;
      } else if (polygon % 3 == 0) {
        u = std::round(u);
        v = std::round(v);
      } else if (polygon % 3 == 1) {
        u = std::round(u * 10) / 10;
        v = std::round(v * 10) / 10;
      }
      shape.corners.push_back(pointAt(u, v));
    }
    shape.box = boundingBox(shape.corners, Point2{}).box;
    const ShapeGrid grid(shape, polygon % 2 == 0 ? 64 : 30, polygon % 2 == 0 ? 64 : 20);
    const PolygonSides sides(shape.corners);
    const auto check = [&](double u, double v) {
      const bool expected = shape.contains(u, v);
      ASSERT_EQ(grid.contains(u, v), expected) << "u " << u << " v " << v;
      if (!insideBox(shape.box, pointAt(u, v))) return;
      for (const int width : {1, 2, 4, 8}) {
        if (!supportsLanes(width)) continue;
        ASSERT_EQ(sides.contains(shape.box, pointAt(u, v), width), expected)
            << "u " << u << " v " << v << " in " << width << " lanes";
      }
    };
    for (int k = 0; k < 4000; ++k) check(coordinate(random), coordinate(random));
    for (int u = -6; u < 62; ++u) {
      for (int v = -6; v < 62; ++v) check(u, v);
    }
    for (int i = 0; i < n; ++i) {
      const Point2 a = shape.corners[static_cast<std::size_t>(i)];
      const Point2 b = shape.corners[static_cast<std::size_t>((i + 1) % n)];
      for (int k = 0; k < 200; ++k) {
        const double t = unit(random) * 3 - 1;
        const double offsetU = (unit(random) - 0.5) * 1e-3;
        const double offsetV = (unit(random) - 0.5) * 1e-3;
        check(a.u + t * (b.u - a.u) + offsetU, a.v + t * (b.v - a.v) + offsetV);
        check(a.u, a.v + (unit(random) - 0.5) * 80);
      }
      check(a.u, a.v);
      check(std::nextafter(a.u, 1e9), a.v);
    }
  }
}

// Overlapping polygons, some reaching a million pixels away, one of a single corner: the stack
// must name the first containing shape as findShape does, near every side and far from all.
TEST(ShapeStack, NamesTheFirstContainingShapeAsFindShapeDoes) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> coordinate(-5.0, 45.0);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int scene = 0; scene < 12; ++scene) {
    std::vector<PolygonShape> shapes(6);
    for (std::size_t k = 0; k < shapes.size(); ++k) {
      const int n = k == 5 && scene % 4 == 0 ? 1 : 3 + static_cast<int>(k);
      const double reach = k == 2 && scene % 3 == 0 ? 1e6 : 1.0;
      for (int i = 0; i < n; ++i) {
        const double u = std::round(coordinate(random) * 4) / 4;
        const double v = std::round(coordinate(random) * 4) / 4;
        shapes[k].corners.push_back(pointAt((u - 20) * reach + 20, (v - 20) * reach + 20));
      }
      shapes[k].box = boundingBox(shapes[k].corners, Point2{}).box;
    }
    const ShapeStack stack(shapes, 40, scene % 2 == 0 ? 40 : 25);
    const auto check = [&](double u, double v) {
      ASSERT_EQ(stack.findShape(u, v), findShape(shapes, u, v)) << "u " << u << " v " << v;
    };
    for (int k = 0; k < 3000; ++k) check(coordinate(random), coordinate(random));
    for (int u = -3; u < 44; ++u) {
      for (int v = -3; v < 44; ++v) check(u, v);
    }
    for (const PolygonShape& shape : shapes) {
      const std::size_t n = shape.corners.size();
      for (std::size_t i = 0; i < n; ++i) {
        const Point2 a = shape.corners[i];
        const Point2 b = shape.corners[(i + 1) % n];
        for (int k = 0; k < 100; ++k) {
          const double t = unit(random);
          check(a.u + t * (b.u - a.u) + (unit(random) - 0.5) * 1e-3,
                a.v + t * (b.v - a.v) + (unit(random) - 0.5) * 1e-3);
        }
        check(a.u, a.v);
      }
    }
    check(std::nan(""), 3.0);
    check(1e300, -1e300);
  }
}

}  // namespace
}  // namespace plk
