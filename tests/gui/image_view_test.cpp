#include <QFile>
#include <QPainter>

#include "gui/image_test_fixture.h"

namespace plk::test {
namespace {

using ImageViewTest = ImageWindowTest;

bool isGrey(QRgb colour) {
  return qRed(colour) == qGreen(colour) && qGreen(colour) == qBlue(colour);
}

TEST_F(ImageViewTest, LoadingShowsTheImageAndFillsTheGreyImage) {
  open(200, 150);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Image gauche: image.bmp [1:1]"));
  EXPECT_EQ(window->imageDepth(), 8);
  EXPECT_EQ(window->size(), QSize(200, 150));
  EXPECT_EQ(window->paintBox()->size(), QSize(200, 150));
  ASSERT_EQ(side().image.width(), 200);
  ASSERT_EQ(side().image.height(), 150);
  EXPECT_EQ(side().image.at(17, 31), testGrey(17, 31));
  EXPECT_EQ(pixel(31, 17), qRgb(testGrey(17, 31), testGrey(17, 31), testGrey(17, 31)));
}

TEST_F(ImageViewTest, AFileThatIsNoImageChangesNothing) {
  open(200, 150);
  const QString path = folder.filePath(QStringLiteral("text.bmp"));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("not a picture");
  file.close();
  EXPECT_FALSE(window->loadImage(path, QStringLiteral("droite"), QStringLiteral("text.bmp")));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Image gauche: image.bmp [1:1]"));
  EXPECT_EQ(window->imageWidth(), 200);
}

TEST_F(ImageViewTest, OutlinesAreYellowAndAVertexAtTheImageWidthLandsOnTheLastColumn) {
  open(200, 150);
  makePolygon({{40, 100}, {40, 200}});
  window->renderView();
  EXPECT_EQ(pixel(150, 40), kYellow);
  EXPECT_EQ(pixel(199, 40), kYellow);
  EXPECT_TRUE(isGrey(pixel(150, 41)));
}

TEST_F(ImageViewTest, CrossesLeaveTheirCentrePixelFree) {
  open(200, 150);
  makePolygon({{50, 60}});
  window->renderView();
  for (int d = 1; d <= 6; ++d) {
    EXPECT_EQ(pixel(60 - d, 50), kYellow) << d;
    EXPECT_EQ(pixel(60 + d, 50), kYellow) << d;
    EXPECT_EQ(pixel(60, 50 - d), kYellow) << d;
    EXPECT_EQ(pixel(60, 50 + d), kYellow) << d;
  }
  EXPECT_TRUE(isGrey(pixel(60, 50)));
  EXPECT_TRUE(isGrey(pixel(53, 50)));
  EXPECT_TRUE(isGrey(pixel(61, 51)));
}

// A point of every kind at its own place: red at (20, 20), blue at (40, 40) left and (40, 60)
// right, green at (60, 60) left and (60, 80) right, a discarded point at (80, 80).
ToolResults pointsOfEveryKind() {
  ToolResults results;
  results.interestPoints = {{{0, 5.0, 20.4, 19.6, 0, 0}, {0, -100.0, 80, 80, 0, 0}}};
  results.matches = {{{0, 0.9, 40, 60, 40, 40}, {0, -100.0, 80, 80, 80, 80}}};
  results.inlierMatches = {{{0, 0.0, 60, 80, 60, 60}}};
  return results;
}

void expectPlus(const ImageWindowTest& test, QPoint centre, QRgb colour) {
  for (int d = -3; d <= 3; ++d) {
    EXPECT_EQ(test.window->viewBuffer().pixel(centre.x() + d, centre.y()), colour) << d;
    EXPECT_EQ(test.window->viewBuffer().pixel(centre.x(), centre.y() + d), colour) << d;
  }
}

TEST_F(ImageViewTest, PointsFollowTheStageFlagsAndDiscardedOnesAreNeverDrawn) {
  project.results = pointsOfEveryKind();
  open(200, 150);
  window->renderView();
  EXPECT_TRUE(isGrey(pixel(20, 20)));
  EXPECT_TRUE(isGrey(pixel(40, 40)));

  project.results.pointsDetected = project.results.pointsMatched = true;
  project.results.homographiesEstimated = true;
  window->renderView();
  expectPlus(*this, {20, 20}, kRed);
  expectPlus(*this, {40, 40}, kBlue);
  expectPlus(*this, {60, 60}, kGreen);
  EXPECT_TRUE(isGrey(pixel(60, 40)));
  EXPECT_TRUE(isGrey(pixel(80, 80)));
  EXPECT_TRUE(isGrey(pixel(83, 80)));
}

// Vertices 3e8 pixels away have buffer coordinates beyond int at zoom 8, which were once
// converted to int regardless. Every conversion of the drawing runs here: outlines, crosses,
// the polygon's number, the rubber band and points, at zoom 1 and 8. The visible part of a
// line to a far vertex keeps its true direction: one row per three columns, not a diagonal.
TEST_F(ImageViewTest, RegressionFarVerticesAreDrawnAlongTheirTrueDirection) {
  open(200, 150);
  Polygone& polygon = makePolygon({{10, 10}, {10 + 1e8, 10 + 3e8}, {-3e8, 10}}, true);
  project.results.pointsDetected = project.results.pointsMatched = true;
  const InterestPoint far{0, 1.0, 3e9, -3e9, -3e9, 3e9};
  project.results.interestPoints = {{far}};
  project.results.matches = {{far}};
  for (const int zoom : {1, 8}) {
    window->setZoom(zoom, 0, 0);
    window->renderView();
    const int origin = 10 * zoom;
    EXPECT_EQ(pixel(origin + 3 * 12, origin + 12), kYellow) << zoom;
    EXPECT_EQ(pixel(origin + 3 * 30, origin + 30), kYellow) << zoom;
    EXPECT_TRUE(isGrey(pixel(origin + 30, origin + 30))) << zoom;
    EXPECT_EQ(pixel(origin, 1), kYellow) << zoom;
  }

  window->setZoom(1, 0, 0);
  editing.editMode = EditMode::Add;
  window->restoreConstruction({true, polygon.sommets[1]});
  moveTo(at(100, 20));
  EXPECT_EQ(pixel(20 + 3 * 10, 100 + 10), kYellow);
  EXPECT_EQ(pixel(20 + 3 * 40, 100 + 40), kYellow);
}

// Only polygons near the view are drawn, but a cross on a vertex just outside it still shows its
// arm inside.
TEST_F(ImageViewTest, AVertexJustBeyondTheViewStillShowsItsCross) {
  open(200, 150);
  ASSERT_EQ(window->viewBuffer().width(), 200);
  makePolygon({{50, 201}});
  makePolygon({{50, 900}, {60, 900}});
  window->renderView();
  for (int x = 195; x < 200; ++x) EXPECT_EQ(pixel(x, 50), kYellow) << x;
}

// The number of a closed polygon, drawn once into a picture and copied at every redraw, looks as
// the text drawn straight into the view: the same pixels, give or take a rounding of the blend.
TEST_F(ImageViewTest, APolygonNumberLooksAsTextDrawnIntoTheView) {
  open(200, 150);
  Polygone& square = makePolygon({{20, 20}, {20, 120}, {120, 120}, {120, 20}});
  window->renderView();
  const QImage withoutNumber = window->viewBuffer().copy();
  QImage expected = withoutNumber.copy();
  {
    QPainter painter(&expected);
    QFont font = painter.font();
    font.setPixelSize(14);
    font.setBold(true);
    painter.setFont(font);
    const QString number = QStringLiteral("1");
    const QFontMetrics metrics(font);
    const QSize size(metrics.horizontalAdvance(number) + 2, metrics.height() + 2);
    const QRect placed(QPoint(70, 70) - QPoint(size.width() / 2, size.height() / 2), size);
    painter.setPen(Qt::black);
    for (const QPoint shift : {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1)}) {
      painter.drawText(placed.translated(shift), Qt::AlignCenter, number);
    }
    painter.setPen(pairColour(0));
    painter.drawText(placed, Qt::AlignCenter, number);
  }
  square.sommets.push_back(square.sommets.front());
  window->renderView();
  int numberPixels = 0;
  for (int y = 40; y < 100; ++y) {
    for (int x = 40; x < 100; ++x) {
      const QRgb want = expected.pixel(x, y);
      const QRgb got = pixel(x, y);
      EXPECT_NEAR(qRed(got), qRed(want), 2) << x << "," << y;
      EXPECT_NEAR(qGreen(got), qGreen(want), 2) << x << "," << y;
      EXPECT_NEAR(qBlue(got), qBlue(want), 2) << x << "," << y;
      if (want != withoutNumber.pixel(x, y)) ++numberPixels;
    }
  }
  EXPECT_GT(numberPixels, 20);
}

TEST_F(ImageViewTest, TheRightWindowDrawsTheRightPointsOfMatchesAndNoInterestPoint) {
  project.results = pointsOfEveryKind();
  project.results.pointsDetected = project.results.pointsMatched = true;
  project.results.homographiesEstimated = true;
  open(200, 150, ImageSideKind::Right);
  window->renderView();
  EXPECT_TRUE(isGrey(pixel(20, 20)));
  expectPlus(*this, {60, 40}, kBlue);
  expectPlus(*this, {80, 60}, kGreen);
  EXPECT_TRUE(isGrey(pixel(40, 40)));
  EXPECT_TRUE(isGrey(pixel(80, 80)));
}

TEST_F(ImageViewTest, ZoomThreeShowsEveryPixelAsAThreeByThreeBlock) {
  open(200, 150);
  window->setZoom(3, 0, 0);
  ASSERT_EQ(window->hpos(), 0);
  for (int r = 10; r < 13; ++r) {
    for (int c = 20; c < 23; ++c) {
      const QRgb expected = qRgb(testGrey(r, c), testGrey(r, c), testGrey(r, c));
      for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 3; ++i) EXPECT_EQ(pixel(3 * c + i, 3 * r + j), expected);
      }
    }
  }
}

