#include "core/polygone.h"

#include <gtest/gtest.h>

namespace plk {
namespace {

TEST(CopyVerticesFrom, ClosedPolygonGivesADistinctLastVertexEqualInCoordinates) {
  Sommet a(1.5, 2.0);
  a.BordU = true;
  Sommet b(4.0, 8.0);
  Sommet c(9.0, 1.0);
  Polygone source;
  source.sommets = {&a, &b, &c, &a};

  VertexStore store;
  Polygone copy;
  copy.copyVerticesFrom(source, store);
  ASSERT_EQ(copy.sommets.size(), 4u);
  EXPECT_EQ(store.size(), 4u);
  EXPECT_NE(copy.sommets.front(), copy.sommets.back());
  EXPECT_FALSE(copy.isClosed());
  EXPECT_EQ(copy.sommets.back()->U, 1.5);
  EXPECT_EQ(copy.sommets.back()->V, 2.0);
  EXPECT_TRUE(copy.sommets.back()->BordU);
  EXPECT_EQ(copy.sommets.back()->index, -1);
  for (const Sommet* vertex : copy.sommets) {
    EXPECT_TRUE(vertex != &a && vertex != &b && vertex != &c);
  }
}

}  // namespace
}  // namespace plk
