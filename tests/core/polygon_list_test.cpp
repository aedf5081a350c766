#include "core/polygon_list.h"

#include <gtest/gtest.h>

namespace plk {
namespace {

// A closed triangle a, b, c, a.
struct Triangle {
  PolygonList list;
  Sommet* a = list.createVertex(10, 20);
  Sommet* b = list.createVertex(0, 200, true, false);
  Sommet* c = list.createVertex(150, 20);
  Triangle() { list.appendPolygon().sommets = {a, b, c, a}; }
};

TEST(DeleteVertex, FirstVertexOfClosedTriangleRemovesBothOccurrencesAndOpensIt) {
  Triangle t;
  Sommet* b = t.b;
  Sommet* c = t.c;
  t.list.deleteVertex(t.a);
  ASSERT_EQ(t.list.size(), 1u);
  EXPECT_EQ(t.list[0].sommets, (std::vector<Sommet*>{b, c}));
  EXPECT_FALSE(t.list[0].isClosed());
  EXPECT_EQ(t.list.vertexCount(), 2u);
}

TEST(DeleteVertex, MiddleVertexKeepsThePolygonClosed) {
  Triangle t;
  Sommet* a = t.a;
  Sommet* c = t.c;
  t.list.deleteVertex(t.b);
  ASSERT_EQ(t.list.size(), 1u);
  EXPECT_EQ(t.list[0].sommets, (std::vector<Sommet*>{a, c, a}));
  EXPECT_TRUE(t.list[0].isClosed());
}

TEST(DeleteVertex, SharedVertexLeavesBothPolygonsAndOnlyVertexRemovesItsPolygon) {
  PolygonList list;
  Sommet* shared = list.createVertex(0, 0);
  Sommet* p = list.createVertex(0, 10);
  Sommet* q = list.createVertex(10, 0);
  Sommet* lone = list.createVertex(5, 5);
  list.appendPolygon().sommets = {shared, p};
  list.appendPolygon().sommets = {lone};
  list.appendPolygon().sommets = {q, shared};

  list.deleteVertex(shared);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].sommets, (std::vector<Sommet*>{p}));
  EXPECT_EQ(list[2].sommets, (std::vector<Sommet*>{q}));

  list.deleteVertex(lone);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].sommets, (std::vector<Sommet*>{p}));
  EXPECT_EQ(list[1].sommets, (std::vector<Sommet*>{q}));
  EXPECT_EQ(list.vertexCount(), 2u);
}

// Undo keeps a deleted vertex alive and puts the very object back into every polygon that
// listed it, at its old positions.
TEST(CaptureRestore, ADeletedSharedVertexComesBackAsTheSameObject) {
  Triangle t;
  Sommet* d = t.list.createVertex(160, 210);
  t.list.appendPolygon().sommets = {t.b, d};
  t.list[1].locked = true;
  const PolygonListState before = t.list.capture();

  VertexStore spare;
  spare.push_back(t.list.deleteVertex(t.b));
  EXPECT_EQ(spare.front().get(), t.b);
  const PolygonListState after = t.list.capture();
  t.b->U = 99;  // a later change to the detached object is undone too

  t.list.restore(before, spare);
  EXPECT_TRUE(spare.empty());
  EXPECT_EQ(t.list.capture(), before);
  EXPECT_EQ(t.list[0].sommets, (std::vector<Sommet*>{t.a, t.b, t.c, t.a}));
  EXPECT_EQ(t.list[1].sommets, (std::vector<Sommet*>{t.b, d}));
  EXPECT_TRUE(t.list[1].locked);
  EXPECT_EQ(t.b->U, 0.0);
  EXPECT_TRUE(t.b->BordU);

  t.list.restore(after, spare);
  EXPECT_EQ(t.list.capture(), after);
  ASSERT_EQ(spare.size(), 1U);
  EXPECT_EQ(spare.front().get(), t.b);
  EXPECT_EQ(t.list.vertexCount(), 3U);
}

TEST(CaptureRestore, AnEmptyStateClearsTheListIntoTheSpareStore) {
  Triangle t;
  const PolygonListState full = t.list.capture();
  VertexStore spare;
  t.list.restore(PolygonListState{}, spare);
  EXPECT_TRUE(t.list.empty());
  EXPECT_EQ(t.list.vertexCount(), 0U);
  EXPECT_EQ(spare.size(), 3U);
  t.list.restore(full, spare);
  EXPECT_EQ(t.list.capture(), full);
  EXPECT_TRUE(t.list[0].isClosed());
}

TEST(DescribeRebuild, NumbersByFirstUseAndKeepsSharedVerticesShared) {
  PolygonList list;
  Sommet* a = list.createVertex(0, 0);
  Sommet* b = list.createVertex(0, 10);
  Sommet* c = list.createVertex(10, 10);
  Sommet* d = list.createVertex(10, 0, false, true);
  list.appendPolygon().sommets = {a, b, c, a};
  list.appendPolygon().sommets = {c, d, a, c};

  const PolygonListRecord record = list.describe();
  EXPECT_EQ(record.polygons, (std::vector<std::vector<std::int32_t>>{{0, 1, 2, 0}, {2, 3, 0, 2}}));
  ASSERT_EQ(record.vertices.size(), 4u);
  EXPECT_TRUE(record.vertices[3].BordV);

  PolygonList rebuilt;
  rebuilt.rebuild(record);
  ASSERT_EQ(rebuilt.size(), 2u);
  EXPECT_EQ(rebuilt.vertexCount(), 4u);
  const auto& first = rebuilt[0].sommets;
  const auto& second = rebuilt[1].sommets;
  EXPECT_TRUE(rebuilt[0].isClosed());
  EXPECT_TRUE(rebuilt[1].isClosed());
  EXPECT_EQ(first[2], second[0]);
  EXPECT_EQ(first[0], second[2]);
  first[0]->U = 3.5;
  EXPECT_EQ(second[2]->U, 3.5);
}

TEST(IsValid, RefusesNumbersOutsideTheVertexTable) {
  PolygonListRecord record;
  record.vertices.resize(2);
  record.polygons = {{0, 1, 0}};
  EXPECT_TRUE(isValid(record));
  record.polygons = {{0, 2}};
  EXPECT_FALSE(isValid(record));
  record.polygons = {{-1}};
  EXPECT_FALSE(isValid(record));
}

}  // namespace
}  // namespace plk
