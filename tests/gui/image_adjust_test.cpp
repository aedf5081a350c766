#include "gui/image_test_fixture.h"

namespace plk::test {
namespace {

const QString kAdjustFailure = QStringLiteral(
    "Ajustement impossible : les droites choisies ne permettent pas de calculer l'intersection "
    "(division par zéro).");

class ImageAdjustTest : public ImageWindowTest {
 protected:
  void SetUp() override {
    open(200, 150);
    editing.editMode = EditMode::Adjust;
  }
  // A pick forgets the hovered vertex, so the pointer comes from one pixel aside each time.
  void pick(const Sommet* vertex) {
    const int row = static_cast<int>(vertex->U);
    const int column = static_cast<int>(vertex->V);
    moveTo(at(row, column + 1));
    click(row, column, Qt::RightButton);
  }
  void pickAll(std::initializer_list<const Sommet*> vertices) {
    for (const Sommet* vertex : vertices) pick(vertex);
  }
};

TEST_F(ImageAdjustTest, TheSecondPickMovesOntoAVerticalSide) {
  Polygone& edge = makePolygon({{20, 10}, {20, 50}});
  Polygone& side = makePolygon({{5, 60}, {45, 60}});
  edge.sommets[1]->BordU = true;
  pick(edge.sommets[0]);
  pick(edge.sommets[1]);
  pick(side.sommets[0]);
  EXPECT_EQ(window->editor().adjustPickCount(), 3);
  pick(side.sommets[1]);
  EXPECT_EQ(window->editor().adjustPickCount(), 0);
  EXPECT_NEAR(edge.sommets[1]->U, 20.0, 1e-9);
  EXPECT_NEAR(edge.sommets[1]->V, 60.0, 1e-9);
  EXPECT_TRUE(edge.sommets[1]->BordU);
  EXPECT_FALSE(edge.sommets[1]->BordV);
  EXPECT_EQ(edge.sommets[0]->V, 10.0);
  EXPECT_EQ(side.sommets[0]->U, 5.0);
  EXPECT_EQ(side.sommets[1]->U, 45.0);
  EXPECT_TRUE(prompts.errors.isEmpty());
  EXPECT_EQ(host.listings, 4);
}

TEST_F(ImageAdjustTest, TheSecondPickMovesAlongTheDiagonal) {
  Polygone& edge = makePolygon({{10, 20}, {30, 40}});
  Polygone& side = makePolygon({{40, 5}, {40, 80}});
  pickAll({edge.sommets[0], edge.sommets[1], side.sommets[0], side.sommets[1]});
  EXPECT_NEAR(edge.sommets[1]->U, 40.0, 1e-9);
  EXPECT_NEAR(edge.sommets[1]->V, 50.0, 1e-9);
}

// Two picks on the top row make a line through the image origin, whose third component is 0.
TEST_F(ImageAdjustTest, ALineThroughTheOriginFailsAndTheNextPickStartsANewSet) {
  Polygone& edge = makePolygon({{20, 10}, {20, 50}});
  Polygone& top = makePolygon({{0, 30}, {0, 90}});
  Polygone& side = makePolygon({{5, 60}, {45, 60}});
  pickAll({edge.sommets[0], edge.sommets[1], top.sommets[0], top.sommets[1]});
  EXPECT_EQ(prompts.errors, QStringList{kAdjustFailure});
  EXPECT_EQ(edge.sommets[1]->U, 20.0);
  EXPECT_EQ(edge.sommets[1]->V, 50.0);
  EXPECT_EQ(window->editor().adjustPickCount(), 0);

  pickAll({edge.sommets[0], edge.sommets[1], side.sommets[0], side.sommets[1]});
  EXPECT_NEAR(edge.sommets[1]->V, 60.0, 1e-9);
  EXPECT_EQ(prompts.errors.size(), 1);
}

TEST_F(ImageAdjustTest, TheSameVertexPickedTwiceFails) {
  Polygone& edge = makePolygon({{20, 10}, {20, 50}});
  Polygone& side = makePolygon({{5, 60}, {45, 60}});
  pickAll({edge.sommets[1], edge.sommets[1], side.sommets[0], side.sommets[1]});
  EXPECT_EQ(prompts.errors, QStringList{kAdjustFailure});
  EXPECT_EQ(edge.sommets[1]->U, 20.0);
  EXPECT_EQ(edge.sommets[1]->V, 50.0);
}

TEST_F(ImageAdjustTest, APressOnEmptySpaceIsNoPick) {
  Polygone& edge = makePolygon({{20, 10}, {20, 50}});
  pick(edge.sommets[0]);
  click(100, 100);
  pick(edge.sommets[1]);
  EXPECT_EQ(window->editor().adjustPickCount(), 2);
}

TEST_F(ImageAdjustTest, AddAfterPicksStartsANewPolygon) {
  Polygone& edge = makePolygon({{20, 10}, {20, 50}});
  pick(edge.sommets[0]);
  pick(edge.sommets[1]);
  editing.editMode = EditMode::Add;
  click(100, 150);
  ASSERT_EQ(polygons().size(), 2U);
  EXPECT_EQ(polygons()[1].sommets.size(), 1U);
  EXPECT_EQ(polygons()[1].sommets[0]->U, 100.0);
  EXPECT_EQ(window->editor().constructionState(), 1);
  EXPECT_EQ(edge.sommets.size(), 2U);

  window->resetConstruction();
  EXPECT_EQ(window->editor().adjustPickCount(), 0);
  EXPECT_EQ(window->editor().constructionState(), 0);
}

}  // namespace
}  // namespace plk::test
