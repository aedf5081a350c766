#include <QToolButton>
#include <QUndoStack>
#include <QtTest/QTest>

#include "shell_fixture.h"
#include "views/image.h"

namespace plk::test {
namespace {

const QString kAdjustFailure = QStringLiteral(
    "Ajustement impossible : les droites choisies ne permettent pas de calculer l'intersection "
    "(division par zéro).");

// A project on the Tsukuba pair, edited with the mouse in the left window at zoom 1.
class TsukubaEditingTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    const QString pair = QStringLiteral(PLK_TESTDATA_DIR "/middlebury2001/tsukuba/");
    leftPath = pair + QStringLiteral("left.bmp");
    rightPath = pair + QStringLiteral("right.bmp");
    ASSERT_TRUE(openProject(QStringLiteral("tsukuba")));
    // Pointer moves reach the window under the pointer: keep the left window uncovered.
    main().rightWindow()->hide();
    main().leftWindow()->move(700, 700);
  }

  QWidget* surface() const { return main().leftWindow()->paintBox(); }
  // A pointer move then a click on the pixel (row, column), as a user does.
  void click(int row, int column, Qt::MouseButton button = Qt::LeftButton) const {
    const QPoint at(column, row);
    QTest::mouseMove(surface(), at + QPoint(1, 0));
    QTest::mouseMove(surface(), at);
    QTest::mouseClick(surface(), button, Qt::NoModifier, at);
  }
};

// Both lines have the step (2, 102): the meeting point's third component was a rounding residue
// and the second pick was thrown about 1e18 pixels away.
TEST_F(TsukubaEditingTest, RegressionAdjustOnParallelSlantedLinesShowsTheErrorBox) {
  main().findChild<QToolButton*>(QStringLiteral("SpeedButtonAdd"))->click();
  const std::vector<std::pair<int, int>> corners = {{20, 20}, {22, 122}, {40, 24}, {42, 126}};
  for (const auto& [row, column] : corners) click(row, column);
  click(60, 200, Qt::RightButton);
  const PolygonList& left = main().project()->left.polygons;
  ASSERT_EQ(left.size(), 1U);
  const std::vector<Sommet*> vertices = left[0].sommets;
  ASSERT_EQ(vertices.size(), 4U);
  const int steps = main().session().history().undoStack().count();

  action("Ajusterlessommetsdevantappartenirunct1")->trigger();
  for (const auto& [row, column] : corners) click(row, column);

  EXPECT_EQ(prompts.errors, QStringList{kAdjustFailure});
  EXPECT_EQ(main().leftWindow()->editor().adjustPickCount(), 0);
  for (std::size_t i = 0; i < corners.size(); ++i) {
    EXPECT_EQ(vertices[i]->U, corners[i].first);
    EXPECT_EQ(vertices[i]->V, corners[i].second);
  }
  EXPECT_EQ(main().session().history().undoStack().count(), steps);
}

}  // namespace
}  // namespace plk::test
