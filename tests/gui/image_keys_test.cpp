#include <QWheelEvent>

#include "gui/image_test_fixture.h"

namespace plk::test {
namespace {

using ImageKeysTest = ImageWindowTest;

void wheel(QWidget* surface, QPoint at, int angle, Qt::KeyboardModifiers keys) {
  QWheelEvent event(at, surface->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, keys,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(surface, &event);
}

TEST_F(ImageKeysTest, EscapeEndsTheConstructionLikeTheOtherButton) {
  open(200, 150);
  editing.editMode = EditMode::Add;
  click(20, 20);
  click(20, 80);
  QTest::keyClick(window.get(), Qt::Key_Escape);
  EXPECT_EQ(window->editor().constructionState(), 0);
  EXPECT_EQ(window->editor().lastVertex(), nullptr);
  EXPECT_EQ(polygons()[0].sommets.size(), 2U);
  EXPECT_EQ(host.edits.last(), QStringLiteral("fin du polygone"));
  click(60, 60);
  EXPECT_EQ(polygons().size(), 2U);
}

TEST_F(ImageKeysTest, LetterKeysChooseTheModes) {
  open(200, 150);
  for (const Qt::Key key : {Qt::Key_A, Qt::Key_M, Qt::Key_D, Qt::Key_F}) {
    QTest::keyClick(window.get(), key);
  }
  QTest::keyClick(window.get(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(host.chosenModes,
            (std::vector<EditMode>{EditMode::Add, EditMode::Move, EditMode::Del, EditMode::Arrow}));
}

// Ctrl+wheel zooms around the pointer exactly as the Shift-click does; the plain wheel does not
// zoom.
TEST_F(ImageKeysTest, CtrlWheelZoomsLikeTheShiftClick) {
  open(640, 480);
  QWidget* surface = window->paintBox();
  press({200, 100}, Qt::LeftButton, Qt::ShiftModifier);
  press({300, 260}, Qt::LeftButton, Qt::ShiftModifier);
  const QPoint clicked(window->hpos(), window->vpos());
  ASSERT_EQ(window->zoom(), 3);

  window->setZoom(1, 0, 0);
  wheel(surface, {200, 100}, 120, Qt::ControlModifier);
  wheel(surface, {300, 260}, 60, Qt::ControlModifier);
  wheel(surface, {300, 260}, 60, Qt::ControlModifier);
  EXPECT_EQ(window->zoom(), 3);
  EXPECT_EQ(QPoint(window->hpos(), window->vpos()), clicked);

  wheel(surface, {300, 260}, -120, Qt::NoModifier);
  EXPECT_EQ(window->zoom(), 3);
  wheel(surface, {300, 260}, -120, Qt::ControlModifier);
  EXPECT_EQ(window->zoom(), 2);
}

TEST_F(ImageKeysTest, TheCursorShowsTheModeAndTheTitleShowsAdjust) {
  open(200, 150);
  const std::pair<EditMode, Qt::CursorShape> cases[] = {{EditMode::Add, Qt::CrossCursor},
                                                        {EditMode::Move, Qt::OpenHandCursor},
                                                        {EditMode::Del, Qt::ForbiddenCursor},
                                                        {EditMode::Arrow, Qt::ArrowCursor}};
  for (const auto& [mode, shape] : cases) {
    editing.editMode = mode;
    window->showMode();
    EXPECT_EQ(window->paintBox()->cursor().shape(), shape);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Image gauche: image.bmp [1:1]"));
  }
  editing.editMode = EditMode::Adjust;
  window->showMode();
  makePolygon({{50, 50}});
  click(50, 50);
  EXPECT_EQ(window->windowTitle(),
            QStringLiteral("Image gauche: image.bmp [1:1] - Ajustement (sommet 2/4)"));
}

TEST_F(ImageKeysTest, TheGlyphGoesWhenThePointerLeaves) {
  open(200, 150);
  editing.editMode = EditMode::Add;
  moveTo({100, 60});
  const QImage plain = window->viewBuffer().copy();
  moveTo({1, 2});
  ASSERT_NE(window->viewBuffer(), plain);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(window->paintBox(), &leave);
  EXPECT_EQ(window->viewBuffer(), plain);
}

// A polygon [A, A] would be a closed polygon of one corner: the second click is ignored.
TEST_F(ImageKeysTest, ASecondClickOnTheVertexJustPlacedIsIgnored) {
  open(200, 150);
  editing.editMode = EditMode::Add;
  click(20, 20);
  click(21, 21);
  ASSERT_EQ(polygons().size(), 1U);
  EXPECT_EQ(polygons()[0].sommets.size(), 1U);
  EXPECT_EQ(window->editor().constructionState(), 1);
  click(20, 80);
  click(20, 81);
  EXPECT_EQ(polygons()[0].sommets.size(), 2U);
}

}  // namespace
}  // namespace plk::test
