#include "gui/image_test_fixture.h"

namespace plk::test {
namespace {

using ImageEditingTest = ImageWindowTest;

TEST_F(ImageEditingTest, EveryMoveShowsThePointerPixelInTheLabel) {
  open(200, 150);
  window->setZoom(3, 0, 0);
  moveTo({31, 62});
  moveTo({32, 63});
  ASSERT_EQ(host.labels.size(), 2U);
  EXPECT_EQ(host.labels[0], std::make_pair(20, 10));
  EXPECT_EQ(host.labels[1], std::make_pair(21, 10));
  EXPECT_EQ(editing.pointerX, 32);
  EXPECT_EQ(editing.pointerY, 63);
}

// A vertex is within reach of the pointer when both its distances are below four image pixels,
// whatever the zoom.
TEST_F(ImageEditingTest, HoverReachesThreePixelsAndNotFour) {
  open(200, 150);
  editing.editMode = EditMode::Del;
  const Sommet* vertex = makePolygon({{100, 100}}).sommets.front();
  for (int zoom : {1, 4}) {
    window->setZoom(zoom, 100, 100);
    for (auto [row, column] : {std::pair{97, 97}, {103, 103}, {97, 103}, {100, 97}}) {
      moveTo(at(row, column) + QPoint(zoom - 1, zoom - 1));
      EXPECT_EQ(window->editor().hoveredVertex(), vertex) << zoom << " " << row << "," << column;
      EXPECT_EQ(editing.snapU, 100.0);
      EXPECT_EQ(editing.snapV, 100.0);
    }
    for (auto [row, column] : {std::pair{100, 96}, {100, 104}, {96, 100}, {104, 104}}) {
      moveTo(at(row, column));
      EXPECT_EQ(window->editor().hoveredVertex(), nullptr) << zoom << " " << row << "," << column;
    }
  }
}

TEST_F(ImageEditingTest, TheEarlierPolygonThenTheEarlierElementWins) {
  open(200, 150);
  editing.editMode = EditMode::Move;
  const Polygone& first = makePolygon({{10, 10}, {53, 53}, {51, 51}});
  const Polygone& second = makePolygon({{50, 50}});
  moveTo(at(50, 50));
  EXPECT_EQ(window->editor().hoveredVertex(), first.sommets[1]);
  moveTo(at(47, 47));
  EXPECT_EQ(window->editor().hoveredVertex(), second.sommets[0]);
}

TEST_F(ImageEditingTest, PressesNearABorderSnapToIt) {
  open(640, 480);
  editing.editMode = EditMode::Add;
  click(100, 3);
  click(110, 4);
  click(120, 635);
  click(130, 636);
  click(2, 1);
  click(477, 300);
  const auto& made = polygons()[0].sommets;
  ASSERT_EQ(made.size(), 6U);
  const std::vector<std::tuple<double, double, bool, bool>> expected = {
      {100, 0, false, true},   {110, 4, false, false}, {120, 635, false, false},
      {130, 639, false, true}, {0, 0, true, true},     {479, 300, true, false}};
  for (std::size_t i = 0; i < made.size(); ++i) {
    EXPECT_EQ(std::make_tuple(made[i]->U, made[i]->V, made[i]->BordU, made[i]->BordV), expected[i])
        << i;
  }
}

TEST_F(ImageEditingTest, ClickingTheFirstVertexClosesTheTriangle) {
  open(200, 150);
  editing.editMode = EditMode::Add;
  click(20, 20);
  EXPECT_EQ(window->editor().constructionState(), 1);
  click(20, 80);
  click(70, 50);
  EXPECT_EQ(window->editor().lastVertex(), polygons()[0].sommets[2]);
  click(21, 22);
  ASSERT_EQ(polygons().size(), 1U);
  const Polygone& triangle = polygons()[0];
  ASSERT_EQ(triangle.sommets.size(), 4U);
  EXPECT_TRUE(triangle.isClosed());
  EXPECT_EQ(polygons().vertexCount(), 3U);
  EXPECT_EQ(window->editor().constructionState(), 0);
  EXPECT_EQ(window->editor().lastVertex(), nullptr);
  EXPECT_EQ(host.listings, 4);
}

TEST_F(ImageEditingTest, AnotherButtonEndsTheConstructionWithThePolygonOpen) {
  open(200, 150);
  editing.editMode = EditMode::Add;
  click(20, 20);
  click(20, 80);
  click(60, 60, Qt::RightButton);
  EXPECT_EQ(window->editor().constructionState(), 0);
  click(100, 100);
  ASSERT_EQ(polygons().size(), 2U);
  EXPECT_EQ(polygons()[0].sommets.size(), 2U);
  EXPECT_FALSE(polygons()[0].isClosed());
  EXPECT_EQ(polygons()[1].sommets.size(), 1U);
}

TEST_F(ImageEditingTest, ASharedVertexMovesBothOutlines) {
  open(200, 150);
  editing.editMode = EditMode::Add;
  click(20, 20);
  click(20, 80);
  click(70, 50);
  click(20, 20);
  click(70, 120);
  click(71, 51);
  Sommet* shared = polygons()[0].sommets[2];
  EXPECT_EQ(polygons()[1].sommets[1], shared);
  EXPECT_EQ(polygons().vertexCount(), 4U);

  editing.editMode = EditMode::Move;
  window->resetConstruction();
  moveTo(at(69, 49));
  press(at(69, 49));
  EXPECT_EQ(window->editor().draggedVertex(), shared);
  EXPECT_EQ(window->paintBox()->cursor().shape(), Qt::BlankCursor);
  moveTo(at(90, 60));
  EXPECT_EQ(shared->U, 90.0);
  EXPECT_EQ(shared->V, 60.0);
  release(at(90, 60));
  EXPECT_EQ(window->editor().draggedVertex(), nullptr);
  EXPECT_EQ(window->editor().constructionState(), 0);
  EXPECT_NE(window->paintBox()->cursor().shape(), Qt::BlankCursor);
  EXPECT_EQ(polygons()[1].sommets[1]->U, 90.0);
  EXPECT_EQ(polygons()[0].sommets[2]->V, 60.0);
}

TEST_F(ImageEditingTest, ADragReleasedInTheLastColumnsLandsOnTheBorderKeepingItsFlags) {
  open(640, 480);
  Sommet* vertex = makePolygon({{200, 300}}).sommets.front();
  editing.editMode = EditMode::Move;
  moveTo(at(200, 300));
  press(at(200, 300));
  const int listingsAfterPress = host.listings;
  moveTo(at(210, 637));
  EXPECT_EQ(host.listings, listingsAfterPress + 1);
  release(at(210, 637));
  EXPECT_EQ(vertex->U, 210.0);
  EXPECT_EQ(vertex->V, 639.0);
  EXPECT_FALSE(vertex->BordV);
  EXPECT_FALSE(vertex->BordU);
}

// A mode change during a drag must not leave the pointer hidden or a vertex still following it.
TEST_F(ImageEditingTest, ResettingDuringADragEndsIt) {
  open(200, 150);
  Sommet* vertex = makePolygon({{50, 50}}).sommets.front();
  editing.editMode = EditMode::Move;
  moveTo(at(50, 50));
  press(at(50, 50));
  window->resetConstruction();
  EXPECT_EQ(window->editor().draggedVertex(), nullptr);
  EXPECT_NE(window->paintBox()->cursor().shape(), Qt::BlankCursor);
  moveTo(at(80, 80));
  EXPECT_EQ(vertex->U, 50.0);
}

TEST_F(ImageEditingTest, RestoringNoConstructionDropsEveryReference) {
  open(200, 150);
  editing.editMode = EditMode::Add;
  click(20, 20);
  click(20, 80);
  moveTo(at(20, 81));
  ASSERT_NE(window->editor().hoveredVertex(), nullptr);
  polygons().clear();
  window->restoreConstruction({});
  EXPECT_EQ(window->editor().constructionState(), 0);
  EXPECT_EQ(window->editor().lastVertex(), nullptr);
  EXPECT_EQ(window->editor().hoveredVertex(), nullptr);
  window->renderView();
  click(60, 60);
  EXPECT_EQ(polygons().size(), 1U);
}

TEST_F(ImageEditingTest, PressesWithoutAHoveredVertexMoveAndDeleteNothing) {
  open(200, 150);
  makePolygon({{50, 50}});
  for (EditMode mode : {EditMode::Move, EditMode::Del}) {
    editing.editMode = mode;
    click(80, 80);
    EXPECT_EQ(window->editor().constructionState(), 0);
    EXPECT_EQ(polygons().vertexCount(), 1U);
  }
}

class DeletionTest : public ImageEditingTest {
 protected:
  void SetUp() override {
    open(200, 150);
    makePolygon({{20, 20}, {20, 80}, {70, 50}}, true);
    editing.editMode = EditMode::Del;
  }
  [[nodiscard]] std::vector<std::pair<double, double>> corners(std::size_t k) {
    std::vector<std::pair<double, double>> result;
    for (const Sommet* vertex : polygons()[k].sommets) result.emplace_back(vertex->U, vertex->V);
    return result;
  }
};

TEST_F(DeletionTest, TheFirstVertexOfAClosedTriangleGoesWithItsRepetition) {
  click(20, 20);
  ASSERT_EQ(polygons().size(), 1U);
  EXPECT_EQ(corners(0), (std::vector<std::pair<double, double>>{{20, 80}, {70, 50}}));
  EXPECT_FALSE(polygons()[0].isClosed());
  EXPECT_EQ(window->editor().hoveredVertex(), nullptr);
}

TEST_F(DeletionTest, AMiddleVertexLeavesTheTriangleClosed) {
  click(20, 80, Qt::RightButton);
  EXPECT_EQ(corners(0), (std::vector<std::pair<double, double>>{{20, 20}, {70, 50}, {20, 20}}));
  EXPECT_TRUE(polygons()[0].isClosed());
}

TEST_F(DeletionTest, ASharedVertexLeavesEveryPolygon) {
  Polygone& other = polygons().appendPolygon();
  other.sommets = {polygons()[0].sommets[2], polygons().createVertex(120, 90)};
  click(70, 50);
  EXPECT_EQ(corners(0), (std::vector<std::pair<double, double>>{{20, 20}, {20, 80}, {20, 20}}));
  EXPECT_EQ(corners(1), (std::vector<std::pair<double, double>>{{120, 90}}));
  EXPECT_EQ(polygons().vertexCount(), 3U);
}

TEST_F(DeletionTest, TheOnlyVertexOfAPolygonTakesThePolygonAlong) {
  makePolygon({{120, 150}});
  makePolygon({{120, 20}});
  click(120, 150);
  ASSERT_EQ(polygons().size(), 2U);
  EXPECT_EQ(corners(1), (std::vector<std::pair<double, double>>{{120, 20}}));
}

}  // namespace
}  // namespace plk::test
