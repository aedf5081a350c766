#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest/QTest>

#include "shell_fixture.h"
#include "views/image.h"

namespace plk::test {
namespace {

using PairingTest = ShellTest;

// Count of pixels of `colour` in the square of half-size `reach` around `centre`.
int pixelsOf(const QImage& image, QPoint centre, int reach, QRgb colour) {
  int count = 0;
  for (int y = centre.y() - reach; y <= centre.y() + reach; ++y) {
    for (int x = centre.x() - reach; x <= centre.x() + reach; ++x) {
      if (image.valid(x, y) && image.pixel(x, y) == colour) ++count;
    }
  }
  return count;
}

void addSquare(PolygonList& polygons, double top, double left, double side) {
  Polygone& square = polygons.appendPolygon();
  Sommet* first = polygons.createVertex(top, left);
  square.sommets = {first, polygons.createVertex(top, left + side),
                    polygons.createVertex(top + side, left + side),
                    polygons.createVertex(top + side, left), first};
}

// Polygon 2 is drawn in one colour in both windows, another than polygon 1's, with its number
// at its centre; a locked polygon is dashed.
TEST_F(PairingTest, PairsShareAColourAndShowTheirNumber) {
  const QString left = writeGreyBmp(path(QStringLiteral("big_l.bmp")), 120, 90);
  const QString right = writeGreyBmp(path(QStringLiteral("big_r.bmp")), 120, 90);
  shell->newProject().setFields(QStringLiteral("paires"), left, right);
  ASSERT_TRUE(main().session().createProjectFromImages());
  for (PolygonList* polygons :
       {&main().project()->left.polygons, &main().project()->right.polygons}) {
    addSquare(*polygons, 5, 5, 30);
    addSquare(*polygons, 40, 50, 40);
  }
  main().project()->right.polygons[0].locked = true;
  main().redrawImages();
  const QImage& leftView = main().leftWindow()->viewBuffer();
  const QImage& rightView = main().rightWindow()->viewBuffer();

  const QRgb second = pairColour(1).rgb();
  EXPECT_NE(second, pairColour(0).rgb());
  EXPECT_EQ(leftView.pixel(70, 40), second);  // top side of polygon 2
  EXPECT_EQ(rightView.pixel(70, 40), second);
  EXPECT_EQ(leftView.pixel(20, 5), pairColour(0).rgb());
  // The number 2 at the centre (60, 70), in the pair's colour, and no such colour far inside.
  EXPECT_GT(pixelsOf(leftView, {70, 60}, 8, second), 5);
  EXPECT_GT(pixelsOf(rightView, {70, 60}, 8, second), 5);
  EXPECT_EQ(pixelsOf(leftView, {60, 52}, 2, second), 0);
  EXPECT_GT(pixelsOf(leftView, {20, 20}, 8, pairColour(0).rgb()), 5);

  // Dashed: the locked square's top side has gaps on the right and none on the left.
  int leftTop = 0;
  int rightTop = 0;
  for (int x = 12; x <= 28; ++x) {
    leftTop += leftView.pixel(x, 5) == pairColour(0).rgb() ? 1 : 0;
    rightTop += rightView.pixel(x, 5) == pairColour(0).rgb() ? 1 : 0;
  }
  EXPECT_EQ(leftTop, 17);
  EXPECT_LT(rightTop, 17);
  EXPECT_GT(rightTop, 0);
}

// A 3000 x 2000 pair opens in windows that fit the screen, and the view buffer covers the
// whole view, up to the far borders.
TEST_F(PairingTest, ALargePairOpensInsideTheScreen) {
  const QString left = writeGreyBmp(path(QStringLiteral("large_l.bmp")), 3000, 2000);
  const QString right = writeGreyBmp(path(QStringLiteral("large_r.bmp")), 3000, 2000);
  shell->newProject().setFields(QStringLiteral("grande"), left, right);
  ASSERT_TRUE(main().session().createProjectFromImages());
  for (TFImage* window : {main().leftWindow(), main().rightWindow()}) {
    const QRect screen = window->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(window->frameGeometry()));
    EXPECT_LT(window->width(), 3000);
  }
  // Near the bottom-right corner of the image the pointer snaps to both far borders.
  main().chooseEditMode(EditMode::Add);
  main().rightWindow()->hide();  // pointer moves go to the window under the pointer
  TFImage& window = *main().leftWindow();
  QScrollArea* view = window.findChild<QScrollArea*>();
  for (QScrollBar* bar : {view->horizontalScrollBar(), view->verticalScrollBar()}) {
    bar->setValue(bar->maximum());
  }
  QTest::mouseMove(window.paintBox(), {2997, 1997});
  EXPECT_EQ(main().editing().snapU, 1999.0);
  EXPECT_EQ(main().editing().snapV, 2999.0);
  EXPECT_EQ(window.viewBuffer().size(), window.findChild<QScrollArea*>()->viewport()->size());
}

}  // namespace
}  // namespace plk::test
