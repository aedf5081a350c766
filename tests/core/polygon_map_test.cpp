#include "core/fonctions/polygon_map.h"

#include <gtest/gtest.h>

#include "core/fonctions/geometry.h"

namespace plk {
namespace {

TEST(PolygonIndexMap, GivesFindPolygonAtEveryPixel) {
  PolygonList polygons;
  Polygone& slanted = polygons.appendPolygon();
  Sommet* first = polygons.createVertex(2.5, 3.0);
  slanted.sommets = {first, polygons.createVertex(4.0, 30.0), polygons.createVertex(25.0, 20.5),
                     polygons.createVertex(18.0, 1.0), first};
  Polygone& box = polygons.appendPolygon();  // overlaps the first: the first keeps the pixels
  Sommet* corner = polygons.createVertex(10.0, 10.0);
  box.sommets = {corner, polygons.createVertex(10.0, 38.0), polygons.createVertex(28.0, 38.0),
                 polygons.createVertex(28.0, 10.0), corner};
  const PolygonIndexMap map(polygons, 30, 40);
  int counts[3] = {0, 0, 0};
  for (int r = 0; r < 30; ++r) {
    for (int c = 0; c < 40; ++c) {
      ASSERT_EQ(map(r, c), findPolygon(polygons, r, c)) << r << "," << c;
      ++counts[map(r, c) + 1];
    }
  }
  EXPECT_GT(counts[0], 0);
  EXPECT_GT(counts[1], 0);
  EXPECT_GT(counts[2], 0);
  EXPECT_EQ(PolygonIndexMap(PolygonList{}, 3, 4)(2, 3), -1);
}

}  // namespace
}  // namespace plk