// The image blocks stay aligned with the surface, and so with the outlines and the pointer,
// when the scroll position is not a multiple of the zoom.
TEST_F(ImageViewTest, BlocksFollowTheSurfaceAtAnyScrollPosition) {
  open(640, 480);
  window->setZoom(2, 201, 101);
  ASSERT_EQ(window->hpos(), 201);
  ASSERT_EQ(window->vpos(), 101);
  EXPECT_EQ(qRed(pixel(0, 0)), testGrey(50, 100));
  EXPECT_EQ(qRed(pixel(1, 0)), testGrey(50, 101));
  EXPECT_EQ(qRed(pixel(1, 1)), testGrey(51, 101));
  EXPECT_EQ(qRed(pixel(2, 2)), testGrey(51, 101));
}

TEST_F(ImageViewTest, ZoomKeepsThePointUnderThePointerAndStopsAtTen) {
  open(640, 480);
  window->zoomIn(200, 100);
  EXPECT_EQ(window->zoom(), 2);
  EXPECT_EQ(window->hpos(), 200);
  EXPECT_EQ(window->vpos(), 100);
  EXPECT_EQ(window->paintBox()->size(), QSize(1280, 960));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Image gauche: image.bmp [2:1]"));

  window->zoomOut(400, 200);
  EXPECT_EQ(window->zoom(), 1);
  EXPECT_EQ(window->size(), QSize(640, 480));
  EXPECT_EQ(window->paintBox()->size(), QSize(640, 480));
  window->zoomOut(0, 0);
  EXPECT_EQ(window->zoom(), 1);

  for (int i = 0; i < 11; ++i) window->zoomIn(0, 0);
  EXPECT_EQ(window->zoom(), 10);
  EXPECT_TRUE(window->windowTitle().endsWith(QStringLiteral("[10:1]")));
}

TEST_F(ImageViewTest, ShiftClickZoomsInEveryModeWithoutEditing) {
  open(640, 480);
  for (EditMode mode :
       {EditMode::Arrow, EditMode::Add, EditMode::Move, EditMode::Del, EditMode::Adjust}) {
    editing.editMode = mode;
    window->setZoom(1, 0, 0);
    const int listingsBefore = host.listings;
    moveTo({100, 100});
    press({100, 100}, Qt::LeftButton, Qt::ShiftModifier);
    release({100, 100});
    EXPECT_EQ(window->zoom(), 2) << static_cast<int>(mode);
    EXPECT_EQ(polygons().size(), 0U);
    EXPECT_EQ(host.listings, listingsBefore + 1);
  }
  window->setZoom(1, 0, 0);
  press({100, 100}, Qt::RightButton, Qt::ShiftModifier);
  EXPECT_EQ(window->zoom(), 1);
  press({10, 10}, Qt::MiddleButton, Qt::ShiftModifier);
  EXPECT_EQ(window->zoom(), 2);
}

TEST_F(ImageViewTest, TheRubberBandJoinsTheLastVertexToThePointer) {
  open(200, 150);
  editing.editMode = EditMode::Add;
  click(50, 20);
  moveTo(at(50, 120));
  EXPECT_EQ(pixel(70, 50), kYellow);
  EXPECT_EQ(pixel(119, 50), kYellow);
  editing.editMode = EditMode::Arrow;
  window->renderView();
  EXPECT_TRUE(isGrey(pixel(70, 50)));
}

// The view buffer after a pointer move to `surface` in Add mode equals the rendering with the
// pointer at surface point (100, 60), away from borders and vertices (no glyph), with glyph
// `glyph` drawn at `corner`.
void expectGlyphAt(ImageWindowTest& test, QPoint surface, int glyph, QPoint corner) {
  test.editing.editMode = EditMode::Add;
  test.moveTo({100, 60});
  QImage expected = test.window->viewBuffer().copy();
  test.moveTo(surface);
  const QImage& withGlyph = test.window->viewBuffer();
  {
    QPainter painter(&expected);
    painter.drawImage(corner, QImage(QStringLiteral(":/glyphs/glyph%1.png").arg(glyph)));
  }
  EXPECT_EQ(withGlyph, expected) << surface.x() << "," << surface.y();
}

// In the right half the glyph's square ends just left of the block under the pointer; in the
// left half it starts at that block's left edge; likewise downwards.
TEST_F(ImageViewTest, TheGlyphStaysOnTheImageSideOfThePointer) {
  open(200, 150);
  expectGlyphAt(*this, {198, 75}, 2, {198 - 24, 75});
  expectGlyphAt(*this, {101, 148}, 1, {101 - 24, 148 - 24});
  expectGlyphAt(*this, {1, 2}, 3, {1, 2});
  window->setZoom(2, 0, 0);
  expectGlyphAt(*this, {5, 75}, 2, {4, 74});
}

// Hovering a vertex shows the ball, which takes precedence over border snapping.
TEST_F(ImageViewTest, TheBallShowsTheHoveredVertexEvenOnABorder) {
  open(200, 150);
  makePolygon({{1, 100}});
  expectGlyphAt(*this, {101, 2}, 0, {101 - 24, 2});
}

}  // namespace
}  // namespace plk::test
